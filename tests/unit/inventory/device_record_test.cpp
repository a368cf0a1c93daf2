// The device record: a value set lands in its field and in the written order, the port type's
// blank leaf, unknown identifiers, and the dump's lines in their order.
#include "inventory/device_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_capture.h"

namespace {

using vxins::inventory::AttributeValue;
using vxins::inventory::DeviceInfo;
using vxins::inventory::DeviceRecord;
using vxtest::LogCapture;

// The dump's labels in the dump's order, as the trace log has always shown them.
const char* const kDumpLabels[] = {
    "device_id value",    "type value",          "venid value",         "devid value",
    "subvenid value",     "subdevid value",      "product_id value",    "busnumber value",
    "devicenumber value", "funcnumber value",    "slotnumber value",    "macaddress value",
    "version value",      "firmware_id value",   "active_version value", "action value",
    "action_status value", "duration value",     "message value",       "shared value",
    "firmware_file value"};

// The dump of a record whose field under each label holds value(label).
template <typename ValueOf>
std::vector<std::string> expected_dump(ValueOf value) {
  std::vector<std::string> lines = {"LOG_DEBUG : --> DisplayDeviceAttribs()"};
  for (const char* label : kDumpLabels) {
    lines.push_back(std::string("LOG_DEBUG : ") + label + ":" + value(label));
    if (lines.size() == 2) lines.push_back("");  // the first line's own newline
  }
  lines.push_back("LOG_DEBUG : <-- DisplayDeviceAttribs()");
  return lines;
}

// One attribute of each kind: a device leaf, the port type, a firmware leaf, a header value.
struct SetCase {
  VXINS_DEV_CHAR_CONSTS id;
  const char* value;
  const std::string& (*field)(const DeviceInfo&);
  const char* written_tag;
  const char* written_value;
};

const SetCase kSetCases[] = {
    {DEV_CHAR_CONST_MAC_ADDR_VALUE, "00:0e:1e:aa:bb:cc",
     [](const DeviceInfo& i) -> const std::string& { return i.mac_or_wwn; }, "macaddress value",
     "00:0e:1e:aa:bb:cc"},
    {DEV_CHAR_CONST_TYPE_VALUE, "Eth",
     [](const DeviceInfo& i) -> const std::string& { return i.dev_type; }, "nictype value", " "},
    {DEV_CHAR_CONST_ACTIVE_VERSION_VALUE, "3.0.2.1",
     [](const DeviceInfo& i) -> const std::string& { return i.fw_dev.active_version; },
     "active_version value", "3.0.2.1"},
    {DEV_CHAR_CONST_VXINSLIB_VERSION_VALUE, "2.0",
     [](const DeviceInfo& i) -> const std::string& { return i.hdr.version; }, "version", "2.0"},
};

TEST(DeviceRecordTest, ValuesLandInTheirFieldsAndInTheOrderSet) {
  LogCapture log;
  DeviceRecord dev("idx");
  for (const SetCase& c : kSetCases) dev.set(c.id, c.value);
  dev.set(DEV_CHAR_CONST_VENID_VALUE, "1077");
  dev.set(DEV_CHAR_CONST_VENID_VALUE, "abcd");  // set twice: both written, the later kept
  for (const SetCase& c : kSetCases) EXPECT_EQ(c.field(dev.info()), c.value) << c.written_tag;
  EXPECT_EQ(dev.info().ven_id, "abcd");
  std::vector<std::string> written;
  for (const AttributeValue& v : dev.values())
    written.push_back(v.attribute->tag + ("=" + v.value));
  std::vector<std::string> want;
  for (const SetCase& c : kSetCases)
    want.push_back(std::string(c.written_tag) + "=" + c.written_value);
  want.push_back("venid value=1077");
  want.push_back("venid value=abcd");
  EXPECT_EQ(written, want);
  EXPECT_EQ(dev.adapter_index(), "idx");
  EXPECT_EQ(log.text(), "");
}

TEST(DeviceRecordTest, UnknownIdentifiersAreLoggedAndIgnored) {
  for (int id : {static_cast<int>(DEV_CHAR_CONST_FW_TYPE_VALUE), 26, -1, 1000}) {
    SCOPED_TRACE(id);
    LogCapture log;
    DeviceRecord dev("idx");
    dev.set(static_cast<VXINS_DEV_CHAR_CONSTS>(id), "ROM");
    EXPECT_TRUE(dev.values().empty());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"LOG_ERROR : DEFAULT : Unknown Dev attrib"});
  }
}

// Only a Skip read back from the discovery file marks a record skipped, never the
// enumeration's own "Skip" text.
TEST(DeviceRecordTest, FreshRecordsDumpEmptyFieldsAndAreNotSkipped) {
  DeviceRecord plain;
  DeviceRecord indexed("21:00:00:0e:1e:00:00:01");
  indexed.set(DEV_CHAR_CONST_ACTION_VALUE, "Skip");
  for (DeviceRecord* dev : {&plain, &indexed}) {
    LogCapture log;
    dev->log_fields();
    EXPECT_EQ(log.lines(), expected_dump([&](const std::string& label) {
                return label == "action value" ? dev->info().fw_dev.action : std::string();
              }));
    EXPECT_FALSE(dev->skipped());
    EXPECT_EQ(dev->action_code(), FW_STATUS_SKIP);
  }
}

// Each field set to its own dump label comes out under that label; the header values never do.
TEST(DeviceRecordTest, DumpShowsEveryFieldUnderItsLabelInOrder) {
  DeviceRecord dev("idx");
  size_t count = 0;
  const vxins::inventory::Attribute* table = vxins::inventory::attributes(&count);
  for (size_t i = 0; i < count; ++i)
    dev.set(table[i].id, table[i].label != nullptr ? table[i].label : "header");
  LogCapture log;
  dev.log_fields();
  EXPECT_EQ(log.lines(), expected_dump([](const std::string& label) { return label; }));
}

TEST(DeviceRecordTest, DumpCutsLongValuesToTheLogBuffer) {
  DeviceRecord dev("idx");
  const std::string long_name(600, 'p');
  dev.set(DEV_CHAR_CONST_PRODUCT_ID_VALUE, long_name);
  LogCapture log;
  dev.log_fields();
  const std::string prefix = "product_id value:";
  const std::string want = "LOG_DEBUG : " + prefix + long_name.substr(0, 399 - prefix.size());
  EXPECT_EQ(log.count(want), 1u);
}

}  // namespace
