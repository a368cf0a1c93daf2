// The inventory's injected faults and a recording's exceptions: which fault applies to a call,
// its code and message, and the throw itself (journaled first). Used by the entry points
// (sim_core.cpp); it reads the loaded inventory and throws only what a fault or recording asks.
#ifndef DZNAJ_SIM_FAULTS_H
#define DZNAJ_SIM_FAULTS_H

#include <json/json.h>

#include <string>

#include "engine_state.h"
#include "inventory_schema.h"

namespace dznajsim {

// The first fault for this symbol whose key matches (a fault without a key matches every call);
// null when none does or the inventory is unusable.
const Json::Value* find_fault(const Engine& engine, const char* symbol, const std::string& key);
// The fault's kind; Kind::None for no fault.
Kind fault_kind(const Json::Value* fault);
// The fault's "code" (else `fallback`) and "message" (else "simulated failure").
int fault_code(const Json::Value& fault, int fallback);
std::string fault_message(const Json::Value& fault);

// Journals the call (`entry`) as thrown, then throws as the fault's kind says.
[[noreturn]] void throw_fault(const Json::Value& fault, const Json::Value& entry);
// Rethrows what a recorded call threw ({"kind": "agent"|"std"|"other", "code", "message"}), as
// the same kind: the plug-in tells them apart by type.
[[noreturn]] void throw_recorded(const Json::Value& threw, const Json::Value& entry);

}  // namespace dznajsim

#endif
