// The machine-wide run lock. flock belongs to the open file, so the kernel releases it when the
// process ends however it ends; the file itself stays and is reused. A lock taken on a read-only
// descriptor would let anyone who can read the file hold it: the file is opened read-write, which
// only its owner (root, in a folder only root can create) can.
#include "run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "files/regular_file.h"
#include "host_files.h"
#include "run_history.h"

namespace vxhost {

namespace {

const char kDefaultLockFile[] = "/run/qrvlvxins/run.lock";
const std::chrono::milliseconds kRetryPeriod(100);

// The folder, created 0700 when missing: it must be a folder (not a link to one) of the running
// user that nobody else may write to, so that nobody else can put a lock file there.
bool check_folder(const std::string& folder, std::string& error) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create the lock folder " + folder + ": " + strerror(errno) +
            (errno == EACCES ? " (this needs root)" : "");
    return false;
  }
  struct stat st;
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "the lock folder " + folder + " is not a folder";
    return false;
  }
  if (st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    error = "the lock folder " + folder + " belongs to user " + std::to_string(st.st_uid) +
            " or may be written by others: refused (it must be the running user's own, mode "
            "0700)";
    return false;
  }
  return true;
}

}  // namespace

std::string RunLock::path() {
  const char* env = getenv("VXINS_LOCK_FILE");
  return env != nullptr && *env != '\0' ? env : kDefaultLockFile;
}

std::string RunLock::holder_text() const {
  char buf[512];
  ssize_t n = pread(fd_, buf, sizeof buf - 1, 0);
  std::string text(buf, n > 0 ? static_cast<size_t>(n) : 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
  return text;
}

bool RunLock::acquire(const std::string& command_line, double timeout_seconds,
                      const std::function<void(const std::string&)>& waiting, bool& busy,
                      std::string& holder, std::string& error) {
  busy = false;
  holder.clear();
  const std::string file = path();
  if (!check_folder(folder_of(file), error)) return false;
  vxins::files::RegularFile lock_file;
  if (!lock_file.open(file, O_RDWR | O_CREAT | O_NOFOLLOW, 0600)) {
    const vxins::files::FileFailure& why = lock_file.failure();
    error = "cannot use the lock file " + file + ": " +
            (why.step == vxins::files::FileFailure::kNotRegular ? "it is not a regular file"
                                                                 : strerror(why.err));
    return false;
  }
  if (lock_file.status().st_uid != geteuid()) {
    error = "the lock file " + file + " belongs to user " +
            std::to_string(lock_file.status().st_uid) + ": refused";
    return false;
  }
  fd_ = lock_file.release();
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration<double>(timeout_seconds < 0 ? 0 : timeout_seconds);
  bool told = false;
  for (;;) {
    if (flock(fd_, LOCK_EX | (timeout_seconds < 0 && told ? 0 : LOCK_NB)) == 0) break;
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EWOULDBLOCK) {
      error = "cannot lock " + file + ": " + strerror(err);
      release();
      return false;
    }
    busy = true;
    holder = holder_text();
    const std::string named = holder.empty() ? "another vxins-host run" : "another run (" + holder + ")";
    if (timeout_seconds >= 0 && std::chrono::steady_clock::now() >= deadline) {
      char seconds[32];
      snprintf(seconds, sizeof seconds, "%g", timeout_seconds);
      error = named + " holds the lock " + file + "; gave up after " + seconds + " s";
      release();
      return false;
    }
    if (!told) waiting(named);
    told = true;
    if (timeout_seconds >= 0) std::this_thread::sleep_for(kRetryPeriod);
  }
  held_ = true;
  busy = false;
  holder.clear();
  std::string text = "pid " + std::to_string(getpid()) + ": " + command_line + "\n";
  if (ftruncate(fd_, 0) != 0 || pwrite(fd_, text.data(), text.size(), 0) < 0) {
    // Only the name of the holder is lost; the lock itself is held.
  }
  return true;
}

void RunLock::release() {
  if (fd_ < 0) return;
  // Only the holder clears the name; the next holder overwrites it anyway.
  if (held_ && ftruncate(fd_, 0) != 0) {
  }
  close(fd_);  // drops the flock
  fd_ = -1;
  held_ = false;
}

bool take_run_lock(RunLock& lock, const Options& o, Output& out, std::string& error) {
  std::string holder;
  bool busy = false;
  auto waiting = [&out](const std::string& named) {
    out.warn("waiting for " + named + " to finish (lock " + RunLock::path() + ")");
  };
  const std::string command_line = shell_words(o.argv);
  if (lock.acquire(command_line, o.lock_timeout, waiting, busy, holder, error)) return true;
  if (busy) out.report()["lock_holder"] = holder.empty() ? Json::Value() : Json::Value(holder);
  return false;
}

}  // namespace vxhost
