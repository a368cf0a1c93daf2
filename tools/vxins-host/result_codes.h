// What the plug-in's integer result codes mean, in words an operator understands: from the trace
// line that produced the result when the call's own trace holds one (one number stands for
// several causes, and the agent's own initialisation result passes through as the call's),
// else from the number alone. Used by the command-line host to report a call; pure functions.
#ifndef VXINS_HOST_RESULT_CODES_H
#define VXINS_HOST_RESULT_CODES_H

#include <string>
#include <vector>

#include "trace_follower.h"

namespace vxhost {

enum class Call { Discover, Flash };

struct ResultMeaning {
  std::string name;     // the symbolic name of the code ("VXINS_RC_..."), or "" when it has none
  std::string meaning;  // one sentence, no trailing full stop
  std::string line;     // the trace message that produced the result, "" when told by number
  bool agent_code = false;  // the agent's own initialisation result, passed through
  bool file_rewritten = false;  // the line says the call rewrote the discovery file first
};

// The meaning of `code` as returned by the given entry point. Never fails: a code outside the
// table is explained as a system error number or the agent library's own answer.
ResultMeaning describe_result(Call call, int code);

// Whether the entry point wrote the discovery file when it returned `code` for the reason
// `meaning` gives (explain_result's): discovery's 0; the flash's 1 and 3 (its rewrite, whatever
// became of the adapters), and its 8 only where the line says the package did not match the file
// (a package that cannot be opened is refused before the file is read); never the agent's own
// code.
bool writes_discovery_file(Call call, int code, const ResultMeaning& meaning);

// The meaning as the call's own trace (no lines when it is not provably the call's own) tells
// it: the first message that produces `code` on this call's path names the cause;
// describe_result's when none does.
ResultMeaning explain_result(Call call, int code, const std::vector<TimedLine>& trace);

}  // namespace vxhost

#endif
