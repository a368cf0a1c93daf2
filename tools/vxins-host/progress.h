// Progress of a discover or flash call, told from its trace lines as they come: one line per
// adapter ("[2/3] flashing 20:00:…: ok, 41 s"), and on a terminal a live status line above which
// they appear. The commands feed it from the trace follower; it only prints, to one stream.
#ifndef VXINS_HOST_PROGRESS_H
#define VXINS_HOST_PROGRESS_H

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "flash_outcomes.h"
#include "trace_follower.h"

namespace vxhost {

class Progress {
 public:
  // Discovery: the adapters are learnt from the trace (the agent's adapter count, then each
  // adapter's answers). terminal: draw a live status line (\r, erase-line) and leave only the
  // adapters' lines behind; else plain lines. quiet: print nothing.
  Progress(bool terminal, bool quiet, FILE* out);
  // Flash: the adapters to flash are the file's adapters (as `groups` groups its devices) with a
  // function not skipped, numbered in file order ("[k/N]"); each is named by its first
  // function's MAC/WWN and its product.
  Progress(bool terminal, bool quiet, FILE* out, const std::vector<FileDevice>& before,
           const AdapterGroups& groups);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // A trace line of the call (the follower's on_line).
  void on_line(const TimedLine& line);
  // The time since the call began (the follower's on_tick): refreshes the status line.
  void on_tick(double now);
  // After the call: the adapters not yet reported (flash: as the whole trace tells, also an
  // adapter whose earlier line the rest of the trace contradicts, and every one as unknown when
  // `not_own` says why the trace is not the call's own); the status line is cleared.
  void finish(const std::string& not_own = "");
  // Flash, after finish(): the outcome per adapter of the file, as flash_outcomes() tells it
  // from the whole trace.
  const std::vector<AdapterOutcome>& flash_outcomes() const { return final_outcomes_; }

 private:
  struct Discovery;
  void discovery_line(const TimedLine& line);
  void flash_line(const TimedLine& line);
  void report_flash(size_t adapter, const AdapterOutcome& outcome);
  std::string status(double now) const;
  void print(const std::string& line);
  void draw_status(double now);

  bool terminal_, quiet_;
  FILE* out_;
  std::mutex mutex_;
  std::string drawn_;  // the status line on the terminal now, "" when none
  // Flash: the replay, each adapter's ordinal among those to flash (0: skipped), and the line
  // already printed for it.
  std::unique_ptr<FlashReplay> replay_;
  std::vector<int> ordinal_;
  int planned_ = 0;
  std::vector<std::string> printed_;
  std::vector<AdapterOutcome> final_outcomes_;
  std::unique_ptr<Discovery> discovery_;
};

}  // namespace vxhost

#endif
