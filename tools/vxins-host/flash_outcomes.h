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

// The adapter a device belongs to, as the host groups them: the functions of one adapter share
// bus and device number. "bus:dev".
std::string adapter_key(const FileDevice& d);

enum class Outcome { kFlashed, kFailed, kSkipped, kNotAttempted };
// "flashed", "failed", "skipped", "not attempted".
const char* outcome_name(Outcome outcome);

struct AdapterOutcome {
  std::string adapter;                    // bus:dev
  std::vector<std::string> identifiers;   // MAC/WWN of its functions, file order
  std::string product, before, offered;   // from the file before the call (first function)
  Outcome outcome = Outcome::kNotAttempted;
  std::string reason;       // the agent's text for kFailed; why for kNotAttempted
  std::string agent_index;  // the agent's index string when the trace names it
  double seconds = 0;       // time the flash took, when known
};

// A duration as the host shows it: "1.2 s" under ten seconds, "41 s" from there (0 below 0).
std::string seconds_text(double seconds);

// Replays the plug-in's update pass over the file's devices as the trace tells it, line by line:
// the devices in file order, each skipped device logging its skip, the first chosen device of an
// adapter not yet attempted logging its flash, its "not listed" or the end of the pass, the
// other functions of an attempted adapter logging nothing. Where the trace and the file do not
// line up, every adapter the operator chose is reported as not attempted, outcome unknown.
class FlashReplay {
 public:
  // Groups the devices into adapters (bus:dev, in file order); adapters whose every function is
  // skipped are kSkipped from the start.
  explicit FlashReplay(const std::vector<FileDevice>& before);

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
  // The outcomes once the call has returned and its whole trace was fed.
  std::vector<AdapterOutcome> finish() const;

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
  std::vector<AdapterOutcome> adapters_;
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
                                           const std::vector<TimedLine>& trace);

}  // namespace vxhost

#endif
