// Whether followed trace lines are provably one call's own: the plug-in's banner and entry line,
// the file they came from, the line the log ended with before the call, and the steps a call
// takes once. Each row is a trace as the follower hands it over.
#include "trace_ownership.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vxhost::TimedLine;
using vxhost::TracedCall;

// The four messages the plug-in restarts the log with, in file `file`.
std::vector<TimedLine> banner(unsigned file) {
  return {{"LOG_INFO : ************************************", 0, file},
          {"LOG_INFO : \tLog started on Wed Dec  9 10:55:22 2026", 0, file},
          {"", 0, file},
          {"", 0, file},
          {"LOG_INFO : Log file (/var/log/libqrvlvxins.log) is successfully opened for writing.",
           0, file},
          {"LOG_INFO : ************************************", 0, file}};
}

std::vector<TimedLine> lines(unsigned file, const std::vector<std::string>& texts) {
  std::vector<TimedLine> out;
  for (const std::string& t : texts) out.push_back({t, 0, file});
  return out;
}

std::vector<TimedLine> joined(std::vector<std::vector<TimedLine>> parts) {
  std::vector<TimedLine> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

const char kEntry[] = "LOG_INFO : -->oem_do_flash_with_file()";
const char kPass[] = "LOG_ERROR : PassedFw file(p.tar) == DiscoveryFw file(p.tar)";
const char kClosed[] = "LOG_INFO : <-- ~qrvl_vxinslib_init() Destructor.";
const char kVersion[] = "LOG_INFO : Read BOOT TAR FW Version is 3.1.0.0";
const char kCount[] = "LOG_INFO : Num of Adapters is 3";

struct Row {
  const char* name;
  TracedCall call;
  std::vector<TimedLine> trace;
  std::string before;  // the log's last line when the follower started
  std::string why;     // a part of the reason; "" when the trace is the call's own
};

TEST(TraceOwnershipTest, OnlyTheCallsOwnLinesCount) {
  const auto flash = [](std::vector<std::string> after_entry) {
    after_entry.insert(after_entry.begin(), kEntry);
    return joined({banner(1), lines(1, after_entry)});
  };
  const std::vector<TimedLine> own_flash = flash({kVersion, kCount, kPass, kClosed});
  const std::vector<TimedLine> own_discovery =
      joined({banner(1), lines(1, {kVersion, kCount, kClosed})});
  std::vector<TimedLine> interrupted = joined({banner(1), lines(1, {kEntry})});
  interrupted.insert(interrupted.begin() + 1, {"LOG_INFO : x", 0, 1});
  const Row rows[] = {
      {"OwnFlash", TracedCall::kFlash, own_flash, kClosed, ""},
      {"OwnFlashFirstCallSinceBoot", TracedCall::kFlash, own_flash, "", ""},
      {"OwnDiscovery", TracedCall::kDiscovery, own_discovery, kClosed, ""},
      // The calls before ended on every way out: their exit line, the agent's refusal.
      {"EarlierCallRefused", TracedCall::kFlash, own_flash, "\t\t\t<--oem_do_flash_with_file()",
       ""},
      {"EarlierDiscoveryFailedInitialising", TracedCall::kDiscovery, own_discovery,
       "LOG_ERROR : libInitHbaLib is failed with - 8", ""},
      {"NoLogWritten", TracedCall::kFlash, {}, kClosed, "holds no banner"},
      {"RestartedTwice", TracedCall::kFlash, joined({own_flash, banner(2)}), kClosed,
       "restarted 2 times"},
      {"ReplacedAfterTheBanner", TracedCall::kFlash,
       joined({own_flash, lines(2, {"LOG_INFO : x"})}), kClosed, "was replaced"},
      {"LinesBeforeTheBannerInItsFile", TracedCall::kFlash,
       joined({lines(1, {kClosed}), own_flash}), "", "stand before this call's banner"},
      {"EarlierCallStillWriting", TracedCall::kFlash, own_flash, kCount, "had not ended"},
      {"EarlierCallWroteAfterTheStart", TracedCall::kFlash,
       joined({lines(0, {"LOG_INFO : Flash upgrade returned 0"}), own_flash}), kClosed,
       "had not ended"},
      {"BannerInterrupted", TracedCall::kFlash, interrupted, kClosed, "interrupted"},
      {"NoEntryLine", TracedCall::kFlash, own_discovery, kClosed, "entry line"},
      {"EntryLineNotFirst", TracedCall::kFlash,
       joined({banner(1), lines(1, {kVersion, kEntry, kPass})}), kClosed, "entry line"},
      {"SecondPass", TracedCall::kFlash, flash({kPass, kPass}), kClosed, "second update pass"},
      {"DiscoveryHoldsAFlashEntry", TracedCall::kDiscovery,
       joined({own_discovery, lines(1, {kEntry})}), kClosed, "flash call's entry line"},
      {"TwoEnumerations", TracedCall::kDiscovery,
       joined({own_discovery, lines(1, {kCount})}), kClosed, "second enumeration"},
      {"TwoPackageReadings", TracedCall::kDiscovery,
       joined({own_discovery, lines(1, {kVersion})}), kClosed, "second package reading"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string why = vxhost::foreign_trace(row.call, row.trace, row.before);
    if (row.why.empty())
      EXPECT_EQ(why, "");
    else
      EXPECT_NE(why.find(row.why), std::string::npos) << why;
  }
}

}  // namespace
