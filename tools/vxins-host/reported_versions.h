// The active version of each device as the agent reported it, build suffix included
// ("3.2.0.0_b17"), told from the trace of the discovery call that wrote the file, and whether an
// adapter is already up to date with the package. discover and devices add both to their adapter
// entries; pure functions over the trace lines and the file's values, no files, no throw.
#ifndef VXINS_HOST_REPORTED_VERSIONS_H
#define VXINS_HOST_REPORTED_VERSIONS_H

#include <json/json.h>

#include <string>
#include <vector>

#include "discovery_view.h"
#include "trace_follower.h"

namespace vxhost {

// What the discovery's trace says of one device of the file: the agent's index of its adapter
// and that adapter's version as reported ("" when the agent reported none).
struct ReportedDevice {
  std::string agent_index, version;
};

// One entry per device of the file, in file order, from the call's own trace: each adapter's
// Flashed_bios_info line, then one record line per device it contributed. Nothing (an empty
// list) when the trace does not line up with the file: another number of records, a record
// before any adapter, or a version whose numeric part is not the file's active version.
std::vector<ReportedDevice> reported_devices(const std::vector<TimedLine>& trace,
                                             const std::vector<FileDevice>& devices);

// The build suffix the plug-in's version comparison sets aside: the text from the first "_"
// that is not the first character ("_b17" of "3.2.0.0_b17"); "" when there is none.
std::string build_suffix(const std::string& version);

// Up to date with the package: the plug-in proposes Rewrite for every function, and the active
// version as reported carries the same build suffix as the package's version (none on both, or
// the same text).
bool up_to_date(const std::vector<const FileDevice*>& functions, const std::string& reported,
                const std::string& offered);

// Sets each adapter entry's "before" to the version its first function's adapter reported (the
// file's active version where the trace does not say) and, with `with_up_to_date`, its
// "up_to_date". An entry's functions are the devices its "identifiers" name.
void add_reported_versions(Json::Value& adapters, const std::vector<ViewDevice>& devices,
                           const std::vector<ReportedDevice>& reported, bool with_up_to_date);

}  // namespace vxhost

#endif
