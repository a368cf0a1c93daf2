// How the command-line host shows discovery-file devices and results: a text table for people
// and JSON values for programs. Pure formatting: no files, no plug-in, no exceptions.
#ifndef VXINS_HOST_REPORT_H
#define VXINS_HOST_REPORT_H

#include <json/json.h>

#include <string>
#include <vector>

#include "discovery_doc.h"
#include "result_codes.h"

namespace vxhost {

// The device table, one row per device, with a header line and a legend line for the status.
std::string devices_table(const std::vector<FileDevice>& devices);
// The devices as a JSON array of objects (raw values as in the file plus the derived ones).
Json::Value devices_json(const std::vector<FileDevice>& devices);
// {"code", "name", "meaning"} for one plug-in result.
Json::Value result_json(int code, const ResultMeaning& meaning);
// True when there is at least one device and every device's action status is exactly "1".
bool all_flashed_ok(const std::vector<FileDevice>& devices);
// PCI devices (bus:device) some of whose functions are set to Skip while others are not: the
// plug-in flashes such an adapter for the functions that are not skipped.
std::vector<std::string> partly_skipped_adapters(const std::vector<FileDevice>& devices);

// Indented JSON text with a final line feed.
std::string json_text(const Json::Value& value);

}  // namespace vxhost

#endif
