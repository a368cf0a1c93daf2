// The atomic replacement: the name given is replaced, a link there never written through; the
// permission bits of the file replaced are kept; failures name their step and leave the earlier
// file; the sweep removes exactly the temporaries of writers that are gone.
#include "files/atomic_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using vxins::files::AtomicFile;
using vxins::files::remove_stale_temporaries;
using vxins::files::replace_file;
using vxins::files::StaleTemporary;
using vxtest::dead_pid;
using vxtest::read_file;
using vxtest::tmp_name;
using vxtest::TempDir;
using vxtest::write_file;

// The names in a folder but "." and "..", sorted.
std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  EXPECT_NE(dir, nullptr) << folder;
  if (dir == nullptr) return names;
  for (struct dirent* e = readdir(dir); e != nullptr; e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

mode_t mode_of(const std::string& path) {
  struct stat st;
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st.st_mode;
}

TEST(AtomicFileTest, ReplacesTheNameGivenNeverALinksTarget) {
  TempDir tmp;
  const std::string dir = tmp.path();
  const std::string victim = dir + "/victim", file = dir + "/file", link = dir + "/link";
  write_file(victim, "keep me");
  ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
  write_file(file, "old");
  ASSERT_EQ(chmod(file.c_str(), 0640), 0);
  ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
  struct Case {
    std::string path;
    mode_t mode;  // the new file's permission bits (umask 022)
  };
  const Case cases[] = {
      {file, 0640},                 // the bits of the file it replaces
      {link, 0644},                 // the link goes; its target's bits are not taken
      {dir + "/new", 0644},         // fopen's
  };
  mode_t old = umask(022);
  for (const Case& c : cases) {
    std::string error;
    EXPECT_TRUE(replace_file(c.path, "new " + c.path, error)) << error;
    EXPECT_EQ(read_file(c.path), "new " + c.path);
    EXPECT_TRUE(S_ISREG(mode_of(c.path))) << c.path;
    EXPECT_EQ(mode_of(c.path) & 07777, c.mode) << c.path;
  }
  umask(old);
  EXPECT_EQ(read_file(victim), "keep me");
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"file", "link", "new", "victim"}));
}

TEST(AtomicFileTest, FailuresNameTheirStepAndKeepTheEarlierFile) {
  TempDir dir;
  const std::string taken = dir.file("taken");
  ASSERT_EQ(mkdir(taken.c_str(), 0755), 0);
  write_file(taken + "/inside", "x");
  struct Case {
    std::string path;
    std::string error;
  };
  const Case cases[] = {
      {dir.file("no/such/d.xml"), "cannot create a temporary file beside " +
                                      dir.file("no/such/d.xml") + ": No such file or directory"},
      {taken, "cannot replace " + taken + ": rename failed: Is a directory"},
      {dir.file(std::string(300, 'x')),
       "cannot replace " + dir.file(std::string(300, 'x')) + ": rename failed: File name too long"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(replace_file(c.path, "bytes", error));
    EXPECT_EQ(error, c.error);
  }
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"taken"});
  EXPECT_EQ(entries(taken), (std::vector<std::string>{"inside"}));

  // A write that fails drops the new file: the step says so, the target stays as it was.
  write_file(dir.file("kept"), "earlier");
  AtomicFile out;
  ASSERT_TRUE(out.create(dir.file("kept")));
  fputs("half", out.fp());
  EXPECT_FALSE(out.commit(true, ENOSPC));
  EXPECT_STREQ(out.failure().step, "write");
  EXPECT_EQ(out.failure().err, ENOSPC);
  EXPECT_EQ(read_file(dir.file("kept")), "earlier");
}

// A writer killed half way leaves its temporary; the next write removes it, and only it.
TEST(AtomicFileTest, StaleTemporariesOfDeadWritersAreSweptAndNothingElse) {
  TempDir tmp;
  const std::string dir = tmp.path();
  const long dead = dead_pid();
  const std::string stale = tmp_name(dead);
  enum Kind { kFile, kLink, kFolder };
  struct Entry {
    std::string name;
    Kind kind;
    bool removed;
  };
  const std::vector<Entry> cases = {
      {stale, kFile, true},
      {tmp_name(dead, "-4294967295-ffffffff.tmp"), kFile, true},
      {tmp_name(getpid()), kFile, false},  // this process is writing it
      {tmp_name(1), kFile, false},         // a live process's
      {tmp_name(dead) + "~", kFile, false},
      {tmp_name(dead, "-3-0BADF00D.tmp"), kFile, false},
      {tmp_name(dead, "-3-badf00d.tmp"), kFile, false},
      {tmp_name(dead, "-03-0badf00d.tmp"), kFile, false},
      {tmp_name(dead, "--0badf00d.tmp"), kFile, false},
      {tmp_name(dead, "-4294967296-0badf00d.tmp"), kFile, false},
      {".vxins-discovery-0" + std::to_string(dead) + "-3-0badf00d.tmp", kFile, false},
      {".vxins-discovery-4294967297-3-0badf00d.tmp", kFile, false},
      {"x" + stale, kFile, false},
      {tmp_name(dead, "-5-0badf00d.tmp"), kLink, false},
      {tmp_name(dead, "-6-0badf00d.tmp"), kFolder, false},
      {"discovery.xml", kFile, false},
  };
  const std::string victim = dir + "/victim";
  write_file(victim, "keep me");
  std::vector<std::string> kept = {"victim"};
  for (const Entry& e : cases) {
    const std::string path = dir + "/" + e.name;
    if (e.kind == kFile) write_file(path, "<?xml");
    if (e.kind == kLink) {
      ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    }
    if (e.kind == kFolder) {
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    }
    if (!e.removed) kept.push_back(e.name);
  }
  std::sort(kept.begin(), kept.end());
  std::vector<StaleTemporary> removed = remove_stale_temporaries(dir);
  ASSERT_EQ(removed.size(), 2u);
  for (const StaleTemporary& t : removed) {
    EXPECT_EQ(t.owner, dead);
    EXPECT_EQ(t.name.compare(0, stale.size() - 15, stale, 0, stale.size() - 15), 0) << t.name;
  }
  EXPECT_EQ(entries(dir), kept);
  EXPECT_EQ(read_file(victim), "keep me");

  // Every replacement sweeps its folder first, and says what it removed.
  write_file(dir + "/" + stale, "<?xml");
  AtomicFile out;
  ASSERT_TRUE(out.create(dir + "/discovery.xml"));
  ASSERT_EQ(out.swept().size(), 1u);
  EXPECT_EQ(out.swept()[0].name, stale);
  EXPECT_TRUE(out.commit(false, 0));
  EXPECT_EQ(entries(dir), kept);
}

}  // namespace
