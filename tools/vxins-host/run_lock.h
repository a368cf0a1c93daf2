// One discover or flash at a time on this machine: an exclusive flock on /run/lock/qrvlvxins.lock
// ($VXINS_LOCK_FILE for tests) held for the whole plug-in call. The holder writes its pid and
// command line into the file, so that a second run can say whom it waits for. Used by the
// discover and flash commands; it prints nothing and never throws.
#ifndef VXINS_HOST_RUN_LOCK_H
#define VXINS_HOST_RUN_LOCK_H

#include <functional>
#include <string>

namespace vxhost {

class RunLock {
 public:
  RunLock() = default;
  ~RunLock() { release(); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // The lock file's path: $VXINS_LOCK_FILE when set, else /run/lock/qrvlvxins.lock.
  static std::string path();

  // Takes the lock. When another run holds it: with `wait`, calls waiting(holder) once (the
  // holder named: "another run (pid N: command line)") and blocks until it is free;
  // without, returns false with busy set and error naming the holder. False with a reason also
  // when the lock file cannot be made or opened (its folder is created when missing).
  bool acquire(const std::string& command_line, bool wait,
               const std::function<void(const std::string& holder)>& waiting, bool& busy,
               std::string& error);
  void release();

 private:
  std::string holder() const;
  int fd_ = -1;
  bool writable_ = false;
  bool held_ = false;
};

}  // namespace vxhost

#endif
