// The adapters of a discovery file as the plug-in flashes them: its functions grouped by the
// agent's adapter behind each MAC address or WWN, learnt from the trace of the call that wrote
// the file (a discovery, or a flash's rewrite) or from a run the history recorded; grouped by
// PCI bus and device only, and said so, when neither tells. Each group is named by the B:D of
// its first function ("0a:00"; "0a:00#2" for a second group that would get the same name). The
// same walk of the call's enumeration gives each function's active version as the agent
// reported it. Used by the commands and the flash replay; reads the history only, never the
// trace log.
#ifndef VXINS_HOST_ADAPTER_GROUPS_H
#define VXINS_HOST_ADAPTER_GROUPS_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "flash_outcomes.h"
#include "trace_follower.h"

namespace vxhost {

// MAC address or WWN -> the agent's index string of the adapter it belongs to.
using AgentIndexes = std::map<std::string, std::string>;
// MAC address or WWN -> the active version its adapter reported, build suffix included
// ("3.2.0.0_b17"; "" when the agent reported none).
using ReportedVersions = std::map<std::string, std::string>;

// The build suffix the plug-in's version comparison sets aside: the text from the first "_"
// that is not the first character ("_b17" of "3.2.0.0_b17"); "" when there is none.
std::string build_suffix(const std::string& version);
// Up to date with the package: the plug-in proposes Rewrite for every function of the adapter
// (`proposed` is their one action), and its active version as reported carries the same build
// suffix as the package's version (none on both, or the same text).
bool up_to_date(const std::string& proposed, const std::string& reported,
                const std::string& offered);

// What a call's enumeration said of one device record: its adapter's index and version.
struct ReportedDevice {
  std::string agent_index, version;
};

// One entry per device of `written` (the file the call wrote, file order), from the call's own
// trace: its enumeration logs each adapter's Flashed_bios_info line (its index and version),
// then one line per record it makes, in the order the file lists them. False with the reason
// when the trace does not line up with the file: no or two enumerations, a record of no
// adapter, counts the enumeration logs that disagree with its lines, another number of records,
// or a version whose numeric part is not the file's active version.
bool reported_devices(const std::vector<TimedLine>& trace, const std::vector<FileDevice>& written,
                      std::vector<ReportedDevice>& out, std::string& why);

// The same as the adapter and the version behind each identifier of the file. An identifier the
// agent reports on two adapters is left out (the plug-in matches it to none).
bool indexes_from_trace(const std::vector<TimedLine>& trace, const std::vector<FileDevice>& written,
                        AgentIndexes& indexes, std::string& why,
                        ReportedVersions* versions = nullptr);

// The same from the history database at `db_path`: the most recently started of its last runs
// whose adapters, grouped by the agent, hold exactly the identifiers of `devices`. The database
// is opened as it is, only read: a missing one is not created, an older one not migrated. False
// with the reason when none does.
bool indexes_from_history(const std::string& db_path, const std::vector<FileDevice>& devices,
                          AgentIndexes& indexes, std::string& why);

struct AdapterGroup {
  std::string label;             // "0a:00", "0a:00#2"
  std::string agent_index;       // "" when the grouping is by PCI address
  std::vector<size_t> devices;   // indexes into the file's devices, file order
};

struct AdapterGroups {
  bool by_agent = false;  // false: grouped by B:D, the agent's adapters unknown
  std::string unknown_why;  // why they are unknown
  std::vector<AdapterGroup> groups;
  std::vector<size_t> group_of;  // per device: its group
  std::vector<std::string> reported;  // per device: its adapter's version as reported, or ""

  const char* kind() const { return by_agent ? "agent" : "pci"; }
};

// Groups the devices by the agent's adapter when `indexes` names the adapter of every one of
// them (and of no identifier twice); else by B:D, with `unknown_why` (or what is missing) as
// the reason. Each device's reported version is the one `versions` gives its identifier.
AdapterGroups group_adapters(const std::vector<FileDevice>& devices, const AgentIndexes& indexes,
                             const std::string& unknown_why,
                             const ReportedVersions& versions = ReportedVersions());
// Sets each device's reported version in `groups` from `versions` ("" where it says nothing).
void set_reported_versions(AdapterGroups& groups, const std::vector<FileDevice>& devices,
                           const ReportedVersions& versions);
// The devices grouped as the history at `db_path` knows their adapters (indexes_from_history).
AdapterGroups recorded_groups(const std::string& db_path, const std::vector<FileDevice>& devices);

}  // namespace vxhost

#endif
