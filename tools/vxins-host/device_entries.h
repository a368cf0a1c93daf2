// What an operator's ENTRY names in a discovery file, one reading for every command that takes
// them (select, set-action): a function's MAC address or WWN (any letter case), a PCI address in
// any spelling vxins-host prints or accepts (BUS:DEV, BUS:DEV.FN, DOMAIN:BUS:DEV,
// DOMAIN:BUS:DEV.FN), or an adapter's label ("0a:00#2"). Pure functions; no files, no throw.
#ifndef VXINS_HOST_DEVICE_ENTRIES_H
#define VXINS_HOST_DEVICE_ENTRIES_H

#include <cstddef>
#include <string>
#include <vector>

#include "adapter_groups.h"
#include "flash_outcomes.h"

namespace vxhost {

struct EntryMatch {
  std::vector<size_t> devices;  // the functions it names (a label: all of its adapter's)
  std::vector<size_t> groups;   // the adapters they belong to, each once, file order
};

// False when the entry names no device of the file (or is no spelling of one).
bool match_entry(const std::string& entry, const std::vector<FileDevice>& devices,
                 const AdapterGroups& groups, EntryMatch& match);

}  // namespace vxhost

#endif
