// Quotes from the trace, by the texts the plug-in writes (include/vxins_trace.h).
#include "trace_quotes.h"

#include "trace_texts.h"
#include "vxins_trace.h"

namespace vxhost {

namespace {

// What the enumeration logs about adapters it makes no device of, and the counts around them.
const char* const kNoDeviceFormats[] = {
    vxins::trace::kAdapterCount,      vxins::trace::kNoAdapters,
    vxins::trace::kZeroAdapters,      vxins::trace::kNoPorts,
    vxins::trace::kAdapterNull,       vxins::trace::kAdapterInfoFailed,
    vxins::trace::kAdvancedInfoFailed, vxins::trace::kEthInfoFailed,
    vxins::trace::kEthListNull,       vxins::trace::kFcInfoFailed,
    vxins::trace::kFcListNull,        vxins::trace::kDeviceCount,
};

const size_t kMaxQuoted = 20;

}  // namespace

std::string package_version_in(const std::vector<TimedLine>& trace) {
  static const std::string head = format_piece(vxins::trace::kPackageVersion, 0);
  for (const TimedLine& line : trace) {
    size_t at = line.text.find(head);
    if (at == std::string::npos) continue;
    std::string version = line.text.substr(at + head.size());
    while (!version.empty() && (version.back() == ' ' || version.back() == '\r'))
      version.pop_back();
    return version;
  }
  return "";
}

std::vector<std::string> no_device_lines(const std::vector<TimedLine>& trace) {
  static const std::vector<std::string> heads = [] {
    std::vector<std::string> out;
    for (const char* format : kNoDeviceFormats) out.push_back(format_piece(format, 0));
    return out;
  }();
  std::vector<std::string> out;
  for (const TimedLine& line : trace) {
    for (const std::string& head : heads) {
      if (line.text.find(head) == std::string::npos) continue;
      if (out.size() < kMaxQuoted) out.push_back(line.text);
      break;
    }
  }
  return out;
}

}  // namespace vxhost
