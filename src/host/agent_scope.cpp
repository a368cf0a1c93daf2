#include "agent_scope.h"

#include "agent/session.h"
#include "log/log.h"

namespace vxins {
namespace host {

int AgentScope::open() {
  int rc = agent::open_session();
  open_ = rc == 0;
  return rc;
}

int AgentScope::close() {
  if (!open_) return 0;
  open_ = false;
  return agent::close_session();
}

int AgentScope::leave(int rc, const char* exit_trace, ExitOrder order) {
  if (order == ExitOrder::kTraceThenRelease) log::entry.error("%s", exit_trace);
  close();
  if (order == ExitOrder::kReleaseThenTrace) log::entry.error("%s", exit_trace);
  return rc;
}

int AgentScope::leave(int rc) {
  close();
  return rc;
}

int AgentScope::finish(int result) {
  int close_rc = close();
  return close_rc != 0 ? close_rc : result;
}

}  // namespace host
}  // namespace vxins
