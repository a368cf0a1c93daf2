// libdznaj.so's sixteen C entry points, generated from the agent contract's table
// (ZNAJ_ENTRY_POINTS): one forwarder per entry-point shape into the simulator's engine. Every
// library variant compiles this file alike; a variant lacking an entry point leaves it out of
// its version script only, which keeps the symbol local where dlsym() cannot find it.
#include <type_traits>

#include "sim_core.h"
#include "znaj_agent.h"

// A JSON entry point hands its own name to the engine's JSON dispatcher; each entry point of
// another shape has an engine function of its own name.
#define DZNAJ_SIM_FORWARD_JsonReqFP(symbol) \
  Json::Value symbol(const Json::Value& request) { return dznajsim::json_call(#symbol, request); }
#define DZNAJ_SIM_FORWARD_voidRetStrFP(symbol) \
  char* symbol() { return dznajsim::symbol(); }
#define DZNAJ_SIM_FORWARD_voidRetUIntFP(symbol) \
  uint32_t symbol() { return dznajsim::symbol(); }
#define DZNAJ_SIM_FORWARD_voidRetIntFP(symbol) \
  int symbol() { return dznajsim::symbol(); }
#define DZNAJ_SIM_FORWARD_flashUpgradeFP(symbol)                                               \
  int symbol(char* wwn, char* file, uint32_t size, int flag, char* pErrStr, uint32_t len) { \
    return dznajsim::symbol(wwn, file, size, flag, pErrStr, len);                          \
  }

// Each definition must have exactly the type the plug-in casts its dlsym() result to.
#define DZNAJ_SIM_EXPORT(symbol, shape, pointer, stub)                \
  DZNAJ_SIM_FORWARD_##shape(symbol)                                   \
  static_assert(std::is_same<decltype(&symbol), symbol##_fp>::value, \
                #symbol " does not match its entry-point type in znaj_agent.h");

extern "C" {
ZNAJ_ENTRY_POINTS(DZNAJ_SIM_EXPORT)
}  // extern "C"
