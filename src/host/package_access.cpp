#include "host/package_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool can_open_for_reading(const std::string& path) {
  // O_NONBLOCK: opening a FIFO must not hang the host's thread before it is refused.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular;
}

std::string bare_file_name(const std::string& path) {
  std::string::size_type cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}
