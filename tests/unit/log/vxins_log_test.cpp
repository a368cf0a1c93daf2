// The trace log: exact line layout, the exported C form, the restart banner, the file it refuses
// to write through, and lines that stay whole when several writers append at once.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "log_capture.h"
#include "test_support.h"
#include "vxins_log.h"

namespace {

class TraceLogTest : public ::testing::Test {
 protected:
  std::string Content() const { return log_.text(); }
  vxtest::TempDir tmp_;
  vxtest::LogCapture log_;
  const std::string path_ = vxlogfname;  // the capture's file
};

TEST_F(TraceLogTest, EachLevelWritesItsPrefixTextAndOneNewline) {
  const char* expected[] = {"LOG_DEFAULT : ", "LOG_DEBUG : ", "LOG_INFO : ", "LOG_WARN : ",
                            "LOG_ERROR : ", "LOG_CRITICAL : "};
  std::string want;
  for (int level = LOG_DEFAULT; level <= LOG_CRITICAL; ++level) {
    VXINS_LOG_TRACE(level, "level %d", level);
    want += std::string(expected[level]) + "level " + std::to_string(level) + "\n";
  }
  EXPECT_EQ(Content(), want);
}

TEST_F(TraceLogTest, LevelOutsideTheTableUsesTheNullRow) {
  VXINS_LOG_TRACE(6, "six %d", 6);
  VXINS_LOG_TRACE(-3, "minus %d", 3);
  VXINS_LOG_TRACE(1000, "%s", "far");
  EXPECT_EQ(Content(), "NULL : six 6\nNULL : minus 3\nNULL : far\n");
}

TEST_F(TraceLogTest, FormatWithArgumentsFillsConversions) {
  VXINS_LOG_TRACE(LOG_ERROR, "ERROR:(%d)-Read from XML file %s Failed\n", 5, "/tmp/d.xml");
  EXPECT_EQ(Content(), "LOG_ERROR : ERROR:(5)-Read from XML file /tmp/d.xml Failed\n\n");
}

TEST_F(TraceLogTest, LongFormattedMessageIsWrittenWhole) {
  std::string big(5000, 'x');
  VXINS_LOG_TRACE(LOG_INFO, "[%s]", big.c_str());
  EXPECT_EQ(Content(), "LOG_INFO : [" + big + "]\n");
}

TEST_F(TraceLogTest, NullMessageWritesNothing) {
  const char* no_format = nullptr;
  VXINS_LOG_TRACE(LOG_INFO, no_format);
  EXPECT_FALSE(vxtest::file_exists(path_));
}

TEST_F(TraceLogTest, UnwritableLogIsDroppedSilently) {
  ASSERT_TRUE(vxins_log_set_path(tmp_.file("missing-dir/trace.log").c_str()));
  VXINS_LOG_TRACE(LOG_ERROR, "lost");
  VXINS_LOG_TRACE(LOG_ERROR, "lost %d", 1);
  vxins_log_restart();
  EXPECT_FALSE(vxtest::file_exists(tmp_.file("missing-dir")));
}

TEST_F(TraceLogTest, RestartLeavesExactlyTheBanner) {
  VXINS_LOG_TRACE(LOG_INFO, "from an earlier call");
  vxins_log_restart();
  std::vector<std::string> lines = vxtest::split_lines(Content());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "LOG_INFO : ************************************");
  // asctime: "Www Mmm dd hh:mm:ss yyyy"
  ASSERT_EQ(lines[1].rfind("LOG_INFO : \tLog started on ", 0), 0u);
  EXPECT_EQ(lines[1].size(), std::string("LOG_INFO : \tLog started on ").size() + 24);
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "LOG_INFO : Log file (" + path_ + ") is successfully opened for writing.");
  EXPECT_EQ(lines[5], "LOG_INFO : ************************************");
}

TEST_F(TraceLogTest, PathLongerThanTheBufferIsRefused) {
  EXPECT_FALSE(vxins_log_set_path(std::string(200, 'a').c_str()));
  EXPECT_FALSE(vxins_log_set_path(nullptr));
  VXINS_LOG_TRACE(LOG_INFO, "still here");
  EXPECT_EQ(Content(), "LOG_INFO : still here\n");
}

TEST_F(TraceLogTest, DeleteFileIfExists) {
  delete_file_if_exists(nullptr);
  std::string missing = tmp_.file("missing");
  delete_file_if_exists(&missing[0]);
  std::string present = tmp_.file("present");
  vxtest::write_file(present, "x");
  delete_file_if_exists(&present[0]);
  EXPECT_FALSE(vxtest::file_exists(present));
  // A FIFO used to block the opening test forever; it is removed without waiting for a writer.
  std::string fifo = tmp_.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  delete_file_if_exists(&fifo[0]);
  EXPECT_FALSE(vxtest::file_exists(fifo));
}

// Regression: an empty folder passed where a file was expected (a discovery file path) was
// deleted, because remove() falls back to rmdir.
TEST_F(TraceLogTest, DeleteFileIfExistsLeavesFolders) {
  std::string folder = tmp_.file("folder");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  delete_file_if_exists(&folder[0]);
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

// The log used to be opened following links and waiting on FIFOs: a link planted under the
// log's name made the root process append to the file it named, and a FIFO hung the host.
TEST_F(TraceLogTest, NeverWritesThroughALinkNorWaitsOnAFifo) {
  std::string victim = tmp_.file("victim");
  vxtest::write_file(victim, "root:x:0:0\n");
  ASSERT_EQ(symlink(victim.c_str(), path_.c_str()), 0);
  VXINS_LOG_TRACE(LOG_ERROR, "through the link %d", 1);
  VXINS_LOG_TRACE(LOG_INFO, "through the link");
  EXPECT_EQ(vxtest::read_file(victim), "root:x:0:0\n");
  // The restart removes the link itself and starts a regular file of its own.
  vxins_log_restart();
  struct stat st;
  ASSERT_EQ(lstat(path_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(vxtest::read_file(victim), "root:x:0:0\n");
  EXPECT_NE(Content().find("Log started on"), std::string::npos);

  std::string fifo = tmp_.file("fifo.log");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(vxins_log_set_path(fifo.c_str()));
  EXPECT_TRUE(vxtest::FinishesInAChild([] {
    VXINS_LOG_TRACE(LOG_ERROR, "into a FIFO %d", 2);
    VXINS_LOG_TRACE(LOG_ERROR, "into a FIFO");
    return true;
  })) << "logging blocked on a FIFO";
}

// Lines appended by several processes at once stay whole: each line is one append.
TEST_F(TraceLogTest, ConcurrentWritersNeverSplitALine) {
  const int kWriters = 4, kLines = 500;
  std::string body(300, 'a');
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0; i < kLines; ++i) VXINS_LOG_TRACE(LOG_INFO, "w%d %s end", w, body.c_str());
      _exit(0);
    }
  }
  for (int w = 0; w < kWriters; ++w) {
    int status = 0;
    wait(&status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<std::string> lines = vxtest::split_lines(Content());
  ASSERT_EQ(lines.size(), static_cast<size_t>(kWriters * kLines));
  for (const std::string& line : lines) {
    ASSERT_EQ(line.size(), std::string("LOG_INFO : w0  end").size() + body.size()) << line;
    ASSERT_EQ(line.rfind("LOG_INFO : w", 0), 0u);
  }
}

}  // namespace
