// Writing the discovery file: the golden layouts, the trace of every device, files without
// devices or without a name, and the rewrite after a flash (its outcome, the first device's
// values, the operator's skips).
#include "discovery/discovery_writer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "discovery/discovery_reader.h"
#include "discovery_test_util.h"

namespace {

using disctest::DeviceList;
using disctest::expected_leaves;
using disctest::fixture;
using disctest::folder_entries;
using disctest::kFooter;
using disctest::kHeader;
using disctest::make_port;
using disctest::parse_with_tinyxml2;
using disctest::rewrite_values;
using disctest::two_ports;
using disctest::XmlDevice;
using vxins::discovery::FlashOutcome;
using vxins::discovery::rewrite_discovery_file;
using vxins::discovery::write_discovery_file;
using vxtest::LogCapture;
using vxtest::read_file;
using vxtest::TempDir;

TEST(DiscoveryWriterTest, MatchesGoldenFileForEthernetAndFcPorts) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  const std::string path = dir.file("discovery.xml");
  EXPECT_TRUE(write_discovery_file(path, list));
  EXPECT_EQ(read_file(path), fixture("two_ports.xml"));
  std::vector<XmlDevice> devs = parse_with_tinyxml2(path);
  ASSERT_EQ(devs.size(), 2u);
  EXPECT_TRUE(devs[0] == expected_leaves(disctest::eth_port()));
  EXPECT_TRUE(devs[1] == expected_leaves(disctest::fc_port()));
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"discovery.xml"});
}

TEST(DiscoveryWriterTest, LogsFileNameAndEveryDevice) {
  TempDir dir;
  DeviceList list;
  two_ports(list);
  list.insert(list.begin() + 1, nullptr);
  const std::string path = dir.file("discovery.xml");
  LogCapture log;
  EXPECT_TRUE(write_discovery_file(path, list));
  const std::string per_dev_a = "LOG_INFO : **********************************\n\n";
  const std::string per_dev_c = "LOG_INFO : MY MAPPED VALUES ARE\n\n";
  EXPECT_EQ(log.text(), "LOG_INFO : File Name : " + path +
                            "\nNumber of Devices : 3\nDevList:\n\n" + per_dev_a +
                            "LOG_INFO : ********Device[0]****************\n\n" + per_dev_c +
                            "LOG_ERROR : DeviceListVector[1]-NOT A Valid object\n\n" + per_dev_a +
                            "LOG_INFO : ********Device[2]****************\n\n" + per_dev_c);
  // The null entry is skipped; its neighbours are written.
  EXPECT_EQ(read_file(path), fixture("two_ports.xml"));
}

TEST(DiscoveryWriterTest, EmptyListAndRecordWithoutValues) {
  LogCapture log;
  TempDir dir;
  const std::string path = dir.file("discovery.xml");
  DeviceList list;
  EXPECT_TRUE(write_discovery_file(path, list));
  EXPECT_EQ(read_file(path), kHeader + kFooter);
  EXPECT_TRUE(parse_with_tinyxml2(path).empty());

  list.emplace_back(new disctest::DeviceRecord("3"));
  EXPECT_TRUE(write_discovery_file(path, list));
  EXPECT_EQ(read_file(path), kHeader +
                                 "\n\t\t<device>\n\t\t\t<slotnumber value=\"FFFFFFFF\"/>"
                                 "\n\t\t\t<fw_item>\n\t\t\t\t<type value=\"ROM\"/>"
                                 "\n\t\t\t</fw_item>\n\t\t</device>" +
                                 kFooter);
  std::vector<XmlDevice> devs = parse_with_tinyxml2(path);
  ASSERT_EQ(devs.size(), 1u);
  EXPECT_EQ(devs[0].device, (disctest::Leaves{{"slotnumber", "FFFFFFFF"}}));
  EXPECT_EQ(devs[0].fw_item, (disctest::Leaves{{"type", "ROM"}}));
}

TEST(DiscoveryWriterTest, EmptyNameWritesNothing) {
  LogCapture log;
  DeviceList list;
  two_ports(list);
  log.clear();
  EXPECT_FALSE(write_discovery_file("", list));
  std::vector<std::string> lines = log.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "LOG_ERROR : XML file not initialized to write");
  EXPECT_EQ(lines[1], "LOG_ERROR : <--open_XML_file_to_write()");
  // Four header leaves, then 12 device and 10 firmware leaves for each of the two records.
  EXPECT_EQ(log.count("LOG_ERROR : <--create_child_tag()"), 4u + 2 * 22);
}

TEST(DiscoveryRewriteTest, WritesOutcomeAndOldValuesIntoEveryDevice) {
  TempDir dir;
  DeviceList list;
  two_ports(list);
  const std::string path = dir.file("discovery.xml");
  {
    LogCapture log;
    EXPECT_TRUE(rewrite_discovery_file(
        path, list, rewrite_values(FlashOutcome::kPackageMismatch, "3.60.00", "Q3660A.tar")));
    EXPECT_EQ(read_file(path), fixture("two_ports_rewritten.xml"));
    EXPECT_EQ(log.text(), "LOG_INFO : ********Device[0]****************\n\n"
                          "LOG_INFO : ********Device[1]****************\n\n");
  }
  LogCapture log;
  const std::pair<FlashOutcome, const char*> statuses[] = {
      {FlashOutcome::kSuccess, "1"}, {FlashOutcome::kFailure, ""},
      {FlashOutcome::kPackageMismatch, "8"}};
  for (const auto& status : statuses) {
    EXPECT_TRUE(rewrite_discovery_file(path, list, rewrite_values(status.first, "v", "f")));
    std::vector<XmlDevice> devs = parse_with_tinyxml2(path);
    ASSERT_EQ(devs.size(), 2u);
    for (const XmlDevice& d : devs) {
      ASSERT_EQ(d.fw_item.size(), 10u);
      EXPECT_EQ(d.fw_item[2], std::make_pair(std::string("version"), std::string("v")));
      EXPECT_EQ(d.fw_item[3], std::make_pair(std::string("firmware_file"), std::string("f")));
      EXPECT_EQ(d.fw_item[6],
                std::make_pair(std::string("action_status"), std::string(status.second)));
    }
    // Each device its own active version and action, as enumerated.
    EXPECT_EQ(devs[0].fw_item[4].second, "3.63.10");
    EXPECT_EQ(devs[1].fw_item[4].second, "3.64.02");
    EXPECT_EQ(devs[0].fw_item[5].second, "Upgrade");
    EXPECT_EQ(devs[1].fw_item[5].second, "Rewrite");
  }
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"discovery.xml"});
}

// The rewrite used to spread the first device's "Skip" onto every device and drop every other
// one: after a refused flash the operator retried with the rewritten file, and the adapter
// they had skipped was flashed.
TEST(DiscoveryRewriteTest, SkipStaysWithTheIdentifierItWasSetOn) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  disctest::PortValues no_id = disctest::eth_port();
  no_id.mac_or_wwn = "";
  list.push_back(make_port(no_id, "2"));
  const std::string eth = disctest::eth_port().mac_or_wwn, fc = disctest::fc_port().mac_or_wwn;
  const std::string path = dir.file("discovery.xml");
  const std::vector<std::pair<std::set<std::string>, std::vector<std::string>>> cases = {
      {{}, {"Upgrade", "Rewrite", "Upgrade"}},
      {{eth}, {"Skip", "Rewrite", "Upgrade"}},
      {{fc}, {"Upgrade", "Skip", "Upgrade"}},
      {{"", "21:00:00:00:00:00:00:99"}, {"Upgrade", "Rewrite", "Skip"}},
      {{eth, fc, ""}, {"Skip", "Skip", "Skip"}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(rewrite_discovery_file(
        path, list, rewrite_values(FlashOutcome::kSuccess, "v", "f", c.first)));
    DeviceList back;
    ASSERT_EQ(vxins::discovery::read_discovery_file(path, back), 0);
    ASSERT_EQ(back.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(back[i]->info().fw_dev.action, c.second[i]) << i;
      EXPECT_EQ(back[i]->skipped(), c.second[i] == "Skip") << i;
    }
  }
}

}  // namespace
