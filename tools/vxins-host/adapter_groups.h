// The adapters of a discovery file as the plug-in flashes them: its functions grouped by the
// agent's adapter behind each MAC address or WWN, learnt from the trace of the call that wrote
// the file (a discovery, or a flash's rewrite) or from a run the history recorded; grouped by
// PCI bus and device only, and said so, when neither tells. Each group is named by the B:D of
// its first function ("0a:00"; "0a:00#2" for a second group that would get the same name).
// Used by the commands and the flash replay; reads the history only, never the trace log.
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

// The adapter behind each device record of a call, from the call's own trace (its enumeration
// logs each adapter's index and one line per record it makes) and the file the call wrote (the
// records in the same order). False with the reason when the trace does not tell for sure.
bool indexes_from_trace(const std::vector<TimedLine>& trace, const std::vector<FileDevice>& written,
                        AgentIndexes& indexes, std::string& why);

// The same from the history database at `db_path`: the newest recorded discover or flash whose
// adapters, grouped by the agent, hold exactly the identifiers of `devices`. The database is
// only read; a missing one is not created. False with the reason when none does.
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

  const char* kind() const { return by_agent ? "agent" : "pci"; }
};

// Groups the devices by the agent's adapter when `indexes` names the adapter of every one of
// them (and of no identifier twice); else by B:D, with `unknown_why` (or what is missing) as
// the reason.
AdapterGroups group_adapters(const std::vector<FileDevice>& devices, const AgentIndexes& indexes,
                             const std::string& unknown_why);
// The devices grouped as the history at `db_path` knows their adapters (indexes_from_history).
AdapterGroups recorded_groups(const std::string& db_path, const std::vector<FileDevice>& devices);

}  // namespace vxhost

#endif
