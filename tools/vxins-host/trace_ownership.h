// Whether the lines followed during one discover or flash call are provably that call's own
// trace. The trace log is one file for the whole machine and its lines name no caller, so the
// discover and flash commands take an outcome, a package version or an adapter grouping from
// them only when this says so. A pure function over the follower's lines; it never reads a file.
#ifndef VXINS_HOST_TRACE_OWNERSHIP_H
#define VXINS_HOST_TRACE_OWNERSHIP_H

#include <string>
#include <vector>

#include "trace_follower.h"

namespace vxhost {

enum class TracedCall { kDiscovery, kFlash };

// Why `lines` (as the follower handed them over, `line_before` the last line of the log when it
// started) are not provably the call's own trace; "" when they are. They are when the call's
// lines stand in one file, behind one banner of the call (and, for a flash, its one entry line
// right after it); the call before it in the log had ended (its last line is one that ends a
// call); and no second enumeration, package reading or update pass stands among them.
std::string foreign_trace(TracedCall call, const std::vector<TimedLine>& lines,
                          const std::string& line_before);

}  // namespace vxhost

#endif
