// The simulator answering from a recording (DZNAJ_SIM_REPLAY) in place of the machine it was
// made on: a discovery and a flash recorded through the recorder in front of the simulator, then
// run against the recording alone, give the shipped plug-in the same results, discovery files,
// trace and flash calls, throws included; so does the inventory that sim/replay-to-inventory.py
// makes from the recording.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "e2e_support.h"

using vxtest::TempDir;

namespace {

const char* const kVariables[] = {"DZNAJ_SIM_INVENTORY", "DZNAJ_SIM_STATE",
                                  "DZNAJ_SIM_JOURNAL",   "DZNAJ_SIM_REPLAY",
                                  "DZNAJ_RECORD_TARGET", "DZNAJ_RECORD_FILE"};

// One way of serving the agent to the plug-in: the loader's path and the variables.
struct Serving {
  std::string ld_path;
  std::vector<std::pair<std::string, std::string>> env;
  std::string journal;
};

// One host call: its result, the discovery file after it, its trace after the banner (the
// address of an exception's text, printed in some lines, blanked: it differs per process).
struct Run {
  int rc;
  std::string file;
  std::string trace;
};

struct Outcome {
  std::vector<Run> runs;                 // the discovery, then the flash
  std::vector<Json::Value> flash_calls;  // as the simulator journaled them
  std::string said;                      // the drivers' stderr
};

// The simulator alone on the driver's loader path, serving `value` through `variable`, with a
// state file and a journal of its own named after `name`.
Serving Simulator(const TempDir& tmp, const std::string& name, const char* variable,
                  const std::string& value) {
  return {VXINS_SIM_DIR,
          {{variable, value},
           {"DZNAJ_SIM_STATE", tmp.file(name + ".state")},
           {"DZNAJ_SIM_JOURNAL", tmp.file(name + ".jsonl")}},
          tmp.file(name + ".jsonl")};
}

Outcome RunBoth(const Serving& serving, const TempDir& tmp, const std::string& fw) {
  for (const char* name : kVariables) unsetenv(name);
  for (const auto& var : serving.env) setenv(var.first.c_str(), var.second.c_str(), 1);
  const std::string disc = tmp.file("discovery.xml");
  const std::string said = tmp.file("stderr.txt");
  remove(disc.c_str());
  remove(said.c_str());
  Outcome out;
  for (const char* command : {"discover", "flash"}) {
    Run run;
    run.rc = vxe2e::run_driver(serving.ld_path, {command, disc, fw},
                               "2>>" + vxtest::shell_quote(said));
    run.file = vxtest::read_file(disc);
    std::vector<std::string> lines = vxtest::trace_log_lines();
    for (size_t i = 6; i < lines.size(); ++i) run.trace += lines[i] + "\n";
    for (size_t at = run.trace.find("0x"); at != std::string::npos;
         at = run.trace.find("0x", at + 2))
      run.trace.erase(at + 2, strspn(run.trace.c_str() + at + 2, "0123456789abcdef"));
    out.runs.push_back(run);
  }
  for (const std::string& line : vxtest::split_lines(vxtest::read_file(serving.journal))) {
    Json::Value entry;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    EXPECT_TRUE(reader->parse(line.data(), line.data() + line.size(), &entry, &errors)) << line;
    if (entry["symbol"] == "hba_flashUpgrade") out.flash_calls.push_back(entry);
  }
  out.said = vxtest::file_exists(said) ? vxtest::read_file(said) : "";
  for (const char* name : kVariables) unsetenv(name);
  return out;
}

void ExpectSameRun(const Outcome& expected, const Outcome& actual) {
  ASSERT_EQ(actual.runs.size(), expected.runs.size());
  for (size_t i = 0; i < expected.runs.size(); ++i) {
    SCOPED_TRACE(i == 0 ? "discover" : "flash");
    EXPECT_EQ(actual.runs[i].rc, expected.runs[i].rc);
    EXPECT_EQ(actual.runs[i].file, expected.runs[i].file);
    EXPECT_EQ(actual.runs[i].trace, expected.runs[i].trace);
  }
  EXPECT_EQ(actual.flash_calls, expected.flash_calls);
  EXPECT_EQ(actual.said, "");
}

struct Scenario {
  const char* name;
  const char* kind;  // thrown by getHbaByWwn for one adapter and by its flash for another
  int discover_rc, flash_rc;
};
const Scenario kScenarios[] = {
    {"Coverage", nullptr, 0, 1},
    {"AgentError", "throwAgent", 0, 1},
    {"StdException", "throwStd", 0, 1},
    {"OtherThrow", "throwOther", 0, 1},
};

// The coverage inventory (FC, FCoE and Ethernet functions, an error answer, an agent error) with
// a flash the FC HBA refuses, and the scenario's throws.
std::string Inventory(const Scenario& s) {
  Json::Value inv;
  std::string errors;
  const std::string text = vxtest::read_file(VXINS_FIXTURES_DIR "/inventories/coverage.json");
  std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &inv, &errors)) << errors;
  inv["adapters"][0]["flash"]["result"] = 5;
  inv["adapters"][0]["flash"]["reason"] = "image rejected";
  const std::pair<const char*, const char*> kThrows[] = {
      {"getHbaByWwn", "20:00:00:0e:1e:c0:00:01"}, {"hba_flashUpgrade", "20:00:00:0e:1e:b0:00:01"}};
  for (const auto& at : kThrows) {
    if (s.kind == nullptr) break;
    Json::Value fault;
    fault["symbol"] = at.first;
    fault["key"] = at.second;
    fault["kind"] = s.kind;
    fault["code"] = 42;
    fault["message"] = std::string("injected into ") + at.first;
    inv["faults"].append(fault);
  }
  Json::StreamWriterBuilder writer;
  return Json::writeString(writer, inv);
}

class ReplayRunTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(ReplayRunTest, TheRecordingAloneGivesTheRecordedRun) {
  const Scenario& s = GetParam();
  TempDir tmp;
  const std::string fw = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  const std::string inventory = tmp.file("inventory.json");
  const std::string recording = tmp.file("site.jsonl");
  vxtest::write_file(inventory, Inventory(s));

  // The recorder on the loader's path, in front of the simulator serving the inventory.
  Serving live = Simulator(tmp, "live", "DZNAJ_SIM_INVENTORY", inventory);
  live.ld_path = VXINS_RECORDER_DIR;
  live.env.push_back({"DZNAJ_RECORD_TARGET", VXINS_SIM_DIR "/libdznaj.so"});
  live.env.push_back({"DZNAJ_RECORD_FILE", recording});
  const Outcome recorded = RunBoth(live, tmp, fw);
  ASSERT_EQ(recorded.runs[0].rc, s.discover_rc);
  ASSERT_EQ(recorded.runs[1].rc, s.flash_rc);
  ASSERT_FALSE(recorded.flash_calls.empty());
  EXPECT_EQ(recorded.said, "");
  remove(inventory.c_str());  // the lab has the recording alone

  SCOPED_TRACE(vxtest::read_file(recording));
  {
    SCOPED_TRACE("replayed");
    ExpectSameRun(recorded,
                  RunBoth(Simulator(tmp, "replay", "DZNAJ_SIM_REPLAY", recording), tmp, fw));
  }
  {
    SCOPED_TRACE("served from the inventory made of the recording");
    const std::string made = tmp.file("made.json");
    ASSERT_EQ(vxtest::run("python3 " + vxtest::shell_quote(VXINS_REPLAY_TO_INVENTORY) + " " +
                          vxtest::shell_quote(recording) + " -o " + vxtest::shell_quote(made)),
              0);
    ExpectSameRun(recorded,
                  RunBoth(Simulator(tmp, "made", "DZNAJ_SIM_INVENTORY", made), tmp, fw));
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ReplayRunTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& i) { return i.param.name; });

}  // namespace
