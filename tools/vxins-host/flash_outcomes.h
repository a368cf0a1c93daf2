// What one flash call did to each adapter, told from what the call itself produced: the discovery
// file as it was before the call and the call's trace. The flash command and its progress use
// it; it never reads the rewritten file (whose status is the whole pass's) and never guesses.
#ifndef VXINS_HOST_FLASH_OUTCOMES_H
#define VXINS_HOST_FLASH_OUTCOMES_H

#include <cstddef>
#include <string>
#include <vector>

#include "trace_follower.h"

namespace vxhost {

// A device of the discovery file as the plug-in will treat it, read before the call.
struct FileDevice {
  int position;  // 0-based, file order (the plug-in's "Quorvel device(N)")
  std::string mac_or_wwn, bus, dev, fn, product, active_version, offered_version, action;
  bool skipped;  // the plug-in's own reading of the action
};

// The PCI bus and device of a function, as the file holds them: "bus:dev".
std::string adapter_key(const FileDevice& d);

enum class Outcome { kFlashed, kFailed, kSkipped, kNotAttempted, kUnknown };
// "flashed", "failed", "skipped", "not attempted", "unknown".
const char* outcome_name(Outcome outcome);

struct AdapterOutcome {
  std::string adapter;                    // its label ("0a:00", "0a:00#2")
  std::vector<std::string> identifiers;   // MAC/WWN of its functions, file order
  std::vector<std::string> functions;     // their B:D.F, file order
  std::string product, offered;           // from the file before the call (first function)
  std::string before;  // its version as the agent reported it where `groups` knows, else the file's
  std::string proposed;                   // its functions' action ("mixed" when they differ)
  Outcome outcome = Outcome::kNotAttempted;
  std::string reason;       // the agent's text for kFailed; why for the outcomes not flashed
  std::string agent_index;  // the agent's index string, from the grouping or the trace
  double seconds = 0;       // time the flash took, when known
};

struct AdapterGroup;
struct AdapterGroups;

// A duration as the host shows it: "1.2 s" under ten seconds, "41 s" from there (0 below 0).
std::string seconds_text(double seconds);

// The version an adapter of `groups` had before a flash: as the agent reported it for its first
// function where `groups` has it (build suffix included), else that function's in the file.
std::string version_before(const std::vector<FileDevice>& devices, const AdapterGroups& groups,
                           const AdapterGroup& group);

// The adapters of a file as `groups` groups its devices, as a flash begins with them: names,
// functions, the first function's values (its reported version where `groups` has it),
// kSkipped when every function is set to Skip (the plug-in flashes an adapter for any one of
// them), else kNotAttempted.
std::vector<AdapterOutcome> file_adapters(const std::vector<FileDevice>& devices,
                                          const AdapterGroups& groups);

// Replays the plug-in's update pass over the file's devices as the trace tells it, line by line:
// the devices in file order, each skipped device logging its skip, the first chosen device of an
// adapter not yet attempted logging its flash, its "not listed" or the end of the pass, the
// other functions of an attempted adapter logging nothing. Where the trace and the file do not
// line up, or a line names an adapter that is not the one the grouping expects or names one
// twice, every adapter the operator chose is reported unknown.
class FlashReplay {
 public:
  // The devices grouped into adapters as `groups` says (see adapter_groups.h); adapters whose
  // every function is skipped are kSkipped from the start.
  FlashReplay(const std::vector<FileDevice>& before, const AdapterGroups& groups);

  // Takes the call's next trace line; returns the adapters (indexes into adapters()) whose
  // outcome this line settled.
  std::vector<size_t> feed(const TimedLine& line);
  // The adapter the pass is about to flash, or -1 (pass not begun or over, or lost track), and
  // since when (the time of the line before its flash began).
  int current() const;
  double current_since() const { return last_at_; }
  // The outcomes as far as the trace has gone (settled ones are final unless the trace turns
  // out not to line up).
  const std::vector<AdapterOutcome>& adapters() const { return adapters_; }
  // The outcomes once the call has returned and its whole trace was fed. `not_own`: why the
  // trace is not provably the call's own ("" when it is): then no outcome is taken from it.
  std::vector<AdapterOutcome> finish(const std::string& not_own = "") const;

 private:
  enum class Phase { kBefore, kPass, kEnded, kAllSkip, kPackageMismatch };
  enum class State { kOpen, kAttempted, kNotListed, kSkipped, kEnded };
  struct Event;

  std::vector<size_t> apply(const Event& event, double at);
  std::vector<size_t> end_pass(const Event& event);
  void settle(size_t adapter, State state, std::vector<size_t>& settled);
  void lose_track(const std::string& why);
  bool silent(size_t device) const;  // a chosen function of an adapter already attempted

  std::vector<FileDevice> devices_;
  std::vector<size_t> adapter_of_;  // per device
  bool by_agent_;                   // the groups are the agent's adapters
  std::vector<AdapterOutcome> adapters_;
  std::vector<std::string> named_;  // adapter indexes an outcome line named so far
  std::vector<State> states_;
  Phase phase_ = Phase::kBefore;
  bool call_seen_ = false;     // the trace holds the flash call's first line
  size_t next_ = 0;            // the next device of the walk
  std::string refusal_;        // why the call did not run the pass (3 and 8 paths)
  std::string mismatch_;       // why the trace and the file do not line up
  std::string pending_why_;    // a device the matcher refused, until its end-of-pass line
  size_t pending_device_ = 0;
  double last_at_ = 0;         // the last line not written by a flash in progress
};

// The whole replay: the outcome per adapter of the file, in file order.
std::vector<AdapterOutcome> flash_outcomes(const std::vector<FileDevice>& before,
                                           const AdapterGroups& groups,
                                           const std::vector<TimedLine>& trace,
                                           const std::string& not_own = "");

}  // namespace vxhost

#endif
