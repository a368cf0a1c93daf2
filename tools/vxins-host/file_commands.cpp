// show and set-action: a discovery file read through the plug-in's own reader, shown as the
// plug-in will treat it, and edited in its action leaves only; both say when the file is one a
// flash rewrote (the history knows).
#include "action_edit.h"
#include "commands.h"
#include "discovery_view.h"
#include "files/atomic_file.h"
#include "history.h"
#include "output.h"
#include "reboot_marker.h"
#include "report.h"
#include "rewritten_files.h"

namespace vxhost {

namespace {

// The file as the plug-in reads it; false with the one-line reason (a refusal names the line).
bool read_for_command(const std::string& path, DiscoveryView& view, std::string& error) {
  ViewResult result = read_discovery_view(path, view, error);
  if (result == ViewResult::kRefused)
    error = "the plug-in would refuse this file (a flash returns 1001 and flashes nothing): " +
            error;
  return result == ViewResult::kRead;
}

void show_devices(Output& out, const std::string& path, const DiscoveryView& view) {
  out.report()["devices"] = devices_json(view.devices);
  out.print(path + ": " + std::to_string(view.devices.size()) + " device(s)\n" +
            devices_table(view.devices));
  if (view.devices.empty())
    out.warn("the plug-in finds no device in " + path + ": a flash of it returns 4");
  for (const std::string& note : file_notes(view.devices)) out.warn(note);
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

}  // namespace

int run_show(const Options& o) {
  Output out(o.command_name, o.json);
  out.report()["discovery_file"] = o.discovery_file;
  DiscoveryView view;
  std::string error;
  if (!read_for_command(o.discovery_file, view, error)) return out.finish(kExitHost, error);
  out.report()["takes_effect"] = view.takes_effect;
  show_devices(out, o.discovery_file, view);
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
  DiscoveryView view, edited_view;
  std::string error, edited;
  std::vector<size_t> chosen;
  DeviceSelection selection{o.all, o.ids, o.adapters};
  if (!read_for_command(o.discovery_file, view, error) ||
      !select_devices(view.devices, selection, chosen, error))
    return out.finish(kExitHost, error + "; the file is unchanged");
  warn_if_rewritten(out, o, view);
  // Devices that already have the action are not edited; with none left the file stays as it
  // is, not even replaced by the same bytes.
  chosen = devices_to_change(view.devices, chosen, o.action);
  out.report()["changed"] = Json::Value(Json::arrayValue);
  if (chosen.empty()) {
    out.print("nothing to change: every chosen device already has the action " + o.action +
              "\n");
    show_devices(out, o.discovery_file, view);
    return out.finish(kExitOk);
  }
  if (!edit_actions(view.bytes, view.devices, chosen, o.action, edited, error))
    return out.finish(kExitHost, error + "; the file is unchanged");
  if (!reads_back_as_meant(view, edited, chosen, o.action, edited_view))
    return out.finish(kExitHost, "the edited file does not read back as meant (a fault of "
                                 "vxins-host); the file is unchanged");
  if (!vxins::files::replace_file(o.discovery_file, edited, error))
    return out.finish(kExitHost, error + "; the file is unchanged");
  for (size_t i : chosen) out.report()["changed"].append(view.devices[i].file.mac_or_wwn);
  out.print("Set the action of " + std::to_string(chosen.size()) + " device(s) to " + o.action +
            " in ");
  show_devices(out, o.discovery_file, edited_view);
  return out.finish(kExitOk);
}

}  // namespace vxhost
