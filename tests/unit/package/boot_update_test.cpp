// Flashing one adapter through a fake "hba_flashUpgrade" put into the agent binding's pointer:
// what the agent is handed, what the caller reads back, and what a throw becomes.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "package_test_util.h"
#include "qrvl_device.h"
#include "znaj_agent.h"

namespace {

enum class Throw { None, AgentError, StdException, Other };

// What the fake saw and how it answers.
struct FakeAgent {
  int calls = 0;
  std::string wwn;
  std::string file;
  uint32_t size = 99;
  int flag = 99;
  uint32_t len = 0;
  bool err_buf_zeroed = false;
  int result = 0;
  std::string reason;  // written into the agent's error buffer
  bool fill_whole_buffer = false;
  Throw to_throw = Throw::None;
};
FakeAgent g_fake;

int fake_flash(char* wwn, char* file, uint32_t size, int flag, char* pErrStr, uint32_t len) {
  ++g_fake.calls;
  g_fake.wwn = wwn;
  g_fake.file = file;
  g_fake.size = size;
  g_fake.flag = flag;
  g_fake.len = len;
  g_fake.err_buf_zeroed = true;
  for (uint32_t i = 0; i < len; ++i)
    if (pErrStr[i] != '\0') g_fake.err_buf_zeroed = false;
  switch (g_fake.to_throw) {
    case Throw::AgentError: throw HbaAgentError(-7, "adapter busy");
    case Throw::StdException: throw std::runtime_error("flash image unreadable");
    case Throw::Other: throw 42;
    case Throw::None: break;
  }
  if (g_fake.fill_whole_buffer) {
    memset(pErrStr, 'r', len);  // no terminator at all
  } else {
    snprintf(pErrStr, len, "%s", g_fake.reason.c_str());
  }
  return g_fake.result;
}

class BootUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = libHbaFlashUpgrade;
    libHbaFlashUpgrade = fake_flash;
    g_fake = FakeAgent();
    memset(err_, 'x', sizeof err_);
    err_[sizeof err_ - 1] = '\0';
  }
  void TearDown() override { libHbaFlashUpgrade = saved_; }

  hba_flashUpgrade_fp saved_ = nullptr;
  pkgtest::ScopedLog log_;
  CQrvlDevice dev_;
  char err_[128];
};

TEST_F(BootUpdateTest, SuccessHandsTheAgentItsArguments) {
  const std::string idx = "10:00:00:90:fa:c7:0a:01";  // 23 characters: the most that fits
  const std::string file = "/opt/fw/" + std::string(115, 'p') + ".tar";  // 127 characters
  ASSERT_EQ(23u, idx.size());
  ASSERT_EQ(127u, file.size());
  EXPECT_EQ(0, dev_.boot_update(idx, file, err_));
  EXPECT_STREQ("BOOT UPDATE SUCCESS", err_);
  EXPECT_EQ(1, g_fake.calls);
  EXPECT_EQ(idx, g_fake.wwn);
  EXPECT_EQ(file, g_fake.file);
  EXPECT_EQ(0u, g_fake.size);
  EXPECT_EQ(0, g_fake.flag);
  EXPECT_EQ(128u, g_fake.len);
  EXPECT_TRUE(g_fake.err_buf_zeroed);
  // The message ends in "\n", so the line is followed by an empty one.
  EXPECT_EQ("LOG_INFO : Flash upgrade returned 0\n\n", log_.text());
}

TEST_F(BootUpdateTest, FailurePassesTheResultAndReasonThrough) {
  struct Case {
    int result;
    std::string reason;
  };
  const std::vector<Case> cases = {{-1, "image does not match the adapter"}, {5, ""}, {1001, "x"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    log_.clear();
    g_fake.result = c.result;
    g_fake.reason = c.reason;
    EXPECT_EQ(c.result, dev_.boot_update("0", "/fw/pkg.tar", err_));
    std::string expected = "ERROR:BOOT UPDATE FAILED:" + c.reason;
    EXPECT_EQ(expected, std::string(err_));
    std::vector<std::string> want = {
        "LOG_INFO : Flash upgrade returned " + std::to_string(c.result), "",
        "LOG_ERROR : " + expected};
    EXPECT_EQ(want, log_.lines());
  }
}

TEST_F(BootUpdateTest, CutsALongAgentTextToTheCallersBuffer) {
  g_fake.result = -1;
  g_fake.fill_whole_buffer = true;
  EXPECT_EQ(-1, dev_.boot_update("0", "/fw/pkg.tar", err_));
  std::string got(err_);
  EXPECT_EQ(127u, got.size());
  EXPECT_EQ("ERROR:BOOT UPDATE FAILED:" + std::string(127 - 25, 'r'), got);
}

TEST_F(BootUpdateTest, WorksWithoutAnOutcomeBuffer) {
  g_fake.result = -3;
  g_fake.reason = "nope";
  EXPECT_EQ(-3, dev_.boot_update("0", "/fw/pkg.tar", nullptr));
  g_fake.result = 0;
  EXPECT_EQ(0, dev_.boot_update("0", "/fw/pkg.tar", nullptr));
  EXPECT_EQ(2, g_fake.calls);
}

TEST_F(BootUpdateTest, RefusesValuesThatDoNotFitWithoutCallingTheAgent) {
  // These used to reach the agent cut to the buffer, flashing another path or adapter.
  struct Case {
    const char* label;
    std::string idx;
    std::string file;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"path of 128 characters", "0", "/" + std::string(127, 'p'), "firmware file path too long"},
      {"identifier of 24 characters", std::string(24, 'w'), "/fw/pkg.tar",
       "adapter identifier too long"},
      {"identifier of 30 characters", std::string(30, 'w'), "/fw/pkg.tar",
       "adapter identifier too long"},
      {"identifier holding a NUL", std::string("10:00\0:01", 9), "/fw/pkg.tar",
       "adapter identifier holds a NUL"},
      {"path holding a NUL", "0", std::string("/fw/a\0.tar", 10), "firmware file path holds a NUL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    log_.clear();
    EXPECT_EQ(1002, dev_.boot_update(c.idx, c.file, err_));
    std::string expected = "ERROR:BOOT UPDATE FAILED:" + c.reason;
    EXPECT_EQ(expected, std::string(err_));
    EXPECT_EQ(std::vector<std::string>{"LOG_ERROR : " + expected}, log_.lines());
    EXPECT_EQ(1002, dev_.boot_update(c.idx, c.file, nullptr));
  }
  EXPECT_EQ(0, g_fake.calls);
}

TEST_F(BootUpdateTest, AThrowIsAFailedFlash) {
  // A throw used to leave through boot_update and the host's entry point.
  struct Case {
    Throw kind;
    std::string text;
  };
  const std::vector<Case> cases = {{Throw::AgentError, "adapter busy"},
                                   {Throw::StdException, "flash image unreadable"},
                                   {Throw::Other, "unknown exception from the agent"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    log_.clear();
    g_fake.to_throw = c.kind;
    EXPECT_EQ(1001, dev_.boot_update("0", "/fw/pkg.tar", err_));
    std::string expected = "ERROR:BOOT UPDATE FAILED:" + c.text;
    EXPECT_EQ(expected, std::string(err_));
    EXPECT_EQ(std::vector<std::string>{"LOG_ERROR : " + expected}, log_.lines());
    EXPECT_EQ(1001, dev_.boot_update("0", "/fw/pkg.tar", nullptr));
  }
}

TEST_F(BootUpdateTest, NoAgentBindingIsAFailedFlash) {
  libHbaFlashUpgrade = nullptr;
  EXPECT_EQ(1001, dev_.boot_update("0", "/fw/pkg.tar", err_));
  EXPECT_STREQ("ERROR:BOOT UPDATE FAILED:agent flash entry point not available", err_);
}

}  // namespace
