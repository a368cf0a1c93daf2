// Matching a device of the discovery file to the one live adapter whose functions carry its MAC
// address or WWN, byte for byte. An empty identifier, or one that functions of two adapters
// carry (an agent reporting an empty or a copied WWN), matches nothing: matching it to the first
// such adapter flashed adapter A for a device of adapter B.
#include "host/adapter_matcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "log_capture.h"

namespace {

using vxins::inventory::DeviceList;
using vxins::inventory::DeviceRecord;

// A live record as the enumeration makes it: adapter index plus MAC address or WWN.
std::unique_ptr<DeviceRecord> live(const std::string& adapter, const std::string& mac) {
  std::unique_ptr<DeviceRecord> dev(new DeviceRecord(adapter));
  dev->set(DEV_CHAR_CONST_MAC_ADDR_VALUE, mac);
  return dev;
}

TEST(AdapterMatcherTest, MatchesOneAdapterExactlyOrNone) {
  const std::string nul("00:0e:1e\0:01", 12);
  DeviceList list;
  list.push_back(nullptr);
  list.push_back(live("A1", "00:0e:1e:aa:bb:01"));
  list.push_back(live("A1", "00:0e:1e:aa:bb:01"));  // a second function of the same adapter
  list.push_back(live("A2", "00:0E:1E:AA:BB:01"));  // differs in case only: a key of its own
  list.push_back(live("A3", "21:00:00:0e:1e:c4:51:10"));
  list.push_back(live("A4", "21:00:00:0e:1e:c4:51:10"));  // the same WWN on another adapter
  list.push_back(nullptr);
  list.push_back(live("A5", ""));
  list.push_back(live("A6", nul));
  list.push_back(live("A7", "00:0e:1e"));  // the NUL key's C-string prefix
  list.push_back(live("", "20:00:00:0e:1e:c4:51:11"));  // no index string: found, and empty
  vxtest::LogCapture log;
  const vxins::host::AdapterMatcher matcher(list);

  const std::vector<std::pair<std::string, std::string>> found = {
      {"00:0e:1e:aa:bb:01", "A1"}, {"00:0E:1E:AA:BB:01", "A2"}, {nul, "A6"},
      {"00:0e:1e", "A7"},          {"20:00:00:0e:1e:c4:51:11", ""}};
  for (const auto& f : found) {
    std::string index = "unchanged";
    EXPECT_TRUE(matcher.match(1, f.first, index)) << f.first;
    EXPECT_EQ(index, f.second) << f.first;
  }
  EXPECT_EQ(log.text(), "");

  const std::string e = "LOG_ERROR : Quorvel device(7)";
  const std::vector<std::pair<std::string, std::string>> not_found = {
      {"21:00:00:0e:1e:c4:51:10",
       e + ": 21:00:00:0e:1e:c4:51:10 belongs to adapters A3 and A4: not matched"},
      {"", e + " has no MAC address or WWN: not matched"},
      {"00:0e:1e:AA:bb:01", ""},
      {"21:00:00:0e:1e:c4:51:10 ", ""}};
  for (const auto& n : not_found) {
    log.clear();
    std::string index = "unchanged";
    EXPECT_FALSE(matcher.match(7, n.first, index)) << n.first;
    EXPECT_EQ(index, "unchanged") << n.first;
    EXPECT_EQ(log.lines(), n.second.empty() ? std::vector<std::string>()
                                            : std::vector<std::string>{n.second});
  }

  DeviceList nothing;
  nothing.push_back(nullptr);
  std::string index = "unchanged";
  EXPECT_FALSE(vxins::host::AdapterMatcher(nothing).match(0, "00:0e:1e:aa:bb:01", index));
}

}  // namespace
