// Text and JSON renderings of discovery-file devices.
#include "report.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "device_labels.h"

namespace vxhost {

namespace {

std::string shown_status(const std::string& status) {
  if (status == "1") return "1 success";
  if (status.empty()) return "-";
  if (status == "8") return "8 mismatch";
  return status;
}

// Discovery leaves use one space for "no value".
std::string shown(const std::string& value) {
  bool blank = true;
  for (char c : value) blank = blank && isspace(static_cast<unsigned char>(c));
  return blank ? "-" : value;
}

std::string treated_as(const ViewDevice& d) { return d.file.skipped ? "skipped" : "to flash"; }

}  // namespace

std::string format_table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> width;
  for (const auto& r : rows) {
    if (width.size() < r.size()) width.resize(r.size(), 0);
    for (size_t c = 0; c < r.size(); ++c) width[c] = std::max(width[c], r[c].size());
  }
  std::ostringstream out;
  for (const auto& r : rows) {
    std::string line;
    for (size_t c = 0; c < r.size(); ++c) {
      line += r[c];
      if (c + 1 < r.size()) line += std::string(width[c] - r[c].size() + 2, ' ');
    }
    out << line << "\n";
  }
  return out.str();
}

std::string devices_table(const std::vector<ViewDevice>& devices) {
  std::vector<std::vector<std::string>> rows = {
      {"TYPE", "MAC/WWN", "B:D.F", "PRODUCT", "ACTIVE", "OFFERED", "ACTION", "PLUG-IN",
       "STATUS"}};
  for (const ViewDevice& d : devices) {
    const FileDevice& f = d.file;
    rows.push_back({device_type(f), shown(f.mac_or_wwn), pci_address(f), shown(f.product),
                    shown(f.active_version), shown(f.offered_version), shown(f.action),
                    treated_as(d), shown_status(d.action_status)});
  }
  return format_table(rows) +
         "PLUG-IN: how a flash will treat the device (an adapter is flashed unless all its "
         "functions are skipped). STATUS: written by an earlier flash for the whole pass\n";
}

std::string inventory_table(const std::vector<ViewDevice>& devices, const AdapterGroups& groups) {
  std::vector<std::vector<std::string>> rows = {
      {"ADAPTER", "TYPE", "MAC/WWN", "B:D.F", "PRODUCT", "ACTIVE"}};
  for (size_t i = 0; i < devices.size(); ++i) {
    const FileDevice& f = devices[i].file;
    const bool told = i < groups.reported.size() && !groups.reported[i].empty();
    rows.push_back({groups.groups[groups.group_of[i]].label, device_type(f), shown(f.mac_or_wwn),
                    pci_address(f), shown(f.product),
                    told ? groups.reported[i] : shown(f.active_version)});
  }
  return format_table(rows);
}

Json::Value devices_json(const std::vector<ViewDevice>& devices, const AdapterGroups& groups) {
  Json::Value arr(Json::arrayValue);
  for (size_t i = 0; i < devices.size(); ++i) {
    const ViewDevice& d = devices[i];
    const FileDevice& f = d.file;
    Json::Value v(Json::objectValue);
    v["position"] = f.position;
    v["type"] = device_type(f);
    v["mac_or_wwn"] = f.mac_or_wwn;
    v["id_kind"] = id_kind(f.mac_or_wwn);
    v["adapter"] = groups.groups[groups.group_of[i]].label;
    v["pci"] = pci_address(f);
    v["bus"] = f.bus;
    v["device"] = f.dev;
    v["function"] = f.fn;
    v["product"] = f.product;
    v["active_version"] = f.active_version;
    v["offered_version"] = f.offered_version;
    v["firmware_file"] = d.firmware_file;
    v["action"] = f.action;
    v["skipped"] = f.skipped;
    v["action_status"] = d.action_status;
    arr.append(v);
  }
  return arr;
}

Json::Value result_json(int code, const ResultMeaning& meaning) {
  Json::Value v(Json::objectValue);
  v["code"] = code;
  v["name"] = meaning.name;
  v["meaning"] = meaning.meaning;
  return v;
}

std::vector<std::string> file_notes(const std::vector<ViewDevice>& devices,
                                    const AdapterGroups& groups) {
  std::vector<std::string> notes;
  for (const AdapterGroup& g : groups.groups) {
    size_t skipped = 0;
    for (size_t i : g.devices) skipped += devices[i].file.skipped ? 1 : 0;
    if (skipped == 0 || skipped == g.devices.size()) continue;
    notes.push_back("adapter " + g.label +
                    " has functions set to Skip and others not: it is flashed unless all its "
                    "functions are set to Skip");
  }
  return notes;
}

}  // namespace vxhost
