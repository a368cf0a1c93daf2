// Firmware actions: the action a package version proposes against the flashed one, and the
// words that name actions in a discovery file. Used by the enumeration, the device record and
// the discovery reader; pure functions that only log which version field they compare.
#ifndef VXINS_INVENTORY_FIRMWARE_ACTION_H
#define VXINS_INVENTORY_FIRMWARE_ACTION_H

#include <string>

typedef enum fw_action_status_e {
  FW_STATUS_SKIP = 0,
  FW_STATUS_UPGRADE = 1,
  FW_STATUS_DOWNGRADE = 2,
  FW_STATUS_REWRITE = 3,
  FW_STATUS_MISMATCH = 4
} fw_action_status_t;

namespace vxins {
namespace inventory {

// Offered version first, flashed second, both "Major.Minor.Maintenance.Patch". Upgrade (offered
// newer, or either version empty), Downgrade (offered older) or Rewrite (equal). A missing or
// empty field reads as 0; a field too large for an int saturates.
fw_action_status_t action_for_versions(const std::string& offered, const std::string& flashed);

// The text a record stores for an action: "Upgrade", "Downgrade", "Rewrite", "FW mismatch", or
// "Skip" for any other value.
const char* action_text(int action);

// The action a discovery file's word names: only the capitalised and the lower-case spelling
// of each word are understood. False for any other word.
bool action_from_word(const std::string& word, fw_action_status_t& action);

}  // namespace inventory
}  // namespace vxins

#endif
