// What the host's process looks like from inside, for the robustness suites (fault matrix, soak,
// disk full): mappings of the agent library, open descriptors, resident memory, and the state of
// a discovery file after a call. Reads /proc/self only; changes nothing.
#ifndef VXINS_E2E_PROCESS_PROBE_H
#define VXINS_E2E_PROCESS_PROBE_H

#include <string>
#include <vector>

namespace vxe2e {

// Lines of /proc/self/maps that map a file whose name contains `name`.
std::vector<std::string> mappings_of(const std::string& name);
// Number of entries in /proc/self/fd (the listing's own descriptor not counted).
int open_fd_count();
// The targets of /proc/self/fd, for a readable message when the count changes.
std::vector<std::string> open_fd_targets();
// VmRSS of this process in KiB (-1 when unknown).
long resident_kib();
// Files in dir whose name starts with prefix.
std::vector<std::string> files_with_prefix(const std::string& dir, const std::string& prefix);

// What a call left of a discovery file, against the bytes it held before (empty: none).
enum class FileOutcome { Untouched, Absent, Complete, Broken };
// Complete: well-formed (tinyxml2), a vx_rom_discovery 2.0.0.0 document whose every device
// carries exactly the leaves `reference_leaves` lists (device leaves, then "fw_item/"-prefixed
// leaves). why explains Broken.
FileOutcome discovery_file_outcome(const std::string& path, const std::string& before,
                                   const std::vector<std::string>& reference_leaves,
                                   std::string& why);
// The leaf names of the first device of a well-formed discovery file, in the form above.
std::vector<std::string> device_leaves(const std::string& path);
const char* outcome_name(FileOutcome outcome);

}  // namespace vxe2e

#endif
