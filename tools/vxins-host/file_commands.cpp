// show, set-action and select: a discovery file read through the plug-in's own reader, its
// functions grouped into the adapters the plug-in flashes (as the history knows them), shown as
// the plug-in will treat them, named by the operator's entries, and edited in its action leaves
// only, under the run lock; show and set-action say when the file is one a flash rewrote (the
// history knows).
#include <unistd.h>

#include <algorithm>

#include "action_edit.h"
#include "adapter_groups.h"
#include "adapter_report.h"
#include "commands.h"
#include "device_entries.h"
#include "device_labels.h"
#include "discovery_view.h"
#include "files/atomic_file.h"
#include "history.h"
#include "output.h"
#include "reboot_marker.h"
#include "report.h"
#include "rewritten_files.h"
#include "run_lock.h"

namespace vxhost {

namespace {

// The file as the plug-in reads it, with the actions naming no action read as set-action would
// mend them; false with the one-line reason (a refusal names the line).
bool read_for_command(const std::string& path, DiscoveryView& view,
                      std::vector<size_t>& unknown_words, std::string& error) {
  ViewResult result = view_for_edit(path, view, unknown_words, error);
  if (result == ViewResult::kRefused)
    error = "the plug-in would refuse this file (a flash returns 1001 and flashes nothing): " +
            error;
  return result == ViewResult::kRead;
}

// Why the plug-in refuses a file whose only faults are actions naming no action, and how to mend
// it; "" when there are none.
std::string unknown_words_text(const DiscoveryView& view, const std::vector<size_t>& unknown) {
  if (unknown.empty()) return "";
  std::string list;
  for (size_t i : unknown)
    list += (list.empty() ? "" : ", ") + std::string("device ") + std::to_string(i + 1) + " (" +
            view.devices[i].file.mac_or_wwn + ")";
  return "the action of " + list + " names no action: the plug-in refuses the whole file (a "
         "flash returns 1001 and flashes nothing); set-action can set it";
}

void show_devices(Output& out, const std::string& path, const DiscoveryView& view,
                  const AdapterGroups& groups) {
  out.report()["devices"] = devices_json(view.devices, groups);
  out.print(path + ": " + std::to_string(view.devices.size()) + " device(s)\n" +
            devices_table(view.devices));
  if (view.devices.empty())
    out.warn("the plug-in finds no device in " + path + ": a flash of it returns 4");
  for (const std::string& note : file_notes(view.devices, groups)) out.warn(note);
}

// "'a' names no device of F", "'a', 'b' name no device of F".
std::string unmatched_text(const std::vector<std::string>& unmatched, const std::string& file) {
  std::string list;
  for (const std::string& e : unmatched) list += (list.empty() ? "'" : ", '") + e + "'";
  return list + (unmatched.size() == 1 ? " names" : " name") + " no device of " + file;
}

// The devices the entries name (with --adapter: every function of the adapters they name), file
// order; false with the reason (the unmatched entries into the report).
bool chosen_devices(const Options& o, const DiscoveryView& view, const AdapterGroups& groups,
                    Output& out, std::vector<size_t>& chosen, std::string& error) {
  std::vector<bool> take(view.devices.size(), o.all);
  if (o.all && view.devices.empty()) return error = "no device in the file", false;
  if (!o.adapters.empty() && !groups.by_agent)
    return error = "--adapter needs the agent's adapters of this file, which are not known (" +
                   groups.unknown_why + "): name its functions, or run discover again", false;
  const std::vector<FileDevice> devices = view.file_devices();
  std::vector<std::string> unmatched;
  for (const std::string& entry : o.adapters.empty() ? o.entries : o.adapters) {
    EntryMatch match;
    if (!match_entry(entry, devices, groups, match)) unmatched.push_back(entry);
    for (size_t i : match.devices) take[i] = true;
    if (o.adapters.empty()) continue;
    for (size_t g : match.groups)
      for (size_t i : groups.groups[g].devices) take[i] = true;
  }
  if (!unmatched.empty()) {
    Json::Value& list = out.report()["unmatched"] = Json::Value(Json::arrayValue);
    for (const std::string& e : unmatched) list.append(e);
    return error = unmatched_text(unmatched, o.discovery_file), false;
  }
  chosen.clear();
  for (size_t i = 0; i < take.size(); ++i)
    if (take[i]) chosen.push_back(i);
  return true;
}

// A Skip that leaves some functions of an adapter to flash does not keep it from being flashed:
// refused unless --force, which warns. Without the agent's adapters every Skip may be such a one.
bool skip_covers_adapters(const Options& o, const DiscoveryView& view, const AdapterGroups& groups,
                          const std::vector<size_t>& chosen, Output& out, std::string& error) {
  if (o.action != "Skip" || o.all) return true;
  std::vector<std::string> partial;
  if (!groups.by_agent) {
    partial.push_back("which agent adapter each function belongs to is not known (" +
                      groups.unknown_why + "), so the Skip may cover only part of one");
  }
  for (size_t g = 0; groups.by_agent && g < groups.groups.size(); ++g) {
    std::string left;
    bool touched = false;
    for (size_t i : groups.groups[g].devices) {
      const bool skip = std::find(chosen.begin(), chosen.end(), i) != chosen.end();
      touched = touched || skip;
      if (!skip && !view.devices[i].file.skipped)
        left += (left.empty() ? "" : ", ") + pci_address(view.devices[i].file) + " (" +
                view.devices[i].file.mac_or_wwn + ")";
    }
    if (touched && !left.empty())
      partial.push_back("adapter " + groups.groups[g].label + " keeps functions not set to Skip: " +
                        left);
  }
  for (const std::string& p : partial) {
    if (!o.force) {
      error = p + "; the plug-in flashes an adapter unless all its functions are skipped: name "
                  "them all (or the adapter with --adapter), or give --force";
      return false;
    }
    out.warn(p + ": the plug-in will still flash that adapter (--force)");
  }
  return true;
}

// Whether a recorded flash rewrote the file, from the history when there is one (it is only read:
// show and set-action create no database); warned about, with a new discovery suggested.
Rewrite warn_if_rewritten(Output& out, const Options& o, const DiscoveryView& view) {
  History history;
  bool exists = false;
  std::string error;
  const bool opened = history.open_existing(history_path(o.history_db), exists, error);
  if (!opened)
    out.warn("cannot tell from the history whether a flash rewrote the file: " + error);
  const Rewrite rewrite =
      rewrite_of(o.discovery_file, view, opened && exists ? &history : nullptr, error);
  if (opened && exists && !error.empty())
    out.warn("cannot tell from the history whether a flash rewrote the file: " + error);
  if (rewrite.rewritten) out.warn(rewrite.warning);
  return rewrite;
}

// The edited bytes must read back as meant: the same devices, the chosen ones with the new
// action, the others as they were. Anything else is a fault of the edit, and nothing is written.
bool reads_back_as_meant(const DiscoveryView& old_view, const std::string& edited,
                         const std::vector<size_t>& chosen, const std::string& action,
                         DiscoveryView& new_view) {
  std::string error;
  if (view_of_bytes(edited, new_view, error) != ViewResult::kRead ||
      new_view.devices.size() != old_view.devices.size())
    return false;
  std::vector<bool> is_chosen(old_view.devices.size(), false);
  for (size_t i : chosen) is_chosen[i] = true;
  for (size_t i = 0; i < new_view.devices.size(); ++i) {
    const FileDevice& now = new_view.devices[i].file;
    const FileDevice& was = old_view.devices[i].file;
    bool as_meant = is_chosen[i] ? now.action == action && now.skipped == (action == "Skip")
                                 : now.action == was.action && now.skipped == was.skipped;
    if (!as_meant || now.mac_or_wwn != was.mac_or_wwn) return false;
  }
  return true;
}

// The file read, its unknown action words all among the devices to set, and the devices to set
// chosen as the options say; false with the reason.
bool plan_edit(const Options& o, Output& out, DiscoveryView& view, AdapterGroups& groups,
               std::vector<size_t>& chosen, std::string& error) {
  std::vector<size_t> unknown;
  if (!read_for_command(o.discovery_file, view, unknown, error)) return false;
  groups = recorded_groups(history_path(o.history_db), view.file_devices());
  if (!chosen_devices(o, view, groups, out, chosen, error)) return false;
  std::vector<size_t> not_set;
  for (size_t i : unknown)
    if (std::find(chosen.begin(), chosen.end(), i) == chosen.end()) not_set.push_back(i);
  if (!not_set.empty()) return error = unknown_words_text(view, not_set) + " too", false;
  return skip_covers_adapters(o, view, groups, chosen, out, error);
}

}  // namespace

int run_show(const Options& o) {
  Output out(o.command_name, o.json);
  out.report()["discovery_file"] = o.discovery_file;
  DiscoveryView view;
  std::vector<size_t> unknown;
  std::string error;
  if (!read_for_command(o.discovery_file, view, unknown, error))
    return out.finish(kExitHost, error);
  if (!unknown.empty()) {
    return out.finish(kExitHost, "the plug-in would refuse this file: " +
                                     unknown_words_text(view, unknown));
  }
  const AdapterGroups groups = recorded_groups(history_path(o.history_db), view.file_devices());
  out.report()["takes_effect"] = view.takes_effect;
  show_devices(out, o.discovery_file, view, groups);
  const Rewrite rewrite = warn_if_rewritten(out, o, view);
  out.report()["rewritten_by_flash"] = rewrite.rewritten;
  out.report()["rewritten_by_run"] =
      rewrite.run_id != 0 ? Json::Value(static_cast<Json::Int64>(rewrite.run_id)) : Json::Value();
  report_reboot_pending(out);
  return out.finish(kExitOk);
}

int run_set_action(const Options& o) {
  Output out(o.command_name, o.json);
  out.report()["discovery_file"] = o.discovery_file;
  out.report()["action"] = o.action;
  std::string error, edited;
  if (geteuid() != 0) {
    return out.finish(kExitHost, "set-action needs root: it edits the file under the run lock " +
                                     RunLock::path() +
                                     ", which only root may take; the file is unchanged");
  }
  // Held until the file is replaced: a discover or flash cannot read it half way, nor rewrite
  // it over this edit.
  RunLock lock;
  if (!take_run_lock(lock, o, out, error)) return out.finish(kExitHost, error);
  DiscoveryView view, edited_view;
  AdapterGroups groups;
  std::vector<size_t> chosen;
  if (!plan_edit(o, out, view, groups, chosen, error))
    return out.finish(kExitHost, error + "; the file is unchanged");
  warn_if_rewritten(out, o, view);
  // Devices that already have the action are not edited; with none left the file stays as it
  // is, not even replaced by the same bytes.
  chosen = devices_to_change(view.devices, chosen, o.action);
  out.report()["changed"] = Json::Value(Json::arrayValue);
  if (chosen.empty()) {
    out.print("nothing to change: every chosen device already has the action " + o.action +
              "\n");
    show_devices(out, o.discovery_file, view, groups);
    return out.finish(kExitOk);
  }
  if (!edit_actions(view.bytes, view.devices, chosen, o.action, edited, error))
    return out.finish(kExitHost, error + "; the file is unchanged");
  if (!reads_back_as_meant(view, edited, chosen, o.action, edited_view))
    return out.finish(kExitHost, "the edited file does not read back as meant (a fault of "
                                 "vxins-host); the file is unchanged");
  if (!vxins::files::replace_file(o.discovery_file, edited, error))
    return out.finish(kExitHost, error + "; the file is unchanged");
  lock.release();
  for (size_t i : chosen) out.report()["changed"].append(view.devices[i].file.mac_or_wwn);
  out.print("Set the action of " + std::to_string(chosen.size()) + " device(s) to " + o.action +
            " in ");
  show_devices(out, o.discovery_file, edited_view, groups);
  return out.finish(kExitOk);
}

int run_select(const Options& o) {
  Output out(o.command_name, o.json);
  Json::Value& rep = out.report();
  rep["discovery_file"] = o.discovery_file;
  DiscoveryView view;
  std::vector<size_t> unknown;
  std::string error;
  if (!read_for_command(o.discovery_file, view, unknown, error))
    return out.finish(kExitHost, error);
  const std::vector<FileDevice> devices = view.file_devices();
  const AdapterGroups groups = recorded_groups(history_path(o.history_db), devices);
  const std::vector<AdapterOutcome> adapters = file_adapters(devices, groups);
  rep["adapters"] = discovered_adapters_json(view.devices, groups);
  Json::Value& selections = rep["selections"] = Json::Value(Json::arrayValue);
  std::vector<std::string> unmatched;
  std::vector<std::vector<std::string>> rows = {{"ENTRY", "ADAPTER", "AGENT INDEX", "FUNCTIONS"}};
  for (const std::string& entry : o.entries) {
    EntryMatch match;
    if (!match_entry(entry, devices, groups, match)) unmatched.push_back(entry);
    for (size_t g : match.groups) {
      const AdapterOutcome& a = adapters[g];
      Json::Value s(Json::objectValue);
      s["entry"] = entry;
      s["adapter"] = a.adapter;
      s["agent_index"] = a.agent_index.empty() ? Json::Value() : Json::Value(a.agent_index);
      s["identifiers"] = Json::Value(Json::arrayValue);
      std::string functions;
      for (size_t k = 0; k < a.identifiers.size(); ++k) {
        s["identifiers"].append(a.identifiers[k]);
        functions += (k == 0 ? "" : " ") + a.functions[k];
      }
      selections.append(s);
      rows.push_back({entry, a.adapter, a.agent_index.empty() ? "-" : a.agent_index, functions});
    }
  }
  if (!groups.by_agent)
    out.warn("the agent's adapters of this file are not known (" + groups.unknown_why +
             "): entries name the functions at their PCI bus and device only");
  out.print(format_table(rows));
  if (!unmatched.empty()) {
    Json::Value& list = rep["unmatched"] = Json::Value(Json::arrayValue);
    for (const std::string& e : unmatched) list.append(e);
    return out.finish(kExitHost, unmatched_text(unmatched, o.discovery_file));
  }
  return out.finish(kExitOk);
}

}  // namespace vxhost
