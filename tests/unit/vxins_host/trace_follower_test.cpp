// The trace follower against a writer thread that logs as the plug-in does (its own log code:
// restart = delete and recreate, one writev per line, O_APPEND), at random pauses, with some
// lines written in two pieces: every line of the call is received once, in order, marked with
// the file it came from, and nothing of what the path held before the call but its last line.
#include "trace_follower.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "vxins_log.h"

namespace {

using vxhost::TimedLine;

enum class AtStart { kNoFile, kNoFolder, kOldFile, kFifo };

struct Row {
  const char* name;
  AtStart at_start;
  bool restart;      // the call restarts the log (else it appends to the file already there)
  bool unfinished;   // the last line has no line feed
  unsigned file;     // the file the call's lines are in (0: the one there at the start)
};

void pause(std::mt19937& rng) {
  const unsigned roll = rng() % 100;
  const unsigned ms = roll < 70 ? 0 : roll < 95 ? rng() % 20 : 60 + rng() % 60;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void append_raw(const std::string& path, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fd);
}

// What one call writes, the way the plug-in writes it.
void write_call(const Row& row, const std::string& path, unsigned seed) {
  std::mt19937 rng(seed);
  pause(rng);
  if (row.at_start == AtStart::kNoFolder) {
    ASSERT_EQ(mkdir(path.substr(0, path.rfind('/')).c_str(), 0755), 0);
  }
  if (row.restart) vxins_log_restart();
  for (int i = 0; i < 150; ++i) {
    pause(rng);
    const std::string text = "line " + std::to_string(i) + std::string(rng() % 120, 'x');
    if (i % 29 == 5) {  // one line in two appends, well over a poll apart
      append_raw(path, "LOG_INFO : " + text.substr(0, 7));
      std::this_thread::sleep_for(std::chrono::milliseconds(120));
      append_raw(path, text.substr(7) + "\n");
    } else {
      vxins_log_write(LOG_INFO, text.data(), text.size());
    }
  }
  if (row.unfinished) append_raw(path, "LOG_INFO : cut short");
}

TEST(TraceFollowerTest, EveryLineOfTheCallOnceInOrder) {
  const Row rows[] = {
      {"NoFileYet", AtStart::kNoFile, true, false, 1},
      {"NoFolderYet", AtStart::kNoFolder, true, true, 1},
      {"EarlierCallsFileReplaced", AtStart::kOldFile, true, true, 1},
      {"FifoReplaced", AtStart::kFifo, true, false, 1},
      {"EarlierCallsFileAppendedTo", AtStart::kOldFile, false, false, 0},
  };
  unsigned seed = 1;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    vxtest::TempDir dir;
    const std::string path = dir.file(row.at_start == AtStart::kNoFolder ? "logs/trace.log"
                                                                          : "trace.log");
    std::string earlier;
    if (row.at_start == AtStart::kOldFile) {
      earlier = "LOG_INFO : an earlier call\nLOG_INFO : its last line\n";
      vxtest::write_file(path, earlier);
    }
    if (row.at_start == AtStart::kFifo) {
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    }
    ASSERT_TRUE(vxins_log_set_path(path.c_str()));

    std::vector<TimedLine> handed;
    vxhost::TraceFollower follower(path);
    const auto begin = std::chrono::steady_clock::now();
    follower.start([&](const TimedLine& line) { handed.push_back(line); });
    std::thread writer(write_call, row, path, seed++);
    writer.join();
    follower.stop();
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    vxins_log_set_path("/dev/null");

    const std::string text = vxtest::read_file(path);
    // A restart removes the earlier call's lines; an append keeps them before this call's.
    ASSERT_EQ(text.compare(0, earlier.size(), earlier) == 0, !row.restart || earlier.empty());
    std::vector<std::string> expected =
        vxtest::split_lines(row.restart ? text : text.substr(earlier.size()));
    std::vector<std::string> got;
    for (const TimedLine& line : follower.lines()) got.push_back(line.text);
    EXPECT_EQ(got, expected);
    ASSERT_EQ(handed.size(), follower.lines().size());
    for (size_t i = 0; i < handed.size(); ++i) {
      EXPECT_EQ(handed[i].text, follower.lines()[i].text);
      EXPECT_LE(handed[i].at, took);
      if (i > 0) {
        EXPECT_LE(handed[i - 1].at, handed[i].at);
      }
    }
    EXPECT_TRUE(follower.error().empty()) << follower.error();
    for (const TimedLine& line : follower.lines()) EXPECT_EQ(line.file, row.file) << line.text;
    EXPECT_EQ(follower.line_before(), earlier.empty() ? "" : "LOG_INFO : its last line");
  }
}

// A FIFO that stays under the path is never opened (nothing blocks), a folder is not read.
TEST(TraceFollowerTest, OnlyRegularFilesAreRead) {
  vxtest::TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0644), 0);
  ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0755), 0);
  for (const char* name : {"fifo", "folder"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.file(name);
    EXPECT_TRUE(vxtest::FinishesInAChild([&] {
      vxhost::TraceFollower follower(path);
      follower.start([](const TimedLine&) {});
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      follower.stop();
      return follower.lines().empty() && follower.error().empty();
    }));
  }
}

}  // namespace
