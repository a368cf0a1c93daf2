// The indexed lookups of the flash call's update pass: matching a device to its adapter, and the
// update-status list against the plain list walk it stands in for (duplicates, keys differing
// only in case or by an embedded NUL, empty keys, counts below and beyond the list).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/device_list.h"
#include "test_support.h"
#include "vxins_log.h"
#include "znaj_agent.h"

namespace {

class DeviceIndexTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(vxins_log_set_path(tmp_.file("trace.log").c_str())); }
  std::string TakeLog() {
    std::string text = vxtest::read_file(tmp_.file("trace.log"));
    remove(tmp_.file("trace.log").c_str());
    return text;
  }
  vxtest::TempDir tmp_;
};

// A live record as the enumeration makes it: adapter index plus MAC address or WWN.
CQrvlDevice* Live(const std::string& adapter, const std::string& mac) {
  CQrvlDevice* dev = new CQrvlDevice(adapter);
  dev->SetDeviceValue(DEV_CHAR_CONST_MAC_ADDR_VALUE, mac);
  return dev;
}

const std::string kNul("00:0e:1e\0:01", 12);

// A device of the discovery file is matched to the one live adapter whose functions carry its
// MAC address or WWN, byte for byte. An empty identifier, or one that functions of two adapters
// carry (an agent reporting an empty or a copied WWN), matches nothing: matching it to the first
// such adapter flashed adapter A for a device of adapter B.
TEST_F(DeviceIndexTest, AdapterLookupMatchesOneAdapterExactlyOrNone) {
  OwnedDeviceList list;
  list.devices = {nullptr,
                  Live("A1", "00:0e:1e:aa:bb:01"),
                  Live("A1", "00:0e:1e:aa:bb:01"),  // a second function of the same adapter
                  Live("A2", "00:0E:1E:AA:BB:01"),  // differs in case only: a key of its own
                  Live("A3", "21:00:00:0e:1e:c4:51:10"),
                  Live("A4", "21:00:00:0e:1e:c4:51:10"),  // the same WWN on another adapter
                  nullptr,
                  Live("A5", ""),
                  Live("A6", kNul),
                  Live("A7", "00:0e:1e"),  // the NUL key's C-string prefix
                  Live("", "20:00:00:0e:1e:c4:51:11")};  // no index string: found, and empty
  adapter_index_map_t index_map;
  index_map["stale"].adapt_idx = "left over from an earlier call";
  qrvl_build_adapter_index_map(list.devices, index_map);

  const std::vector<std::pair<std::string, std::string>> found = {
      {"00:0e:1e:aa:bb:01", "A1"}, {"00:0E:1E:AA:BB:01", "A2"}, {kNul, "A6"},
      {"00:0e:1e", "A7"},          {"20:00:00:0e:1e:c4:51:11", ""}};
  for (const auto& f : found) {
    std::string idx = "unchanged";
    EXPECT_EQ(qrvl_get_adapter_index_string(f.first, index_map, idx), 0u) << f.first;
    EXPECT_EQ(idx, f.second) << f.first;
  }
  for (const std::string& req : {std::string("21:00:00:0e:1e:c4:51:10"), std::string(""),
                                 std::string("00:0e:1e:AA:bb:01"), std::string("stale"),
                                 std::string("21:00:00:0e:1e:c4:51:10 ")}) {
    std::string idx = "unchanged";
    EXPECT_EQ(qrvl_get_adapter_index_string(req, index_map, idx), 1001u) << req;
    EXPECT_EQ(idx, "unchanged") << req;
  }
  adapter_index_map_t empty_map;
  qrvl_build_adapter_index_map({nullptr, nullptr}, empty_map);
  EXPECT_TRUE(empty_map.empty());
}

// One step of a script run against both forms of the update-status list.
struct Step {
  bool mark;  // SetUpdateStatusInAdapterIndex, else IsUpdateRequiredForAdapterIndex
  std::string idx;
  bool status;
};

TEST_F(DeviceIndexTest, UpdateStatusAnswersAndMarksAsTheListWalk) {
  const std::vector<std::string> listed = {"A", "B", "a", "A", "", kNul, "C", "B"};
  const std::vector<Step> script = {
      {false, "A", false}, {true, "A", true},   {false, "A", false}, {false, "a", false},
      {true, "B", true},   {false, "B", false}, {false, "", false},  {true, "", true},
      {false, "", false},  {false, kNul, false}, {true, kNul, true}, {false, std::string("A\0", 2), false},
      {false, "C", false}, {true, "C", true},   {false, "C", false}, {false, "Z", false},
      {true, "Z", true},   {true, "A", false},  {false, "A", false}, {false, "b", false}};
  // Counts: none, inside the list (entries past it unseen), exactly the list, beyond it.
  for (unsigned int count : {0u, 1u, 3u, 6u, 8u, 1000u}) {
    flash_update_list_t plain(listed.size());
    for (size_t i = 0; i < listed.size(); ++i) plain[i].adapt_idx = listed[i];
    flash_update_list_t indexed = plain;
    update_status_index_t status_index;
    status_index["stale"] = 0;
    BuildUpdateStatusIndex(indexed, count, status_index);

    for (size_t s = 0; s < script.size(); ++s) {
      const Step& step = script[s];
      std::string where = "count " + std::to_string(count) + ", step " + std::to_string(s);
      if (step.mark) {
        SetUpdateStatusInAdapterIndex(step.idx, step.status, plain, count);
        std::string plain_log = TakeLog();
        SetUpdateStatusInAdapterIndex(step.idx, step.status, indexed, status_index);
        EXPECT_EQ(TakeLog(), plain_log) << where;
      } else {
        bool plain_answer = IsUpdateRequiredForAdapterIndex(step.idx, plain, count);
        std::string plain_log = TakeLog();
        bool indexed_answer = IsUpdateRequiredForAdapterIndex(step.idx, indexed, status_index);
        EXPECT_EQ(indexed_answer, plain_answer) << where;
        EXPECT_EQ(TakeLog(), plain_log) << where;
      }
      for (size_t i = 0; i < plain.size(); ++i)
        EXPECT_EQ(indexed[i].bUpgraded, plain[i].bUpgraded) << where << ", entry " << i;
    }
  }
  // Within the whole list the first "A" is marked, never the second; "Z" is not listed.
  flash_update_list_t list(listed.size());
  for (size_t i = 0; i < listed.size(); ++i) list[i].adapt_idx = listed[i];
  update_status_index_t status_index;
  BuildUpdateStatusIndex(list, 1000, status_index);
  SetUpdateStatusInAdapterIndex("A", true, list, status_index);
  EXPECT_TRUE(list[0].bUpgraded);
  EXPECT_FALSE(list[3].bUpgraded);
  TakeLog();
  EXPECT_TRUE(IsUpdateRequiredForAdapterIndex("Z", list, status_index));
  EXPECT_EQ(TakeLog(), "LOG_WARN : Adapter NOT FOUND\n");
}

TEST_F(DeviceIndexTest, UpdateStatusIndexNeverReachesPastAShrunkList) {
  flash_update_list_t list(3);
  list[0].adapt_idx = "A";
  list[1].adapt_idx = "B";
  list[2].adapt_idx = "C";
  update_status_index_t status_index;
  BuildUpdateStatusIndex(list, 3, status_index);
  list.resize(1);
  TakeLog();
  EXPECT_TRUE(IsUpdateRequiredForAdapterIndex("C", list, status_index));
  EXPECT_EQ(TakeLog(), "LOG_WARN : Adapter NOT FOUND\n");
  SetUpdateStatusInAdapterIndex("C", true, list, status_index);
  EXPECT_FALSE(IsUpdateRequiredForAdapterIndex("A", list, status_index));
}

}  // namespace
