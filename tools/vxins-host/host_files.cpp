// Regular-file reads without blocking, and the atomic replacement of a discovery file.
#include "host_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vxhost {

namespace {

bool write_all(int fd, const std::string& bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

void sync_folder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

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

std::string file_kind(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

bool read_regular_file(const std::string& path, size_t max_bytes, std::string& bytes,
                       std::string& error, off_t from) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = "cannot open " + path + ": " + strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    error = "cannot examine " + path + ": " + strerror(errno);
    close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = path + " is " + file_kind(st.st_mode) + ", not a regular file";
    close(fd);
    return false;
  }
  bytes.clear();
  if (from > 0 && lseek(fd, from < st.st_size ? from : st.st_size, SEEK_SET) < 0) {
    error = "cannot read " + path + ": " + strerror(errno);
    close(fd);
    return false;
  }
  char chunk[8192];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = "cannot read " + path + ": " + strerror(errno);
    if (n <= 0) break;
    if (bytes.size() + static_cast<size_t>(n) > max_bytes) {
      error = path + " is larger than " + std::to_string(max_bytes) + " bytes";
      break;
    }
    bytes.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return error.empty();
}

bool replace_file_atomically(const std::string& path, const std::string& bytes,
                             std::string& error) {
  char resolved[PATH_MAX];
  std::string target = realpath(path.c_str(), resolved) != nullptr ? resolved : path;
  std::string::size_type slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string tmpl = (slash == std::string::npos ? "" : folder) + "." + base + ".XXXXXX";
  std::vector<char> tmp(tmpl.begin(), tmpl.end());
  tmp.push_back('\0');
  int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) {
    error = "cannot create a temporary file beside " + target + ": " + strerror(errno);
    return false;
  }
  struct stat st;
  mode_t mode = stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  const char* step = !write_all(fd, bytes)    ? "write"
                     : fchmod(fd, mode) != 0  ? "set the permissions of"
                     : fsync(fd) != 0         ? "sync"
                                              : nullptr;
  int err = errno;
  if (close(fd) != 0 && step == nullptr) {
    step = "close";
    err = errno;
  }
  if (step == nullptr && rename(tmp.data(), target.c_str()) != 0) {
    error = "cannot replace " + target + ": " + strerror(errno);
    unlink(tmp.data());
    return false;
  }
  if (step != nullptr) {
    error = std::string("cannot ") + step + " " + tmp.data() + ": " + strerror(err);
    unlink(tmp.data());
    return false;
  }
  sync_folder(folder);
  return true;
}

}  // namespace vxhost
