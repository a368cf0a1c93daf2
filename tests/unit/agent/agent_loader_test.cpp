// The agent loader against the real simulator: resolution order and its log, the session's
// answers and the agent's exceptions, and that every failure unloads the library again. Cases
// that need another LD_LIBRARY_PATH (read once at process start) re-run this executable.
#include "agent/agent_loader.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "agent_test_env.h"
#include "vxins_log.h"

extern char** environ;

namespace {

using agenttest::AgentTest;
using agenttest::default_inventory;
using agenttest::fault;
using agenttest::lines_match;

const char* const kSymbols[16] = {"getRequestID",
                                  "init_hba_lib",
                                  "get_agt_version",
                                  "free_hba_lib",
                                  "getHbaByWwn",
                                  "getNumberOfAdapters",
                                  "getAllAdaptersIndexString",
                                  "getEthPhyPortIndicesByAdapter",
                                  "getEthPortByEthMac",
                                  "getPortByWwn",
                                  "getFcByFcWwn",
                                  "setPortByWwn",
                                  "getFcoeByPort",
                                  "getFcPhyPortIndicesByAdapter",
                                  "hba_flashUpgrade",
                                  "getAdvAdapterData"};

std::vector<std::string> fetching_lines(size_t count) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < count; ++i)
    lines.push_back(std::string("LOG_INFO : fetching for ") + kSymbols[i]);
  return lines;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class AgentLoaderTest : public AgentTest {};

TEST_F(AgentLoaderTest, InitResolvesAllSymbolsInOrderAndLogsTheVersion) {
  use_inventory(default_inventory());
  ASSERT_EQ(qrvl_vxinslib_init(), 0);
  EXPECT_TRUE(lines_match(
      log_lines(), concat(fetching_lines(16), {"LOG_INFO : libVersion size = 9",
                                               "LOG_INFO : ZNAJ Library version: 7.4.2-sim"})));
  ASSERT_NE(gLibHandle, nullptr);
  EXPECT_TRUE(agenttest::agent_mapped());
  // Every pointer holds the library's own symbol, none is left at its stub.
  EXPECT_EQ(reinterpret_cast<void*>(libGetRequestID), dlsym(gLibHandle, "getRequestID"));
  EXPECT_EQ(reinterpret_cast<void*>(libInitHbaLib), dlsym(gLibHandle, "init_hba_lib"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetAgtVersion), dlsym(gLibHandle, "get_agt_version"));
  EXPECT_EQ(reinterpret_cast<void*>(libFreeHbaLib), dlsym(gLibHandle, "free_hba_lib"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetHbaByWwn), dlsym(gLibHandle, "getHbaByWwn"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetNumOfAdapters), dlsym(gLibHandle, "getNumberOfAdapters"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetAllAdapterIndexString),
            dlsym(gLibHandle, "getAllAdaptersIndexString"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetEthPhyPortIndicesByAdapter),
            dlsym(gLibHandle, "getEthPhyPortIndicesByAdapter"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetEthPortByEthMac),
            dlsym(gLibHandle, "getEthPortByEthMac"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetPortByWwn), dlsym(gLibHandle, "getPortByWwn"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetFcByFcWwn), dlsym(gLibHandle, "getFcByFcWwn"));
  EXPECT_EQ(reinterpret_cast<void*>(libSetPortByWwn), dlsym(gLibHandle, "setPortByWwn"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetFcoeByPort), dlsym(gLibHandle, "getFcoeByPort"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetFcPhyPortIndicesByAdapter),
            dlsym(gLibHandle, "getFcPhyPortIndicesByAdapter"));
  EXPECT_EQ(reinterpret_cast<void*>(libHbaFlashUpgrade), dlsym(gLibHandle, "hba_flashUpgrade"));
  EXPECT_EQ(reinterpret_cast<void*>(libGetAdvAdapterData), dlsym(gLibHandle, "getAdvAdapterData"));

  // The session request is {"appId": 5821}, after the version was asked for.
  std::vector<Json::Value> calls = journal();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0]["symbol"].asString(), "get_agt_version");
  EXPECT_EQ(calls[1]["symbol"].asString(), "init_hba_lib");
  EXPECT_EQ(agenttest::to_text(calls[1]["request"]), "{\"appId\":5821}");

  clear_log();
  EXPECT_EQ(qrvl_vxinslib_deinit(), 0);
  EXPECT_TRUE(lines_match(log_lines(), {"LOG_INFO : --> ~qrvl_vxinslib_init() Destructor.",
                                        "LOG_INFO : <-- ~qrvl_vxinslib_init() Destructor."}));
  EXPECT_EQ(gLibHandle, nullptr);
  EXPECT_FALSE(agenttest::agent_mapped());
  EXPECT_EQ(journal().back()["symbol"].asString(), "free_hba_lib");
}

TEST_F(AgentLoaderTest, LoadsAgainAfterDeinit) {
  ASSERT_EQ(open_session(default_inventory()), 0);
  ASSERT_EQ(qrvl_vxinslib_deinit(), 0);
  ASSERT_EQ(qrvl_vxinslib_init(), 0);
  EXPECT_NE(gLibHandle, nullptr);
  EXPECT_EQ(libGetNumOfAdapters(), 3u);
  EXPECT_EQ(qrvl_vxinslib_deinit(), 0);
  EXPECT_FALSE(agenttest::agent_mapped());
}

TEST_F(AgentLoaderTest, EmptyOrNullVersionLogsOnlyItsSize) {
  Json::Value inventory = default_inventory();
  inventory["agentVersion"] = "";
  use_inventory(inventory);
  ASSERT_EQ(qrvl_vxinslib_init(), 0);
  EXPECT_TRUE(
      lines_match(log_lines(), concat(fetching_lines(16), {"LOG_INFO : libVersion size = 0"})));
  ASSERT_EQ(qrvl_vxinslib_deinit(), 0);

  clear_log();
  inventory = default_inventory();
  inventory["faults"].append(fault("get_agt_version", "null"));
  use_inventory(inventory);
  ASSERT_EQ(qrvl_vxinslib_init(), 0);
  EXPECT_TRUE(
      lines_match(log_lines(), concat(fetching_lines(16), {"LOG_INFO : libVersion size = 0"})));
}

// The session's answer decides: the table gives the "init" member served verbatim.
struct InitCase {
  const char* name;
  const char* init_json;  // the inventory's "init" member
  int code;
  std::vector<std::string> lines;  // logged after the version lines
};

// Parameters print as their case name (not as raw bytes, padding included).
void PrintTo(const InitCase& c, std::ostream* os) { *os << c.name; }

class InitAnswerTest : public AgentTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitAnswerTest, ReturnsTheCodeAndUnloadsOnFailure) {
  const InitCase& c = GetParam();
  Json::Value inventory = default_inventory();
  inventory["init"] = agenttest::parse(c.init_json);
  use_inventory(inventory);
  EXPECT_EQ(qrvl_vxinslib_init(), c.code);
  std::vector<std::string> expected =
      concat(fetching_lines(16),
             {"LOG_INFO : libVersion size = 9", "LOG_INFO : ZNAJ Library version: 7.4.2-sim"});
  EXPECT_TRUE(lines_match(log_lines(), concat(expected, c.lines)));
  if (c.code == 0) {
    EXPECT_NE(gLibHandle, nullptr);
  } else {
    // A failed session used to leave the library loaded with its handle forgotten.
    EXPECT_EQ(gLibHandle, nullptr);
    EXPECT_FALSE(agenttest::agent_mapped());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InitAnswerTest,
    ::testing::Values(
        InitCase{"ResultZero", "{\"result\": 0}", 0, {}}, InitCase{"NoResultMember", "{}", 0, {}},
        InitCase{"OtherMembersOnly", "{\"session\": 12}", 0, {}},
        InitCase{
            "ResultSeven", "{\"result\": 7}", 7, {"LOG_ERROR : libInitHbaLib is failed with - 7"}},
        InitCase{"ResultNegative",
                 "{\"result\": -3}",
                 -3,
                 {"LOG_ERROR : libInitHbaLib is failed with - -3"}},
        // "result" is read as JsonCpp's asInt reads it.
        InitCase{"ResultNull", "{\"result\": null}", 0, {}},
        InitCase{"ResultSevenAsDouble",
                 "{\"result\": 7.0}",
                 7,
                 {"LOG_ERROR : libInitHbaLib is failed with - 7"}},
        InitCase{
            "ResultTrue", "{\"result\": true}", 1, {"LOG_ERROR : libInitHbaLib is failed with - 1"}},
        InitCase{"ResultBeyondInt",
                 "{\"result\": 4294967295}",
                 1001,
                 {"LOG_ERROR : libInitHbaLib returned a malformed answer (result not an int)"}},
        InitCase{"NullAnswer", "null", 1001, {"LOG_ERROR : libInitHbaLib returns NULL"}},
        // Malformed answers used to make JsonCpp throw out of the session set-up.
        InitCase{"StringAnswer",
                 "\"ready\"",
                 1001,
                 {"LOG_ERROR : libInitHbaLib returned a malformed answer (not an object)"}},
        InitCase{"ResultAsString",
                 "{\"result\": \"0\"}",
                 1001,
                 {"LOG_ERROR : libInitHbaLib returned a malformed answer (result not an int)"}}),
    [](const ::testing::TestParamInfo<InitCase>& info) { return std::string(info.param.name); });

// Exceptions from the version and session calls used to escape qrvl_vxinslib_init. They become
// 1001; the library is unloaded only after the handler has ended (the exception object is the
// agent's until then).
struct ThrowCase {
  const char* name;
  const char* symbol;
  const char* kind;
  std::string line;
};

// Parameters print as their case name (not as raw bytes, padding included).
void PrintTo(const ThrowCase& c, std::ostream* os) { *os << c.name; }

class InitThrowTest : public AgentTest, public ::testing::WithParamInterface<ThrowCase> {};

TEST_P(InitThrowTest, BecomesInternalFailureAndUnloads) {
  const ThrowCase& c = GetParam();
  Json::Value inventory = default_inventory();
  inventory["faults"].append(fault(c.symbol, c.kind, "", 5, "agent broke"));
  use_inventory(inventory);
  EXPECT_EQ(qrvl_vxinslib_init(), 1001);
  std::vector<std::string> lines = log_lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), c.line);
  EXPECT_EQ(gLibHandle, nullptr);
  EXPECT_FALSE(agenttest::agent_mapped());
  EXPECT_EQ(journal().back()["threw"].asString(), c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    Throws, InitThrowTest,
    ::testing::Values(
        ThrowCase{"InitAgentError", "init_hba_lib", "throwAgent",
                  "LOG_ERROR : qrvl_vxinslib_init: agent threw HbaAgentError 5: agent broke, "
                  "returned INTERNAL_OPER_FAILED"},
        ThrowCase{"InitStdException", "init_hba_lib", "throwStd",
                  "LOG_ERROR : qrvl_vxinslib_init: agent threw an exception: agent broke, "
                  "returned INTERNAL_OPER_FAILED"},
        ThrowCase{"InitOther", "init_hba_lib", "throwOther",
                  "LOG_ERROR : qrvl_vxinslib_init: agent threw an exception: unknown type, "
                  "returned INTERNAL_OPER_FAILED"},
        ThrowCase{"VersionAgentError", "get_agt_version", "throwAgent",
                  "LOG_ERROR : qrvl_vxinslib_init: agent threw HbaAgentError 5: agent broke, "
                  "returned INTERNAL_OPER_FAILED"},
        ThrowCase{"VersionStdException", "get_agt_version", "throwStd",
                  "LOG_ERROR : qrvl_vxinslib_init: agent threw an exception: agent broke, "
                  "returned INTERNAL_OPER_FAILED"}),
    [](const ::testing::TestParamInfo<ThrowCase>& info) { return std::string(info.param.name); });

TEST_F(AgentLoaderTest, ThrowingFreeStillUnloadsAndReturnsInternalFailure) {
  // An exception out of free_hba_lib used to escape the deinit and skip the unload.
  for (const char* kind : {"throwAgent", "throwStd", "throwOther"}) {
    SCOPED_TRACE(kind);
    Json::Value inventory = default_inventory();
    inventory["faults"].append(fault("free_hba_lib", kind, "", 9, "cannot release"));
    ASSERT_EQ(open_session(inventory), 0);
    EXPECT_EQ(qrvl_vxinslib_deinit(), 1001);
    std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "LOG_INFO : --> ~qrvl_vxinslib_init() Destructor.");
    EXPECT_EQ(lines[1].compare(0, 34, "LOG_ERROR : qrvl_vxinslib_deinit: "), 0) << lines[1];
    EXPECT_EQ(lines.back(), "LOG_INFO : <-- ~qrvl_vxinslib_init() Destructor.");
    EXPECT_EQ(gLibHandle, nullptr);
    EXPECT_FALSE(agenttest::agent_mapped());
  }
}

TEST_F(AgentLoaderTest, DeinitWithoutLibraryCallsNothing) {
  // A second deinit used to call free_hba_lib through a pointer into the unmapped library.
  ASSERT_EQ(open_session(default_inventory()), 0);
  ASSERT_EQ(qrvl_vxinslib_deinit(), 0);
  clear_log();
  EXPECT_EQ(qrvl_vxinslib_deinit(), 0);
  EXPECT_TRUE(lines_match(log_lines(), {"LOG_INFO : --> ~qrvl_vxinslib_init() Destructor.",
                                        "LOG_INFO : <-- ~qrvl_vxinslib_init() Destructor."}));
}

TEST(AgentStubsTest, DefaultStubsAnswerNothing) {
  EXPECT_TRUE(default_JsonReqFP(Json::Value("x")).isNull());
  EXPECT_EQ(default_voidRetStrFP(), nullptr);
  EXPECT_EQ(default_voidRetUIntFP(), 0xFFFFu);
  EXPECT_EQ(default_voidRetIntFP(), -1);
  char buf[8] = "";
  EXPECT_EQ(default_flashUpgradeFP(buf, buf, 0, 0, buf, sizeof buf), -1);
}

// --- Cases run in a child process with another library search path. ---

// In the child: open the session and record the outcome for the parent.
TEST(AgentLoaderChild, RunInit) {
  const char* log = getenv("VXINS_AGENT_CHILD_LOG");
  const char* result = getenv("VXINS_AGENT_CHILD_RESULT");
  if (log == nullptr || result == nullptr)
    GTEST_SKIP() << "runs only as a child of the loader tests";
  ASSERT_TRUE(vxins_log_set_path(log));
  int rc = qrvl_vxinslib_init();
  std::string outcome = "rc=" + std::to_string(rc) +
                        " handle=" + (gLibHandle != nullptr ? "set" : "null") +
                        " mapped=" + (agenttest::agent_mapped() ? "yes" : "no") + "\n";
  vxtest::write_file(result, outcome);
}

class AgentLoaderPathTest : public AgentTest {
 protected:
  // Runs AgentLoaderChild.RunInit with LD_LIBRARY_PATH=library_dir; returns its outcome line.
  std::string run_child(const std::string& library_dir) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "readlink failed";
    self[n] = '\0';
    std::string result = path("child.result");
    std::vector<std::string> env_text = {"LD_LIBRARY_PATH=" + library_dir,
                                         "VXINS_AGENT_CHILD_LOG=" + log_,
                                         "VXINS_AGENT_CHILD_RESULT=" + result};
    for (char** e = environ; *e != nullptr; ++e)
      if (strncmp(*e, "LD_LIBRARY_PATH=", 16) != 0) env_text.push_back(*e);
    std::vector<char*> envp;
    for (std::string& s : env_text) envp.push_back(&s[0]);
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=AgentLoaderChild.RunInit";
    char* argv[] = {self, &filter[0], nullptr};
    pid_t pid;
    if (posix_spawn(&pid, self, nullptr, nullptr, argv, envp.data()) != 0) return "spawn failed";
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
      return "child failed";
    std::string outcome = vxtest::read_file(result);
    if (!outcome.empty() && outcome.back() == '\n') outcome.pop_back();
    return outcome;
  }
};

TEST_F(AgentLoaderPathTest, MissingSymbolStopsResolutionThere) {
  struct Case {
    const char* symbol;
    size_t fetched;  // symbols looked up, the missing one included
  };
  for (const Case& c :
       {Case{"getFcoeByPort", 13}, Case{"init_hba_lib", 2}, Case{"getAdvAdapterData", 16}}) {
    SCOPED_TRACE(c.symbol);
    clear_log();
    std::string dir = std::string(VXINS_SIM_DIR) + "/missing-" + c.symbol;
    // The library was loaded; it must not stay mapped with its handle dropped.
    EXPECT_EQ(run_child(dir), "rc=-1 handle=null mapped=no");
    std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), c.fetched + 3);
    EXPECT_TRUE(lines_match(std::vector<std::string>(lines.begin(), lines.begin() + c.fetched),
                            fetching_lines(c.fetched)));
    EXPECT_EQ(lines[c.fetched], "LOG_ERROR : inside Error ");
    std::string not_found = std::string("LOG_ERROR : ") + c.symbol + " not found. ";
    EXPECT_EQ(lines[c.fetched + 1].compare(0, not_found.size(), not_found), 0)
        << lines[c.fetched + 1];
    EXPECT_NE(lines[c.fetched + 1].find("undefined symbol: " + std::string(c.symbol)),
              std::string::npos)
        << lines[c.fetched + 1];
    EXPECT_EQ(lines[c.fetched + 1].back(), ' ');
    EXPECT_EQ(lines[c.fetched + 2],
              "LOG_ERROR : <-- qrvl_vxinslib_init(): znaj_entry point failed");
  }
}

TEST_F(AgentLoaderPathTest, NoLibraryOnThePathReturnsSix) {
  EXPECT_EQ(run_child(dir_.path()), "rc=6 handle=null mapped=no");
  EXPECT_TRUE(lines_match(
      log_lines(),
      {"LOG_ERROR : ERROR:DLL Load Failed:libdznaj.so: cannot open shared object file: No such "
       "file or directory",
       "LOG_ERROR : <-- setup_znaj_entry_points failed",
       "LOG_ERROR : <-- qrvl_vxinslib_init(): znaj_entry point failed"}));
}

}  // namespace
