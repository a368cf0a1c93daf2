// The adapter calls: the count against the simulator, and flashing one adapter through a fake
// "hba_flashUpgrade" put into the entry-point pointer: what the agent is handed, what the
// caller reads back, and what a refusal or a throw becomes.
#include "agent/adapters.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "agent/entry_points.h"
#include "agent/session.h"
#include "agent_test_env.h"
#include "log_capture.h"

namespace {

using vxins::agent::flash_adapter;

using AdapterCountTest = agenttest::AgentTest;

TEST_F(AdapterCountTest, IsTheAgentsCountAndLogged) {
  Json::Value inventory = agenttest::default_inventory();
  ASSERT_EQ(start_session(inventory), 0);
  uint32_t count = 0;
  ASSERT_TRUE(vxins::agent::adapter_count(count));
  EXPECT_EQ(count, 3u);
  // The message ends in "\n", so the line is followed by an empty one.
  EXPECT_TRUE(agenttest::lines_match(log_.lines(),
                                     {"LOG_INFO : getDeviceVector QRVL Adapter Count = 3", ""}));
  ASSERT_EQ(vxins::agent::close_session(), 0);
  inventory["adapterCount"] = 7;
  ASSERT_EQ(start_session(inventory), 0);
  ASSERT_TRUE(vxins::agent::adapter_count(count));
  EXPECT_EQ(count, 7u);
}

enum class Throw { None, AgentError, StdException, Other };

// What the fake saw and how it answers.
struct FakeFlash {
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
FakeFlash g_fake;

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

class FlashAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = libHbaFlashUpgrade;
    libHbaFlashUpgrade = fake_flash;
    g_fake = FakeFlash();
    memset(outcome_, 'x', sizeof outcome_);
    outcome_[sizeof outcome_ - 1] = '\0';
  }
  void TearDown() override { libHbaFlashUpgrade = saved_; }

  hba_flashUpgrade_fp saved_ = nullptr;
  vxtest::LogCapture log_;
  char outcome_[vxins::agent::kFlashOutcomeSize];
};

TEST_F(FlashAdapterTest, SuccessHandsTheAgentItsArguments) {
  const std::string idx = "10:00:00:90:fa:c7:0a:01";  // 23 characters: the most that fits
  const std::string file = "/opt/fw/" + std::string(115, 'p') + ".tar";  // 127 characters
  ASSERT_EQ(23u, idx.size());
  ASSERT_EQ(127u, file.size());
  EXPECT_EQ(0, flash_adapter(idx, file, outcome_));
  EXPECT_STREQ("BOOT UPDATE SUCCESS", outcome_);
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

TEST_F(FlashAdapterTest, FailurePassesTheResultAndReasonThrough) {
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
    EXPECT_EQ(c.result, flash_adapter("0", "/fw/pkg.tar", outcome_));
    std::string expected = "ERROR:BOOT UPDATE FAILED:" + c.reason;
    EXPECT_EQ(expected, std::string(outcome_));
    std::vector<std::string> want = {
        "LOG_INFO : Flash upgrade returned " + std::to_string(c.result), "",
        "LOG_ERROR : " + expected};
    EXPECT_EQ(want, log_.lines());
  }
}

TEST_F(FlashAdapterTest, CutsALongAgentTextToTheCallersBuffer) {
  g_fake.result = -1;
  g_fake.fill_whole_buffer = true;
  EXPECT_EQ(-1, flash_adapter("0", "/fw/pkg.tar", outcome_));
  EXPECT_EQ("ERROR:BOOT UPDATE FAILED:" + std::string(127 - 25, 'r'), std::string(outcome_));
}

TEST_F(FlashAdapterTest, WorksWithoutAnOutcomeBuffer) {
  g_fake.result = -3;
  g_fake.reason = "nope";
  EXPECT_EQ(-3, flash_adapter("0", "/fw/pkg.tar", nullptr));
  g_fake.result = 0;
  EXPECT_EQ(0, flash_adapter("0", "/fw/pkg.tar", nullptr));
  EXPECT_EQ(2, g_fake.calls);
}

// Refused values and thrown exceptions: the code, the outcome text and its one log line, with
// or without an outcome buffer.
struct FailureCase {
  const char* label;
  std::string idx;
  std::string file;
  Throw to_throw;
  int code;
  std::string reason;
};

TEST_F(FlashAdapterTest, RefusalsAndThrowsAreFailedFlashes) {
  // Values that do not fit used to reach the agent cut to the buffer, flashing another path or
  // adapter; a throw used to leave through the host's entry point.
  const std::vector<FailureCase> cases = {
      {"path of 128 characters", "0", "/" + std::string(127, 'p'), Throw::None, 1002,
       "firmware file path too long"},
      {"identifier of 24 characters", std::string(24, 'w'), "/fw/pkg.tar", Throw::None, 1002,
       "adapter identifier too long"},
      {"identifier of 30 characters", std::string(30, 'w'), "/fw/pkg.tar", Throw::None, 1002,
       "adapter identifier too long"},
      {"identifier holding a NUL", std::string("10:00\0:01", 9), "/fw/pkg.tar", Throw::None, 1002,
       "adapter identifier holds a NUL"},
      {"path holding a NUL", "0", std::string("/fw/a\0.tar", 10), Throw::None, 1002,
       "firmware file path holds a NUL"},
      {"HbaAgentError", "0", "/fw/pkg.tar", Throw::AgentError, 1001, "adapter busy"},
      {"std::exception", "0", "/fw/pkg.tar", Throw::StdException, 1001, "flash image unreadable"},
      {"other throw", "0", "/fw/pkg.tar", Throw::Other, 1001, "unknown exception from the agent"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.label);
    log_.clear();
    g_fake = FakeFlash();
    g_fake.to_throw = c.to_throw;
    EXPECT_EQ(c.code, flash_adapter(c.idx, c.file, outcome_));
    std::string expected = "ERROR:BOOT UPDATE FAILED:" + c.reason;
    EXPECT_EQ(expected, std::string(outcome_));
    EXPECT_EQ(std::vector<std::string>{"LOG_ERROR : " + expected}, log_.lines());
    EXPECT_EQ(c.code, flash_adapter(c.idx, c.file, nullptr));
    // A refused value never reaches the agent.
    EXPECT_EQ(c.to_throw == Throw::None ? 0 : 2, g_fake.calls);
  }
}

TEST_F(FlashAdapterTest, NoAgentBindingIsAFailedFlash) {
  libHbaFlashUpgrade = nullptr;
  EXPECT_EQ(1001, flash_adapter("0", "/fw/pkg.tar", outcome_));
  EXPECT_STREQ("ERROR:BOOT UPDATE FAILED:agent flash entry point not available", outcome_);
}

}  // namespace
