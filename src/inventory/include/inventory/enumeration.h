// Adapter enumeration: asks the agent for every adapter and appends one device record per
// Ethernet port and per FC/FCoE port to the caller's list. Called by the discovery and flash
// sequences while the agent session is open; it never frees records and never throws.
#ifndef VXINS_INVENTORY_ENUMERATION_H
#define VXINS_INVENTORY_ENUMERATION_H

#include <string>

#include "inventory/device_record.h"

namespace vxins {
namespace inventory {

// Appends records to devices (entries already there stay first; the list owns every record,
// also on failure). Returns
//   0    the adapter list was read (whether or not any adapter yielded records),
//   4    the agent reports no adapter,
//   1001 the adapter index answer is unusable, an agent answer holds a member the conversion
//        refuses, or the agent threw from the adapter count or index list.
// Adapters whose queries fail are skipped and do not change the result.
int enumerate_devices(const std::string& package_version, const std::string& package_name,
                      DeviceList& devices);

}  // namespace inventory
}  // namespace vxins

#endif
