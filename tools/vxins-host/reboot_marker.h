// The reboot-pending marker: /run/qrvlvxins/reboot-pending ($VXINS_REBOOT_MARKER), naming the
// history runs that flashed an adapter since this boot. It holds the boot id it was written
// under and counts only while that is the current boot, so a reboot clears it. Used by
// discover, flash, devices and show, which report it through their Output; never throws.
#ifndef VXINS_HOST_REBOOT_MARKER_H
#define VXINS_HOST_REBOOT_MARKER_H

#include <json/json.h>

#include <cstdint>
#include <string>
#include <vector>

#include "output.h"

namespace vxhost {

struct RebootPending {
  bool pending = false;
  std::vector<int64_t> runs;  // history ids, in the order they flashed
};

// The marker's path: $VXINS_REBOOT_MARKER when set, else /run/qrvlvxins/reboot-pending.
std::string reboot_marker_path();

// What the marker says for the current boot: nothing pending when there is no marker or it was
// written under another boot. False with the reason when it cannot be told: the marker or its
// folder cannot be read, is not a regular file or folder, is not owned by the running user (a
// marker anyone else could have written is not believed), or holds no marker.
bool read_reboot_pending(RebootPending& out, std::string& error);

// Records that a flash flashed an adapter: its history id (0 when it has none) added to the
// current boot's marker, a marker of another boot replaced. The folder is created (0700) when
// missing; the file is replaced atomically under a lock on its folder, so that two flashes
// ending together both count. False with the reason.
bool add_reboot_pending(int64_t run_id, std::string& error);

// {"pending": bool, "runs": [ids]}.
Json::Value reboot_pending_json(const RebootPending& p);
// "Reboot pending: runs 3 and 7 flashed adapters since this boot; ...", or "" when none.
std::string reboot_pending_line(const RebootPending& p);
// The report's "reboot_pending" (null, with a warning, when it cannot be told) and its line.
void report_reboot_pending(Output& out);

}  // namespace vxhost

#endif
