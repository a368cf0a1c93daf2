// The agent session against the real simulator: the load and its log, the session's answers and
// the agent's exceptions, and that every failure unloads the library again. Cases that need
// another LD_LIBRARY_PATH (read once at process start) re-run this executable.
#include "agent/session.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "agent/entry_points.h"
#include "agent_test_env.h"
#include "vxins_log.h"

extern char** environ;

namespace {

using agenttest::AgentTest;
using agenttest::default_inventory;
using agenttest::fault;
using agenttest::lines_match;
using vxins::agent::close_session;
using vxins::agent::open_session;
using vxins::agent::session_open;

// The agent's symbols in the order they are resolved.
const char* const kSymbols[16] = {
    "getRequestID",         "init_hba_lib",
    "get_agt_version",      "free_hba_lib",
    "getHbaByWwn",          "getNumberOfAdapters",
    "getAllAdaptersIndexString", "getEthPhyPortIndicesByAdapter",
    "getEthPortByEthMac",   "getPortByWwn",
    "getFcByFcWwn",         "setPortByWwn",
    "getFcoeByPort",        "getFcPhyPortIndicesByAdapter",
    "hba_flashUpgrade",     "getAdvAdapterData"};

// The load's lines for the first count symbols, then more.
std::vector<std::string> fetched(size_t count, const std::vector<std::string>& more = {}) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < count; ++i)
    lines.push_back(std::string("LOG_INFO : fetching for ") + kSymbols[i]);
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

const std::vector<std::string> kVersionLines = {"LOG_INFO : libVersion size = 9",
                                                "LOG_INFO : ZNAJ Library version: 7.4.2-sim"};
const std::vector<std::string> kCloseLines = {"LOG_INFO : --> ~qrvl_vxinslib_init() Destructor.",
                                              "LOG_INFO : <-- ~qrvl_vxinslib_init() Destructor."};

using SessionTest = AgentTest;

TEST_F(SessionTest, OpenLogsTheVersionAndCloseUnloads) {
  use_inventory(default_inventory());
  ASSERT_EQ(open_session(), 0);
  EXPECT_TRUE(lines_match(log_.lines(), fetched(16, kVersionLines)));
  EXPECT_TRUE(session_open());
  EXPECT_TRUE(agenttest::agent_mapped());
  // The session request is {"appId": 5821}, after the version was asked for.
  std::vector<Json::Value> calls = journal();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0]["symbol"].asString(), "get_agt_version");
  EXPECT_EQ(calls[1]["symbol"].asString(), "init_hba_lib");
  EXPECT_EQ(agenttest::to_text(calls[1]["request"]), "{\"appId\":5821}");

  log_.clear();
  EXPECT_EQ(close_session(), 0);
  EXPECT_TRUE(lines_match(log_.lines(), kCloseLines));
  EXPECT_FALSE(session_open());
  EXPECT_FALSE(agenttest::agent_mapped());
  EXPECT_EQ(journal().back()["symbol"].asString(), "free_hba_lib");

  // A second session loads the library again.
  ASSERT_EQ(open_session(), 0);
  EXPECT_EQ(libGetNumOfAdapters(), 3u);
  EXPECT_EQ(close_session(), 0);
  EXPECT_FALSE(agenttest::agent_mapped());
}

TEST_F(SessionTest, EmptyOrNullVersionLogsOnlyItsSize) {
  Json::Value empty = default_inventory();
  empty["agentVersion"] = "";
  Json::Value null = default_inventory();
  null["faults"].append(fault("get_agt_version", "null"));
  for (const Json::Value& inventory : {empty, null}) {
    log_.clear();
    use_inventory(inventory);
    ASSERT_EQ(open_session(), 0);
    EXPECT_TRUE(lines_match(log_.lines(), fetched(16, {"LOG_INFO : libVersion size = 0"})));
    ASSERT_EQ(close_session(), 0);
  }
}

// The session's answer decides: the table gives the "init" member served verbatim.
struct InitCase {
  const char* name;
  const char* init_json;  // the inventory's "init" member
  int code;
  const char* line;  // logged after the version lines, after "LOG_ERROR : libInitHbaLib "
};

// Parameters print as their case name (not as raw bytes, padding included).
void PrintTo(const InitCase& c, std::ostream* os) { *os << c.name; }

class InitAnswerTest : public AgentTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitAnswerTest, ReturnsTheCodeAndUnloadsOnFailure) {
  const InitCase& c = GetParam();
  Json::Value inventory = default_inventory();
  inventory["init"] = agenttest::parse(c.init_json);
  use_inventory(inventory);
  EXPECT_EQ(open_session(), c.code);
  std::vector<std::string> expected = fetched(16, kVersionLines);
  if (c.line != nullptr) expected.push_back(std::string("LOG_ERROR : libInitHbaLib ") + c.line);
  EXPECT_TRUE(lines_match(log_.lines(), expected));
  // A failed session used to leave the library loaded with its handle forgotten.
  EXPECT_EQ(session_open(), c.code == 0);
  EXPECT_EQ(agenttest::agent_mapped(), c.code == 0);
}

const char kNotAnInt[] = "returned a malformed answer (result not an int)";

INSTANTIATE_TEST_SUITE_P(
    Answers, InitAnswerTest,
    ::testing::Values(
        InitCase{"ResultZero", "{\"result\": 0}", 0, nullptr},
        InitCase{"NoResultMember", "{}", 0, nullptr},
        InitCase{"OtherMembersOnly", "{\"session\": 12}", 0, nullptr},
        InitCase{"ResultSeven", "{\"result\": 7}", 7, "is failed with - 7"},
        InitCase{"ResultNegative", "{\"result\": -3}", -3, "is failed with - -3"},
        // "result" is read as JsonCpp's asInt reads it.
        InitCase{"ResultNull", "{\"result\": null}", 0, nullptr},
        InitCase{"ResultSevenAsDouble", "{\"result\": 7.0}", 7, "is failed with - 7"},
        InitCase{"ResultTrue", "{\"result\": true}", 1, "is failed with - 1"},
        InitCase{"ResultBeyondInt", "{\"result\": 4294967295}", 1001, kNotAnInt},
        InitCase{"NullAnswer", "null", 1001, "returns NULL"},
        // Malformed answers used to make JsonCpp throw out of the session set-up.
        InitCase{"StringAnswer", "\"ready\"", 1001,
                 "returned a malformed answer (not an object)"},
        InitCase{"ResultAsString", "{\"result\": \"0\"}", 1001, kNotAnInt}),
    [](const ::testing::TestParamInfo<InitCase>& info) { return std::string(info.param.name); });

// Exceptions from the version and session calls used to escape the session's opening. They
// become 1001; the library is unloaded only after the handler has ended (the exception object
// is the agent's until then).
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
  EXPECT_EQ(open_session(), 1001);
  std::vector<std::string> lines = log_.lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), c.line);
  EXPECT_FALSE(session_open());
  EXPECT_FALSE(agenttest::agent_mapped());
  EXPECT_EQ(journal().back()["threw"].asString(), c.kind);
}

const char kAgentError[] =
    "LOG_ERROR : qrvl_vxinslib_init: agent threw HbaAgentError 5: agent broke, returned "
    "INTERNAL_OPER_FAILED";
const char kStdError[] =
    "LOG_ERROR : qrvl_vxinslib_init: agent threw an exception: agent broke, returned "
    "INTERNAL_OPER_FAILED";

INSTANTIATE_TEST_SUITE_P(
    Throws, InitThrowTest,
    ::testing::Values(
        ThrowCase{"InitAgentError", "init_hba_lib", "throwAgent", kAgentError},
        ThrowCase{"InitStdException", "init_hba_lib", "throwStd", kStdError},
        ThrowCase{"InitOther", "init_hba_lib", "throwOther",
                  "LOG_ERROR : qrvl_vxinslib_init: agent threw an exception: unknown type, "
                  "returned INTERNAL_OPER_FAILED"},
        ThrowCase{"VersionAgentError", "get_agt_version", "throwAgent", kAgentError},
        ThrowCase{"VersionStdException", "get_agt_version", "throwStd", kStdError}),
    [](const ::testing::TestParamInfo<ThrowCase>& info) { return std::string(info.param.name); });

TEST_F(SessionTest, ThrowingFreeStillUnloadsAndReturnsInternalFailure) {
  // An exception out of free_hba_lib used to escape the close and skip the unload.
  for (const char* kind : {"throwAgent", "throwStd", "throwOther"}) {
    SCOPED_TRACE(kind);
    Json::Value inventory = default_inventory();
    inventory["faults"].append(fault("free_hba_lib", kind, "", 9, "cannot release"));
    ASSERT_EQ(start_session(inventory), 0);
    EXPECT_EQ(close_session(), 1001);
    std::vector<std::string> lines = log_.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines.front(), kCloseLines.front());
    EXPECT_EQ(lines[1].compare(0, 34, "LOG_ERROR : qrvl_vxinslib_deinit: "), 0) << lines[1];
    EXPECT_EQ(lines.back(), kCloseLines.back());
    EXPECT_FALSE(session_open());
    EXPECT_FALSE(agenttest::agent_mapped());
  }
}

TEST_F(SessionTest, CloseWithoutLibraryCallsNothing) {
  // A second close used to call free_hba_lib through a pointer into the unmapped library.
  ASSERT_EQ(start_session(default_inventory()), 0);
  ASSERT_EQ(close_session(), 0);
  log_.clear();
  size_t calls = journal().size();
  EXPECT_EQ(close_session(), 0);
  EXPECT_TRUE(lines_match(log_.lines(), kCloseLines));
  EXPECT_EQ(journal().size(), calls);
}

// --- Cases run in a child process with another library search path. ---

// In the child: open the session and record the outcome for the parent.
TEST(SessionChild, Open) {
  const char* log = getenv("VXINS_AGENT_CHILD_LOG");
  const char* result = getenv("VXINS_AGENT_CHILD_RESULT");
  if (log == nullptr || result == nullptr) GTEST_SKIP() << "runs only as a child of the tests";
  ASSERT_TRUE(vxins_log_set_path(log));
  int rc = open_session();
  vxtest::write_file(result, "rc=" + std::to_string(rc) +
                                 " open=" + (session_open() ? "yes" : "no") +
                                 " mapped=" + (agenttest::agent_mapped() ? "yes" : "no"));
}

class SessionPathTest : public AgentTest {
 protected:
  // Runs SessionChild.Open with LD_LIBRARY_PATH=library_dir, logging into this test's log;
  // returns its outcome line.
  std::string run_child(const std::string& library_dir) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "readlink failed";
    self[n] = '\0';
    std::string result = path("child.result");
    std::vector<std::string> env_text = {"LD_LIBRARY_PATH=" + library_dir,
                                         std::string("VXINS_AGENT_CHILD_LOG=") + vxlogfname,
                                         "VXINS_AGENT_CHILD_RESULT=" + result};
    for (char** e = environ; *e != nullptr; ++e)
      if (strncmp(*e, "LD_LIBRARY_PATH=", 16) != 0) env_text.push_back(*e);
    std::vector<char*> envp;
    for (std::string& s : env_text) envp.push_back(&s[0]);
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=SessionChild.Open";
    char* argv[] = {self, &filter[0], nullptr};
    pid_t pid;
    if (posix_spawn(&pid, self, nullptr, nullptr, argv, envp.data()) != 0) return "spawn failed";
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
      return "child failed";
    return vxtest::read_file(result);
  }
};

TEST_F(SessionPathTest, MissingSymbolStopsResolutionThere) {
  struct Case {
    const char* symbol;
    size_t fetched;  // symbols looked up, the missing one included
  };
  for (const Case& c :
       {Case{"getFcoeByPort", 13}, Case{"init_hba_lib", 2}, Case{"getAdvAdapterData", 16}}) {
    SCOPED_TRACE(c.symbol);
    log_.clear();
    std::string dir = std::string(VXINS_SIM_DIR) + "/missing-" + c.symbol;
    // The library was loaded; it must not stay mapped with its handle dropped.
    EXPECT_EQ(run_child(dir), "rc=-1 open=no mapped=no");
    std::vector<std::string> lines = log_.lines();
    ASSERT_EQ(lines.size(), c.fetched + 3);
    EXPECT_TRUE(lines_match(std::vector<std::string>(lines.begin(), lines.begin() + c.fetched),
                            fetched(c.fetched)));
    EXPECT_EQ(lines[c.fetched], "LOG_ERROR : inside Error ");
    const std::string& not_found = lines[c.fetched + 1];
    EXPECT_EQ(not_found.rfind(std::string("LOG_ERROR : ") + c.symbol + " not found. ", 0), 0u)
        << not_found;
    EXPECT_NE(not_found.find(std::string("undefined symbol: ") + c.symbol), std::string::npos)
        << not_found;
    EXPECT_EQ(not_found.back(), ' ');
    EXPECT_EQ(lines[c.fetched + 2],
              "LOG_ERROR : <-- qrvl_vxinslib_init(): znaj_entry point failed");
  }
}

TEST_F(SessionPathTest, NoLibraryOnThePathReturnsSix) {
  EXPECT_EQ(run_child(dir_.path()), "rc=6 open=no mapped=no");
  EXPECT_TRUE(lines_match(
      log_.lines(),
      {"LOG_ERROR : ERROR:DLL Load Failed:libdznaj.so: cannot open shared object file: No such "
       "file or directory",
       "LOG_ERROR : <-- setup_znaj_entry_points failed",
       "LOG_ERROR : <-- qrvl_vxinslib_init(): znaj_entry point failed"}));
}

}  // namespace
