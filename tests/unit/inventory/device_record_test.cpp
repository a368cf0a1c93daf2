// The device record: the attribute table, the pair list kept in step with the fields, the
// attribute dump and the accessors.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log_capture.h"
#include "qrvl_device.h"

namespace {

struct AttribRow {
  VXINS_DEV_CHAR_CONSTS id;
  uint32_t val_type;
  const char* tag_desc;
  std::function<const std::string&(const dev_char_t&)> field;
};

const std::vector<AttribRow>& attrib_rows() {
  static const std::vector<AttribRow> rows = {
      {DEV_CHAR_CONST_DEVICE_ID_VALUE, 1, "device_id value", [](const dev_char_t& d) -> const std::string& { return d.dev_desc; }},
      {DEV_CHAR_CONST_VXINSLIB_VERSION_VALUE, 0, "version", [](const dev_char_t& d) -> const std::string& { return d.hdr.version; }},
      {DEV_CHAR_CONST_VXINSLIB_TYPE_VALUE, 0, "type value", [](const dev_char_t& d) -> const std::string& { return d.hdr.type; }},
      {DEV_CHAR_CONST_FW_VERSION_VALUE, 2, "version value", [](const dev_char_t& d) -> const std::string& { return d.fw_dev.fw_version; }},
      {DEV_CHAR_CONST_ALTNAME_VALUE, 0, "alt_name value", [](const dev_char_t& d) -> const std::string& { return d.hdr.alt_name; }},
      {DEV_CHAR_CONST_TAKES_EFFECT_VALUE, 0, "takes_effect value", [](const dev_char_t& d) -> const std::string& { return d.hdr.takes_effect; }},
      {DEV_CHAR_CONST_TYPE_VALUE, 1, "nictype value", [](const dev_char_t& d) -> const std::string& { return d.dev_type; }},
      {DEV_CHAR_CONST_VENID_VALUE, 1, "venid value", [](const dev_char_t& d) -> const std::string& { return d.ven_id; }},
      {DEV_CHAR_CONST_DEVID_VALUE, 1, "devid value", [](const dev_char_t& d) -> const std::string& { return d.dev_id; }},
      {DEV_CHAR_CONST_SUBVENID_VALUE, 1, "subvenid value", [](const dev_char_t& d) -> const std::string& { return d.sub_ven_id; }},
      {DEV_CHAR_CONST_SUBDEVID_VALUE, 1, "subdevid value", [](const dev_char_t& d) -> const std::string& { return d.sub_dev_id; }},
      {DEV_CHAR_CONST_PRODUCT_ID_VALUE, 1, "product_id value", [](const dev_char_t& d) -> const std::string& { return d.prod_id; }},
      {DEV_CHAR_CONST_BUS_NUM_VALUE, 1, "busnumber value", [](const dev_char_t& d) -> const std::string& { return d.bus_num; }},
      {DEV_CHAR_CONST_DEV_NUM_VALUE, 1, "devicenumber value", [](const dev_char_t& d) -> const std::string& { return d.dev_num; }},
      {DEV_CHAR_CONST_FUNC_NUM_VALUE, 1, "funcnumber value", [](const dev_char_t& d) -> const std::string& { return d.fn_num; }},
      {DEV_CHAR_CONST_SLOT_NUM_VALUE, 1, "slotnumber value", [](const dev_char_t& d) -> const std::string& { return d.slot_num; }},
      {DEV_CHAR_CONST_MAC_ADDR_VALUE, 1, "macaddress value", [](const dev_char_t& d) -> const std::string& { return d.mac_or_wwn; }},
      {DEV_CHAR_CONST_FW_ID_VALUE, 2, "firmware_id value", [](const dev_char_t& d) -> const std::string& { return d.fw_dev.fw_id; }},
      {DEV_CHAR_CONST_FW_FILE_VALUE, 2, "firmware_file value", [](const dev_char_t& d) -> const std::string& { return d.fw_dev.fw_file; }},
      {DEV_CHAR_CONST_ACTIVE_VERSION_VALUE, 2, "active_version value", [](const dev_char_t& d) -> const std::string& { return d.fw_dev.active_version; }},
      {DEV_CHAR_CONST_ACTION_VALUE, 2, "action value", [](const dev_char_t& d) -> const std::string& { return d.fw_dev.action; }},
      {DEV_CHAR_CONST_ACTION_STATUS_VALUE, 2, "action_status value", [](const dev_char_t& d) -> const std::string& { return d.fw_dev.action_st; }},
      {DEV_CHAR_CONST_DURATION_VALUE, 2, "duration value", [](const dev_char_t& d) -> const std::string& { return d.fw_dev.duration; }},
      {DEV_CHAR_CONST_MSG_VALUE, 2, "message value", [](const dev_char_t& d) -> const std::string& { return d.fw_dev.msg; }},
      {DEV_CHAR_CONST_SHARED_VALUE, 2, "shared value", [](const dev_char_t& d) -> const std::string& { return d.fw_dev.shared_val; }},
  };
  return rows;
}

const char* const kDumpLabels[] = {
    "device_id value",    "type value",          "venid value",         "devid value",
    "subvenid value",     "subdevid value",      "product_id value",    "busnumber value",
    "devicenumber value", "funcnumber value",    "slotnumber value",    "macaddress value",
    "version value",      "firmware_id value",   "active_version value", "action value",
    "action_status value", "duration value",     "message value",       "shared value",
    "firmware_file value"};

// The dump of a record whose fields hold `values` (by label; missing labels are empty).
std::vector<std::string> expected_dump(const std::function<std::string(const char*)>& value) {
  std::vector<std::string> lines = {"LOG_DEBUG : --> DisplayDeviceAttribs()"};
  bool first = true;
  for (const char* label : kDumpLabels) {
    lines.push_back(std::string("LOG_DEBUG : ") + label + ":" + value(label));
    if (first) lines.push_back("");  // the first line's own newline
    first = false;
  }
  lines.push_back("LOG_DEBUG : <-- DisplayDeviceAttribs()");
  return lines;
}

TEST(DeviceRecordTest, EveryAttributeSetsItsFieldAndAppendsItsPair) {
  LogCapture log;
  for (const AttribRow& row : attrib_rows()) {
    SCOPED_TRACE(row.tag_desc);
    CQrvlDevice dev("idx");
    const std::string value = std::string("v") + std::to_string(row.id);
    dev.SetDeviceValue(row.id, value);
    EXPECT_EQ(row.field(dev.info()), value);
    std::vector<dev_tag_val_pair_t> pairs;
    dev.getDeviceAttribs(pairs);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].val_type, row.val_type);
    EXPECT_EQ(pairs[0].tag_id, static_cast<uint32_t>(row.id));
    EXPECT_EQ(pairs[0].tag_desc, row.tag_desc);
    // The port type is the one attribute whose pair carries a blank instead of the value.
    EXPECT_EQ(pairs[0].tag_val, row.id == DEV_CHAR_CONST_TYPE_VALUE ? " " : value);
  }
  EXPECT_EQ(log.text(), "");
}

TEST(DeviceRecordTest, TypeKeepsValueButPairCarriesBlank) {
  CQrvlDevice dev("idx");
  dev.SetDeviceValue(DEV_CHAR_CONST_TYPE_VALUE, "Eth");
  EXPECT_EQ(dev.info().dev_type, "Eth");
  std::vector<dev_tag_val_pair_t> pairs;
  dev.getDeviceAttribs(pairs);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].val_type, 1u);
  EXPECT_EQ(pairs[0].tag_id, 6u);
  EXPECT_EQ(pairs[0].tag_desc, "nictype value");
  EXPECT_EQ(pairs[0].tag_val, " ");
}

TEST(DeviceRecordTest, UnknownAttributesAreLoggedAndIgnored) {
  const int ids[] = {DEV_CHAR_CONST_FW_TYPE_VALUE, 26, -1, 1000};
  for (int id : ids) {
    SCOPED_TRACE(id);
    LogCapture log;
    CQrvlDevice dev("idx");
    dev.SetDeviceValue(static_cast<VXINS_DEV_CHAR_CONSTS>(id), "ROM");
    std::vector<dev_tag_val_pair_t> pairs;
    dev.getDeviceAttribs(pairs);
    EXPECT_TRUE(pairs.empty());
    EXPECT_EQ(dev.info().fw_dev.type, "");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"LOG_ERROR : DEFAULT : Unknown Dev attrib"});
  }
}

TEST(DeviceRecordTest, SettingTwiceKeepsBothPairsAndTheLaterValue) {
  CQrvlDevice dev("idx");
  dev.SetDeviceValue(DEV_CHAR_CONST_VENID_VALUE, "1077");
  dev.SetDeviceValue(DEV_CHAR_CONST_VENID_VALUE, "abcd");
  EXPECT_EQ(dev.info().ven_id, "abcd");
  std::vector<dev_tag_val_pair_t> pairs;
  dev.getDeviceAttribs(pairs);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].tag_val, "1077");
  EXPECT_EQ(pairs[1].tag_val, "abcd");
  EXPECT_EQ(pairs[1].tag_desc, "venid value");
}

TEST(DeviceRecordTest, GetDeviceAttribsAppendsAfterExistingPairsInSetOrder) {
  CQrvlDevice dev("idx");
  dev.SetDeviceValue(DEV_CHAR_CONST_MAC_ADDR_VALUE, "00:0e:1e:00:00:01");
  dev.SetDeviceValue(DEV_CHAR_CONST_DEVICE_ID_VALUE, "1077.8070.1077.1");
  dev.SetDeviceValue(DEV_CHAR_CONST_SHARED_VALUE, "no");
  std::vector<dev_tag_val_pair_t> pairs(3);
  for (size_t i = 0; i < 3; ++i) pairs[i].tag_desc = "pre" + std::to_string(i);
  dev.getDeviceAttribs(pairs);
  ASSERT_EQ(pairs.size(), 6u);
  EXPECT_EQ(pairs[0].tag_desc, "pre0");
  EXPECT_EQ(pairs[2].tag_desc, "pre2");
  EXPECT_EQ(pairs[3].tag_desc, "macaddress value");
  EXPECT_EQ(pairs[4].tag_desc, "device_id value");
  EXPECT_EQ(pairs[5].tag_desc, "shared value");
  // A second read appends the record's pairs again; the record itself is unchanged.
  dev.getDeviceAttribs(pairs);
  EXPECT_EQ(pairs.size(), 9u);
}

TEST(DeviceRecordTest, FreshRecordsDumpTwentyOneEmptyFields) {
  CQrvlDevice plain;
  CQrvlDevice indexed("21:00:00:0e:1e:00:00:01");
  for (CQrvlDevice* dev : {&plain, &indexed}) {
    LogCapture log;
    dev->DisplayDeviceAttribs();
    EXPECT_EQ(log.lines(), expected_dump([](const char*) { return std::string(); }));
    std::vector<dev_tag_val_pair_t> pairs;
    dev->getDeviceAttribs(pairs);
    EXPECT_TRUE(pairs.empty());
    EXPECT_FALSE(dev->IsDeviceActionSetToSkip());
    EXPECT_EQ(dev->action_value(), FW_STATUS_SKIP);
    EXPECT_EQ(dev->fw_version_str(), "");
  }
}

TEST(DeviceRecordTest, DumpLogsEveryFieldInOrderAndNoHeader) {
  CQrvlDevice dev("idx");
  for (const AttribRow& row : attrib_rows()) dev.SetDeviceValue(row.id, row.tag_desc);
  LogCapture log;
  dev.DisplayDeviceAttribs();
  // Each field was set to its own tag_desc, which is also the dump label of every field
  // except the header ones (never dumped) and "type value" (dev_type holds "nictype value").
  EXPECT_EQ(log.lines(), expected_dump([](const char* label) {
              return std::string(label) == "type value" ? std::string("nictype value")
                                                        : std::string(label);
            }));
}

TEST(DeviceRecordTest, DumpCutsLongValuesToTheLogBuffer) {
  CQrvlDevice dev("idx");
  const std::string long_name(600, 'p');
  dev.SetDeviceValue(DEV_CHAR_CONST_PRODUCT_ID_VALUE, long_name);
  LogCapture log;
  dev.DisplayDeviceAttribs();
  const std::string prefix = "product_id value:";
  const std::string want = "LOG_DEBUG : " + prefix + long_name.substr(0, 399 - prefix.size());
  EXPECT_EQ(log.count(want), 1u);
}

TEST(DeviceRecordTest, SkipActionTextDoesNotMarkTheRecordSkipped) {
  CQrvlDevice dev("idx");
  dev.SetDeviceValue(DEV_CHAR_CONST_ACTION_VALUE, "Skip");
  EXPECT_FALSE(dev.IsDeviceActionSetToSkip());
  EXPECT_EQ(dev.action_value(), FW_STATUS_SKIP);
}

TEST(DeviceRecordTest, IsDeviceNeverMatches) {
  CQrvlDevice dev("idx");
  dev.SetDeviceValue(DEV_CHAR_CONST_BUS_NUM_VALUE, "0");
  dev.SetDeviceValue(DEV_CHAR_CONST_DEV_NUM_VALUE, "0");
  dev.SetDeviceValue(DEV_CHAR_CONST_FUNC_NUM_VALUE, "0");
  const int addrs[][3] = {{0, 0, 0}, {10, 0, 1}, {-1, -1, -1}, {255, 31, 7}};
  for (const auto& a : addrs) EXPECT_FALSE(dev.IsDevice(a[0], a[1], a[2]));
}

TEST(DeviceRecordTest, AccessorsReplaceTheirArgument) {
  CQrvlDevice dev("0000:0a:00.0-adapter");
  dev.SetDeviceValue(DEV_CHAR_CONST_MAC_ADDR_VALUE, "00:0e:1e:aa:bb:cc");
  dev.SetDeviceValue(DEV_CHAR_CONST_FW_FILE_VALUE, "boot.tar");
  dev.SetDeviceValue(DEV_CHAR_CONST_FW_VERSION_VALUE, "3.0.3.0");
  dev.SetDeviceValue(DEV_CHAR_CONST_ACTIVE_VERSION_VALUE, "3.0.2.1");
  dev.SetDeviceValue(DEV_CHAR_CONST_ACTION_VALUE, "Upgrade");

  std::string s = "stale";
  EXPECT_EQ(dev.get_index(s), 0);
  EXPECT_EQ(s, "0000:0a:00.0-adapter");
  s = "stale";
  EXPECT_EQ(dev.getMacOrWWN(s), 0);
  EXPECT_EQ(s, "00:0e:1e:aa:bb:cc");
  s = "stale";
  dev.get_firmware_file(s);
  EXPECT_EQ(s, "boot.tar");
  s = "stale";
  dev.get_fw_ver_val(s);
  EXPECT_EQ(s, "3.0.3.0");
  s = "stale";
  dev.get_active_ver_val(s);
  EXPECT_EQ(s, "3.0.2.1");
  s = "stale";
  dev.get_action_val(s);
  EXPECT_EQ(s, "Upgrade");

  CQrvlDevice plain;
  s = "stale";
  EXPECT_EQ(plain.get_index(s), 0);
  EXPECT_EQ(s, "");
  s = "stale";
  EXPECT_EQ(plain.getMacOrWWN(s), 0);
  EXPECT_EQ(s, "");
}

}  // namespace
