// Test fixture for the agent binding: each test gets its own inventory file, trace log and call
// journal for the simulator libdznaj.so (found through LD_LIBRARY_PATH, as in production), and
// the session is closed again in TearDown whatever the test did.
#ifndef VXINS_AGENT_TEST_ENV_H
#define VXINS_AGENT_TEST_ENV_H

#include <gtest/gtest.h>
#include <json/json.h>

#include <string>
#include <vector>

#include "log_capture.h"
#include "test_support.h"

namespace agenttest {

// sim/inventories/default.json, parsed.
Json::Value default_inventory();
// One entry of an inventory's "faults".
Json::Value fault(const std::string& symbol, const std::string& kind, const std::string& key = "",
                  int code = 0, const std::string& message = "");
std::string to_text(const Json::Value& value);
Json::Value parse(const std::string& text);
// Whether the dynamic loader has libdznaj.so mapped into this process.
bool agent_mapped();
// Compares log lines with expected ones in which "{PTR}" stands for a printed address.
::testing::AssertionResult lines_match(const std::vector<std::string>& actual,
                                       const std::vector<std::string>& expected);

class AgentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the inventory file and points DZNAJ_SIM_INVENTORY at it.
  void use_inventory(const Json::Value& inventory);
  // use_inventory, then open_session; the log is emptied afterwards when it succeeded.
  int start_session(const Json::Value& inventory);
  // The simulator's journal, one JSON value per line.
  std::vector<Json::Value> journal() const;
  std::string path(const std::string& name) const { return dir_.file(name); }

  vxtest::TempDir dir_;
  vxtest::LogCapture log_;
  std::string journal_;
  std::string inventory_;
};

}  // namespace agenttest

#endif
