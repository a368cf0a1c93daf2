// Small path helpers of the entry points: the open test of a host-supplied path and the bare
// name of a package path. They never block on a FIFO and never throw.
#ifndef VXINS_HOST_PACKAGE_ACCESS_H
#define VXINS_HOST_PACKAGE_ACCESS_H

#include <string>

// True when the path names a regular file (links followed) that can be opened for reading now;
// the handle is closed again. A FIFO, device or folder is refused: reading one would block the
// host's thread or read something that is no package or discovery file.
bool can_open_for_reading(const std::string& path);
// The part after the last "/" or "\"; the whole path when it holds neither.
std::string bare_file_name(const std::string& path);

#endif
