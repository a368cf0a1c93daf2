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

// How a discovery file's action value reads: a word naming an action (in any letter case, with
// blanks around it ignored: " SKIP " is Skip), no word at all (empty or blanks), or a word that
// names none, which must not be guessed at.
enum class ActionWord { kAction, kNoWord, kUnknownWord };
ActionWord read_action_word(const std::string& value, fw_action_status_t& action);
// The words read_action_word knows, for a message: "Upgrade, Downgrade, ... or Skip".
std::string known_action_words();

}  // namespace inventory
}  // namespace vxins

#endif
