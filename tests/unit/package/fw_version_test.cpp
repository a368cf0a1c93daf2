// Version comparison: the action for pairs of offered and installed versions, and the trace
// lines that show which fields were compared before the decision.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/fw_version.h"
#include "package_test_util.h"

namespace {

const std::string kZero = "LOG_INFO : Passed_fwver or flashed_fwver size is zero. So returning upgrade";
const std::string kMajor = "LOG_INFO : Comparing Major Version";
const std::string kMinor = "LOG_INFO : Comparing Minor Version";
const std::string kMaint = "LOG_INFO : Comparing Maintenance Version";
const std::string kPatch = "LOG_INFO : Comparing Patch Version";

struct VersionCase {
  const char* offered;
  const char* installed;
  fw_action_status_t action;
  std::vector<std::string> lines;
};

void check_cases(const std::vector<VersionCase>& cases) {
  pkgtest::ScopedLog log;
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(std::string("offered \"") + c.offered + "\", installed \"" + c.installed + "\"");
    log.clear();
    EXPECT_EQ(c.action, getFwVerStatus(c.offered, c.installed));
    EXPECT_EQ(c.lines, log.lines());
  }
}

TEST(FwVerStatusTest, DecidesOnTheFirstFieldThatDiffers) {
  check_cases({
      {"3.0.3.0", "3.0.2.1", FW_STATUS_UPGRADE, {kMajor, kMinor, kMaint}},
      {"2.9.9.9", "3.0.0.0", FW_STATUS_DOWNGRADE, {kMajor}},
      {"4.0.0.0", "3.9.9.9", FW_STATUS_UPGRADE, {kMajor}},
      {"3.1.0.0", "3.2.0.0", FW_STATUS_DOWNGRADE, {kMajor, kMinor}},
      {"3.2.0.0", "3.1.9.9", FW_STATUS_UPGRADE, {kMajor, kMinor}},
      {"3.0.2.0", "3.0.3.0", FW_STATUS_DOWNGRADE, {kMajor, kMinor, kMaint}},
      {"3.0.3.1", "3.0.3.2", FW_STATUS_DOWNGRADE, {kMajor, kMinor, kMaint, kPatch}},
      {"3.0.3.2", "3.0.3.1", FW_STATUS_UPGRADE, {kMajor, kMinor, kMaint, kPatch}},
      {"3.0.3.0", "3.0.3.0", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
      // Numbers, not text: 10 > 9.
      {"3.0.10.0", "3.0.9.0", FW_STATUS_UPGRADE, {kMajor, kMinor, kMaint}},
  });
}

TEST(FwVerStatusTest, ReadsFieldsAsAtoiDoes) {
  check_cases({
      {"3.0.3.0", "3.0.3.0_build17", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
      {"3.0.3.1", "3.0.3.0_9", FW_STATUS_UPGRADE, {kMajor, kMinor, kMaint, kPatch}},
      {" 3.0.3.0", "+3.0.3.0", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
      {"v3.0.3.0", "3.0.3.0", FW_STATUS_DOWNGRADE, {kMajor}},   // no leading digits: 0
      {"3.0.3.0.9", "3.0.3.0", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
      {"-1.0.0.0", "0.0.0.0", FW_STATUS_DOWNGRADE, {kMajor}},
  });
}

TEST(FwVerStatusTest, EmptyVersionMeansUpgrade) {
  check_cases({
      {"3.0.3.0", "", FW_STATUS_UPGRADE, {kZero}},
      {"", "3.0.3.0", FW_STATUS_UPGRADE, {kZero}},
      {"", "", FW_STATUS_UPGRADE, {kZero}},
  });
}

TEST(FwVerStatusTest, MissingOrEmptyFieldsReadAsZero) {
  // Fields that were never read used to be compared with whatever the variable held.
  check_cases({
      {"3..1.0", "3.0.1.0", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
      {"3.0", "3.0.0.0", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
      {"3.0", "3.0.0.1", FW_STATUS_DOWNGRADE, {kMajor, kMinor, kMaint, kPatch}},
      {"3", "2.9", FW_STATUS_UPGRADE, {kMajor}},
      {".1.0.0", "0.1.0.0", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
      {"3.0.3.", "3.0.3.0", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
  });
}

TEST(FwVerStatusTest, HugeFieldsSaturate) {
  // A field beyond int used to overflow inside atoi (undefined, in practice any value).
  check_cases({
      {"99999999999.0.0.0", "2147483647.0.0.0", FW_STATUS_REWRITE,
       {kMajor, kMinor, kMaint, kPatch}},
      {"99999999999.0.0.0", "3.0.0.0", FW_STATUS_UPGRADE, {kMajor}},
      {"3.0.0.0", "3.0.0.4294967297", FW_STATUS_DOWNGRADE, {kMajor, kMinor, kMaint, kPatch}},
      {"-99999999999.0.0.0", "-2147483648.0.0.0", FW_STATUS_REWRITE,
       {kMajor, kMinor, kMaint, kPatch}},
      {"-99999999999.0.0.0", "0.0.0.0", FW_STATUS_DOWNGRADE, {kMajor}},
  });
}

}  // namespace
