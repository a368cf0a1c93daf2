// The reboot-pending marker in a folder of the test's own ($VXINS_REBOOT_MARKER): what each
// marker on disk tells for this boot (the kernel's boot id), what is not believed (a link,
// another user's file or folder, text that is no marker), what adding a run makes of each, and
// two processes adding at once losing none.
#include "reboot_marker.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using vxhost::RebootPending;

std::string this_boot() {
  std::string id = vxtest::read_file("/proc/sys/kernel/random/boot_id");
  while (!id.empty() && id.back() == '\n') id.pop_back();
  return id;
}

std::string marker_text(const std::string& boot, const std::string& runs) {
  return "{\"boot_id\":\"" + boot + "\",\"runs\":[" + runs + "]}\n";
}

// A folder `run` in a fresh temporary folder, the marker named in the environment inside it.
class RebootMarkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = tmp_.file("run");
    marker_ = folder_ + "/reboot-pending";
    setenv("VXINS_REBOOT_MARKER", marker_.c_str(), 1);
  }
  void TearDown() override { unsetenv("VXINS_REBOOT_MARKER"); }
  std::string runs_now() {
    RebootPending p;
    std::string error;
    if (!vxhost::read_reboot_pending(p, error)) return "error: " + error;
    std::string text = p.pending ? "pending" : "none";
    for (int64_t id : p.runs) text += " " + std::to_string(id);
    return text;
  }

  vxtest::TempDir tmp_;
  std::string folder_, marker_;
};

TEST_F(RebootMarkerTest, WhatEachMarkerTellsForThisBoot) {
  struct Row {
    const char* name;
    std::function<void(const std::string& folder, const std::string& marker)> make;
    std::string told;  // runs_now()
  };
  const auto write = [](const std::string& text) {
    return [text](const std::string& folder, const std::string& marker) {
      ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
      vxtest::write_file(marker, text);
    };
  };
  const std::vector<Row> rows = {
      {"no folder", [](const std::string&, const std::string&) {}, "none"},
      {"no marker", [](const std::string& f, const std::string&) { mkdir(f.c_str(), 0700); },
       "none"},
      {"this boot's", write(marker_text(this_boot(), "3,7")), "pending 3 7"},
      {"this boot's, no run recorded", write(marker_text(this_boot(), "")), "pending"},
      {"the boot before", write(marker_text("00000000-0000-0000-0000-000000000000", "3")),
       "none"},
      {"not a marker", write("pending\n"), "error: the marker " + marker_ +
                                               " is not a reboot-pending marker"},
      {"runs that are not ids", write(marker_text(this_boot(), "\"3\"")),
       "error: the marker " + marker_ + " is not a reboot-pending marker"},
      {"a link", [&](const std::string& f, const std::string& m) {
         ASSERT_EQ(mkdir(f.c_str(), 0700), 0);
         vxtest::write_file(tmp_.file("elsewhere"), marker_text(this_boot(), "3"));
         ASSERT_EQ(symlink(tmp_.file("elsewhere").c_str(), m.c_str()), 0);
       },
       "error: the marker " + marker_ + " is a symbolic link: not believed"},
      {"another user's marker", [&](const std::string& f, const std::string& m) {
         write(marker_text(this_boot(), "3"))(f, m);
         ASSERT_EQ(chown(m.c_str(), 65534, 65534), 0);
       },
       "error: the marker " + marker_ + " is owned by uid 65534, not by this user: not believed"},
      {"another user's folder", [&](const std::string& f, const std::string& m) {
         write(marker_text(this_boot(), "3"))(f, m);
         ASSERT_EQ(chown(f.c_str(), 65534, 65534), 0);
       },
       "error: the marker's folder " + folder_ +
           " is owned by uid 65534, not by this user: not believed"},
      {"a folder others may write", [&](const std::string& f, const std::string& m) {
         write(marker_text(this_boot(), "3"))(f, m);
         ASSERT_EQ(chmod(f.c_str(), 01777), 0);
       },
       "error: the marker's folder " + folder_ + " may be written by other users: not believed"},
      {"a folder in the marker's place", [](const std::string& f, const std::string& m) {
         ASSERT_EQ(mkdir(f.c_str(), 0700), 0);
         ASSERT_EQ(mkdir(m.c_str(), 0700), 0);
       },
       "error: " + marker_ + " is a folder, not a regular file"},
  };
  if (geteuid() != 0) GTEST_SKIP() << "files of another user need root to be made";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(vxtest::run("rm -rf " + vxtest::shell_quote(folder_)), 0);
    row.make(folder_, marker_);
    EXPECT_EQ(runs_now(), row.told);
  }
}

TEST_F(RebootMarkerTest, AFlashAddsItsRunToThisBootsMarker) {
  struct Step {
    const char* name;
    std::function<void()> before;  // what happens on disk first
    int64_t run;
    bool added;
    std::string told;
  };
  const auto other_boot = [&] { vxtest::write_file(marker_, marker_text("another boot", "1,2")); };
  const std::vector<Step> steps = {
      {"the first: its folder made", [] {}, 5, true, "pending 5"},
      {"the second", [] {}, 6, true, "pending 5 6"},
      {"a number already named", [] {}, 5, true, "pending 5 6"},
      {"one without a history id", [] {}, 0, true, "pending 5 6"},
      {"after a reboot", other_boot, 8, true, "pending 8"},
      {"over a marker not believed", [&] { vxtest::write_file(marker_, "garbage"); }, 9, true,
       "pending 9"},
      {"in another user's folder", [&] { ASSERT_EQ(chown(folder_.c_str(), 65534, 65534), 0); },
       10, false,
       "error: the marker's folder " + folder_ +
           " is owned by uid 65534, not by this user: not believed"},
  };
  if (geteuid() != 0) GTEST_SKIP() << "files of another user need root to be made";
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.before();
    std::string error;
    EXPECT_EQ(vxhost::add_reboot_pending(step.run, error), step.added) << error;
    EXPECT_EQ(runs_now(), step.told);
  }
  struct stat st;
  ASSERT_EQ(stat(folder_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(vxtest::read_file(marker_), marker_text(this_boot(), "9"));  // left as it was
}

// Two flashes ending at once: each adds under the lock on the folder, so neither run is lost.
TEST_F(RebootMarkerTest, RunsAddedAtOnceAreAllKept) {
  const int kPerProcess = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      bool ok = true;
      for (int i = 1; i <= kPerProcess; ++i) {
        std::string error;
        ok = vxhost::add_reboot_pending(p * 100 + i, error) && ok;
      }
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RebootPending p;
  std::string error;
  ASSERT_TRUE(vxhost::read_reboot_pending(p, error)) << error;
  EXPECT_EQ(p.runs.size(), 2u * kPerProcess);
}

}  // namespace
