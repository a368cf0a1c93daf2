// How vxins-host shows discovery-file devices: a text table for people and JSON for programs,
// both marking each device as the plug-in will treat it (skipped or to flash); and the plain
// text table every listing uses. Pure formatting: no files, no plug-in, no exceptions.
#ifndef VXINS_HOST_REPORT_H
#define VXINS_HOST_REPORT_H

#include <json/json.h>

#include <string>
#include <vector>

#include "adapter_groups.h"
#include "discovery_view.h"
#include "result_codes.h"

namespace vxhost {

// Rows of cells (the first row the header) as columns two blanks apart, one line per row.
std::string format_table(const std::vector<std::vector<std::string>>& rows);

// The device table, one row per device, with a legend line for the status.
std::string devices_table(const std::vector<ViewDevice>& devices);
// devices' table, one row per function: its adapter, TYPE, MAC/WWN, B:D.F, PRODUCT and the
// active version as the agent reported it (the file's where `groups` does not know it).
std::string inventory_table(const std::vector<ViewDevice>& devices, const AdapterGroups& groups);
// The devices as a JSON array of objects (the file's values, the derived ones, "skipped", and
// "adapter": the label of the adapter `groups` puts it in).
Json::Value devices_json(const std::vector<ViewDevice>& devices, const AdapterGroups& groups);
// {"code", "name", "meaning"} for one plug-in result.
Json::Value result_json(int code, const ResultMeaning& meaning);

// What the operator should know before flashing this file: adapters some of whose functions
// are set to Skip while others are not (the plug-in flashes such an adapter).
std::vector<std::string> file_notes(const std::vector<ViewDevice>& devices,
                                    const AdapterGroups& groups);

}  // namespace vxhost

#endif
