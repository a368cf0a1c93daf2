// The simulator's built-in inventory (served when DZNAJ_SIM_INVENTORY is unset): the text of
// inventories/default.json, compiled in by the build (default_inventory.cpp.in), after one
// leading newline. Used by the engine and by the test that compares it with the file.
#ifndef DZNAJ_SIM_DEFAULT_INVENTORY_H
#define DZNAJ_SIM_DEFAULT_INVENTORY_H

namespace dznajsim {
const char* default_inventory_text();
}

#endif
