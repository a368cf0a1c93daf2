// The plug-in's result codes in the operator's words: each call's own reading of a code, and
// codes outside the table explained as the folder's error number or the agent's own answer.
#include "result_codes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "vxins_host_api.h"

namespace {

using vxhost::Call;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ResultCodesTest, EachCallReadsACodeItsOwnWay) {
  struct Row {
    Call call;
    int code;
    const char* name;
    std::string phrase;
  };
  const std::string enoent = strerror(ENOENT);
  const Row rows[] = {
      {Call::Discover, VXINS_RC_DISCOVERY_OK, "VXINS_RC_DISCOVERY_OK", "file was written"},
      {Call::Flash, VXINS_RC_DISCOVERY_OK, "VXINS_RC_DISCOVERY_OK", "unexpected for a flash"},
      {Call::Flash, VXINS_RC_FLASH_DONE, "VXINS_RC_FLASH_DONE", "the update pass ran"},
      {Call::Discover, VXINS_RC_FLASH_DONE, "VXINS_RC_FLASH_DONE", "unexpected for a discovery"},
      {Call::Flash, VXINS_RC_ALL_SKIP, "VXINS_RC_ALL_SKIP", "every device"},
      {Call::Discover, VXINS_RC_NO_ADAPTERS, "VXINS_RC_NO_ADAPTERS", "no discovery file remains"},
      {Call::Flash, VXINS_RC_NO_ADAPTERS, "VXINS_RC_NO_ADAPTERS", "lists no device"},
      // A row without a flash text reads the same for both calls.
      {Call::Flash, VXINS_RC_AGENT_LOAD_FAILED, "VXINS_RC_AGENT_LOAD_FAILED", "see --agent"},
      {Call::Flash, VXINS_RC_FW_MISMATCH, "VXINS_RC_FW_MISMATCH", "file name differs"},
      {Call::Flash, VXINS_RC_INTERNAL_OPER_FAILED, "VXINS_RC_INTERNAL_OPER_FAILED",
       "could not be read for sure"},
      {Call::Discover, VXINS_RC_INVALID_ARG, "VXINS_RC_INVALID_ARG", "is not a folder"},
      {Call::Discover, VXINS_RC_BAD_VERSION_MEMBER, "VXINS_RC_BAD_VERSION_MEMBER", "<version>"},
      {Call::Discover, -1, "", "does not exist"},
      // Outside the table: positive codes may be the folder's errno, any code the agent's.
      {Call::Discover, ENOENT, "", "could not be opened (" + enoent + "), or the agent"},
      {Call::Flash, -7, "", "the agent library's initialisation answered -7"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.code) + (r.call == Call::Flash ? " (flash)" : " (discover)"));
    const vxhost::ResultMeaning m = vxhost::describe_result(r.call, r.code);
    EXPECT_EQ(m.name, r.name);
    EXPECT_TRUE(Contains(m.meaning, r.phrase)) << m.meaning;
  }
  EXPECT_FALSE(Contains(vxhost::describe_result(Call::Flash, -7).meaning, "folder"));
}

// Every code either call can return reads as one sentence without its full stop: the host ends
// its own lines with it ("failed with result 8: <meaning>").
TEST(ResultCodesTest, EveryMeaningIsOneSentenceWithoutFullStop) {
  for (Call call : {Call::Discover, Call::Flash}) {
    for (int code = -2; code <= 1010; ++code) {
      const std::string meaning = vxhost::describe_result(call, code).meaning;
      ASSERT_FALSE(meaning.empty()) << code;
      EXPECT_NE(meaning.back(), '.') << code << ": " << meaning;
      EXPECT_FALSE(Contains(meaning, "\n")) << code << ": " << meaning;
    }
  }
}

}  // namespace
