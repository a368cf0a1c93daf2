// The host's own path and pipe helpers: a path made absolute without resolving links, a path's
// folder, and a pipe read to its end. Regular files and their atomic replacement are the
// plug-in's file primitives (src/files). Used by the commands; prints nothing, no throw.
#ifndef VXINS_HOST_HOST_FILES_H
#define VXINS_HOST_HOST_FILES_H

#include <string>

namespace vxhost {

// `path` made absolute against the current folder (not resolved: links stay as named). False,
// with strerror's text in `why`, when the current folder cannot be told.
bool make_absolute(const std::string& path, std::string& abs, std::string& why);

// The folder a path names its file in, as written: "." for a bare name, "/" for one at the root.
std::string folder_of(const std::string& path);

// Everything `fd` (a pipe) gives until its end; a read error ends it early.
std::string read_to_end(int fd);

}  // namespace vxhost

#endif
