// Reading the discovery file back into device records, as the flash sequence (and vxins-host's
// show, set-action and pre-flash check) must: what cannot be read for sure refuses the whole
// file rather than being guessed at. Records it creates belong to the caller's list.
#ifndef VXINS_DISCOVERY_DISCOVERY_READER_H
#define VXINS_DISCOVERY_DISCOVERY_READER_H

#include <string>
#include <vector>

#include "inventory/device_record.h"

namespace vxins {
namespace discovery {

// Appends one new record per device element of the file to devices. 0 (also when the file
// cannot be read: then nothing is appended), or 1001 when path is empty or a leaf the reader
// fills cannot be read for sure (its value split over lines, unquoted, under another attribute,
// twice in one device, on a line with other markup or a device/fw_item tag, in the wrong
// section, an action word naming no action, or a comment never closed): the cause is logged
// and, when refusal is given, put there as "line N (device K): why".
int read_discovery_file(const std::string& path, inventory::DeviceList& devices,
                        std::string* refusal = nullptr);

// Where and why read_device could not read a device element.
struct LeafFault {
  size_t line_index = 0;  // into the device lines, then on into the firmware lines
  std::string why;
};

// Fills a record's fields from the lines of one device element (its device section and its
// fw_item section): 0, or 1001 with fault filled at the first line that cannot be read,
// repeats a leaf or names no action. Lines without a leaf the reader fills are logged as
// unknown and skipped.
int read_device(const std::vector<std::string>& device_lines,
                const std::vector<std::string>& firmware_lines, inventory::DeviceRecord& record,
                LeafFault* fault = nullptr);

}  // namespace discovery
}  // namespace vxins

#endif
