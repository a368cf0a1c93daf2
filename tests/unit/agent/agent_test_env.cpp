// The agent tests' fixture: temporary files, the simulator's environment, log and journal.
#include "agent_test_env.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "agent/agent_loader.h"
#include "vxins_log.h"

namespace agenttest {

Json::Value parse(const std::string& text) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors))
    ADD_FAILURE() << "not JSON: " << errors << "\n" << text;
  return value;
}

std::string to_text(const Json::Value& value) {
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  return Json::writeString(writer, value);
}

Json::Value default_inventory() {
  return parse(vxtest::read_file(std::string(VXINS_SIM_SOURCE_DIR) + "/inventories/default.json"));
}

Json::Value fault(const std::string& symbol, const std::string& kind, const std::string& key,
                  int code, const std::string& message) {
  Json::Value f;
  f["symbol"] = symbol;
  f["kind"] = kind;
  if (!key.empty()) f["key"] = key;
  if (code != 0) f["code"] = code;
  if (!message.empty()) f["message"] = message;
  return f;
}

bool agent_mapped() {
  return vxtest::read_file("/proc/self/maps").find("libdznaj.so") != std::string::npos;
}

::testing::AssertionResult line_matches(const std::string& actual, const std::string& expected) {
  size_t at = expected.find("{PTR}");
  if (at == std::string::npos) {
    if (actual == expected) return ::testing::AssertionSuccess();
  } else {
    std::string head = expected.substr(0, at);
    std::string tail = expected.substr(at + 5);
    if (actual.size() > head.size() + tail.size() + 2 &&
        actual.compare(0, head.size(), head) == 0 &&
        actual.compare(actual.size() - tail.size(), tail.size(), tail) == 0) {
      std::string ptr = actual.substr(head.size(), actual.size() - head.size() - tail.size());
      if (ptr.compare(0, 2, "0x") == 0 &&
          ptr.find_first_not_of("0123456789abcdef", 2) == std::string::npos)
        return ::testing::AssertionSuccess();
    }
  }
  return ::testing::AssertionFailure()
         << "line\n  \"" << actual << "\"\nexpected\n  \"" << expected << "\"";
}

::testing::AssertionResult lines_match(const std::vector<std::string>& actual,
                                       const std::vector<std::string>& expected) {
  std::string all;
  for (const std::string& l : actual) all += "  \"" + l + "\"\n";
  if (actual.size() != expected.size())
    return ::testing::AssertionFailure()
           << actual.size() << " lines, expected " << expected.size() << ":\n"
           << all;
  for (size_t i = 0; i < actual.size(); ++i) {
    ::testing::AssertionResult r = line_matches(actual[i], expected[i]);
    if (!r) return r << "\nat line " << i << " of:\n" << all;
  }
  return ::testing::AssertionSuccess();
}

void AgentTest::SetUp() {
  log_ = dir_.file("trace.log");
  journal_ = dir_.file("journal.jsonl");
  inventory_ = dir_.file("inventory.json");
  ASSERT_TRUE(vxins_log_set_path(log_.c_str()));
  unsetenv("DZNAJ_SIM_INVENTORY");
  unsetenv("DZNAJ_SIM_STATE");
  setenv("DZNAJ_SIM_JOURNAL", journal_.c_str(), 1);
}

void AgentTest::TearDown() {
  if (gLibHandle != nullptr) qrvl_vxinslib_deinit();
  unsetenv("DZNAJ_SIM_INVENTORY");
  unsetenv("DZNAJ_SIM_STATE");
  unsetenv("DZNAJ_SIM_JOURNAL");
}

void AgentTest::use_inventory(const Json::Value& inventory) {
  vxtest::write_file(inventory_, to_text(inventory));
  setenv("DZNAJ_SIM_INVENTORY", inventory_.c_str(), 1);
}

int AgentTest::open_session(const Json::Value& inventory) {
  use_inventory(inventory);
  int rc = qrvl_vxinslib_init();
  if (rc == 0) clear_log();
  return rc;
}

void AgentTest::clear_log() { vxtest::write_file(log_, ""); }

std::vector<std::string> AgentTest::log_lines() const {
  return vxtest::file_exists(log_) ? vxtest::split_lines(vxtest::read_file(log_))
                                   : std::vector<std::string>();
}

std::vector<Json::Value> AgentTest::journal() const {
  std::vector<Json::Value> entries;
  if (!vxtest::file_exists(journal_)) return entries;
  for (const std::string& line : vxtest::split_lines(vxtest::read_file(journal_)))
    entries.push_back(parse(line));
  return entries;
}

}  // namespace agenttest
