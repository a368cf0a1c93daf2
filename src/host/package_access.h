// Small path helpers of the entry points: the open test of a host-supplied path and the bare
// name of a package path. They never block on a FIFO and never throw.
#ifndef VXINS_HOST_PACKAGE_ACCESS_H
#define VXINS_HOST_PACKAGE_ACCESS_H

#include <string>
#include <sys/stat.h>

// True when the path names a regular file (links followed) that can be opened for reading now;
// the handle is closed again. A FIFO, device or folder is refused: reading one would block the
// host's thread or read something that is no package or discovery file.
bool can_open_for_reading(const std::string& path);
// The steps both entry points take with the host's firmware argument. On failure each logs
// its error line, then `exit_trace`, and returns the call's result code; 0 otherwise.
// stat() of the argument: the result of stat (-1) on failure.
int stat_firmware_path(const char* path, const char* exit_trace, struct stat& st);
// The one package in `folder`: fw_name receives its bare name, fw_file the joined path.
int find_package_in_folder(char* folder, const char* exit_trace, char (&fw_name)[256],
                           std::string& fw_file);
// The open test of the package path; on failure returns `failure_code` (9 or 8).
int check_package_opens(const std::string& fw_file, const char* exit_trace, int failure_code);

// The part after the last "/" or "\"; the whole path when it holds neither.
std::string bare_file_name(const std::string& path);

#endif
