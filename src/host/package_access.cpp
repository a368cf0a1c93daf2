#include "host/package_access.h"

#include <fcntl.h>
#include <unistd.h>

bool can_open_for_reading(const std::string& path) {
  // O_NONBLOCK: the host's thread must not hang on a FIFO planted under the name.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::string bare_file_name(const std::string& path) {
  std::string::size_type cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}
