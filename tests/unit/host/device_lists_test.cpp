// The flash call's list helpers: counting the devices read back as skipped, their and all
// identifiers, the first device's values, and logging and freeing a list.
#include "host/device_lists.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "discovery/discovery_reader.h"
#include "log_capture.h"

namespace {

using vxins::inventory::DeviceList;
using vxins::inventory::DeviceRecord;

// A record as the discovery-file reader makes it: fields from leaf lines, skip flag included.
std::unique_ptr<DeviceRecord> from_file(const std::string& mac, const std::string& action,
                                        const std::string& version = "3.1.0.0",
                                        const std::string& file = "boot.tar") {
  std::unique_ptr<DeviceRecord> dev(new DeviceRecord());
  EXPECT_EQ(vxins::discovery::read_device({"\t\t\t<macaddress value=\"" + mac + "\"/>"},
                                          {"\t\t\t\t<version value=\"" + version + "\"/>",
                                           "\t\t\t\t<firmware_file value=\"" + file + "\"/>",
                                           "\t\t\t\t<active_version value=\"3.0.0.0\"/>",
                                           "\t\t\t\t<action value=\"" + action + "\"/>"},
                                          *dev),
            0);
  return dev;
}

// A record as the enumeration makes it: adapter index plus MAC address or WWN.
std::unique_ptr<DeviceRecord> live(const std::string& adapter, const std::string& mac) {
  std::unique_ptr<DeviceRecord> dev(new DeviceRecord(adapter));
  dev->set(DEV_CHAR_CONST_MAC_ADDR_VALUE, mac);
  return dev;
}

TEST(DeviceListsTest, SkipsAreOnlyTheSkipWordsReadBack) {
  DeviceList list;
  list.push_back(from_file("a", "Skip"));
  list.push_back(from_file("b", "Upgrade"));
  list.push_back(from_file("c", "Skip"));
  list.push_back(nullptr);
  list.push_back(from_file("", "skip"));
  list.push_back(from_file("e", ""));  // a framework may blank the action: not a skip
  vxtest::LogCapture log;
  EXPECT_EQ(vxins::host::count_skipped(list), 3);
  EXPECT_EQ(log.count("LOG_INFO : Quorvel device(1) is NOT Set with action!=SKIP"), 1u);
  EXPECT_EQ(log.count("LOG_INFO : Quorvel device(5) is NOT Set with action!=SKIP"), 1u);
  EXPECT_EQ(log.count("LOG_INFO : **********Device 3*******"), 1u);  // null entry: only its header
  EXPECT_EQ(log.count("LOG_INFO : Quorvel device(3) is NOT Set with action!=SKIP"), 0u);
  EXPECT_EQ(vxins::host::skipped_identifiers(list), (std::set<std::string>{"a", "c", ""}));
  EXPECT_EQ(vxins::host::identifiers(list), (std::set<std::string>{"a", "b", "c", "", "e"}));
  // The enumeration's own "Skip" text does not make a device skipped.
  DeviceList enumerated;
  enumerated.push_back(live("idx", "m"));
  enumerated.back()->set(DEV_CHAR_CONST_ACTION_VALUE, "Skip");
  EXPECT_EQ(vxins::host::count_skipped(enumerated), 0);
  EXPECT_TRUE(vxins::host::skipped_identifiers(enumerated).empty());
}

TEST(DeviceListsTest, FirstValuesComeFromTheFirstRecordPastNullEntries) {
  DeviceList list;
  list.push_back(nullptr);
  list.push_back(from_file("a", "Skip", "4.0.0.0", "first.tar"));
  list.push_back(from_file("b", "Upgrade", "5.0.0.0", "second.tar"));
  vxtest::LogCapture log;
  vxins::host::FirstDeviceValues first = vxins::host::first_device_values(list);
  EXPECT_EQ(first.fw_version, "4.0.0.0");
  EXPECT_EQ(first.fw_file, "first.tar");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"LOG_INFO : **********Device 0*******", "",
                                                   "LOG_INFO : **********Device 1*******", ""}));
  first = vxins::host::first_device_values(DeviceList());
  EXPECT_EQ(first.fw_version + first.fw_file, "");
}

TEST(DeviceListsTest, FreeingLogsEveryRecordOnceMoreAndEmptiesTheList) {
  DeviceList list;
  list.push_back(live("a", "m1"));
  list.push_back(nullptr);
  list.push_back(live("b", "m2"));
  vxtest::LogCapture log;
  vxins::host::free_devices(list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(log.count("LOG_DEBUG : --> DisplayDeviceAttribs()"), 2u);
  EXPECT_EQ(log.count("LOG_DEBUG : macaddress value:m1"), 1u);
  EXPECT_EQ(log.count("LOG_DEBUG : macaddress value:m2"), 1u);
  log.clear();
  DeviceList with_null;
  with_null.push_back(nullptr);
  vxins::host::log_devices(with_null);
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{"LOG_INFO : DeviceListVector[0]-NOT A Valid object", ""}));
}

}  // namespace
