// Quotes from the trace, by the texts the plug-in writes.
#include "trace_quotes.h"

namespace vxhost {

namespace {

const char kVersionLine[] = "Read BOOT TAR FW Version is ";

// What the enumeration logs about adapters it makes no device of, and the counts around them.
const char* const kNoDeviceTexts[] = {
    "Num of Adapters is",   "No adapters in the system", "returned zero adapters",
    "There are no ports",   "adapter is NULL for",       "Unable to get",
    "Enum is NULL for",     "Number of QuorvelDevices is",
};

const size_t kMaxQuoted = 20;

}  // namespace

std::string package_version_in(const std::vector<TimedLine>& trace) {
  for (const TimedLine& line : trace) {
    size_t at = line.text.find(kVersionLine);
    if (at == std::string::npos) continue;
    std::string version = line.text.substr(at + sizeof kVersionLine - 1);
    while (!version.empty() && (version.back() == ' ' || version.back() == '\r'))
      version.pop_back();
    return version;
  }
  return "";
}

std::vector<std::string> no_device_lines(const std::vector<TimedLine>& trace) {
  std::vector<std::string> out;
  for (const TimedLine& line : trace) {
    for (const char* text : kNoDeviceTexts) {
      if (line.text.find(text) == std::string::npos) continue;
      if (out.size() < kMaxQuoted) out.push_back(line.text);
      break;
    }
  }
  return out;
}

}  // namespace vxhost
