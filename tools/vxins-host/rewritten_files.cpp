// The history's run whose call last wrote these bytes tells: a flash (the file is its rewrite,
// even where the bytes are those it read) or a discovery (the file is fresh, even where a flash
// once wrote the same bytes).
#include "rewritten_files.h"

#include "action_edit.h"
#include "sha256.h"

namespace vxhost {

std::string file_key(const DiscoveryView& view) {
  std::vector<size_t> all;
  for (size_t i = 0; i < view.devices.size(); ++i) all.push_back(i);
  std::string blanked, error;
  return sha256_hex(edit_actions(view.bytes, view.devices, all, "", blanked, error) ? blanked
                                                                                   : view.bytes);
}

Rewrite rewrite_of(const std::string& path, const DiscoveryView& view, History* history,
                   std::string& lookup_error) {
  Rewrite r;
  RunRecord run;
  bool found = false;
  if (history != nullptr &&
      history->run_that_wrote(sha256_hex(view.bytes), file_key(view), run, found, lookup_error) &&
      found) {
    if (run.command != "flash") return r;
    r.rewritten = true;
    r.run_id = run.id;
  }
  r.rewritten = r.rewritten || view.rewritten_by_flash();
  if (r.rewritten) {
    r.warning = path + " was already rewritten by an earlier flash" +
                (r.run_id != 0 ? " (history run " + std::to_string(r.run_id) + ")" : "") +
                ": its versions and actions are that pass's, not the adapters' now (run discover "
                "for a fresh file)";
  }
  return r;
}

}  // namespace vxhost
