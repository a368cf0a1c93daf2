// A discovery file as the plug-in will treat it: read once, its bytes given to the plug-in's own
// reader (its discovery library, linked in) quietly, so show, set-action and the check before
// flash see exactly what a flash call will, refusals included, while the plug-in's trace log is
// left alone. Used by the commands; prints nothing, never throws.
#ifndef VXINS_HOST_DISCOVERY_VIEW_H
#define VXINS_HOST_DISCOVERY_VIEW_H

#include <cstddef>
#include <string>
#include <vector>

#include "discovery/discovery_reader.h"
#include "flash_outcomes.h"

namespace vxhost {

// Discovery files are a few kilobytes; nothing near this size is one.
constexpr size_t kMaxDiscoveryFileBytes = 16u * 1024 * 1024;

// One device element: what the plug-in reads of it, and what the host adds for showing and
// editing it.
struct ViewDevice {
  FileDevice file;
  std::string firmware_file, action_status;
  vxins::discovery::ValueSpan action_value;  // where its action's value stands in the bytes
};

struct DiscoveryView {
  std::string bytes;  // the file exactly as read
  std::vector<ViewDevice> devices;
  std::string takes_effect;  // the header's takes_effect value ("" when absent)

  std::vector<FileDevice> file_devices() const;
  // Written back by an earlier flash: some device carries an action status.
  bool rewritten_by_flash() const;
};

enum class ViewResult { kRead, kCannotRead, kRefused };

// Reads the file (a regular file, without blocking) and gives its bytes to the plug-in's
// reader. kCannotRead: error says why the file could not be read; kRefused: the plug-in would
// refuse it (a flash returns 1001), error says "PATH line N (device K, ID): why".
ViewResult read_discovery_view(const std::string& path, DiscoveryView& view, std::string& error);
// The same over bytes already in memory (set-action checks its edit with it); a refusal says
// "line N (device K, ID): why", and `refusal` (when given) receives the reader's own.
ViewResult view_of_bytes(const std::string& bytes, DiscoveryView& view, std::string& error,
                         vxins::discovery::Refusal* refusal = nullptr);

}  // namespace vxhost

#endif
