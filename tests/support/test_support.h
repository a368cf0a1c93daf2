// Helpers shared by the unit and end-to-end tests: temporary folders, whole-file reads and
// writes, running shell commands, and firmware packages built with the real tar tools.
#ifndef VXINS_TEST_SUPPORT_H
#define VXINS_TEST_SUPPORT_H

#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vxtest {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Makes `dir` the working directory until destroyed (a failure either way fails the test). The
// plug-in's package reader leaves its scratch file there when its process is killed mid-read.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir);
  ~ScopedCwd();
  ScopedCwd(const ScopedCwd&) = delete;
  ScopedCwd& operator=(const ScopedCwd&) = delete;

 private:
  std::string saved_;
};

bool file_exists(const std::string& path);
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& content);
std::vector<std::string> split_lines(const std::string& text);
// Runs a shell command; returns its exit status (-1 if it could not run).
int run(const std::string& command);
std::string shell_quote(const std::string& s);

// `text` with the first `from` after `at` replaced by `to` (a test failure when there is none).
std::string Replaced(std::string text, const std::string& from, const std::string& to,
                     size_t at = 0);

// Which tool writes the archive, and in which format: GNU tar and bsdtar in ustar format, GNU
// tar and bsdtar in pax format, GNU tar in its own format, Python's tarfile in its default one.
enum class TarTool { Gnu, Bsd, GnuPax, GnuLongNames, BsdPax, PythonTarfile };

// Builds a firmware package at `package_path`: a tar archive whose first member is the folder
// "fw/" (size 0) and whose second member is "fw/boot.txt" holding `version_member_text`
// verbatim. Extra members may follow. Returns true when tar succeeded. The tools beyond Gnu and
// Bsd get a folder and a file name longer than 100 characters, so that they write their
// metadata entry (a pax extended header or a GNU long name) before each of the two members.
bool make_package(const std::string& package_path, const std::string& version_member_text,
                  TarTool tool = TarTool::Gnu);
// Convenience: a version member "<version>V</version>\n".
bool make_package_with_version(const std::string& package_path, const std::string& version,
                               TarTool tool = TarTool::Gnu);

// Runs body in a child process: true when the child exits with status 0 within five seconds
// (one still blocked then is killed). For calls that must not hang on a FIFO.
template <typename F>
bool FinishesInAChild(F body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body() ? 0 : 1);
  for (int i = 0; i < 500; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return false;
}

// Why this process cannot observe a property of the real kernel (its memory, its address-space
// limits, its system-call filters), or "" when it can: a 32-bit test run by a user-mode emulator
// (qemu-user through binfmt_misc, on a kernel without IA-32 emulation) sees the emulator's.
std::string emulation_reason();

// Skips a test whose property is the real kernel's, with the reason, under such an emulator; the
// native build runs the same test for real.
#define SKIP_UNDER_EMULATION(property)                                                       \
  do {                                                                                       \
    const std::string emulated_ = vxtest::emulation_reason();                                \
    if (!emulated_.empty())                                                                  \
      GTEST_SKIP() << (property) << " cannot be judged here: " << emulated_                  \
                   << "; the native build runs this test";                                   \
  } while (0)

// A process id that is certainly not running: a child that has exited and been reaped.
pid_t dead_pid();
// The name an atomic replacement gives its temporary, for process `pid` (a dead writer's
// leftover in the sweep tests).
std::string tmp_name(long pid, const std::string& rest = "-3-0badf00d.tmp");

// The fixed trace log of the plug-in and its lines.
std::string trace_log_path();
std::vector<std::string> trace_log_lines();

}  // namespace vxtest

#endif
