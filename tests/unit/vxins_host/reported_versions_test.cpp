// The versions as the agent reported them, read from enumeration lines written with the
// plug-in's own formats (include/vxins_trace.h): each adapter's Flashed_bios_info line, one
// record line per device it contributed. A trace that does not line up with the file says
// nothing rather than something wrong; the up-to-date rule compares build suffixes.
#include "reported_versions.h"

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

const std::string kRecord = line("LOG_ERROR : ", vxins::trace::kUnknownAttribute);

std::string version_line(const std::string& index, const std::string& version) {
  return version.empty() ? line("LOG_INFO : ", vxins::trace::kNoFlashedVersion, index)
                         : line("LOG_INFO : ", vxins::trace::kFlashedVersion, index, version);
}

FileDevice device(const std::string& active, const std::string& action = "Rewrite") {
  FileDevice d{};
  d.active_version = active;
  d.action = action;
  return d;
}

std::string told(const std::vector<vxhost::ReportedDevice>& r) {
  std::string text;
  for (const auto& d : r) text += "[" + d.agent_index + " " + d.version + "]";
  return text;
}

TEST(ReportedVersionsTest, EachDeviceGetsItsAdaptersVersionOrNothingIsTold) {
  const std::string answered = "LOG_INFO : " + std::string(vxins::trace::kAdapterAnswered);
  const std::string count = line("LOG_INFO : ", "Number of QuorvelDevices is 3");
  struct Row {
    const char* name;
    std::vector<std::string> trace;
    std::vector<std::string> file;  // each device's active version in the file
    std::string told;
  };
  const Row rows[] = {
      {"two adapters, a suffix and none",
       {answered, version_line("A", "3.2.0.0_b17"), kRecord, kRecord, answered,
        version_line("B", "3.1.0.0"), kRecord, count},
       {"3.2.0.0", "3.2.0.0", "3.1.0.0"},
       "[A 3.2.0.0_b17][A 3.2.0.0_b17][B 3.1.0.0]"},
      {"an adapter without ports between, and one the agent gave no version",
       {answered, version_line("A", "3.0.0.0"), kRecord, answered, version_line("N", "9.9"),
        answered, version_line("B", ""), kRecord, kRecord, count},
       {"3.0.0.0", " ", " "},
       "[A 3.0.0.0][B ][B ]"},
      {"the flash's rewrite after the count is not the enumeration's",
       {answered, version_line("A", "3.0.0.0"), kRecord, count, kRecord, kRecord},
       {"3.0.0.0"},
       "[A 3.0.0.0]"},
      {"fewer records than devices",
       {answered, version_line("A", "3.0.0.0"), kRecord, count}, {"3.0.0.0", "3.0.0.0"}, ""},
      {"a record before any adapter's version",
       {kRecord, answered, version_line("A", "3.0.0.0"), kRecord, count},
       {"3.0.0.0", "3.0.0.0"}, ""},
      {"a record of an adapter whose version line is missing",
       {answered, version_line("A", "3.0.0.0"), kRecord, answered, kRecord, count},
       {"3.0.0.0", "3.0.0.0"}, ""},
      {"another call's versions", {answered, version_line("A", "2.0.0.0_b1"), kRecord, count},
       {"3.0.0.0"}, ""},
      {"no trace", {}, {"3.0.0.0"}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<TimedLine> trace;
    for (const std::string& text : row.trace) trace.push_back({text, 0});
    std::vector<FileDevice> file;
    for (const std::string& active : row.file) file.push_back(device(active));
    EXPECT_EQ(told(vxhost::reported_devices(trace, file)), row.told);
  }
}

TEST(ReportedVersionsTest, UpToDateIsRewriteEverywhereAndTheSameSuffix) {
  struct Row {
    std::vector<std::string> actions;
    std::string reported, offered;
    bool up_to_date;
  };
  const Row rows[] = {
      {{"Rewrite", "Rewrite"}, "3.1.0.0", "3.1.0.0", true},
      {{"Rewrite"}, "3.1.0.0_b17", "3.1.0.0_b17", true},
      {{"Rewrite"}, "3.1.0.0_b17", "3.1.0.0", false},
      {{"Rewrite"}, "3.1.0.0", "3.1.0.0_b17", false},
      {{"Rewrite"}, "3.1.0.0_b17", "3.1.0.0_b18", false},
      {{"Rewrite"}, "3.1.0", "3.1.0.0", true},  // the plug-in's numeric comparison decided
      {{"Rewrite", "Upgrade"}, "3.1.0.0", "3.1.0.0", false},
      {{"Downgrade"}, "3.2.0.0", "3.1.0.0", false},
      {{"Skip"}, "3.1.0.0", "3.1.0.0", false},  // an operator's edit is no proposal
      {{}, "3.1.0.0", "3.1.0.0", false},
      {{"Rewrite"}, "_b17", "", true},  // a leading "_" is no suffix to the plug-in either
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.reported + " / " + row.offered);
    std::vector<FileDevice> functions;
    for (const std::string& a : row.actions) functions.push_back(device(row.reported, a));
    std::vector<const FileDevice*> pointers;
    for (const FileDevice& f : functions) pointers.push_back(&f);
    EXPECT_EQ(vxhost::up_to_date(pointers, row.reported, row.offered), row.up_to_date);
  }
}

}  // namespace
