// Runs one call into the agent library (or code that may meet a malformed agent answer) and
// turns anything it throws into INTERNAL_OPER_FAILED with a log line. Used by the host
// sequences so that no exception leaves an exported function. The handler only copies the
// exception's text: the object belongs to the agent's code and is destroyed when the handler
// ends, so callers release the agent only after call_guarded has returned.
#ifndef VXINS_HOST_CALL_GUARD_H
#define VXINS_HOST_CALL_GUARD_H

#include <exception>
#include <string>

#include "vxins_host_api.h"
#include "znaj_agent.h"

// Releases the agent library if a call left it loaded (only after an exception escaped a
// sequence); returns true when it had to. Never call it inside a catch handler.
bool release_agent_if_loaded();

void log_guarded_exception(const char* what, const char* kind, const std::string& text);

template <typename F>
int call_guarded(const char* what, F&& f) {
  try {
    return f();
  } catch (const HbaAgentError& e) {
    log_guarded_exception(what, "agent error", std::to_string(e.errCode) + " " + e.errStr);
  } catch (const std::exception& e) {
    log_guarded_exception(what, "exception", e.what());
  } catch (...) {
    log_guarded_exception(what, "unknown exception", "");
  }
  return INTERNAL_OPER_FAILED;
}

#endif
