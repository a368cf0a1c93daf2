// Regular files opened without blocking, and read whole (see regular_file.h).
#include "files/regular_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vxins {
namespace files {

const char* file_kind(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISLNK(mode)) return "a link";
  return "not a regular file";
}

std::string FileFailure::text(const std::string& path) const {
  switch (step) {
    case kOpen:
      return "cannot open " + path + ": " + strerror(err);
    case kExamine:
      return "cannot examine " + path + ": " + strerror(err);
    case kNotRegular:
      return path + " is " + file_kind(mode) + ", not a regular file";
    case kRead:
      return "cannot read " + path + ": " + strerror(err);
    case kTooLarge:
      return path + " is larger than " + std::to_string(limit) + " bytes";
    case kNone:
      break;
  }
  return "";
}

bool RegularFile::open(const std::string& path, int flags, mode_t create_mode) {
  close();
  failure_ = FileFailure();
  // O_NONBLOCK: a FIFO under the name must not hang the caller in open() before it is refused;
  // it changes nothing for a regular file. O_NOCTTY: a terminal never becomes ours.
  int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, create_mode);
  if (fd < 0) {
    failure_.step = FileFailure::kOpen;
    failure_.err = errno;
    return false;
  }
  if (fstat(fd, &status_) != 0) {
    failure_.step = FileFailure::kExamine;
    failure_.err = errno;
    ::close(fd);
    return false;
  }
  if (!S_ISREG(status_.st_mode)) {
    failure_.step = FileFailure::kNotRegular;
    failure_.mode = status_.st_mode;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void RegularFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int RegularFile::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

bool read_regular_file(const std::string& path, size_t max_bytes, std::string& bytes,
                       FileFailure& failure, off_t from) {
  bytes.clear();
  failure = FileFailure();
  RegularFile file;
  if (!file.open(path)) {
    failure = file.failure();
    return false;
  }
  if (from > 0 && lseek(file.fd(), from, SEEK_SET) < 0) {
    failure.step = FileFailure::kRead;
    failure.err = errno;
    return false;
  }
  char chunk[8192];
  for (;;) {
    ssize_t n = read(file.fd(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      failure.step = FileFailure::kRead;
      failure.err = errno;
      return false;
    }
    if (n == 0) return true;
    if (static_cast<size_t>(n) > max_bytes - bytes.size()) {
      bytes.append(chunk, max_bytes - bytes.size());
      failure.step = FileFailure::kTooLarge;
      failure.limit = max_bytes;
      return false;
    }
    bytes.append(chunk, static_cast<size_t>(n));
  }
}

}  // namespace files
}  // namespace vxins
