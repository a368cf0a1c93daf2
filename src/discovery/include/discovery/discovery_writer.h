// Writing the discovery file: from the enumeration's records (discovery), and anew with the
// outcome of a flash (rewrite). Called by the host sequences; the file is replaced atomically
// (see atomic_output.h) and a failure is logged and reported, never thrown.
#ifndef VXINS_DISCOVERY_DISCOVERY_WRITER_H
#define VXINS_DISCOVERY_DISCOVERY_WRITER_H

#include <set>
#include <string>

#include "inventory/device_record.h"

namespace vxins {
namespace discovery {

// The outcome of a flash call, as every rewritten fw_item's action_status says it: "1", "",
// or "8" when the package named another file. Only the writer turns it into text.
enum class FlashOutcome { kSuccess, kFailure, kPackageMismatch };

// What a rewrite carries into the fw_items besides each record's own values (its active
// version and freshly computed action among them).
struct RewriteValues {
  FlashOutcome outcome = FlashOutcome::kFailure;
  std::string fw_version;  // the version and firmware_file of the first device of the file
  std::string fw_file;     // read back: the package's, the same for every device
  // The MAC addresses and WWNs the file read back held as Skip: those devices are written
  // "Skip", every other one with its freshly computed action.
  std::set<std::string> skipped_ids;
  // The MAC addresses and WWNs the file read back held at all, and the adapters this call tried
  // to flash. A device of neither was never seen by the operator nor touched: it is written
  // "Skip" with an empty status, so that a retry with the file does not flash it unreviewed.
  std::set<std::string> file_ids;
  std::set<std::string> tried_adapters;
};

// Writes the discovery file for devices (null entries are logged and skipped). True when path
// now holds the new document; otherwise the cause is logged and any earlier file left as it was.
bool write_discovery_file(const std::string& path, const inventory::DeviceList& devices);

// Writes it anew after a flash, the same way, with `values` in every fw_item. When the rewrite
// fails the earlier file is removed where possible, so that no file reports an outcome this
// call did not have; false then.
bool rewrite_discovery_file(const std::string& path, const inventory::DeviceList& devices,
                            const RewriteValues& values);

}  // namespace discovery
}  // namespace vxins

#endif
