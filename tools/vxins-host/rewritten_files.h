// Whether a discovery file is one a flash rewrote, so that its versions and actions are that
// pass's, not the adapters' now: a recorded flash wrote these bytes, or these bytes but for
// set-action's edits (by the history's hashes, whatever that flash's outcome), or the file
// carries the action statuses a flash writes. show, set-action and flash warn with it, and flash,
// discover and devices key their files with it; it prints nothing, no throw.
#ifndef VXINS_HOST_REWRITTEN_FILES_H
#define VXINS_HOST_REWRITTEN_FILES_H

#include <cstdint>
#include <string>

#include "discovery_view.h"
#include "history.h"

namespace vxhost {

struct Rewrite {
  bool rewritten = false;
  int64_t run_id = 0;   // the recorded flash that wrote the file; 0 when only its statuses tell
  std::string warning;  // one line naming the file and suggesting a new discovery; "" if fresh
};

// The SHA-256 of the file with its action values left out: the same for a file and whatever
// set-action makes of it, so that an edit does not hide which run wrote it.
std::string file_key(const DiscoveryView& view);

// `history` may be null (none could be opened); `lookup_error` says why the history could not
// be asked, when it could not.
Rewrite rewrite_of(const std::string& path, const DiscoveryView& view, History* history,
                   std::string& lookup_error);

}  // namespace vxhost

#endif
