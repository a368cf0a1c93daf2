// The flash call's list helpers: matching file devices to live adapters, counting skips,
// taking the first device's values, and the update-status list that keeps every adapter to one
// flash per call.
#include <gtest/gtest.h>

#include <stdexcept>

#include "host/device_list.h"
#include "test_support.h"
#include "vxins_log.h"
#include "znaj_agent.h"

namespace {

class DeviceListTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(vxins_log_set_path(tmp_.file("trace.log").c_str())); }
  std::vector<std::string> Log() { return vxtest::split_lines(vxtest::read_file(tmp_.file("trace.log"))); }
  void ClearLog() { remove(tmp_.file("trace.log").c_str()); }
  size_t Count(const std::string& line) {
    size_t n = 0;
    for (const std::string& l : Log()) n += (l == line);
    return n;
  }
  vxtest::TempDir tmp_;
};

// A record as the discovery-file reader makes it: fields from leaf lines, skip flag included.
CQrvlDevice* FromFile(const std::string& mac, const std::string& action, const std::string& version = "3.1.0.0",
                      const std::string& file = "boot.tar") {
  CQrvlDevice* dev = new CQrvlDevice();
  dev->SetXMLTagPair({"\t\t\t<macaddress value=\"" + mac + "\"/>"},
                     {"\t\t\t\t<version value=\"" + version + "\"/>",
                      "\t\t\t\t<firmware_file value=\"" + file + "\"/>",
                      "\t\t\t\t<active_version value=\"3.0.0.0\"/>",
                      "\t\t\t\t<action value=\"" + action + "\"/>"});
  return dev;
}

// A record as the enumeration makes it: adapter index plus MAC address or WWN.
CQrvlDevice* Live(const std::string& adapter, const std::string& mac) {
  CQrvlDevice* dev = new CQrvlDevice(adapter);
  dev->SetDeviceValue(DEV_CHAR_CONST_MAC_ADDR_VALUE, mac);
  return dev;
}

TEST_F(DeviceListTest, SkipCountSeesOnlyReadBackSkipWords) {
  OwnedDeviceList list;
  list.devices = {FromFile("a", "Skip"), FromFile("b", "Upgrade"), FromFile("c", "Skip"), nullptr,
                  FromFile("d", "skip"), FromFile("e", "SKIP")};
  ClearLog();
  EXPECT_EQ(get_skip_cnt_from_dev_vector(list.devices), 3);
  EXPECT_EQ(Count("LOG_INFO : Quorvel device(1) is NOT Set with action!=SKIP"), 1u);
  EXPECT_EQ(Count("LOG_INFO : Quorvel device(5) is NOT Set with action!=SKIP"), 1u);
  EXPECT_EQ(Count("LOG_INFO : **********Device 3*******"), 1u);  // null entry: only its header
  EXPECT_EQ(Count("LOG_INFO : Quorvel device(3) is NOT Set with action!=SKIP"), 0u);
  // The enumeration's own "Skip" text does not make a device skipped.
  CQrvlDevice live("idx");
  live.SetDeviceValue(DEV_CHAR_CONST_ACTION_VALUE, "Skip");
  EXPECT_EQ(get_skip_cnt_from_dev_vector({&live}), 0);
}

TEST_F(DeviceListTest, OldValuesComeFromTheFirstRecordPastNullEntries) {
  OwnedDeviceList list;
  list.devices = {nullptr, FromFile("a", "Skip", "4.0.0.0", "first.tar"), FromFile("b", "Upgrade", "5.0.0.0", "second.tar")};
  std::string ver = "x", file = "x", active = "x", action = "x";
  ClearLog();
  get_old_values_from_file(list.devices, ver, file, active, action);
  EXPECT_EQ(ver, "4.0.0.0");
  EXPECT_EQ(file, "first.tar");
  EXPECT_EQ(active, "3.0.0.0");
  EXPECT_EQ(action, "Skip");
  EXPECT_EQ(Log(), (std::vector<std::string>{"LOG_INFO : **********Device 0*******", "",
                                             "LOG_INFO : **********Device 1*******", ""}));
  get_old_values_from_file({}, ver, file, active, action);
  EXPECT_EQ(ver + file + active + action, "");
}

TEST_F(DeviceListTest, UpdateStatusMarksAndQueriesWithinTheCount) {
  flash_update_list_t list(3);
  list[0].adapt_idx = "A";
  list[1].adapt_idx = "B";
  list[2].adapt_idx = "A";  // listed twice by the agent: only the first entry is used
  ClearLog();
  EXPECT_FALSE(IsUpdateRequiredForAdapterIndex("A", list, 3));
  SetUpdateStatusInAdapterIndex("A", true, list, 3);
  EXPECT_TRUE(IsUpdateRequiredForAdapterIndex("A", list, 3));
  EXPECT_TRUE(list[0].bUpgraded);
  EXPECT_FALSE(list[2].bUpgraded);
  EXPECT_FALSE(IsUpdateRequiredForAdapterIndex("B", list, 3));
  EXPECT_TRUE(Log().empty());
  EXPECT_TRUE(IsUpdateRequiredForAdapterIndex("C", list, 3));
  EXPECT_EQ(Log(), std::vector<std::string>{"LOG_WARN : Adapter NOT FOUND"});
  // An entry beyond the count is not seen; a count beyond the list stops at its end.
  EXPECT_TRUE(IsUpdateRequiredForAdapterIndex("B", list, 1));
  SetUpdateStatusInAdapterIndex("B", true, list, 1);
  EXPECT_FALSE(list[1].bUpgraded);
  EXPECT_TRUE(IsUpdateRequiredForAdapterIndex("Z", list, 1000));
  SetUpdateStatusInAdapterIndex("Z", true, list, 1000);
  flash_update_list_t empty;
  EXPECT_TRUE(IsUpdateRequiredForAdapterIndex("A", empty, 5));
}

TEST_F(DeviceListTest, FreeingLogsEveryRecordOnceMoreAndEmptiesTheList) {
  std::vector<CQrvlDevice*> list = {Live("a", "m1"), nullptr, Live("b", "m2")};
  ClearLog();
  qrvl_free_device_list(list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(Count("LOG_DEBUG : --> DisplayDeviceAttribs()"), 2u);
  EXPECT_EQ(Count("LOG_DEBUG : macaddress value:m1"), 1u);
  EXPECT_EQ(Count("LOG_DEBUG : macaddress value:m2"), 1u);
  ClearLog();
  std::vector<CQrvlDevice*> with_null = {nullptr};
  display_device_list(with_null);
  EXPECT_EQ(Log(), (std::vector<std::string>{"LOG_INFO : DeviceListVector[0]-NOT A Valid object", ""}));
}

// The adapter listing through a fake agent entry point.
Json::Value g_index_answer;
enum class Throw { None, Agent, Std, Other } g_throw = Throw::None;
Json::Value FakeIndexList(const Json::Value& request) {
  EXPECT_TRUE(request.isNull());
  switch (g_throw) {
    case Throw::Agent: throw HbaAgentError(5, "agent busy");
    case Throw::Std: throw std::runtime_error("bad state");
    case Throw::Other: throw 17;
    case Throw::None: break;
  }
  return g_index_answer;
}

TEST_F(DeviceListTest, AdapterIndexListFromTheAgent) {
  libGetAllAdapterIndexString = FakeIndexList;
  Json::Reader reader;
  struct Case {
    const char* answer;
    unsigned expected;
    std::vector<std::string> log;
    std::vector<std::string> indexes;
  } cases[] = {
      {"null", 1001, {"LOG_INFO : libGetAllAdapterIndexString returns NULL.", "LOG_ERROR : <--qrvl_get_all_adapters_index_string()"}, {}},
      {"{}", 1001, {"LOG_INFO : libGetAllAdapterIndexString returns NULL.", "LOG_ERROR : <--qrvl_get_all_adapters_index_string()"}, {}},
      {"{\"indexStrings\": {\"a\": 1}}", 1001, {"LOG_INFO : libGetAllAdapterIndexString returns NULL.", "LOG_ERROR : <--qrvl_get_all_adapters_index_string()"}, {}},
      {"\"text\"", 1001, {"LOG_INFO : libGetAllAdapterIndexString returns NULL.", "LOG_ERROR : <--qrvl_get_all_adapters_index_string()"}, {}},
      {"{\"indexStrings\": []}", 4, {"LOG_ERROR : No adapters in the system!", "LOG_ERROR : <--qrvl_get_all_adapters_index_string()"}, {}},
      {"{\"indexStrings\": [\"X1\", \"X2\", \"X1\"]}", 0, {"LOG_INFO : The index is X1", "LOG_INFO : The index is X2", "LOG_INFO : The index is X1"}, {"pre", "X1", "X2", "X1"}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(reader.parse(c.answer, g_index_answer)) << c.answer;
    flash_update_list_t list(1);
    list[0].adapt_idx = "pre";
    ClearLog();
    EXPECT_EQ(qrvl_get_all_adapters_index_string(list), c.expected) << c.answer;
    EXPECT_EQ(Log(), c.log) << c.answer;
    if (c.expected == 0) {
      ASSERT_EQ(list.size(), c.indexes.size());
      for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].adapt_idx, c.indexes[i]);
        EXPECT_FALSE(list[i].bUpgraded);
      }
    } else {
      EXPECT_EQ(list.size(), 1u);
    }
  }
}

TEST_F(DeviceListTest, AdapterIndexListSurvivesThrowsAndOddElements) {
  libGetAllAdapterIndexString = FakeIndexList;
  for (Throw t : {Throw::Agent, Throw::Std, Throw::Other}) {
    g_throw = t;
    flash_update_list_t list;
    ClearLog();
    EXPECT_EQ(qrvl_get_all_adapters_index_string(list), 1001u);
    EXPECT_TRUE(list.empty());
    ASSERT_FALSE(Log().empty());
    EXPECT_EQ(Log().back(), "LOG_ERROR : <--qrvl_get_all_adapters_index_string()");
  }
  g_throw = Throw::None;
  Json::Reader reader;
  ASSERT_TRUE(reader.parse("{\"indexStrings\": [7, \"X\", {\"a\": 1}, null]}", g_index_answer));
  flash_update_list_t list;
  EXPECT_EQ(qrvl_get_all_adapters_index_string(list), 0u);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].adapt_idx, "X");
}

}  // namespace
