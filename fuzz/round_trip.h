// The discovery-file oracle shared by the enumeration and discovery-file fuzz targets: a list
// written by the discovery writer must be well-formed for a real XML parser (tinyxml2) and must
// read back, record for record and value for value, through the plug-in's own reader. Aborts
// (vxfuzz::fail) on the first difference.
#ifndef VXINS_FUZZ_ROUND_TRIP_H
#define VXINS_FUZZ_ROUND_TRIP_H

#include <string>

#include "discovery/discovery_writer.h"
#include "inventory/device_record.h"

namespace vxfuzz {

// What a value becomes through the writer and the reader: every control byte the writer cannot
// put into XML (0x00-0x1F but tab, line feed and carriage return) turns into U+FFFD.
std::string expected_after_round_trip(const std::string& value);

// Checks the file at path against the non-null records of written; rewrite is what
// rewrite_discovery_file was given, or null for a plain discovery file.
void check_discovery_file(const std::string& path, const vxins::inventory::DeviceList& written,
                          const vxins::discovery::RewriteValues* rewrite);

}  // namespace vxfuzz

#endif
