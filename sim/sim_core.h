// The simulator's engine entry points behind libdznaj.so's sixteen exports: each answers from a
// replayed recording, an injected fault or the inventory, and journals the call. Only
// sim_exports.cpp calls it; it throws only what an inventory fault or a recorded call asks for.
#ifndef DZNAJ_SIM_CORE_H
#define DZNAJ_SIM_CORE_H

#include <json/json.h>

#include <cstdint>

namespace dznajsim {

// Every JSON-in/JSON-out entry point, by its exported symbol name. "init_hba_lib" re-reads the
// inventory and state files first; every other call reads them once, on first use.
Json::Value json_call(const char* symbol, const Json::Value& request);

// The entry points of the other shapes, each named after its symbol (sim_exports.cpp forwards
// to them by that name).
char* get_agt_version();
int free_hba_lib();
int getRequestID();
uint32_t getNumberOfAdapters();
int hba_flashUpgrade(char* wwn, char* file, uint32_t size, int flag, char* err, uint32_t len);

}  // namespace dznajsim

#endif
