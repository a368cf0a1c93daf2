// discover, flash and devices: the checks the host can make, the run lock, one plug-in call with
// its trace followed (progress, the call's own trace for --log and the history), then the report
// of what the call did, the run's record and the reboot it leaves pending. Nothing is taken from
// the followed lines unless they are provably the call's own. run_plugin_command reads as the
// list of these stages. devices is the plug-in's own discovery given a package and a file's
// place of the host's own, in a private folder.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <system_error>

#include "adapter_groups.h"
#include "adapter_report.h"
#include "agent_setup.h"
#include "commands.h"
#include "discovery_view.h"
#include "gzip_codec.h"
#include "files/regular_file.h"
#include "plugin_loader.h"
#include "plugin_runner.h"
#include "host_files.h"
#include "prechecks.h"
#include "private_discovery.h"
#include "progress.h"
#include "reboot_marker.h"
#include "report.h"
#include "result_codes.h"
#include "rewritten_files.h"
#include "run_history.h"
#include "run_lock.h"
#include "trace_follower.h"
#include "trace_ownership.h"
#include "trace_quotes.h"
#include "trace_texts.h"
#include "vxins_trace.h"

namespace vxhost {

namespace {

// Everything one discover, flash or devices run holds.
struct PluginRun {
  PluginRun(const Options& opts, const AgentSetup& agent_setup)
      : o(opts), agent(agent_setup), flash(opts.command == Command::kFlash),
        devices(opts.command == Command::kDevices), out(opts.command_name, opts.json),
        history(opts, out) {}
  const Options& o;  // devices: the call's arguments are the private folder's
  const AgentSetup& agent;
  const bool flash, devices;
  Output out;
  RunHistory history;
  std::string plugin;
  std::vector<Finding> findings;
  DiscoveryView before, after;
  bool have_before = false, have_after = false;
  // The key of the file after (rewritten_files.h), made on a thread of its own while the report
  // runs; it reads `after`, which nothing changes once read (declared after it, so that it is
  // waited for before `after` goes).
  std::future<std::string> after_key;
  AdapterGroups groups;  // flash: the file's adapters as known before the call, then after it
  std::vector<TimedLine> trace;
  GzipWriter trace_gz;   // the same lines compressed as they came, for the history
  std::string not_own;   // why the trace is not provably the call's own; "" when it is
  std::vector<AdapterOutcome> outcomes;  // flash: what the call did to each adapter
  bool called = false;
  int rc = 0;
  ResultMeaning meaning;  // the result as the call's own trace explains it
  off_t recording_from = 0;  // --record: the recording's size before the call
};

// Whether the call wrote the discovery file, as its result and the line that produced it say.
bool file_written(const PluginRun& r) {
  return writes_discovery_file(r.flash ? Call::Flash : Call::Discover, r.rc, r.meaning);
}

// A flash that leaves a reboot required adds its history run to the reboot-pending marker.
void mark_reboot_pending(PluginRun& r) {
  const Json::Value& rep = r.out.report();
  if (!r.flash || !rep.get("reboot_required", false).asBool()) return;
  const Json::Value& id = rep["history_id"];
  std::string error;
  if (!add_reboot_pending(id.isNull() ? 0 : id.asInt64(), error))
    r.out.warn("the reboot-pending marker " + reboot_marker_path() + " was not updated: " + error);
}

// Ends the run: its record stored, its report printed.
int end_run(PluginRun& r, int status, const std::string& error) {
  RunRecord& rec = r.history.run();
  rec.called = r.called;
  rec.result_code = r.rc;
  rec.adapters = r.out.report().get("adapters", Json::Value(Json::arrayValue));
  rec.have_file_before = !r.before.bytes.empty() || r.have_before;
  rec.file_before = r.before.bytes;
  rec.have_file_after = !r.after.bytes.empty() || r.have_after;
  rec.file_after = r.after.bytes;
  rec.file_written = r.called && file_written(r);
  rec.file_after_key.clear();
  if (r.have_after) {
    try {
      rec.file_after_key = r.after_key.valid() ? r.after_key.get() : file_key(r.after);
    } catch (const std::exception&) {
      rec.file_after_key = file_key(r.after);
    }
  }
  std::string why;
  rec.prepared_trace.made = r.trace_gz.finish(rec.prepared_trace.gz, why);
  if (!rec.prepared_trace.made) {
    // Compressed by the history instead, from the lines kept.
    for (const TimedLine& line : r.trace) rec.trace.append(line.text).push_back('\n');
  }
  // Another call's package is never recorded as this one's.
  rec.package_version = r.not_own.empty() ? package_version_in(r.trace) : "";
  if (r.devices) {
    // The package and the file were the host's own, and are gone.
    rec.package_name.clear();
    rec.package_version.clear();
    rec.have_file_after = false;
    rec.file_after.clear();
    rec.file_after_key.clear();
  }
  r.history.save(status);
  mark_reboot_pending(r);
  report_reboot_pending(r.out);
  return r.out.finish(status, error);
}

bool find_plugin(PluginRun& r, std::string& error) {
  r.plugin = r.o.plugin.empty() ? find_default_plugin() : r.o.plugin;
  if (r.plugin.empty()) {
    std::string looked;
    for (const std::string& c : default_plugin_candidates()) looked += " " + c;
    error = "no plug-in libqrvlvxins.so found (looked at" + looked + "); use --plugin PATH";
    return false;
  }
  std::string why;
  // devices calls the plug-in from its private folder.
  if (r.devices && !make_absolute(r.plugin, r.plugin, why)) {
    error = "cannot make the plug-in's path " + r.plugin + " absolute: " + why;
    return false;
  }
  Json::Value& rep = r.out.report();
  rep["plugin"] = r.plugin;
  rep["agent_dir"] = r.o.agent.empty() ? Json::Value() : Json::Value(r.o.agent);
  if (!r.agent.recording.empty()) {
    Json::Value& rec = rep["recording"];
    rec["file"] = r.agent.recording;
    rec["target"] = r.agent.target;
    rec["recorder"] = r.agent.recorder;
  }
  rep["entry_point"] = r.flash ? vxplugin::kFlashSymbol : vxplugin::kDiscoverySymbol;
  rep["arguments"].append(r.o.discovery_file);
  rep["arguments"].append(r.o.firmware);
  rep["discovery_file"] = r.devices ? Json::Value() : Json::Value(r.o.discovery_file);
  return true;
}

// What the host can tell before the call: warnings, and the findings that explain a result.
void check_paths(PluginRun& r) {
  if (geteuid() != 0) {
    r.out.warn("not running as root: the plug-in needs root to reach the adapters and to write "
               "its trace log " + std::string(vxins::trace::kLogPath));
  }
  if (r.devices) return;  // the host's own package and folder
  r.findings = check_before_call(r.flash, r.o.discovery_file, r.o.firmware,
                                 r.history.run().package_name);
  for (const Finding& f : r.findings) r.out.warn(f.cause);
}

// The file before the call. discover replaces it: only its bytes are kept, for the history.
// flash: the file as the plug-in will read it, its adapters as the history knows them; false
// with the reason when the plug-in would refuse it: then it is not called at all.
bool read_file_before(PluginRun& r, std::string& error) {
  if (!r.flash) {
    vxins::files::FileFailure failure;
    r.have_before = vxins::files::read_regular_file(r.o.discovery_file, kMaxDiscoveryFileBytes,
                                                    r.before.bytes, failure);
    if (!r.have_before) r.before.bytes.clear();
    if (r.have_before) r.history.prepare_file_before(r.before.bytes);
    return true;
  }
  std::string why;
  ViewResult result = read_discovery_view(r.o.discovery_file, r.before, why);
  r.have_before = result == ViewResult::kRead;
  if (!r.before.bytes.empty()) r.history.prepare_file_before(r.before.bytes);
  if (result == ViewResult::kRead) {
    r.groups = recorded_groups(history_path(r.o.history_db), r.before.file_devices());
    for (const std::string& note : file_notes(r.before.devices, r.groups)) r.out.warn(note);
    std::string lookup_error;
    const Rewrite rewrite =
        rewrite_of(r.o.discovery_file, r.before, r.history.database(), lookup_error);
    if (!lookup_error.empty())
      r.out.warn("cannot tell from the history whether a flash rewrote the file: " + lookup_error);
    if (rewrite.rewritten) r.out.warn(rewrite.warning);
    return true;
  }
  if (result == ViewResult::kCannotRead) {
    r.findings.push_back({VXINS_RC_DISC_FILE_OPEN_FAILED, why});
    r.out.warn(why);
    return true;
  }
  error = "flash refused before calling the plug-in, which would refuse the whole file (result "
          "1001) and flash nothing: " + why;
  return false;
}

// devices calls the plug-in from its private folder, where the package reader's scratch file
// goes and is removed with it; the others from the operator's current folder.
bool call_in_folder(PluginRun& r, std::string& error) {
  const EntryPoint entry = r.flash ? EntryPoint::Flash : EntryPoint::Discover;
  if (!r.devices)
    return call_plugin(r.plugin, entry, r.o.discovery_file, r.o.firmware, r.rc, error);
  const int here = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const std::string folder = r.o.discovery_file.substr(0, r.o.discovery_file.rfind('/'));
  if (here < 0 || chdir(folder.c_str()) != 0) {
    error = "cannot enter the private folder " + folder + ": " + strerror(errno);
    if (here >= 0) ::close(here);
    return false;
  }
  const bool called = call_plugin(r.plugin, entry, r.o.discovery_file, r.o.firmware, r.rc, error);
  if (fchdir(here) != 0)
    r.out.warn(std::string("cannot return to the current folder: ") + strerror(errno));
  ::close(here);
  return called;
}

// The call itself, with the trace followed while it runs. False when the plug-in could not be
// called (error says why).
bool call_with_trace(PluginRun& r, std::string& error) {
  const bool terminal = isatty(fileno(stdout)) != 0;
  const bool quiet = r.o.quiet || r.o.json;
  std::unique_ptr<Progress> progress(r.flash
                                         ? new Progress(terminal, quiet, stdout,
                                                        r.before.file_devices(), r.groups)
                                         : new Progress(terminal, quiet, stdout));
  if (!r.agent.recording.empty()) {
    r.recording_from = recording_size(r.agent.recording);
    r.out.print("Recording the agent calls to " + r.agent.recording +
                " (the recorder in front of " + r.agent.target + ")\n");
  }
  TraceFollower follower(vxins::trace::kLogPath);
  try {
    // Compressed on the follower's thread while the call runs, not after it.
    GzipWriter& gz = r.trace_gz;
    follower.start(
        [&progress, &gz](const TimedLine& line) {
          progress->on_line(line);
          gz.add(line.text);
          gz.add("\n", 1);
        },
        [&progress](double now) { progress->on_tick(now); });
  } catch (const std::system_error& e) {
    r.out.warn(std::string("no progress and no trace of this call: ") + e.what());
  }
  r.called = call_in_folder(r, error);
  follower.stop();
  r.not_own = !follower.error().empty()
                  ? "the trace of this call is incomplete: " + follower.error()
                  : foreign_trace(r.flash ? TracedCall::kFlash : TracedCall::kDiscovery,
                                  follower.lines(), follower.line_before());
  progress->finish(r.not_own);
  r.trace = follower.take_lines();
  if (r.flash && r.have_before) r.outcomes = progress->flash_outcomes();
  if (r.called && !r.not_own.empty())
    r.out.warn("this call's trace is not provably its own: " + r.not_own);
  return r.called;
}

// The file as the call left it (discovery may leave none, a failed flash the earlier one).
void read_file_after(PluginRun& r) {
  std::string why, bytes;
  vxins::files::FileFailure failure;
  if (vxins::files::read_regular_file(r.o.discovery_file, kMaxDiscoveryFileBytes, bytes,
                                      failure)) {
    if (!bytes.empty()) r.history.prepare_file_after(bytes);
    r.have_after = view_of_bytes(bytes, r.after, why) == ViewResult::kRead;
    try {
      if (r.have_after)
        r.after_key = std::async(std::launch::async, [&r] { return file_key(r.after); });
    } catch (const std::system_error&) {
      // No thread: end_run makes the key itself.
    }
  } else {
    why = failure.text(r.o.discovery_file);
  }
  if (!r.have_after) r.out.report()["file_error"] = why;
}

// The call's trace when it is provably its own, else no line.
const std::vector<TimedLine>& own_trace(const PluginRun& r) {
  static const std::vector<TimedLine> none;
  return r.not_own.empty() ? r.trace : none;
}

// The adapters of `devices` as the call's own enumeration grouped the file it wrote (the
// discovery's file, the flash's rewrite): the plug-in's own matching, with the versions that
// enumeration reported. `fallback`'s grouping when the trace does not tell the adapters.
AdapterGroups groups_after_call(const PluginRun& r, const std::vector<FileDevice>& devices,
                                bool wrote_file, const AdapterGroups& fallback) {
  AgentIndexes indexes;
  ReportedVersions versions;
  std::string why = r.not_own;
  if (why.empty() && !wrote_file) why = "the call wrote no file to tell its adapters by";
  if (why.empty() && !r.have_after) why = "the file the call wrote cannot be read";
  if (why.empty() && !indexes_from_trace(r.trace, r.after.file_devices(), indexes, why, &versions))
    why = "the call's trace does not tell its adapters: " + why;
  AdapterGroups groups = group_adapters(devices, indexes, why, versions);
  if (groups.by_agent || fallback.groups.empty()) return groups;
  groups = fallback;
  set_reported_versions(groups, devices, versions);
  return groups;
}

// Whether two groupings put the same devices together under the same adapter indexes (their
// reported versions aside).
bool same_groups(const AdapterGroups& a, const AdapterGroups& b) {
  if (a.by_agent != b.by_agent || a.group_of != b.group_of) return false;
  for (size_t g = 0; g < a.groups.size(); ++g)
    if (a.groups[g].agent_index != b.groups[g].agent_index) return false;
  return true;
}

// "discovery failed with result N: " and its cause: what the host found before the call that
// leads to this result, else its meaning (from the trace line that produced it). The agent's own
// initialisation result is never put down to a cause of the plug-in's code of that number.
std::string failure(const PluginRun& r, const ResultMeaning& meaning) {
  std::string text = std::string(r.flash ? "flash" : "discovery") + " failed with result " +
                     std::to_string(r.rc) + ": ";
  for (const Finding& f : r.findings)
    if (f.code == r.rc && !meaning.agent_code) return text + f.cause;
  return text + meaning.meaning;
}

ResultMeaning print_result(PluginRun& r) {
  const ResultMeaning& meaning = r.meaning =
      explain_result(r.flash ? Call::Flash : Call::Discover, r.rc, own_trace(r));
  r.out.report()["result"] = result_json(r.rc, meaning);
  const std::string arguments =
      r.devices ? " (with a package and a file of vxins-host's own)"
                : "(\"" + r.o.discovery_file + "\", \"" + r.o.firmware + "\")";
  const std::string call =
      std::string(r.flash ? vxplugin::kFlashSymbol : vxplugin::kDiscoverySymbol) + arguments;
  r.out.print(call + " returned " + std::to_string(r.rc) +
              (meaning.name.empty() ? "" : " (" + meaning.name + ")") + ":\n  " +
              meaning.meaning + "\n");
  return meaning;
}

// discover's and devices' "state": "devices" (exit 0); "no adapters" (the plug-in's own 4, not
// the agent's initialisation answer of that number, or 0 with a file of no device); "unknown"
// when the trace that tells which it is, the adapters and the package version is not provably
// this call's; else "failed".
const char* discovery_state(const PluginRun& r, const ResultMeaning& meaning, int status) {
  if (status == kExitOk) return "devices";
  if ((r.rc == 0 || r.rc == VXINS_RC_NO_ADAPTERS) && !r.not_own.empty()) return "unknown";
  if ((r.rc == VXINS_RC_NO_ADAPTERS && !meaning.agent_code) ||
      (r.rc == 0 && r.have_after && r.after.devices.empty()))
    return "no adapters";
  return "failed";
}

// Why a discovery found nothing to list, in the trace's own lines.
void quote_no_device_lines(PluginRun& r) {
  Json::Value quoted(Json::arrayValue);
  std::string text;
  for (const std::string& line : no_device_lines(r.trace)) {
    quoted.append(line);
    text += "  " + line + "\n";
  }
  r.out.report()["no_device_lines"] = quoted;
  r.out.print("\nThe trace says why:\n" + (text.empty() ? "  (nothing)\n" : text));
}

// The exit status of a discovery (discover, devices) once its file is read back.
int discovery_status(PluginRun& r, const ResultMeaning& meaning, std::string& why) {
  if (r.rc == VXINS_RC_NO_ADAPTERS && r.not_own.empty() && !meaning.agent_code)
    quote_no_device_lines(r);
  if (r.rc != 0) {
    why = failure(r, meaning);
    return kExitFailed;
  }
  if (!r.not_own.empty()) {
    why = "this discovery's trace is not provably its own (" + r.not_own +
          "): its adapters and package version are not taken from it";
    return kExitFailed;
  }
  if (!r.have_after) {
    why = "discovery reported success but left no readable discovery file: " +
          r.out.report()["file_error"].asString();
    return kExitFailed;
  }
  if (!r.after.devices.empty()) return kExitOk;
  quote_no_device_lines(r);
  why = "discovery found no devices: the file lists none, so there is nothing to flash";
  return kExitFailed;
}

int report_discovery(PluginRun& r, std::string& why) {
  ResultMeaning meaning = print_result(r);
  Json::Value& rep = r.out.report();
  rep["file_written"] = file_written(r);
  if (r.have_after && r.rc == 0) {
    const AdapterGroups groups =
        groups_after_call(r, r.after.file_devices(), true, AdapterGroups());
    rep["devices"] = devices_json(r.after.devices, groups);
    rep["adapters"] = discovered_adapters_json(r.after.devices, groups);
    r.out.print("\n" + r.o.discovery_file + ": " + std::to_string(r.after.devices.size()) +
                " device(s)\n" + devices_table(r.after.devices));
  }
  const int status = discovery_status(r, meaning, why);
  rep["state"] = discovery_state(r, meaning, status);
  return status;
}

// devices: the adapters and functions the plug-in's discovery listed, with their active
// versions as reported; nothing of the package, which was only the host's means to call it.
int report_devices(PluginRun& r, std::string& why) {
  ResultMeaning meaning = print_result(r);
  Json::Value& rep = r.out.report();
  if (r.have_after && r.rc == 0) {
    const AdapterGroups groups =
        groups_after_call(r, r.after.file_devices(), true, AdapterGroups());
    Json::Value adapters = discovered_adapters_json(r.after.devices, groups);
    for (Json::Value& a : adapters)
      for (const char* key : {"offered", "proposed", "up_to_date"}) a.removeMember(key);
    Json::Value devices = devices_json(r.after.devices, groups);
    for (Json::Value& d : devices)
      for (const char* key : {"offered_version", "firmware_file", "action", "skipped",
                              "action_status"})
        d.removeMember(key);
    rep["adapters"] = adapters;
    rep["devices"] = devices;
    r.out.print("\n" + std::to_string(adapters.size()) + " adapter(s), " +
                std::to_string(devices.size()) + " function(s)\n" +
                inventory_table(r.after.devices, groups));
  }
  const int status = discovery_status(r, meaning, why);
  rep["state"] = discovery_state(r, meaning, status);
  return status;
}

int report_flash(PluginRun& r, std::string& why) {
  ResultMeaning meaning = print_result(r);
  Json::Value& rep = r.out.report();
  const bool rewritten = file_written(r);
  rep["file_written"] = rewritten;
  // The call's own enumeration and rewrite tell its adapters and their versions best; outcomes
  // told under another grouping are told again under this one.
  const AdapterGroups groups = groups_after_call(r, r.before.file_devices(), rewritten, r.groups);
  // The outcomes followed during the call stand when only the versions the enumeration reported
  // are new (replaying a flash's 170,000 lines again costs more than the call's tail).
  const std::vector<FileDevice> devices = r.before.file_devices();
  if (same_groups(groups, r.groups) && r.outcomes.size() == groups.groups.size()) {
    for (size_t a = 0; a < groups.groups.size(); ++a)
      r.outcomes[a].before = version_before(devices, groups, groups.groups[a]);
  } else {
    r.outcomes = flash_outcomes(devices, groups, r.trace, r.not_own);
  }
  Json::Value adapters = flash_adapters_json(r.outcomes, groups.kind());
  Json::Value counts = outcome_counts(adapters);
  const bool deferred = !r.have_after || r.after.takes_effect.empty() ||
                        r.after.takes_effect == "deferred";
  const bool reboot = counts[outcome_name(Outcome::kFlashed)].asInt() > 0 && deferred;
  rep["adapters"] = adapters;
  rep["counts"] = counts;
  rep["reboot_required"] = reboot;
  if (!adapters.empty()) {
    r.out.print("\nWhat this call did, per adapter:\n" + adapters_table(adapters) +
                counts_line(counts) + "\n");
  }
  if (reboot) r.out.print("Reboot required: the new firmware takes effect after a reboot.\n");
  why = r.rc != 1 ? failure(r, meaning) : unflashed_reason(adapters);
  if (r.rc == 1 && !r.not_own.empty())
    why = "this flash's trace is not provably its own (" + r.not_own +
          "): what it did to each adapter is unknown";
  return why.empty() ? kExitOk : kExitFailed;
}

// --record: what the recording gained, and where it went. A call that recorded nothing is
// warned about: the recorder's own message on stderr says why.
void report_recording(PluginRun& r) {
  if (r.agent.recording.empty() || !r.called) return;
  RecordedCalls got;
  std::string why;
  Json::Value& rec = r.out.report()["recording"];
  if (!read_recorded(r.agent.recording, r.recording_from, got, why)) {
    r.out.warn("cannot read back the recording: " + why);
    return;
  }
  rec["sessions"] = got.sessions;
  rec["calls"] = got.calls;
  rec["agent_version"] = got.agent_version;
  if (got.sessions == 0) {
    r.out.warn("nothing was recorded to " + r.agent.recording +
               " (the recorder's message above says why)");
    return;
  }
  r.out.print("\nRecorded " + std::to_string(got.calls) + " agent call(s) of " + r.agent.target +
              (got.agent_version.isString() ? " (version " + got.agent_version.asString() + ")"
                                            : "") +
              " to " + r.agent.recording + "\n");
}

// --log: this call's trace, from the follower (never the log file read again afterwards).
void print_trace(PluginRun& r) {
  if (!r.o.log) return;
  Json::Value lines(Json::arrayValue);
  std::string text;
  for (const TimedLine& line : r.trace) {
    lines.append(line.text);
    text += line.text + "\n";
  }
  r.out.report()["log"] = lines;
  if (r.trace.empty()) {
    r.out.print(std::string("\nThe call wrote no trace to ") + vxins::trace::kLogPath + "\n");
    return;
  }
  r.out.print(std::string("\n--- trace of this call (") + vxins::trace::kLogPath + ") ---\n" +
              text + "--- end of trace ---\n");
}

}  // namespace

int run_plugin_command(const Options& given, char** argv) {
  std::string error;
  AgentSetup agent;
  PrivateDiscovery private_files;
  Options o = given;
  if (set_up_agent(o, argv, agent, error) && o.command == Command::kDevices &&
      private_files.create(error)) {
    o.discovery_file = private_files.discovery_file();
    o.firmware = private_files.firmware_dir();
  }
  if (!error.empty()) {
    Output out(o.command_name, o.json);
    return out.finish(kExitHost, error);
  }
  PluginRun r(o, agent);
  if (!find_plugin(r, error)) return end_run(r, kExitHost, error);
  check_paths(r);
  RunLock lock;
  if (!take_run_lock(lock, o, r.out, error)) return end_run(r, kExitHost, error);
  if (!read_file_before(r, error)) return end_run(r, kExitHost, error);
  if (!call_with_trace(r, error)) return end_run(r, kExitHost, error);
  read_file_after(r);
  lock.release();
  std::string why;
  int status = r.flash     ? report_flash(r, why)
               : r.devices ? report_devices(r, why)
                           : report_discovery(r, why);
  report_recording(r);
  print_trace(r);
  return end_run(r, status, why);
}

}  // namespace vxhost