// The enumeration's lines by the plug-in's own texts (include/vxins_trace.h): an adapter's
// Flashed_bios_info line opens it, each record it creates logs kUnknownAttribute once, and the
// device count closes the enumeration. Records are written to the file in the order created.
#include "reported_versions.h"

#include "trace_texts.h"
#include "vxins_trace.h"

namespace vxhost {

namespace {

struct EnumerationTexts {
  const std::string adapter_begins = format_piece(vxins::trace::kAdapterAnswered, 0);
  const std::string version_head = format_piece(vxins::trace::kFlashedVersion, 0);
  const std::string version_body = format_piece(vxins::trace::kFlashedVersion, 1);
  const std::string no_version_tail = format_piece(vxins::trace::kNoFlashedVersion, 1);
  const std::string record = vxins::trace::kUnknownAttribute;
  const std::string device_count = format_piece(vxins::trace::kDeviceCount, 0);
};

const EnumerationTexts& texts() {
  static const EnumerationTexts enumeration_texts;
  return enumeration_texts;
}

// The version the plug-in compares and writes as active: cut before a build suffix, " " for none.
std::string written_version(const std::string& reported) {
  if (reported.empty()) return " ";
  return reported.substr(0, reported.size() - build_suffix(reported).size());
}

// The functions an adapter entry names by its identifiers, in file order.
std::vector<size_t> functions_of(const Json::Value& adapter,
                                 const std::vector<ViewDevice>& devices) {
  std::vector<size_t> out;
  for (size_t i = 0; i < devices.size(); ++i) {
    for (const Json::Value& id : adapter["identifiers"]) {
      if (id.isString() && id.asString() == devices[i].file.mac_or_wwn) {
        out.push_back(i);
        break;
      }
    }
  }
  return out;
}

}  // namespace

std::vector<ReportedDevice> reported_devices(const std::vector<TimedLine>& trace,
                                             const std::vector<FileDevice>& devices) {
  const EnumerationTexts& t = texts();
  std::vector<ReportedDevice> records;
  bool in_adapter = false;
  ReportedDevice adapter;
  for (const TimedLine& line : trace) {
    std::string m;
    if (!trace_message(line.text, m)) continue;
    if (starts_with(m, t.device_count)) break;
    if (starts_with(m, t.adapter_begins)) {
      in_adapter = false;
    } else if (starts_with(m, t.version_head)) {
      const size_t body = m.find(t.version_body, t.version_head.size());
      if (body == std::string::npos) return {};
      adapter.agent_index = m.substr(t.version_head.size(), body - t.version_head.size());
      const std::string rest = m.substr(body);
      adapter.version = rest == t.no_version_tail ? "" : rest.substr(t.version_body.size());
      in_adapter = true;
    } else if (m == t.record) {
      if (!in_adapter) return {};
      records.push_back(adapter);
    }
  }
  if (records.size() != devices.size()) return {};
  for (size_t i = 0; i < devices.size(); ++i)
    if (written_version(records[i].version) != devices[i].active_version) return {};
  return records;
}

std::string build_suffix(const std::string& version) {
  const size_t at = version.find('_');
  return at == std::string::npos || at == 0 ? std::string() : version.substr(at);
}

bool up_to_date(const std::vector<const FileDevice*>& functions, const std::string& reported,
                const std::string& offered) {
  if (functions.empty()) return false;
  for (const FileDevice* f : functions)
    if (f->action != "Rewrite") return false;
  return build_suffix(reported) == build_suffix(offered);
}

void add_reported_versions(Json::Value& adapters, const std::vector<ViewDevice>& devices,
                           const std::vector<ReportedDevice>& reported, bool with_up_to_date) {
  for (Json::Value& adapter : adapters) {
    const std::vector<size_t> at = functions_of(adapter, devices);
    if (at.empty()) continue;
    const FileDevice& first = devices[at[0]].file;
    const std::string before = reported.size() == devices.size() && !reported[at[0]].version.empty()
                                   ? reported[at[0]].version
                                   : first.active_version;
    adapter["before"] = before;
    if (!with_up_to_date) continue;
    std::vector<const FileDevice*> functions;
    for (size_t i : at) functions.push_back(&devices[i].file);
    adapter["up_to_date"] = up_to_date(functions, before, first.offered_version);
  }
}

}  // namespace vxhost
