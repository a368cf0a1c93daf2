// The plug-in's result codes in the operator's words: each call's own reading of a code, and
// codes outside the table explained as the folder's error number or the agent's own answer.
#include "result_codes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

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

}  // namespace
