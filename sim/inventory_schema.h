// What the simulator's files may hold: the agent's entry points by shape, the fault kinds, and
// the strict checks of an inventory and a state file (every key known, every walked value of its
// type; sim/README.md describes the format). Used by the engine and the replay; never throws.
#ifndef DZNAJ_SIM_INVENTORY_SCHEMA_H
#define DZNAJ_SIM_INVENTORY_SCHEMA_H

#include <string>

#include "json_source.h"

namespace dznajsim {

// The agent's entry points and their shapes, from the contract's table.
enum class Shape { JsonReqFP, voidRetStrFP, voidRetUIntFP, voidRetIntFP, flashUpgradeFP };
// False when `symbol` is no entry point.
bool entry_point_shape(const std::string& symbol, Shape* shape);

enum class Kind { Null, Error, Shape, ThrowAgent, ThrowStd, ThrowOther, Answer, None };
Kind kind_of(const std::string& name);
bool is_throw(Kind kind);

// True when the document is a usable inventory; otherwise `why` is one located message
// ("inventory /x/inv.json:7:9: adapters[0].fcports: unknown key").
bool check_inventory(const JsonSource& source, std::string& why);
// The same for a state file: {"<adapter index>": {"flashedBiosVersion": "<text>"}, ...}, or in
// a replay {"replay": {"recording": "<path>", "nextSession": <n>}}.
bool check_state(const JsonSource& source, bool replay, std::string& why);

}  // namespace dznajsim

#endif
