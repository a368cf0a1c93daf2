// One discover, flash, devices or set-action at a time on this machine: an exclusive flock on
// /run/qrvlvxins/run.lock ($VXINS_LOCK_FILE for tests) held for the whole plug-in call or file
// edit. The folder is root's alone (created 0700), the file is opened for writing, and either
// owned by someone else is refused, so no other user can hold the lock or forge its holder. The
// holder writes its pid and command line into the file, so that a second run can say whom it
// waits for. It orders vxins-host runs only: the host framework's own calls take no lock. Used
// by those commands; it prints only through the command's Output and never throws.
#ifndef VXINS_HOST_RUN_LOCK_H
#define VXINS_HOST_RUN_LOCK_H

#include <functional>
#include <string>

#include "command_line.h"
#include "output.h"

namespace vxhost {

class RunLock {
 public:
  RunLock() = default;
  ~RunLock() { release(); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // The lock file's path: $VXINS_LOCK_FILE when set, else /run/qrvlvxins/run.lock.
  static std::string path();

  // Takes the lock. When another run holds it: calls waiting(holder) once (the holder named:
  // "another run (pid N: command line)") and waits, at most `timeout_seconds` when that is not
  // negative (0: not at all), then returns false with error "another run (...) holds the lock
  // PATH; gave up after S s". False with a reason also when the lock file or its folder cannot
  // be made or opened or belongs to another user. `busy` tells whether another run held it, and
  // `holder` receives that run's text ("" when it left none).
  bool acquire(const std::string& command_line, double timeout_seconds,
               const std::function<void(const std::string& holder)>& waiting, bool& busy,
               std::string& holder, std::string& error);
  void release();

 private:
  std::string holder_text() const;
  int fd_ = -1;
  bool held_ = false;
};

// Takes the lock for the command `o` runs, waiting as --lock-timeout or --no-wait say and warning
// once whom it waits for. False with the reason; a lock another run held adds "lock_holder" (its
// text, or null) to the report.
bool take_run_lock(RunLock& lock, const Options& o, Output& out, std::string& error);

}  // namespace vxhost

#endif
