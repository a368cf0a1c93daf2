// The agent session of one host call: loads the agent library, logs its version and opens the
// session ("init_hba_lib"); later closes it ("free_hba_lib") and unloads the library. Called by
// the host sequences only; nothing here lets an agent exception escape.
#ifndef VXINS_AGENT_SESSION_H
#define VXINS_AGENT_SESSION_H

namespace vxins {
namespace agent {

// 0 when the session is open; otherwise 6 (no library), -1 (a missing symbol), 1001 (a null or
// malformed answer, or the agent threw) or the agent's own non-zero "result", and in every
// failing case the library is unloaded again.
int open_session();

// Closes the session and unloads the library; only after a successful open_session. 0, or
// 1001 when "free_hba_lib" threw (the library is unloaded all the same).
int close_session();

// True while a library is loaded (a session that was opened and not yet closed).
bool session_open();

}  // namespace agent
}  // namespace vxins

#endif
