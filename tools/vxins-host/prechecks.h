// What vxins-host checks before a discover or flash call, in the user's words. Each finding
// names a cause and the plug-in result it leads to; the plug-in is still called and its result
// stays the result, which the finding then explains. Used by the discover and flash commands.
#ifndef VXINS_HOST_PRECHECKS_H
#define VXINS_HOST_PRECHECKS_H

#include <string>
#include <vector>

namespace vxhost {

struct Finding {
  int code;           // the plug-in result this cause leads to
  std::string cause;  // one line, no full stop
};

// The firmware path (a folder holding exactly one package for discover; the package or such a
// folder for flash), the package in it, the discovery file's folder (discovery writes the file,
// flash rewrites it) and the current folder (the package reader's scratch file). `package`
// receives the package's bare file name when it can be told, else "".
std::vector<Finding> check_before_call(bool flash, const std::string& discovery_file,
                                       const std::string& firmware, std::string& package);

}  // namespace vxhost

#endif
