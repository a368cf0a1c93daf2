// Loads the vendor agent library libdznaj.so, resolves its sixteen entry points into the
// globals of znaj_agent.h and opens/closes the agent session. Called by the host entry points
// once per host call; nothing here lets an agent exception escape.
#ifndef VXINS_AGENT_LOADER_H
#define VXINS_AGENT_LOADER_H

#include "znaj_agent.h"

// dlopen()s the agent (plain name, loader search path) and resolves all sixteen symbols in the
// fixed order, storing each symbol's default stub before its lookup.
// Returns 0, 6 when the library cannot be loaded, -1 when a symbol is missing (the library is
// then still loaded; qrvl_vxinslib_init unloads it).
int setup_znaj_entry_points();

// Loads and resolves the agent, logs its version and opens the session with {"appId": 5821}.
// Returns 0 when the session is open; otherwise 6, -1, 1001 (null answer, or the agent threw)
// or the agent's non-zero "result", and in every failing case the library is unloaded again.
int qrvl_vxinslib_init();

// Closes the session ("free_hba_lib") and unloads the library; call only after a successful
// qrvl_vxinslib_init. Returns 0, or 1001 when "free_hba_lib" threw (the library is unloaded
// all the same); the entry points make 1001 the result of their call.
int qrvl_vxinslib_deinit();

#endif
