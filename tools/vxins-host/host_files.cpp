// Absolute paths and pipes read to their end.
#include "host_files.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace vxhost {

bool make_absolute(const std::string& path, std::string& abs, std::string& why) {
  if (!path.empty() && path[0] == '/') {
    abs = path;
    return true;
  }
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) == nullptr) {
    why = strerror(errno);
    return false;
  }
  abs = std::string(cwd) + "/" + path;
  return true;
}

std::string read_to_end(int fd) {
  std::string bytes;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  return bytes;
}

std::string folder_of(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace vxhost
