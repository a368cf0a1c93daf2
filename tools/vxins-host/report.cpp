// Text and JSON renderings of discovery-file devices.
#include "report.h"

#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace vxhost {

namespace {

std::string shown_status(const std::string& status) {
  if (status == "1") return "1 success";
  if (status.empty()) return "-";
  if (status == "8") return "8 mismatch";
  return status;
}

std::string shown(const std::string& value) {
  // Discovery leaves use one space for "no value".
  bool blank = true;
  for (char c : value) blank = blank && isspace(static_cast<unsigned char>(c));
  return blank ? "-" : value;
}

bool is_skip(const std::string& action) { return action == "Skip" || action == "skip"; }

}  // namespace

std::string devices_table(const std::vector<FileDevice>& devices) {
  const char* heads[] = {"TYPE",   "MAC/WWN", "B:D.F",  "PRODUCT",
                         "ACTIVE", "OFFERED", "ACTION", "STATUS"};
  const size_t ncol = sizeof heads / sizeof heads[0];
  std::vector<std::vector<std::string>> rows;
  rows.push_back(std::vector<std::string>(heads, heads + ncol));
  for (const FileDevice& d : devices) {
    rows.push_back({device_type(d), shown(d.mac_or_wwn), pci_address(d), shown(d.product),
                    shown(d.active_version), shown(d.offered_version), shown(d.action),
                    shown_status(d.action_status)});
  }
  std::vector<size_t> width(ncol, 0);
  for (const auto& r : rows)
    for (size_t c = 0; c < ncol; ++c) width[c] = std::max(width[c], r[c].size());
  std::ostringstream out;
  for (const auto& r : rows) {
    std::string line;
    for (size_t c = 0; c < ncol; ++c) {
      line += r[c];
      if (c + 1 < ncol) line += std::string(width[c] - r[c].size() + 2, ' ');
    }
    out << line << "\n";
  }
  out << "STATUS: \"1 success\" flashed; \"-\" none yet, or a flash or device lookup in the pass failed; "
         "\"8 mismatch\" the package is not the one the file was made for\n";
  return out.str();
}

Json::Value devices_json(const std::vector<FileDevice>& devices) {
  Json::Value arr(Json::arrayValue);
  for (const FileDevice& d : devices) {
    Json::Value v(Json::objectValue);
    v["type"] = device_type(d);
    v["mac_or_wwn"] = d.mac_or_wwn;
    v["id_kind"] = id_kind(d.mac_or_wwn);
    v["pci"] = pci_address(d);
    v["bus"] = d.bus;
    v["device"] = d.device;
    v["function"] = d.function;
    v["product"] = d.product;
    v["active_version"] = d.active_version;
    v["offered_version"] = d.offered_version;
    v["firmware_file"] = d.firmware_file;
    v["action"] = d.action;
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

bool all_flashed_ok(const std::vector<FileDevice>& devices) {
  if (devices.empty()) return false;
  for (const FileDevice& d : devices)
    if (d.action_status != "1") return false;
  return true;
}

std::vector<std::string> partly_skipped_adapters(const std::vector<FileDevice>& devices) {
  std::map<std::string, std::pair<bool, bool>> by_slot;  // bus:device -> (some skip, some not)
  std::vector<std::string> order;
  for (const FileDevice& d : devices) {
    std::string pci = pci_address(d);
    std::string slot = pci.substr(0, pci.rfind('.'));
    if (by_slot.find(slot) == by_slot.end()) order.push_back(slot);
    auto& flags = by_slot[slot];
    (is_skip(d.action) ? flags.first : flags.second) = true;
  }
  std::vector<std::string> out;
  for (const std::string& slot : order)
    if (by_slot[slot].first && by_slot[slot].second) out.push_back(slot);
  return out;
}

std::string json_text(const Json::Value& value) {
  Json::StreamWriterBuilder w;
  w["indentation"] = "  ";
  return Json::writeString(w, value) + "\n";
}

}  // namespace vxhost
