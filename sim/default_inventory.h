// The simulator's built-in inventory (served when DZNAJ_SIM_INVENTORY is unset). The same text
// is kept as inventories/default.json; a test checks that the two agree.
#ifndef DZNAJ_SIM_DEFAULT_INVENTORY_H
#define DZNAJ_SIM_DEFAULT_INVENTORY_H

namespace dznajsim {
const char* default_inventory_text();
}

#endif
