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

size_t message_start(const std::string& line) {
  for (const auto& prefix : gerr_log_str) {
    const size_t length = strlen(prefix);
    if (line.compare(0, length, prefix) == 0) return length;
  }
  return std::string::npos;
}

bool starts_with(const std::string& s, const std::string& head) {
  return s.compare(0, head.size(), head) == 0;
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace vxhost
