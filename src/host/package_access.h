// The firmware argument of the host calls: the open test of a host-supplied path, the package
// found in a folder, the package's bare name. Used by both sequences; each failing step logs
// its line and the caller's exit trace. Nothing here blocks on a FIFO or throws.
#ifndef VXINS_HOST_PACKAGE_ACCESS_H
#define VXINS_HOST_PACKAGE_ACCESS_H

#include <string>
#include <sys/stat.h>

#include "package/package_reader.h"

namespace vxins {
namespace host {

// True when the path names a regular file (links followed) that can be opened for reading now;
// the handle is closed again. A FIFO, device or folder is refused: reading one would block the
// host's thread or read something that is no package or discovery file.
bool can_open_for_reading(const std::string& path);
// stat() of the host's firmware argument: 0, or the result of stat (-1), logged.
int stat_firmware_path(const char* path, const char* exit_trace, struct stat& st);
// The one package in `folder`: name receives its bare name, path the joined path. 0 or the
// package reader's code, logged.
int find_package_in_folder(const char* folder, const char* exit_trace, std::string& name,
                           std::string& path);
// The open test of the package path; on failure returns `failure_code` (9 or 8), logged.
int check_package_opens(const std::string& path, const char* exit_trace, int failure_code);
// The version read from the package: 0 or the package reader's code, logged with the line the
// caller's contract gives (`failure_line`).
int read_version(const std::string& path, const char* failure_line, std::string& version);
// The package's bare file name (the package reader's rule).
using package::bare_file_name;

}  // namespace host
}  // namespace vxins

#endif
