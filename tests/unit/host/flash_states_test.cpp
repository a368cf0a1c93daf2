// The flash call's adapter states: loaded from the agent's index list (its refusals, throws and
// odd elements), looked up by exact index string within the agent's adapter count, an adapter
// listed twice found at its first place.
#include "host/flash_states.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_agent.h"
#include "log_capture.h"

namespace {

using vxins::host::AdapterFlashState;
using vxins::host::FlashStates;

class FlashStatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    fake::install();
  }
  // Loads the states from an index answer given as JSON text.
  int load(const char* answer, FlashStates& states) {
    Json::Reader reader;
    EXPECT_TRUE(reader.parse(answer, fake::g_fake["index"])) << answer;
    log.clear();
    return states.load_from_agent();
  }
  vxtest::LogCapture log;
};

TEST_F(FlashStatesTest, LoadsTheAgentsIndexList) {
  const std::string exit = "LOG_ERROR : <--qrvl_get_all_adapters_index_string()";
  const std::string unusable = "LOG_INFO : libGetAllAdapterIndexString returns NULL.";
  struct Case {
    const char* answer;
    int expected;
    std::vector<std::string> log;
    std::vector<std::string> indexes;
  } cases[] = {
      {"null", 1001, {unusable, exit}, {}},
      {"{}", 1001, {unusable, exit}, {}},
      {"{\"indexStrings\": {\"a\": 1}}", 1001, {unusable, exit}, {}},
      {"\"text\"", 1001, {unusable, exit}, {}},
      {"{\"indexStrings\": []}", 4, {"LOG_ERROR : No adapters in the system!", exit}, {}},
      {"{\"indexStrings\": [\"X1\", \"X2\", \"X1\"]}", 0,
       {"LOG_INFO : The index is X1", "LOG_INFO : The index is X2", "LOG_INFO : The index is X1"},
       {"X1", "X2", "X1"}},
      // An element that is no text names no adapter.
      {"{\"indexStrings\": [7, \"X\", {\"a\": 1}, null]}", 0,
       {"LOG_ERROR : Adapter index 0 is not a string; ignored", "LOG_INFO : The index is X",
        "LOG_ERROR : Adapter index 2 is not a string; ignored",
        "LOG_ERROR : Adapter index 3 is not a string; ignored"},
       {"X"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    FlashStates states;
    fake::g_calls.clear();
    EXPECT_EQ(load(c.answer, states), c.expected);
    EXPECT_EQ(fake::g_calls, std::vector<std::string>{"getAllAdaptersIndexString null=1"});
    EXPECT_EQ(log.lines(), c.log);
    std::vector<std::string> indexes;
    for (const AdapterFlashState& s : states.states()) {
      indexes.push_back(s.adapter_index);
      EXPECT_FALSE(s.flash_attempted);
    }
    EXPECT_EQ(indexes, c.indexes);
  }
}

TEST_F(FlashStatesTest, AgentThrowingFromTheIndexListFails) {
  for (const char* kind : {"agent", "std", "other"}) {
    SCOPED_TRACE(kind);
    fake::g_fake["index"] = fake::thrower(kind);
    log.clear();
    FlashStates states;
    EXPECT_EQ(states.load_from_agent(), 1001);
    EXPECT_TRUE(states.states().empty());
    ASSERT_FALSE(log.lines().empty());
    EXPECT_EQ(log.lines().back(), "LOG_ERROR : <--qrvl_get_all_adapters_index_string()");
  }
}

// Keys differ by letter case or an embedded NUL; the empty index string is a key of its own.
TEST_F(FlashStatesTest, FindsExactIndexStringsWithinTheAdapterCount) {
  const std::string nul("00:0e:1e\0:01", 12);
  FlashStates states;
  ASSERT_EQ(load("{\"indexStrings\": [\"A\", \"B\", \"a\", \"A\", \"\", \"00:0e:1e\\u0000:01\", "
                 "\"C\", \"B\"]}",
                 states),
            0);
  ASSERT_EQ(states.states().size(), 8u);
  ASSERT_EQ(states.states()[5].adapter_index, nul);
  log.clear();
  struct Lookup {
    unsigned int count;
    std::string index;
    int position;  // -1: not found
  };
  const Lookup lookups[] = {
      {0, "A", -1},     {1, "A", 0},     {1, "B", -1},   {3, "a", 2},     {3, "A", 0},
      {3, "", -1},      {6, "", 4},      {6, nul, 5},    {6, "00:0e:1e", -1},
      {6, std::string("A\0", 2), -1},    {6, "C", -1},   {8, "C", 6},     {8, "B", 1},
      {8, "b", -1},     {1000, "A", 0},  {1000, "Z", -1},
  };
  for (const Lookup& l : lookups) {
    SCOPED_TRACE("count " + std::to_string(l.count) + ", \"" + l.index + "\"");
    states.limit_to(l.count);
    AdapterFlashState* found = states.find(l.index);
    if (l.position < 0) {
      EXPECT_EQ(found, nullptr);
    } else {
      EXPECT_EQ(found, &states.states()[static_cast<size_t>(l.position)]);
    }
  }
  EXPECT_EQ(log.text(), "");
}

}  // namespace
