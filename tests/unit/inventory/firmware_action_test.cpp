// Firmware actions: the action for pairs of offered and installed versions with the trace lines
// that show which fields were compared before the decision, and the texts records store.
#include "inventory/firmware_action.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_capture.h"

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
  vxtest::LogCapture log;
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(std::string("offered \"") + c.offered + "\", installed \"" + c.installed + "\"");
    log.clear();
    EXPECT_EQ(c.action, vxins::inventory::action_for_versions(c.offered, c.installed));
    EXPECT_EQ(c.lines, log.lines());
  }
}

TEST(ActionForVersionsTest, DecidesOnTheFirstFieldThatDiffers) {
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

TEST(ActionForVersionsTest, ReadsFieldsAsAtoiDoes) {
  check_cases({
      {"3.0.3.0", "3.0.3.0_build17", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
      {"3.0.3.1", "3.0.3.0_9", FW_STATUS_UPGRADE, {kMajor, kMinor, kMaint, kPatch}},
      {" 3.0.3.0", "+3.0.3.0", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
      {"v3.0.3.0", "3.0.3.0", FW_STATUS_DOWNGRADE, {kMajor}},   // no leading digits: 0
      {"3.0.3.0.9", "3.0.3.0", FW_STATUS_REWRITE, {kMajor, kMinor, kMaint, kPatch}},
      {"-1.0.0.0", "0.0.0.0", FW_STATUS_DOWNGRADE, {kMajor}},
  });
}

TEST(ActionForVersionsTest, EmptyVersionMeansUpgrade) {
  check_cases({
      {"3.0.3.0", "", FW_STATUS_UPGRADE, {kZero}},
      {"", "3.0.3.0", FW_STATUS_UPGRADE, {kZero}},
      {"", "", FW_STATUS_UPGRADE, {kZero}},
  });
}

TEST(ActionForVersionsTest, MissingOrEmptyFieldsReadAsZero) {
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

TEST(ActionForVersionsTest, HugeFieldsSaturate) {
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

TEST(ActionTextTest, ValuesMapToTheirTexts) {
  using vxins::inventory::action_text;
  EXPECT_STREQ(action_text(FW_STATUS_SKIP), "Skip");
  EXPECT_STREQ(action_text(FW_STATUS_UPGRADE), "Upgrade");
  EXPECT_STREQ(action_text(FW_STATUS_DOWNGRADE), "Downgrade");
  EXPECT_STREQ(action_text(FW_STATUS_REWRITE), "Rewrite");
  EXPECT_STREQ(action_text(FW_STATUS_MISMATCH), "FW mismatch");
  EXPECT_STREQ(action_text(5), "Skip");
  EXPECT_STREQ(action_text(-1), "Skip");
}

}  // namespace
