// vxins-host's command line: its commands, operands and options, read into Options, or refused
// with one line in the user's words ("unknown command 'frobnicate'") and a one-line usage hint.
// Used by main only; nothing here prints, touches a file or throws.
#ifndef VXINS_HOST_COMMAND_LINE_H
#define VXINS_HOST_COMMAND_LINE_H

#include <cstdint>
#include <string>
#include <vector>

namespace vxhost {

enum class Command {
  kNone, kDiscover, kFlash, kDevices, kShow, kSetAction, kSelect, kHistory, kHistoryShow,
  kHistoryPrune, kReplayToInventory
};

struct Options {
  Command command = Command::kNone;
  std::string command_name;  // as the user names it: "discover", ..., "history show"
  bool help = false, version = false;
  std::string plugin, agent, history_db;
  std::string record;  // discover, flash: --record FILE, as given
  bool json = false, log = false, quiet = false;
  // discover, flash, devices, set-action: how long to wait for the run lock, in seconds; negative:
  // as long as it takes (--no-wait is 0).
  double lock_timeout = -1;
  std::string discovery_file, firmware;
  std::string action;                 // set-action: the canonical word ("Skip", ...)
  std::vector<std::string> entries;   // set-action, select: the ENTRY operands, as given
  std::vector<std::string> adapters;  // set-action: --adapter ENTRY, as given
  bool all = false, force = false;
  int limit = 20;      // history: rows to list
  int keep = 0;        // history prune --keep N; 0: the retention rule every run applies
  int64_t run_id = 0;  // history show
  std::string recording, output;  // replay-to-inventory: RECORDING and -o FILE ("": stdout)
  std::vector<std::string> argv;  // the whole command line, for the history
};

// Reads argv. False with `error` (one line, no full stop) and `usage` (one line) when the
// command line is wrong; `o.json` is set as soon as --json is seen, so the error can be JSON.
bool parse_command_line(int argc, char** argv, Options& o, std::string& error,
                        std::string& usage);

// --help: every command and option; --version: one line, and the bare version number.
std::string help_text();
std::string version_text();
std::string version_number();

}  // namespace vxhost

#endif
