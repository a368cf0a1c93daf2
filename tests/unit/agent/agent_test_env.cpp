// The agent tests' fixture: temporary files, the simulator's environment and journal.
#include "agent_test_env.h"

#include <cstdlib>
#include <memory>

#include "agent/session.h"

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

namespace {

bool line_matches(const std::string& actual, const std::string& expected) {
  size_t at = expected.find("{PTR}");
  if (at == std::string::npos) return actual == expected;
  std::string head = expected.substr(0, at);
  std::string tail = expected.substr(at + 5);
  if (actual.size() <= head.size() + tail.size() + 2 || actual.compare(0, head.size(), head) != 0 ||
      actual.compare(actual.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  std::string ptr = actual.substr(head.size(), actual.size() - head.size() - tail.size());
  return ptr.compare(0, 2, "0x") == 0 &&
         ptr.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
}

}  // namespace

::testing::AssertionResult lines_match(const std::vector<std::string>& actual,
                                       const std::vector<std::string>& expected) {
  bool same = actual.size() == expected.size();
  for (size_t i = 0; same && i < actual.size(); ++i) same = line_matches(actual[i], expected[i]);
  if (same) return ::testing::AssertionSuccess();
  std::string text;
  for (const std::string& l : actual) text += "  \"" + l + "\"\n";
  text += "expected:\n";
  for (const std::string& l : expected) text += "  \"" + l + "\"\n";
  return ::testing::AssertionFailure() << "log:\n" << text;
}

void AgentTest::SetUp() {
  journal_ = dir_.file("journal.jsonl");
  inventory_ = dir_.file("inventory.json");
  unsetenv("DZNAJ_SIM_INVENTORY");
  unsetenv("DZNAJ_SIM_STATE");
  setenv("DZNAJ_SIM_JOURNAL", journal_.c_str(), 1);
}

void AgentTest::TearDown() {
  if (vxins::agent::session_open()) vxins::agent::close_session();
  unsetenv("DZNAJ_SIM_INVENTORY");
  unsetenv("DZNAJ_SIM_STATE");
  unsetenv("DZNAJ_SIM_JOURNAL");
}

void AgentTest::use_inventory(const Json::Value& inventory) {
  vxtest::write_file(inventory_, to_text(inventory));
  setenv("DZNAJ_SIM_INVENTORY", inventory_.c_str(), 1);
}

int AgentTest::start_session(const Json::Value& inventory) {
  use_inventory(inventory);
  int rc = vxins::agent::open_session();
  if (rc == 0) log_.clear();
  return rc;
}

std::vector<Json::Value> AgentTest::journal() const {
  std::vector<Json::Value> entries;
  if (!vxtest::file_exists(journal_)) return entries;
  for (const std::string& line : vxtest::split_lines(vxtest::read_file(journal_)))
    entries.push_back(parse(line));
  return entries;
}

}  // namespace agenttest
