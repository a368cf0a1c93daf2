// The plug-in's binding to libdznaj.so: the library handle and one pointer per entry point
// (generated from ZNAJ_ENTRY_POINTS), valid between a successful load and the unload. Only
// src/agent calls through these pointers; the in-process tests install their fakes here.
#ifndef VXINS_AGENT_ENTRY_POINTS_H
#define VXINS_AGENT_ENTRY_POINTS_H

#include "znaj_agent.h"

extern void* gLibHandle;
#define ZNAJ_DECLARE_POINTER(symbol, shape, pointer, stub) extern symbol##_fp pointer;
ZNAJ_ENTRY_POINTS(ZNAJ_DECLARE_POINTER)
#undef ZNAJ_DECLARE_POINTER

// Default stubs, stored into each pointer just before its symbol is looked up.
Json::Value default_JsonReqFP(const Json::Value& request);
char* default_voidRetStrFP();
uint32_t default_voidRetUIntFP();
int default_voidRetIntFP();
int default_flashUpgradeFP(char* wwn, char* file, uint32_t size, int flag, char* pErrStr,
                           uint32_t len);

namespace vxins {
namespace agent {

// dlopen()s the agent by its plain name (the loader's search path) and resolves the sixteen
// symbols in the table's order. 0; 6 when the library cannot be loaded; -1 at the first
// missing symbol (the library then stays loaded until unload_entry_points).
int load_entry_points();
// dlclose()s the library, if loaded. Never call it inside a catch handler.
void unload_entry_points();
bool entry_points_loaded();

}  // namespace agent
}  // namespace vxins

#endif
