// The discovery-file oracle shared by the enumeration and discovery-file fuzz targets: a list
// written by the discovery writer must be well-formed for a real XML parser (tinyxml2) and must
// read back, record for record and value for value, through the plug-in's own reader. Aborts
// (vxfuzz::fail) on the first difference.
#ifndef VXINS_FUZZ_ROUND_TRIP_H
#define VXINS_FUZZ_ROUND_TRIP_H

#include <set>
#include <string>
#include <vector>

#include "qrvl_device.h"

namespace vxfuzz {

// What modify_and_write_to_xmlfile was given, when the file is a rewrite after a flash.
struct Outcome {
  std::string action_status;  // as written: "1", "" or the number
  std::string fw_ver;
  std::string fw_file;
  std::string active_ver;
  std::set<std::string> skipped_ids;  // devices set to skip in the file read back
};

// What a value becomes through the writer and the reader: every control byte the writer cannot
// put into XML (0x00-0x1F but tab, line feed and carriage return) turns into U+FFFD.
std::string expected_after_round_trip(const std::string& value);

// Checks the file at path against the non-null records of written (outcome null for a plain
// discovery file).
void check_discovery_file(const std::string& path, const std::vector<CQrvlDevice*>& written,
                          const Outcome* outcome);

}  // namespace vxfuzz

#endif
