// Adapter enumeration: asks the agent for every adapter and appends one device record per
// Ethernet port and per FC/FCoE port to the caller's list. Called by the discovery and flash
// entry points while the agent session is open; it never frees records and never throws.
#ifndef VXINS_INVENTORY_ENUMERATION_H
#define VXINS_INVENTORY_ENUMERATION_H

#include <string>
#include <vector>

#include "qrvl_device.h"

// Appends records to dev_list_vector (entries already there stay first; the list owns every
// record, also on failure, and the caller frees it). Returns
//   0    the adapter list was read (whether or not any adapter yielded records),
//   4    the agent reports no adapter,
//   1001 (INTERNAL_OPER_FAILED) the adapter index answer is unusable, an agent answer holds a
//        member of the wrong type, or the agent threw from the adapter count or index list.
// Adapters whose queries fail are skipped and do not change the result.
int qrvl_enumerate_devices(std::string passed_fwver, std::string fw_fname,
                           std::vector<CQrvlDevice*>& dev_list_vector);

// Bus, device and function text of a PCI hardware path "domain:bus:device.function"; the bus
// loses one leading zero ("0a" -> "a"). A path cut short yields the fields it has and empty
// text for the rest ("0000:0a" -> "a", "", ""); a path without ":" yields three empty texts.
void qrvl_parse_hardware_path(const std::string& path, std::string& bus, std::string& dev,
                              std::string& fn);

// The action text stored in a record: "Upgrade", "Downgrade", "Rewrite", "FW mismatch", or
// "Skip" for any other value.
const char* qrvl_action_text(int action);

#endif
