// The machine-wide run lock. flock belongs to the open file, so the kernel releases it when the
// process ends however it ends; the file itself stays and is reused.
#include "run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "files/regular_file.h"

namespace vxhost {

namespace {

const char kDefaultLockFile[] = "/run/lock/qrvlvxins.lock";

std::string folder_of(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The lock file, created when missing, never through a link, and only a regular file.
bool open_lock_file(const std::string& path, vxins::files::RegularFile& file, bool& writable) {
  mkdir(folder_of(path).c_str(), 0755);  // /run/lock may be missing in a container
  writable = file.open(path, O_RDWR | O_CREAT | O_NOFOLLOW, 0644);
  // Someone else's lock file: taking the lock needs no write access, only saying who holds it.
  const vxins::files::FileFailure& why = file.failure();
  if (!writable && why.step == vxins::files::FileFailure::kOpen && why.err == EACCES)
    return file.open(path, O_RDONLY | O_CREAT | O_NOFOLLOW, 0644);
  return writable;
}

}  // namespace

std::string RunLock::path() {
  const char* env = getenv("VXINS_LOCK_FILE");
  return env != nullptr && *env != '\0' ? env : kDefaultLockFile;
}

std::string RunLock::holder() const {
  char buf[512];
  ssize_t n = pread(fd_, buf, sizeof buf - 1, 0);
  std::string text(buf, n > 0 ? static_cast<size_t>(n) : 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
  return text;
}

bool RunLock::acquire(const std::string& command_line, bool wait,
                      const std::function<void(const std::string&)>& waiting, bool& busy,
                      std::string& error) {
  busy = false;
  const std::string file = path();
  vxins::files::RegularFile lock_file;
  if (!open_lock_file(file, lock_file, writable_)) {
    const vxins::files::FileFailure& why = lock_file.failure();
    error = "cannot use the lock file " + file + ": " +
            (why.step == vxins::files::FileFailure::kOpen ? strerror(why.err)
                                                           : "it is not a regular file");
    release();
    return false;
  }
  fd_ = lock_file.release();
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    std::string who = holder();
    std::string named = who.empty() ? "another vxins-host run" : "another run (" + who + ")";
    if (err != EWOULDBLOCK || !wait) {
      busy = err == EWOULDBLOCK;
      error = busy ? named + " holds the lock " + file + "; not waiting (--no-wait)"
                   : "cannot lock " + file + ": " + strerror(err);
      release();
      return false;
    }
    waiting(named);
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      error = "cannot lock " + file + ": " + strerror(errno);
      release();
      return false;
    }
  }
  held_ = true;
  if (writable_) {
    std::string text = "pid " + std::to_string(getpid()) + ": " + command_line + "\n";
    if (ftruncate(fd_, 0) != 0 || pwrite(fd_, text.data(), text.size(), 0) < 0) {
      // Only the name of the holder is lost; the lock itself is held.
    }
  }
  return true;
}

void RunLock::release() {
  if (fd_ < 0) return;
  // Only the holder clears the name; the next holder overwrites it anyway.
  if (held_ && writable_ && ftruncate(fd_, 0) != 0) {
  }
  close(fd_);  // drops the flock
  fd_ = -1;
  held_ = false;
}

}  // namespace vxhost
