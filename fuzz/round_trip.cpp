#include "round_trip.h"

#include <cstdio>
#include <utility>

#include <tinyxml2.h>

#include "discovery/discovery_reader.h"
#include "fuzz_support.h"

namespace vxfuzz {

namespace {

using vxins::discovery::FlashOutcome;
using vxins::discovery::RewriteValues;
using vxins::inventory::AttributeValue;
using vxins::inventory::DeviceList;
using vxins::inventory::DeviceRecord;
using vxins::inventory::Section;

struct Leaf {
  std::string name;   // element name: the tag text before " value"
  std::string value;  // the value expected after the round trip
};

struct ExpectedDevice {
  std::vector<Leaf> dev;
  std::vector<Leaf> fw;
};

std::string element_name(const std::string& tag_desc) {
  std::string::size_type blank = tag_desc.find(' ');
  return blank == std::string::npos ? tag_desc : tag_desc.substr(0, blank);
}

// The action_status text a rewrite writes for each outcome.
std::string status_text(FlashOutcome outcome) {
  if (outcome == FlashOutcome::kSuccess) return "1";
  if (outcome == FlashOutcome::kPackageMismatch) return "8";
  return "";
}

// Mirrors what the writer puts into one device element.
ExpectedDevice expect(const DeviceRecord& dev, const RewriteValues* rewrite) {
  ExpectedDevice out;
  for (const AttributeValue& v : dev.values()) {
    if (v.attribute->section == Section::kDevice)
      out.dev.push_back({element_name(v.attribute->tag), expected_after_round_trip(v.value)});
  }
  out.dev.push_back({"slotnumber", "FFFFFFFF"});
  out.fw.push_back({"type", "ROM"});
  for (const AttributeValue& v : dev.values()) {
    if (v.attribute->section != Section::kFirmware) continue;
    const std::string tag = v.attribute->tag;
    std::string value = v.value;
    if (rewrite != nullptr) {
      // A device the file did not hold, on an adapter the pass did not try, was never reviewed.
      const bool unreviewed = rewrite->file_ids.count(dev.mac_or_wwn()) == 0 &&
                              rewrite->tried_adapters.count(dev.adapter_index()) == 0;
      if (tag == "version value") value = rewrite->fw_version;
      if (tag == "action_status value") value = unreviewed ? "" : status_text(rewrite->outcome);
      if (tag == "firmware_file value") value = rewrite->fw_file;
      if (tag == "action value") {
        value = rewrite->skipped_ids.count(dev.mac_or_wwn()) != 0 || unreviewed
                    ? "Skip"
                    : dev.info().fw_dev.action;
      }
    }
    out.fw.push_back({element_name(tag), expected_after_round_trip(value)});
  }
  return out;
}

void compare_leaves(const tinyxml2::XMLElement* parent, const std::vector<Leaf>& want,
                    const char* skip, size_t dev_no, const char* where) {
  size_t k = 0;
  for (const tinyxml2::XMLElement* e = parent->FirstChildElement(); e != nullptr;
       e = e->NextSiblingElement()) {
    if (skip != nullptr && std::string(e->Name()) == skip) continue;
    if (k >= want.size())
      fail("device " + std::to_string(dev_no) + " " + where + ": extra element " + e->Name());
    const char* v = e->Attribute("value");
    if (want[k].name != e->Name() || v == nullptr || want[k].value != v) {
      fail("device " + std::to_string(dev_no) + " " + where + " leaf " + std::to_string(k) +
           ": tinyxml2 reads <" + e->Name() + " value=\"" + (v ? v : "(none)") +
           "\"> where <" + want[k].name + " value=\"" + want[k].value + "\"> was written");
    }
    ++k;
  }
  if (k != want.size()) fail("device " + std::to_string(dev_no) + " " + where + ": leaves missing");
}

// The field of a read-back record that the plug-in's reader fills from a leaf, or null for a
// leaf it does not read.
const std::string* reader_field(const DeviceRecord& d, bool fw, const std::string& name) {
  const vxins::inventory::DeviceInfo& i = d.info();
  if (!fw) {
    if (name == "device_id") return &i.dev_desc;
    if (name == "venid") return &i.ven_id;
    if (name == "devid") return &i.dev_id;
    if (name == "subvenid") return &i.sub_ven_id;
    if (name == "subdevid") return &i.sub_dev_id;
    if (name == "product_id") return &i.prod_id;
    if (name == "busnumber") return &i.bus_num;
    if (name == "devicenumber") return &i.dev_num;
    if (name == "funcnumber") return &i.fn_num;
    if (name == "slotnumber") return &i.slot_num;
    if (name == "macaddress") return &i.mac_or_wwn;
    return nullptr;
  }
  const vxins::inventory::FirmwareInfo& f = i.fw_dev;
  if (name == "firmware_id") return &f.fw_id;
  if (name == "version") return &f.fw_version;
  if (name == "firmware_file") return &f.fw_file;
  if (name == "active_version") return &f.active_version;
  if (name == "action") return &f.action;
  if (name == "action_status") return &f.action_st;
  if (name == "duration") return &f.duration;
  if (name == "message") return &f.msg;
  if (name == "shared") return &f.shared_val;
  return nullptr;
}

void compare_reader(const DeviceRecord& back, const std::vector<Leaf>& want, bool fw,
                    size_t dev_no) {
  for (const Leaf& leaf : want) {
    const std::string* got = reader_field(back, fw, leaf.name);
    if (got == nullptr) continue;
    if (*got != leaf.value) {
      fail("device " + std::to_string(dev_no) + ": the plug-in reads " + leaf.name + "=\"" +
           *got + "\" where \"" + leaf.value + "\" was written");
    }
  }
}

}  // namespace

std::string expected_after_round_trip(const std::string& value) {
  std::string out;
  for (char ch : value) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
      out += "\xEF\xBF\xBD";
    else
      out += ch;
  }
  return out;
}

void check_discovery_file(const std::string& path, const DeviceList& written,
                          const RewriteValues* rewrite) {
  std::vector<ExpectedDevice> want;
  for (const auto& dev : written)
    if (dev != nullptr) want.push_back(expect(*dev, rewrite));

  tinyxml2::XMLDocument doc;
  if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS)
    fail(std::string("discovery file is not well-formed: ") +
         (doc.ErrorStr() ? doc.ErrorStr() : "?"));
  const tinyxml2::XMLElement* root = doc.FirstChildElement("vx_rom_discovery");
  if (root == nullptr) fail("no vx_rom_discovery root");
  const char* version = root->Attribute("version");
  if (version == nullptr || std::string(version) != "2.0.0.0") fail("root version is not 2.0.0.0");
  const tinyxml2::XMLElement* devices = root->FirstChildElement("devices");
  if (devices == nullptr) fail("no devices element");
  size_t n = 0;
  for (const tinyxml2::XMLElement* d = devices->FirstChildElement("device"); d != nullptr;
       d = d->NextSiblingElement("device"), ++n) {
    if (n >= want.size()) fail("more device elements than records");
    compare_leaves(d, want[n].dev, "fw_item", n, "device");
    const tinyxml2::XMLElement* fw = d->FirstChildElement("fw_item");
    if (fw == nullptr) fail("device " + std::to_string(n) + " has no fw_item");
    compare_leaves(fw, want[n].fw, nullptr, n, "fw_item");
  }
  if (n != want.size()) {
    fail(std::to_string(want.size()) + " records written, " + std::to_string(n) +
         " device elements found");
  }

  DeviceList back;
  int rc = vxins::discovery::read_discovery_file(path, back);
  if (rc != 0) fail("read_discovery_file returned " + std::to_string(rc));
  if (back.size() != want.size()) {
    fail(std::to_string(want.size()) + " records written, " + std::to_string(back.size()) +
         " read back");
  }
  for (size_t i = 0; i < back.size(); ++i) {
    compare_reader(*back[i], want[i].dev, false, i);
    compare_reader(*back[i], want[i].fw, true, i);
  }
}

}  // namespace vxfuzz
