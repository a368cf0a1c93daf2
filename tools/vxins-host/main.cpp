// vxins-host: a command-line stand-in for the host firmware-update framework. It loads the
// plug-in, makes one call exactly as the framework would, and shows the result and the
// discovery file; it also shows and edits discovery files as an operator would, with its own
// XML parser. Exit status: 0 success, 1 the plug-in reported a failure, 2 bad command line,
// 3 the host itself could not do its part (plug-in, agent or file missing or unusable).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "discovery_doc.h"
#include "plugin_loader.h"
#include "plugin_runner.h"
#include "report.h"
#include "result_codes.h"

namespace {

enum { kExitOk = 0, kExitPluginFailed = 1, kExitUsage = 2, kExitHostFailed = 3 };

struct Options {
  std::string plugin;
  std::string agent;
  bool json = false;
  bool log = false;
  std::string discovery_file;
  std::string firmware;
  std::string action;
  std::vector<std::string> ids;
  bool all = false;
};

// Whole-file read of the trace log, cut at a size no single call's trace reaches.
bool read_trace_log(std::vector<std::string>& lines) {
  FILE* f = fopen(vxhost::kTraceLogPath, "r");
  if (f == nullptr) return false;
  std::string text;
  char buf[8192];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0 && text.size() < 64u * 1024 * 1024)
    text.append(buf, n);
  fclose(f);
  lines.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return true;
}

// Ends a command: JSON (when asked) on stdout, the one-line reason on stderr.
int finish(const Options& o, Json::Value& report, int status, const std::string& reason) {
  report["ok"] = status == kExitOk;
  if (!reason.empty()) report["error"] = reason;
  if (o.json) std::cout << vxhost::json_text(report);
  std::cout.flush();
  if (!reason.empty()) std::cerr << "vxins-host: " << reason << "\n";
  return status;
}

int run_plugin_command(const Options& o, vxhost::EntryPoint entry, char** argv) {
  const bool flash = entry == vxhost::EntryPoint::Flash;
  Json::Value report(Json::objectValue);
  report["command"] = flash ? "flash" : "discover";

  std::string plugin = o.plugin;
  if (plugin.empty()) {
    plugin = vxhost::find_default_plugin();
    if (plugin.empty()) {
      std::string looked;
      for (const std::string& c : vxhost::default_plugin_candidates()) looked += " " + c;
      return finish(
          o, report, kExitHostFailed,
          "no plug-in libqrvlvxins.so found (looked at" + looked + "); use --plugin PATH");
    }
  }
  report["plugin"] = plugin;
  report["agent_dir"] = o.agent.empty() ? Json::Value() : Json::Value(o.agent);

  std::string error;
  if (!o.agent.empty() && !vxhost::use_agent_dir(o.agent, argv, error))
    return finish(o, report, kExitHostFailed, error);

  const char* symbol = flash ? vxplugin::kFlashSymbol : vxplugin::kDiscoverySymbol;
  report["entry_point"] = symbol;
  report["arguments"].append(o.discovery_file);
  report["arguments"].append(o.firmware);
  int rc = 0;
  if (!vxhost::call_plugin(plugin, entry, o.discovery_file, o.firmware, rc, error))
    return finish(o, report, kExitHostFailed, error);

  vxhost::ResultMeaning meaning =
      vxhost::describe_result(flash ? vxhost::Call::Flash : vxhost::Call::Discover, rc);
  report["result"] = vxhost::result_json(rc, meaning);
  report["discovery_file"] = o.discovery_file;
  if (!o.json) {
    std::cout << symbol << "(\"" << o.discovery_file << "\", \"" << o.firmware << "\") returned "
              << rc << (meaning.name.empty() ? "" : " (" + meaning.name + ")") << ":\n  "
              << meaning.meaning << "\n";
  }

  // The file as the call left it (discovery may leave none, a failed flash the old one).
  // Discovery writes the file only on success; flash rewrites it on these three results only.
  const bool written = flash ? (rc == 1 || rc == 3 || rc == 8) : rc == 0;
  report["file_written"] = written;
  vxhost::DiscoveryDoc doc;
  std::string file_error;
  bool have_file = doc.load(o.discovery_file, file_error);
  if (have_file) {
    report["devices"] = vxhost::devices_json(doc.devices());
    if (!o.json) {
      std::cout << "\n"
                << (written ? "Discovery file " : "Discovery file (not written by this call) ")
                << o.discovery_file << ": " << doc.devices().size() << " device(s)\n"
                << vxhost::devices_table(doc.devices());
    }
  } else {
    report["file_error"] = file_error;
    if (!o.json) std::cout << "\nNo discovery file to show: " << file_error << "\n";
  }

  if (o.log) {
    std::vector<std::string> lines;
    bool got = read_trace_log(lines);
    if (o.json) {
      Json::Value arr(Json::arrayValue);
      for (const std::string& l : lines) arr.append(l);
      report["log"] = got ? arr : Json::Value();
    } else if (got) {
      std::cout << "\n--- trace log " << vxhost::kTraceLogPath << " ---\n";
      for (const std::string& l : lines) std::cout << l << "\n";
      std::cout << "--- end of trace log ---\n";
    } else {
      std::cout << "\nNo trace log at " << vxhost::kTraceLogPath << "\n";
    }
  }

  std::string prefix = std::string(flash ? "flash" : "discovery") + " failed with result " +
                       std::to_string(rc) + ": ";
  if (!flash) {
    if (rc != 0) return finish(o, report, kExitPluginFailed, prefix + meaning.meaning);
    if (!have_file)
      return finish(
          o, report, kExitPluginFailed,
          "discovery reported success but left no readable discovery file: " + file_error);
    return finish(o, report, kExitOk, "");
  }
  if (rc != 1) return finish(o, report, kExitPluginFailed, prefix + meaning.meaning);
  if (!have_file)
    return finish(
        o, report, kExitPluginFailed,
        "the update pass ran but the rewritten discovery file cannot be read: " + file_error);
  if (!vxhost::all_flashed_ok(doc.devices()))
    return finish(o, report, kExitPluginFailed,
                  "the update pass ran but did not succeed: not every device's action status is "
                  "\"1\" (see --log for the adapters' answers)");
  return finish(o, report, kExitOk, "");
}

int run_show(const Options& o) {
  Json::Value report(Json::objectValue);
  report["command"] = "show";
  report["discovery_file"] = o.discovery_file;
  vxhost::DiscoveryDoc doc;
  std::string error;
  if (!doc.load(o.discovery_file, error)) return finish(o, report, kExitHostFailed, error);
  report["devices"] = vxhost::devices_json(doc.devices());
  if (!o.json) {
    std::cout << "Discovery file " << o.discovery_file << ": " << doc.devices().size()
              << " device(s)\n"
              << vxhost::devices_table(doc.devices());
  }
  return finish(o, report, kExitOk, "");
}

int run_set_action(const Options& o) {
  Json::Value report(Json::objectValue);
  report["command"] = "set-action";
  report["discovery_file"] = o.discovery_file;
  report["action"] = o.action;
  vxhost::DiscoveryDoc doc;
  std::string error;
  if (!doc.load(o.discovery_file, error)) return finish(o, report, kExitHostFailed, error);
  std::vector<std::string> changed;
  if (!doc.set_action(o.action, o.all, o.ids, changed, error))
    return finish(o, report, kExitHostFailed, error + "; the file is unchanged");
  if (!doc.save_atomically(o.discovery_file, error))
    return finish(o, report, kExitHostFailed, error + "; the file is unchanged");
  report["changed"] = Json::Value(Json::arrayValue);
  for (const std::string& id : changed) report["changed"].append(id);
  report["devices"] = vxhost::devices_json(doc.devices());
  report["notes"] = Json::Value(Json::arrayValue);
  for (const std::string& slot : vxhost::partly_skipped_adapters(doc.devices())) {
    std::string note = "adapter " + slot +
                       " has functions set to Skip and others not: it is flashed unless all "
                       "its functions are set to Skip";
    report["notes"].append(note);
    if (!o.json) std::cerr << "vxins-host: note: " << note << "\n";
  }
  if (!o.json) {
    std::cout << "Set the action of " << changed.size() << " device(s) to " << o.action << " in "
              << o.discovery_file << "\n"
              << vxhost::devices_table(doc.devices());
  }
  return finish(o, report, kExitOk, "");
}

int run(int argc, char** argv) {
  Options o;
  std::string sim = vxhost::find_bundled_simulator();
  CLI::App app{
      "Drives the boot-firmware update plug-in libqrvlvxins.so as the host framework does: one "
      "call, the same arguments, the integer result; then shows the discovery file.\n"
      "Exit status: 0 success, 1 the plug-in reported a failure, 2 bad command line, 3 the "
      "plug-in, the agent library or a file could not be used.",
      "vxins-host"};
  app.require_subcommand(1);
  app.fallthrough();  // the options below may also follow the command
  app.failure_message(CLI::FailureMessage::help);
  app.add_option("--plugin", o.plugin,
                 "the plug-in to load (default: the one installed or built beside vxins-host)")
      ->type_name("PATH");
  app.add_option("--agent", o.agent,
                 "folder holding the agent library libdznaj.so to use instead of the loader's "
                 "search path" +
                     (sim.empty() ? std::string() : " (the simulator: " + sim + ")"))
      ->type_name("DIR");
  app.add_flag("--json", o.json, "machine-readable output (JSON) on standard output");
  app.add_flag("--log", o.log, "also print the plug-in's trace log of the call");

  CLI::App* discover = app.add_subcommand(
      "discover", "call oem_do_discovery_with_files and show the discovery file it writes");
  discover->add_option("DISCOVERY_FILE", o.discovery_file, "discovery file to create")->required();
  discover->add_option("FIRMWARE_DIR", o.firmware, "folder holding exactly one firmware package")
      ->required();

  CLI::App* flash = app.add_subcommand(
      "flash", "call oem_do_flash_with_file and show the rewritten discovery file");
  flash->add_option("DISCOVERY_FILE", o.discovery_file, "discovery file from a discovery call")
      ->required();
  flash
      ->add_option("FIRMWARE_FILE_OR_DIR", o.firmware,
                   "the firmware package, or the folder holding it alone")
      ->required();

  CLI::App* show = app.add_subcommand("show", "show the devices of a discovery file");
  show->add_option("DISCOVERY_FILE", o.discovery_file, "discovery file")->required();

  CLI::App* set_action =
      app.add_subcommand("set-action", "set the action of devices in a discovery file (e.g. Skip)");
  set_action->add_option("DISCOVERY_FILE", o.discovery_file, "discovery file to edit")->required();
  set_action
      ->add_option("ACTION", o.action, "Skip, Upgrade, Downgrade or Rewrite (any letter case)")
      ->required()
      ->transform(CLI::Validator(
          [](std::string& word) {
            std::string canonical;
            if (!vxhost::canonical_action(word, canonical))
              return std::string("unknown action \"" + word +
                                 "\" (Skip, Upgrade, Downgrade or Rewrite)");
            word = canonical;
            return std::string();
          },
          "ACTION", "action word"));
  CLI::Option* ids = set_action->add_option(
      "MAC_OR_WWN", o.ids, "MAC addresses or WWNs of the devices to change (any letter case)");
  CLI::Option* all = set_action->add_flag("--all", o.all, "change every device of the file");
  all->excludes(ids);

  try {
    app.parse(argc, argv);
    if (set_action->parsed() && !o.all && o.ids.empty())
      throw CLI::RequiredError("MAC_OR_WWN... or --all");
  } catch (const CLI::ParseError& e) {
    // Usage text on standard error (on standard output for --help, which exits 0).
    int code = app.exit(e);
    return code == 0 ? kExitOk : kExitUsage;
  }
  if (discover->parsed()) return run_plugin_command(o, vxhost::EntryPoint::Discover, argv);
  if (flash->parsed()) return run_plugin_command(o, vxhost::EntryPoint::Flash, argv);
  if (show->parsed()) return run_show(o);
  return run_set_action(o);
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
  return kExitHostFailed;
}
