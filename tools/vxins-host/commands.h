// The commands of vxins-host, one function each, called by main with the parsed command line.
// Each reports through its own Output (text or JSON) and returns the exit status.
#ifndef VXINS_HOST_COMMANDS_H
#define VXINS_HOST_COMMANDS_H

#include "command_line.h"

namespace vxhost {

// discover, flash and devices: one plug-in call inside the run lock, its trace followed for
// progress, per-adapter outcomes and the history. argv: for re-executing with --agent.
int run_plugin_command(const Options& o, char** argv);
// show: the devices of a discovery file as the plug-in will treat them.
int run_show(const Options& o);
// set-action: the action leaves of the chosen devices rewritten, the file replaced whole, under
// the run lock.
int run_set_action(const Options& o);
// select: the adapters a discovery file's entries name, read-only.
int run_select(const Options& o);
// history, history show ID and history prune.
int run_history_list(const Options& o);
int run_history_show(const Options& o);
int run_history_prune(const Options& o);
// replay-to-inventory: a recording turned into a simulator inventory by the simulator's script.
int run_replay_to_inventory(const Options& o);

}  // namespace vxhost

#endif
