// The small operations over the device lists a sequence holds: logging and freeing a list,
// the first device's values, the devices the host set to skip. Called by the discovery and
// flash sequences only; none of them fails or throws, and null entries are passed over.
#ifndef VXINS_HOST_DEVICE_LISTS_H
#define VXINS_HOST_DEVICE_LISTS_H

#include <set>
#include <string>

#include "inventory/device_record.h"

namespace vxins {
namespace host {

// Logs every record's fields (a null entry by its position).
void log_devices(const inventory::DeviceList& devices);
// Logs every record once more, then deletes them all: the trace shows what was freed.
void free_devices(inventory::DeviceList& devices);

// The version and firmware file of the first record of the file read back: the package the
// file was made for, checked against the one passed and carried to every rewritten device;
// empty when there is no record. Each position looked at is logged.
struct FirstDeviceValues {
  std::string fw_version;
  std::string fw_file;
};
FirstDeviceValues first_device_values(const inventory::DeviceList& devices);

// The number of records read back as skipped; every other record is logged by position.
int count_skipped(const inventory::DeviceList& devices);
// The MAC addresses and WWNs of the records read back as skipped (an empty one included).
std::set<std::string> skipped_identifiers(const inventory::DeviceList& devices);
// The MAC addresses and WWNs of all records read back (an empty one included).
std::set<std::string> identifiers(const inventory::DeviceList& devices);

}  // namespace host
}  // namespace vxins

#endif
