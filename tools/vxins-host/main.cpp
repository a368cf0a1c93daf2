// vxins-host: a command-line stand-in for the host firmware-update framework, for field support.
// It loads the plug-in and makes one call exactly as the framework would (discover, flash; devices
// a discovery with a package of its own), shows and edits discovery files through the plug-in's
// own reader (show, set-action), keeps a history of its runs (history), and records the agent's
// calls for the lab (--record, replay-to-inventory). Exit status: 0 success, 1 the plug-in
// reported a failure or an adapter was not flashed, 2 bad command line, 3 the host could not do
// its part.
#include <exception>
#include <iostream>

#include "command_line.h"
#include "commands.h"
#include "output.h"

namespace {

int run(int argc, char** argv) {
  vxhost::Options o;
  std::string error, usage;
  if (!vxhost::parse_command_line(argc, argv, o, error, usage)) {
    vxhost::Output out(o.command_name, o.json);
    return out.usage_error(error, usage);
  }
  if (o.version && o.json && !o.help) {
    vxhost::Output out("version", true);
    out.report()["version"] = vxhost::version_number();
    return out.finish(vxhost::kExitOk);
  }
  if (o.help || o.version) {
    std::cout << (o.help ? vxhost::help_text() : vxhost::version_text());
    return vxhost::kExitOk;
  }
  switch (o.command) {
    case vxhost::Command::kDiscover:
    case vxhost::Command::kFlash:
    case vxhost::Command::kDevices:
      return vxhost::run_plugin_command(o, argv);
    case vxhost::Command::kShow:
      return vxhost::run_show(o);
    case vxhost::Command::kSetAction:
      return vxhost::run_set_action(o);
    case vxhost::Command::kSelect:
      return vxhost::run_select(o);
    case vxhost::Command::kHistory:
      return vxhost::run_history_list(o);
    case vxhost::Command::kHistoryShow:
      return vxhost::run_history_show(o);
    case vxhost::Command::kHistoryPrune:
      return vxhost::run_history_prune(o);
    case vxhost::Command::kReplayToInventory:
      return vxhost::run_replay_to_inventory(o);
    case vxhost::Command::kNone:
      break;
  }
  return vxhost::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "vxins-host: internal error: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "vxins-host: internal error\n";
  }
  return vxhost::kExitHost;
}
