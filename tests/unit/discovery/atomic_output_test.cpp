// The atomic replacement of the discovery file, through its writer: a failed write keeps the
// earlier file, nothing is left behind, links are replaced and open readers keep what they
// opened, fopen's permissions, long names, the sweep of dead writers' temporaries, and the
// fallbacks where an unnamed temporary cannot be made or linked.
#include "discovery/atomic_output.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "discovery/discovery_writer.h"
#include "discovery_test_util.h"

namespace {

using disctest::DeviceList;
using disctest::fixture;
using disctest::folder_entries;
using disctest::kFooter;
using disctest::kHeader;
using disctest::make_port;
using disctest::rewrite_values;
using disctest::two_ports;
using vxins::discovery::FlashOutcome;
using vxins::discovery::remove_stale_discovery_temporaries;
using vxins::discovery::rewrite_discovery_file;
using vxins::discovery::RewriteValues;
using vxins::discovery::write_discovery_file;
using vxtest::dead_pid;
using vxtest::LogCapture;
using vxtest::read_file;
using vxtest::tmp_name;
using vxtest::TempDir;
using vxtest::write_file;

const RewriteValues kAnyOutcome = rewrite_values(FlashOutcome::kSuccess, "v", "f");
// The values two_ports_rewritten.xml was written with.
const RewriteValues kMismatchOutcome =
    rewrite_values(FlashOutcome::kPackageMismatch, "3.60.00", "Q3660A.tar");

// Stops the process from writing files beyond `bytes` for the life of the object, the way a
// full disk would stop it.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    struct rlimit lim = old_;
    lim.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &lim) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_handler_);
  }
  bool ok() const { return ok_; }

 private:
  struct rlimit old_;
  sighandler_t old_handler_;
  bool ok_;
};

// A write that failed half way left a truncated file behind, the old one already deleted.
TEST(AtomicOutputTest, FailedWriteKeepsThePreviousFile) {
  LogCapture log;
  TempDir dir;
  DeviceList small;
  two_ports(small);
  std::string path = dir.file("discovery.xml");
  write_discovery_file(path, small);
  const std::string before = read_file(path);
  ASSERT_EQ(before, fixture("two_ports.xml"));

  DeviceList big;
  for (int i = 0; i < 200; ++i) big.push_back(make_port(disctest::eth_port()));
  log.clear();
  {
    FileSizeLimit limit(32 * 1024);
    ASSERT_TRUE(limit.ok());
    EXPECT_FALSE(write_discovery_file(path, big));
  }
  EXPECT_EQ(read_file(path), before);
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"discovery.xml"});
  std::vector<std::string> lines = log.lines();
  ASSERT_FALSE(lines.empty());
  const std::string prefix = "LOG_ERROR : Discovery file " + path + " not written: ";
  EXPECT_EQ(lines.back().compare(0, prefix.size(), prefix), 0) << lines.back();
  EXPECT_NE(lines.back().find("File too large"), std::string::npos) << lines.back();

  // A rewrite after a flash that fails removes the earlier file: kept, it would report an
  // earlier call's outcome as this one's.
  {
    FileSizeLimit limit(32 * 1024);
    ASSERT_TRUE(limit.ok());
    EXPECT_FALSE(rewrite_discovery_file(path, big, kAnyOutcome));
  }
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{});
}

TEST(AtomicOutputTest, UnwritableTargetsLeaveNothingBehind) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  log.clear();

  std::string missing = dir.file("no/such/dir/discovery.xml");
  write_discovery_file(missing, list);
  EXPECT_FALSE(vxtest::file_exists(missing));
  std::vector<std::string> lines = log.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("LOG_ERROR : Discovery file " + missing +
                               " not written: cannot create temporary file " + dir.path() +
                               "/no/such/dir/.vxins-discovery-",
                           0),
            0u)
      << lines[0];
  EXPECT_NE(lines[0].find(": No such file or directory"), std::string::npos);
  EXPECT_EQ(lines[1], "LOG_ERROR : <-- Unable to open discovery file");

  // A directory in the target's place cannot be replaced: it stays, and so does its content.
  std::string target_dir = dir.file("taken");
  ASSERT_EQ(mkdir(target_dir.c_str(), 0755), 0);
  write_file(target_dir + "/inside", "x");
  log.clear();
  write_discovery_file(target_dir, list);
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"taken"});
  EXPECT_EQ(folder_entries(target_dir), std::vector<std::string>{"inside"});
  EXPECT_EQ(log.lines().back(),
            "LOG_ERROR : Discovery file " + target_dir + " not written: rename failed: Is a directory");
}

TEST(AtomicOutputTest, ReplacesSymlinkAndKeepsOpenReadersWhole) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  std::string victim = dir.file("victim");
  std::string path = dir.file("discovery.xml");
  write_file(victim, "keep me");
  ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
  write_discovery_file(path, list);
  struct stat st;
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(read_file(victim), "keep me");
  EXPECT_EQ(read_file(path), fixture("two_ports.xml"));

  // A reader that opened the old file goes on seeing all of it while the new one is written.
  int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  DeviceList other;
  write_discovery_file(path, other);
  std::string old_seen;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) old_seen.append(buf, static_cast<size_t>(n));
  close(fd);
  EXPECT_EQ(old_seen, fixture("two_ports.xml"));
  EXPECT_EQ(read_file(path), kHeader + kFooter);
  EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{"discovery.xml", "victim"}));
}

TEST(AtomicOutputTest, NewFileGetsPermissionsFromUmask) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  for (mode_t mask : {022, 077, 002}) {
    std::string path = dir.file("perm" + std::to_string(mask) + ".xml");
    mode_t old = umask(mask);
    write_discovery_file(path, list);
    umask(old);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << mask;
  }
}

TEST(AtomicOutputTest, LongNamesAreHandledWithoutOverrun) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  // A 300-byte path through nested folders, and the longest leaf name a folder allows.
  std::string deep = dir.path();
  for (int i = 0; i < 4; ++i) {
    deep += "/" + std::string(60, static_cast<char>('a' + i));
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
  }
  std::string long_path = deep + "/" + std::string(255, 'n');
  ASSERT_GT(long_path.size(), 256u);
  write_discovery_file(long_path, list);
  EXPECT_EQ(read_file(long_path), fixture("two_ports.xml"));
  rewrite_discovery_file(long_path, list, kMismatchOutcome);
  EXPECT_EQ(read_file(long_path), fixture("two_ports_rewritten.xml"));
  EXPECT_EQ(folder_entries(deep), std::vector<std::string>{std::string(255, 'n')});

  // Too long for the file system: refused and logged, nothing written.
  log.clear();
  std::string too_long = dir.file(std::string(300, 'x'));
  rewrite_discovery_file(too_long, list, kAnyOutcome);
  EXPECT_EQ(log.lines().back(),
            "LOG_ERROR : Discovery file " + too_long + " not written: rename failed: File name too long");
  EXPECT_FALSE(vxtest::file_exists(too_long));
}

// A writer killed half way leaves its temporary; every write sweeps it away (which ones go is
// the file primitives' rule, tests/unit/files) and the trace names each one removed.
TEST(AtomicOutputTest, EveryWriteSweepsDeadWritersTemporariesAndLogsEach) {
  LogCapture log;
  TempDir dir;
  const long dead = dead_pid();
  const std::string stale = tmp_name(dead), live = tmp_name(1);
  write_file(dir.file(stale), "<?xml");
  write_file(dir.file(live), "<?xml");
  DeviceList list;
  two_ports(list);
  log.clear();
  write_discovery_file(dir.file("discovery.xml"), list);
  EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{live, "discovery.xml"}));
  EXPECT_EQ(read_file(dir.file("discovery.xml")), fixture("two_ports.xml"));
  const std::string removed =
      "LOG_INFO : Removed " + dir.file(stale) + ", left by process " + std::to_string(dead);
  EXPECT_EQ(log.count(removed), 1u);

  write_file(dir.file(stale), "<?xml");
  log.clear();
  EXPECT_EQ(remove_stale_discovery_temporaries(dir.path()), 1);
  EXPECT_EQ(log.lines(), std::vector<std::string>{removed});
}

// Makes the calls of syscall nr whose argument arg carries any of the flag bits fail with err,
// in this process for the rest of its life.
bool refuse_syscall(int nr, int arg, uint32_t flags, int err) {
#if defined(__i386__)
  const uint32_t arch = AUDIT_ARCH_I386;
#else
  const uint32_t arch = AUDIT_ARCH_X86_64;
#endif
  // The arguments' low words, where a little-endian machine keeps them.
  struct sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<uint32_t>(offsetof(struct seccomp_data, args) + 8 * arg)),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, flags, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<uint32_t>(err)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog prog = {static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

struct RefusalCase {
  const char* what;
  int nr, arg;
  uint32_t flags;
  int err;
};

// Where O_TMPFILE is refused the file is written under a temporary name; where the unnamed file
// cannot be linked (no /proc, no capability) its content is copied to one. Either way the
// target is replaced whole, with fopen's permissions, and nothing else is left.
TEST(AtomicOutputTest, WritesWholeFileWhereAnUnnamedOneCannotBeMadeOrLinked) {
  SKIP_UNDER_EMULATION("a system call refused by a seccomp filter");
  const RefusalCase cases[] = {
      {"O_TMPFILE refused", __NR_openat, 2, O_TMPFILE & ~O_DIRECTORY, EOPNOTSUPP},
      {"linkat refused", __NR_linkat, 4, AT_EMPTY_PATH | AT_SYMLINK_FOLLOW, EPERM},
  };
  LogCapture log;
  DeviceList list;
  two_ports(list);
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.file("discovery.xml");
    write_file(path, "old");
    write_file(dir.file(tmp_name(dead_pid())), "<?xml");
    pid_t pid = fork();
    if (pid == 0) {
      if (!refuse_syscall(c.nr, c.arg, c.flags, c.err)) _exit(2);
      umask(027);
      write_discovery_file(path, list);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(read_file(path), fixture("two_ports.xml"));
    EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"discovery.xml"});
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
  }
}

}  // namespace
