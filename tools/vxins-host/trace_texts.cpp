// Taking the plug-in's trace formats apart (see trace_texts.h).
#include "trace_texts.h"

#include <cstring>

#include "vxins_log.h"

namespace vxhost {

namespace {

// Where the conversion starting at format[at] ("%") ends: after its conversion letter.
size_t conversion_end(const char* format, size_t at) {
  size_t i = at + 1;
  while (format[i] != '\0' && strchr("-+ #0123456789.hlLqjzt", format[i]) != nullptr) ++i;
  return format[i] == '\0' ? i : i + 1;
}

}  // namespace

std::string format_piece(const char* format, size_t n) {
  std::string piece;
  size_t index = 0;
  for (size_t i = 0; format[i] != '\0';) {
    if (format[i] == '\n') break;  // the rest of the message is on lines of its own
    if (format[i] == '%' && format[i + 1] == '%') {
      if (index == n) piece += '%';
      i += 2;
    } else if (format[i] == '%') {
      if (index == n) return piece;
      ++index;
      i = conversion_end(format, i);
    } else {
      if (index == n) piece += format[i];
      ++i;
    }
  }
  return index == n ? piece : std::string();
}

bool trace_message(const std::string& line, std::string& message) {
  for (const auto& prefix : gerr_log_str) {
    if (starts_with(line, prefix)) {
      message = line.substr(strlen(prefix));
      return true;
    }
  }
  return false;
}

std::vector<std::string> trace_messages(const std::string& trace) {
  std::vector<std::string> messages;
  std::string message;
  for (size_t at = 0; at < trace.size();) {
    size_t end = trace.find('\n', at);
    if (end == std::string::npos) end = trace.size();
    if (trace_message(trace.substr(at, end - at), message)) messages.push_back(message);
    at = end + 1;
  }
  return messages;
}

bool starts_with(const std::string& s, const std::string& head) {
  return s.compare(0, head.size(), head) == 0;
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace vxhost
