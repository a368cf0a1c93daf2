// The walk of a call's enumeration, read from lines written with the plug-in's own formats
// (include/vxins_trace.h): each adapter's Flashed_bios_info line, one record line per device it
// contributed, the counts the enumeration logs. Each device gets its adapter's index and version
// as reported, or nothing at all when the trace does not line up with the file; the up-to-date
// rule compares build suffixes. Real calls' traces are walked in flash_outcomes_test.
#include "adapter_groups.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "vxins_trace.h"

namespace {

using vxhost::FileDevice;
using vxhost::TimedLine;

// A trace line as the plug-in writes it: the level prefix, the formatted message's first line.
std::string line(const char* level, const char* format, const std::string& a = "",
                 const std::string& b = "") {
  char text[512];
  snprintf(text, sizeof text, format, a.c_str(), b.c_str());
  std::string message = text;
  return std::string(level) + message.substr(0, message.find('\n'));
}

// A line whose format takes numbers.
std::string counted(const char* format, int n) {
  char text[512];
  snprintf(text, sizeof text, format, n);
  return std::string("LOG_INFO : ") + text;
}

const std::string kRecord = line("LOG_ERROR : ", vxins::trace::kUnknownAttribute);

std::string version_line(const std::string& index, const std::string& version) {
  return version.empty() ? line("LOG_INFO : ", vxins::trace::kNoFlashedVersion, index)
                         : line("LOG_INFO : ", vxins::trace::kFlashedVersion, index, version);
}

FileDevice device(const std::string& id, const std::string& active) {
  FileDevice d{};
  d.mac_or_wwn = id;
  d.active_version = active;
  return d;
}

std::string told(const std::vector<vxhost::ReportedDevice>& r) {
  std::string text;
  for (const auto& d : r) text += "[" + d.agent_index + " " + d.version + "]";
  return text;
}

TEST(AdapterGroupsTest, EachDeviceGetsItsAdaptersIndexAndVersionOrNothingIsTold) {
  const std::string answered = "LOG_INFO : " + std::string(vxins::trace::kAdapterAnswered);
  const std::string begins = counted(vxins::trace::kAdapterCount, 2);
  const std::string count = counted(vxins::trace::kDeviceCount, 3);
  struct Row {
    const char* name;
    std::vector<std::string> trace;
    std::vector<std::string> file;  // each device's active version in the file
    std::string told;               // "" with a reason when nothing is
  };
  const Row rows[] = {
      {"two adapters, a suffix and none",
       {begins, answered, version_line("A", "3.2.0.0_b17"), kRecord, kRecord,
        counted(vxins::trace::kEthernetRecordsMade, 2), answered, version_line("B", "3.1.0.0"),
        kRecord, count},
       {"3.2.0.0", "3.2.0.0", "3.1.0.0"},
       "[A 3.2.0.0_b17][A 3.2.0.0_b17][B 3.1.0.0]"},
      {"an adapter without ports between, and one the agent gave no version",
       {begins, answered, version_line("A", "3.0.0.0"), kRecord, answered,
        version_line("N", "9.9"), answered, version_line("B", ""), kRecord, kRecord, count},
       {"3.0.0.0", " ", " "},
       "[A 3.0.0.0][B ][B ]"},
      {"an adapter whose answers failed makes no record",
       {begins, answered, version_line("A", "3.0.0.0"), kRecord,
        line("LOG_ERROR : ", vxins::trace::kNoPorts), kRecord},
       {"3.0.0.0", "3.0.0.0"}, ""},
      {"what follows the device count is not the enumeration's",
       {begins, answered, version_line("A", "3.0.0.0"), kRecord,
        counted(vxins::trace::kDeviceCount, 1), kRecord, kRecord},
       {"3.0.0.0"},
       "[A 3.0.0.0]"},
      {"fewer records than devices",
       {begins, answered, version_line("A", "3.0.0.0"), kRecord}, {"3.0.0.0", "3.0.0.0"}, ""},
      {"a record before any adapter's version",
       {begins, kRecord, answered, version_line("A", "3.0.0.0"), kRecord},
       {"3.0.0.0", "3.0.0.0"}, ""},
      {"a record of an adapter whose version line is missing",
       {begins, answered, version_line("A", "3.0.0.0"), kRecord, answered, kRecord},
       {"3.0.0.0", "3.0.0.0"}, ""},
      {"a count the lines do not match",
       {begins, answered, version_line("A", "3.0.0.0"), kRecord,
        counted(vxins::trace::kEthernetRecordsMade, 2)},
       {"3.0.0.0"}, ""},
      {"two enumerations",
       {begins, answered, version_line("A", "3.0.0.0"), kRecord, begins, answered,
        version_line("A", "3.0.0.0"), kRecord},
       {"3.0.0.0", "3.0.0.0"}, ""},
      {"an enumeration that failed",
       {begins, answered, version_line("A", "3.0.0.0"), kRecord,
        line("LOG_ERROR : ", vxins::trace::kEnumerationExit)},
       {"3.0.0.0"}, ""},
      {"no enumeration", {answered, version_line("A", "3.0.0.0"), kRecord}, {"3.0.0.0"}, ""},
      {"another call's versions",
       {begins, answered, version_line("A", "2.0.0.0_b1"), kRecord}, {"3.0.0.0"}, ""},
      {"no trace", {}, {"3.0.0.0"}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<TimedLine> trace;
    for (const std::string& text : row.trace) trace.push_back({text, 0});
    std::vector<FileDevice> file;
    for (const std::string& active : row.file) file.push_back(device("", active));
    std::vector<vxhost::ReportedDevice> reported;
    std::string why;
    EXPECT_EQ(vxhost::reported_devices(trace, file, reported, why), !row.told.empty());
    EXPECT_EQ(told(reported), row.told);
    EXPECT_EQ(why.empty(), !row.told.empty()) << why;
  }
}

// The same walk groups the file: an identifier the agent reports on two adapters belongs to
// none (the plug-in matches it to none), and the grouping falls back to B:D, versions kept.
TEST(AdapterGroupsTest, TheWalkGroupsTheFileAndCarriesTheVersions) {
  const std::string answered = "LOG_INFO : " + std::string(vxins::trace::kAdapterAnswered);
  const std::vector<TimedLine> trace = {
      {counted(vxins::trace::kAdapterCount, 2), 0}, {answered, 0},
      {version_line("A", "3.2.0.0_b17"), 0},        {kRecord, 0},
      {kRecord, 0},                                 {answered, 0},
      {version_line("B", "3.1.0.0"), 0},            {kRecord, 0},
      {kRecord, 0}};
  struct Row {
    const char* name;
    std::vector<std::string> ids;
    bool by_agent;
    std::vector<std::string> labels, reported;
  };
  const Row rows[] = {
      {"two adapters", {"m1", "m2", "m3", "m4"}, true,
       {"0a:00", "0a:00", "0a:00#2", "0a:00#2"},
       {"3.2.0.0_b17", "3.2.0.0_b17", "3.1.0.0", "3.1.0.0"}},
      {"an identifier on both", {"m1", "mx", "mx", "m4"}, false,
       {"0a:00", "0a:00", "0a:00", "0a:00"}, {"3.2.0.0_b17", "", "", "3.1.0.0"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<FileDevice> file;
    for (size_t i = 0; i < row.ids.size(); ++i) {
      file.push_back(device(row.ids[i], i < 2 ? "3.2.0.0" : "3.1.0.0"));
      file.back().bus = "a";
      file.back().dev = "00";
    }
    vxhost::AgentIndexes indexes;
    vxhost::ReportedVersions versions;
    std::string why;
    ASSERT_TRUE(vxhost::indexes_from_trace(trace, file, indexes, why, &versions)) << why;
    const vxhost::AdapterGroups groups = vxhost::group_adapters(file, indexes, "", versions);
    EXPECT_EQ(groups.by_agent, row.by_agent);
    std::vector<std::string> labels;
    for (size_t g : groups.group_of) labels.push_back(groups.groups[g].label);
    EXPECT_EQ(labels, row.labels);
    EXPECT_EQ(groups.reported, row.reported);
  }
}

TEST(AdapterGroupsTest, UpToDateIsRewriteEverywhereAndTheSameSuffix) {
  struct Row {
    std::string proposed, reported, offered;
    bool up_to_date;
  };
  const Row rows[] = {
      {"Rewrite", "3.1.0.0", "3.1.0.0", true},
      {"Rewrite", "3.1.0.0_b17", "3.1.0.0_b17", true},
      {"Rewrite", "3.1.0.0_b17", "3.1.0.0", false},
      {"Rewrite", "3.1.0.0", "3.1.0.0_b17", false},
      {"Rewrite", "3.1.0.0_b17", "3.1.0.0_b18", false},
      {"Rewrite", "3.1.0", "3.1.0.0", true},  // the plug-in's numeric comparison decided
      {"mixed", "3.1.0.0", "3.1.0.0", false},  // Rewrite on one function, Upgrade on another
      {"Downgrade", "3.2.0.0", "3.1.0.0", false},
      {"Skip", "3.1.0.0", "3.1.0.0", false},  // an operator's edit is no proposal
      {"", "3.1.0.0", "3.1.0.0", false},
      {"Rewrite", "_b17", "", true},  // a leading "_" is no suffix to the plug-in either
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.proposed + ": " + row.reported + " / " + row.offered);
    EXPECT_EQ(vxhost::up_to_date(row.proposed, row.reported, row.offered), row.up_to_date);
  }
}

}  // namespace