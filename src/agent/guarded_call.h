// The one place where the plug-in catches what the agent library throws: guarded_call runs a
// call into the agent and reports what happened as a kind, a code and a text. Every call
// through an entry-point pointer in src/agent goes through it. The handlers only copy: the
// exception object belongs to the agent's code and dies when the handler ends, so nothing may
// unload the agent inside one, and callers log only after guarded_call has returned.
#ifndef VXINS_AGENT_GUARDED_CALL_H
#define VXINS_AGENT_GUARDED_CALL_H

#include <exception>
#include <string>

#include "znaj_agent.h"

namespace vxins {
namespace agent {

struct CallOutcome {
  enum class Kind { kReturned, kAgentError, kStdException, kOtherException };
  Kind kind = Kind::kReturned;
  int code = 0;          // an HbaAgentError's errCode
  std::string text;      // its errStr, or a standard exception's what()
  // The address of what(), which some contractual log lines print instead of the text; only
  // ever printed, never dereferenced.
  const void* what_address = nullptr;

  bool threw() const { return kind != Kind::kReturned; }
};

template <typename Call>
CallOutcome guarded_call(Call&& call) {
  CallOutcome outcome;
  try {
    call();
  } catch (const HbaAgentError& e) {
    outcome.kind = CallOutcome::Kind::kAgentError;
    outcome.code = e.errCode;
    outcome.text = e.errStr;
  } catch (const std::exception& e) {
    outcome.kind = CallOutcome::Kind::kStdException;
    outcome.text = e.what();
    outcome.what_address = e.what();
  } catch (...) {
    outcome.kind = CallOutcome::Kind::kOtherException;
  }
  return outcome;
}

}  // namespace agent
}  // namespace vxins

#endif
