// The agent session as a sequence holds it: opened once, closed exactly once on whatever path
// the sequence leaves by, with the exit trace before or after the release as each path of the
// host contract has it. Used by the discovery and flash sequences.
#ifndef VXINS_HOST_AGENT_SCOPE_H
#define VXINS_HOST_AGENT_SCOPE_H

namespace vxins {
namespace host {

// Where a failing path writes its exit trace relative to closing the session.
enum class ExitOrder { kTraceThenRelease, kReleaseThenTrace };

class AgentScope {
 public:
  // No destructor closes the session: an exception escaping a sequence may belong to the
  // agent, whose code must stay loaded until the entry point's handler has ended; the entry
  // point closes the session after it (see entry_points.cpp).
  AgentScope() = default;
  AgentScope(const AgentScope&) = delete;
  AgentScope& operator=(const AgentScope&) = delete;

  // Opens the session: 0, or the code of the failure (the library is then not loaded).
  int open();
  // A failing path: closes the session around the exit trace and returns rc, whatever the
  // closing reports.
  int leave(int rc, const char* exit_trace, ExitOrder order);
  // A failing path that has written its exit trace itself (or writes none).
  int leave(int rc);
  // A path that completed its work: closes the session and returns result, or 1001 when the
  // agent threw while the session was being closed.
  int finish(int result);

 private:
  int close();
  bool open_ = false;
};

}  // namespace host
}  // namespace vxins

#endif
