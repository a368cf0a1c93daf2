// The host's own file access: every file vxins-host reads is a regular file opened without
// blocking (a FIFO or device under a discovery file's name is refused, never waited on), and
// the discovery file it edits is replaced whole. Used by the commands; prints nothing, no throw.
#ifndef VXINS_HOST_HOST_FILES_H
#define VXINS_HOST_HOST_FILES_H

#include <sys/types.h>

#include <string>

namespace vxhost {

// Discovery files are a few kilobytes; nothing near this size is one.
constexpr size_t kMaxDiscoveryFileBytes = 16u * 1024 * 1024;

// "a FIFO", "a folder", ... for the file type bits of a mode; "a regular file" for one.
std::string file_kind(mode_t mode);

// Reads the whole file, or what follows its first `from` bytes, into `bytes`. False with a
// one-line reason naming the path when it cannot be opened, is not a regular file, or what is
// read is larger than max_bytes.
bool read_regular_file(const std::string& path, size_t max_bytes, std::string& bytes,
                       std::string& error, off_t from = 0);

// `path` made absolute against the current folder (not resolved: links stay as named). False,
// with strerror's text in `why`, when the current folder cannot be told.
bool make_absolute(const std::string& path, std::string& abs, std::string& why);

// Everything `fd` (a pipe) gives until its end; a read error ends it early.
std::string read_to_end(int fd);

// Writes `bytes` to a new file beside `path` (the file a link points to), syncs it, gives it
// the old file's permission bits and renames it over the old one, then syncs the folder: the
// file is replaced whole or not at all, and no temporary is left either way.
bool replace_file_atomically(const std::string& path, const std::string& bytes,
                             std::string& error);

}  // namespace vxhost

#endif
