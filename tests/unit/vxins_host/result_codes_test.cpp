// The plug-in's result codes in the operator's words: each call's own reading of a code, codes
// outside the table explained as the folder's error number or the agent's own answer, and every
// code told from the trace line that produced it.
#include "result_codes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "vxins_host_api.h"

namespace {

using vxhost::Call;

TEST(ResultCodesTest, EachCallReadsACodeItsOwnWay) {
  struct Row {
    Call call;
    int code;
    const char* name;
    std::string phrase;
  };
  const Row rows[] = {
      {Call::Discover, VXINS_RC_DISCOVERY_OK, "VXINS_RC_DISCOVERY_OK", "file was written"},
      {Call::Discover, VXINS_RC_ALL_SKIP, "VXINS_RC_ALL_SKIP", "unexpected for a discovery"},
      {Call::Discover, VXINS_RC_NO_ADAPTERS, "VXINS_RC_NO_ADAPTERS", "no discovery file remains"},
      {Call::Flash, VXINS_RC_NO_ADAPTERS, "VXINS_RC_NO_ADAPTERS", "lists no device"},
      // A row without a flash text reads the same for both calls.
      {Call::Flash, VXINS_RC_AGENT_LOAD_FAILED, "VXINS_RC_AGENT_LOAD_FAILED", "see --agent"},
      {Call::Discover, -1, "", "does not exist"},
      // Outside the table: a positive code may be the folder's errno; any, the agent's answer.
      {Call::Discover, ENOENT, "",
       std::string("could not be opened (") + strerror(ENOENT) + "), or the agent"},
      {Call::Flash, -7, "", "the agent library's initialisation answered -7"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.code) + (r.call == Call::Flash ? " (flash)" : " (discover)"));
    const vxhost::ResultMeaning m = vxhost::describe_result(r.call, r.code);
    EXPECT_EQ(m.name, r.name);
    EXPECT_NE(m.meaning.find(r.phrase), std::string::npos) << m.meaning;
    // Only a positive code outside the table can be the firmware folder's errno.
    if (m.name.empty()) {
      EXPECT_EQ(m.meaning.find("folder") != std::string::npos, r.code > 0);
    }
  }
}

// The same number, told from the trace line that produced it: the agent's own initialisation
// answer passes through as the call's result and is never read as the plug-in's code. The line
// also tells whether the call wrote the discovery file: a flash's 8 for a package that cannot be
// opened, or the agent's own code, leaves the file as it was.
TEST(ResultCodesTest, EachResultIsToldFromTheLineThatProducedIt) {
  struct Row {
    Call call;
    int code;
    std::vector<std::string> messages;  // the call's own trace
    const char* name;
    std::string phrase;
    bool agent_code;
    bool written;  // the call wrote the discovery file
  };
  const std::string init = "libInitHbaLib is failed with - ";
  const std::string not_initialized = "Library is not initialized.";
  const Row rows[] = {
      {Call::Discover, 4, {init + "4"}, "", "initialisation failed with its own code", true,
       false},
      {Call::Flash, 8, {init + "8", not_initialized}, "", "its own code", true, false},
      {Call::Flash, 11, {init + "11", not_initialized}, "", "its own code", true, false},
      {Call::Flash, VXINS_RC_INTERNAL_OPER_FAILED,
       {init + "1", "Agent initialisation result 1 is a flash result code: returned "
                    "INTERNAL_OPER_FAILED", not_initialized},
       "VXINS_RC_INTERNAL_OPER_FAILED", "would read as a flash result", false, false},
      {Call::Flash, 8, {"Passed version=2.0.0.0 != DiscoveryFw version=3.1.0.0"},
       "VXINS_RC_FW_MISMATCH", "another version than the discovery file was made for", false,
       true},
      {Call::Flash, 8, {"Passed=o.tar != DiscoveryFw file=p.tar"}, "VXINS_RC_FW_MISMATCH",
       "file name is not the discovery file's", false, true},
      {Call::Flash, 8, {"FW FILE (/fw/p.tar)Open Failed."}, "VXINS_RC_FW_MISMATCH",
       "cannot be opened", false, false},
      {Call::Discover, 9, {"FW FILE (/fw/p.tar)Open Failed."}, "VXINS_RC_FW_OPEN_FAILED",
       "cannot be opened", false, false},
      {Call::Flash, 4, {"No adapters in the system!"}, "VXINS_RC_NO_ADAPTERS",
       "the agent library reports none", false, false},
      {Call::Flash, 4, {"No Quorvel Devices Found"}, "VXINS_RC_NO_ADAPTERS",
       "the discovery file lists no device", false, false},
      {Call::Flash, 11, {"DISC FILE Open Failed."}, "VXINS_RC_DISC_FILE_OPEN_FAILED",
       "the discovery file cannot be opened", false, false},
      {Call::Flash, 1, {}, "VXINS_RC_FLASH_DONE", "the update pass ran", false, true},
      {Call::Flash, 3, {"All Action Status Values are Set to Skip"}, "VXINS_RC_ALL_SKIP",
       "every device", false, true},
      {Call::Discover, 0, {}, "VXINS_RC_DISCOVERY_OK", "file was written", false, true},
      // No line of the call's own (or another number in it): told from the number alone, and a
      // flash's 8 is not taken for a rewrite.
      {Call::Flash, 8, {}, "VXINS_RC_FW_MISMATCH", "its file name or the version", false, false},
      {Call::Discover, 4, {init + "9"}, "VXINS_RC_NO_ADAPTERS", "no discovery file remains",
       false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.code) + (r.call == Call::Flash ? " (flash)" : " (discover)"));
    std::vector<vxhost::TimedLine> trace;
    for (const std::string& message : r.messages) trace.emplace_back("LOG_INFO : " + message, 0.0);
    const vxhost::ResultMeaning m = vxhost::explain_result(r.call, r.code, trace);
    EXPECT_EQ(m.name, r.name);
    EXPECT_NE(m.meaning.find(r.phrase), std::string::npos) << m.meaning;
    EXPECT_EQ(m.agent_code, r.agent_code);
    EXPECT_EQ(vxhost::writes_discovery_file(r.call, r.code, m), r.written);
  }
}

}  // namespace
