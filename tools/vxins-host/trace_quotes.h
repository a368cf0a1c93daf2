// Facts the host quotes from a call's own trace lines: the package version the plug-in read, and
// the lines that tell why a discovery found no devices. Pure functions over the lines.
#ifndef VXINS_HOST_TRACE_QUOTES_H
#define VXINS_HOST_TRACE_QUOTES_H

#include <string>
#include <vector>

#include "trace_follower.h"

namespace vxhost {

// The version the package reader read ("" when the trace does not say).
std::string package_version_in(const std::vector<TimedLine>& trace);
// The lines of a discovery's trace that tell why it listed no device: how many adapters the
// agent has, and each adapter without ports or without answers (at most 20 lines).
std::vector<std::string> no_device_lines(const std::vector<TimedLine>& trace);

}  // namespace vxhost

#endif
