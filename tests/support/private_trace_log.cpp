// Gives the test process, and every process it starts, a /var/log of its own (an empty tmpfs in a
// private mount namespace), so that the plug-in's machine-wide trace log holds this test's lines
// only: another test run, a demo or the host framework writing the real log at the same time can
// neither mix lines into what the test reads back nor be disturbed by it. Linked into every test
// that holds the trace_log lock. Where a private namespace is refused (not root, an unprivileged
// container) every test of the executable skips, with the reason.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

// Done before main, while the process has one thread: unshare(CLONE_NEWNS) refuses a process
// whose threads share its file-system context.
std::string isolate_trace_log() {
  if (unshare(CLONE_NEWNS) != 0) return std::string("unshare(CLONE_NEWNS): ") + strerror(errno);
  // Nothing mounted here may reach the machine's namespace.
  // Source and type are ignored for a propagation change; valgrind wants them readable.
  if (mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0)
    return std::string("mount --make-rprivate /: ") + strerror(errno);
  if (mount("vxins-test-log", "/var/log", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0)
    return std::string("mount -t tmpfs on /var/log: ") + strerror(errno);
  return "";
}

const std::string refused = isolate_trace_log();

class PrivateTraceLog : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!refused.empty())
      GTEST_SKIP() << "these tests read the machine-wide trace log back and need a private "
                      "/var/log, which was refused ("
                   << refused << ")";
  }
};

::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new PrivateTraceLog);

}  // namespace
