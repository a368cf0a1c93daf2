// Helpers of the discovery-file tests: device records built the way the enumeration builds them,
// the written file's fixed frame, and an independent look at written files through tinyxml2.
#ifndef VXINS_TESTS_DISCOVERY_TEST_UTIL_H
#define VXINS_TESTS_DISCOVERY_TEST_UTIL_H

#include <dirent.h>
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "discovery/discovery_writer.h"
#include "inventory/device_record.h"
#include "log_capture.h"
#include "test_support.h"

namespace disctest {

using vxins::inventory::DeviceList;
using vxins::inventory::DeviceRecord;

// The fixed frame of every discovery file, around its device elements.
const std::string kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vx_rom_discovery version=\"2.0.0.0\">\n"
    "\t<type value=\" \"/>\n\t<alt_name value=\" \"/>\n\t<version value=\" \"/>\n"
    "\t<takes_effect value=\"deferred\"/>\n\t<devices>";
const std::string kFooter = "\n\t</devices>\n</vx_rom_discovery>";

struct PortValues {
  std::string device_id, devid, venid, subdevid, subvenid, product, type, mac_or_wwn;
  std::string bus, dev, fn, fw_id, fw_version, fw_file, active_version, action;
};

// Sets the attributes in exactly the enumeration's order, FW_TYPE included (it is ignored).
inline std::unique_ptr<DeviceRecord> make_port(const PortValues& v,
                                              const std::string& index = "0") {
  std::unique_ptr<DeviceRecord> rec(new DeviceRecord(index));
  rec->set(DEV_CHAR_CONST_DEVICE_ID_VALUE, v.device_id);
  rec->set(DEV_CHAR_CONST_DEVID_VALUE, v.devid);
  rec->set(DEV_CHAR_CONST_VENID_VALUE, v.venid);
  rec->set(DEV_CHAR_CONST_SUBDEVID_VALUE, v.subdevid);
  rec->set(DEV_CHAR_CONST_SUBVENID_VALUE, v.subvenid);
  rec->set(DEV_CHAR_CONST_PRODUCT_ID_VALUE, v.product);
  rec->set(DEV_CHAR_CONST_TYPE_VALUE, v.type);
  rec->set(DEV_CHAR_CONST_MAC_ADDR_VALUE, v.mac_or_wwn);
  rec->set(DEV_CHAR_CONST_BUS_NUM_VALUE, v.bus);
  rec->set(DEV_CHAR_CONST_DEV_NUM_VALUE, v.dev);
  rec->set(DEV_CHAR_CONST_FUNC_NUM_VALUE, v.fn);
  rec->set(DEV_CHAR_CONST_FW_ID_VALUE, v.fw_id);
  rec->set(DEV_CHAR_CONST_FW_TYPE_VALUE, "ROM");
  rec->set(DEV_CHAR_CONST_FW_VERSION_VALUE, v.fw_version);
  rec->set(DEV_CHAR_CONST_FW_FILE_VALUE, v.fw_file);
  rec->set(DEV_CHAR_CONST_ACTIVE_VERSION_VALUE, v.active_version);
  rec->set(DEV_CHAR_CONST_ACTION_VALUE, v.action);
  rec->set(DEV_CHAR_CONST_ACTION_STATUS_VALUE, "");
  rec->set(DEV_CHAR_CONST_DURATION_VALUE, "60");
  rec->set(DEV_CHAR_CONST_MSG_VALUE, "VX Reserved");
  rec->set(DEV_CHAR_CONST_SHARED_VALUE, "no");
  return rec;
}

inline PortValues eth_port() {
  return {"1077.8070.1077.17e8", "8070", "1077", "17e8", "1077", "QLE8242 CNA", "Eth",
          "00:0E:1E:0A:0B:0C", "5", "0", "0", "5.12.3", "3.64.02", "Q3664A.tar", "3.63.10",
          "Upgrade"};
}

inline PortValues fc_port() {
  return {"1077.2532.1077.015d", "2532", "1077", "015d", "1077", "QLE2562", "Fc",
          "21:00:00:0e:1e:0a:0b:0d", "7", "0", "1", "8.07.00.18.07.2-k", "3.64.02",
          "Q3664A.tar", "3.64.02", "Rewrite"};
}

// The Ethernet port (index "0") and the FC port (index "1") of the golden files.
inline void two_ports(DeviceList& list) {
  list.push_back(make_port(eth_port(), "0"));
  list.push_back(make_port(fc_port(), "1"));
}

// What a rewrite after a flash carries into the fw_items, after reading back a file that held
// every device these tests write (the two ports, and a port without an identifier).
inline vxins::discovery::RewriteValues rewrite_values(
    vxins::discovery::FlashOutcome outcome, const std::string& fw_version,
    const std::string& fw_file, const std::set<std::string>& skipped_ids = {}) {
  vxins::discovery::RewriteValues values;
  values.outcome = outcome;
  values.fw_version = fw_version;
  values.fw_file = fw_file;
  values.skipped_ids = skipped_ids;
  values.file_ids = {eth_port().mac_or_wwn, fc_port().mac_or_wwn, ""};
  return values;
}

// One element's leaves as tinyxml2 reads them: (element name, value attribute).
typedef std::vector<std::pair<std::string, std::string>> Leaves;

struct XmlDevice {
  Leaves device;
  Leaves fw_item;
};

inline Leaves leaves_of(const tinyxml2::XMLElement* parent) {
  Leaves out;
  for (const tinyxml2::XMLElement* e = parent->FirstChildElement(); e != nullptr;
       e = e->NextSiblingElement()) {
    if (std::string(e->Name()) == "fw_item" || std::string(e->Name()) == "devices") continue;
    const char* v = e->Attribute("value");
    out.emplace_back(e->Name(), v ? v : "(no value attribute)");
  }
  return out;
}

// Parses a written discovery file with tinyxml2 (fails the test if it is not well-formed or
// lacks the fixed frame) and returns its device elements.
inline std::vector<XmlDevice> parse_with_tinyxml2(const std::string& path) {
  std::vector<XmlDevice> out;
  tinyxml2::XMLDocument doc;
  tinyxml2::XMLError err = doc.LoadFile(path.c_str());
  EXPECT_EQ(err, tinyxml2::XML_SUCCESS) << path << ": " << doc.ErrorStr();
  if (err != tinyxml2::XML_SUCCESS) return out;
  const tinyxml2::XMLElement* root = doc.RootElement();
  EXPECT_STREQ(root->Name(), "vx_rom_discovery");
  EXPECT_STREQ(root->Attribute("version"), "2.0.0.0");
  Leaves header = leaves_of(root);
  Leaves expected_header = {{"type", " "}, {"alt_name", " "}, {"version", " "},
                            {"takes_effect", "deferred"}};
  EXPECT_EQ(header, expected_header);
  const tinyxml2::XMLElement* devices = root->FirstChildElement("devices");
  EXPECT_NE(devices, nullptr);
  if (devices == nullptr) return out;
  for (const tinyxml2::XMLElement* d = devices->FirstChildElement("device"); d != nullptr;
       d = d->NextSiblingElement("device")) {
    XmlDevice xd;
    xd.device = leaves_of(d);
    const tinyxml2::XMLElement* fw = d->FirstChildElement("fw_item");
    EXPECT_NE(fw, nullptr);
    if (fw != nullptr) xd.fw_item = leaves_of(fw);
    out.push_back(xd);
  }
  return out;
}

// The leaves the writer must produce for a record built by make_port.
inline XmlDevice expected_leaves(const PortValues& v, const std::string& action_status = "") {
  XmlDevice xd;
  xd.device = {{"device_id", v.device_id}, {"devid", v.devid},       {"venid", v.venid},
               {"subdevid", v.subdevid},   {"subvenid", v.subvenid}, {"product_id", v.product},
               {"nictype", " "},           {"macaddress", v.mac_or_wwn},
               {"busnumber", v.bus},       {"devicenumber", v.dev},  {"funcnumber", v.fn},
               {"slotnumber", "FFFFFFFF"}};
  xd.fw_item = {{"type", "ROM"},
                {"firmware_id", v.fw_id},
                {"version", v.fw_version},
                {"firmware_file", v.fw_file},
                {"active_version", v.active_version},
                {"action", v.action},
                {"action_status", action_status},
                {"duration", "60"},
                {"message", "VX Reserved"},
                {"shared", "no"}};
  return xd;
}

inline bool operator==(const XmlDevice& a, const XmlDevice& b) {
  return a.device == b.device && a.fw_item == b.fw_item;
}

// Names in a folder, "." and ".." left out.
inline std::vector<std::string> folder_entries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (struct dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string fixture(const std::string& name) {
  return vxtest::read_file(std::string(VXINS_FIXTURES_DIR) + "/discovery/" + name);
}

}  // namespace disctest

#endif
