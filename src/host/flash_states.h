// What the flash call knows about each adapter the agent lists: whether a flash of it was
// attempted in this call, so that an adapter is flashed at most once whatever the number of
// its functions in the discovery file. Used by the flash sequence and its update pass.
#ifndef VXINS_HOST_FLASH_STATES_H
#define VXINS_HOST_FLASH_STATES_H

#include <cstddef>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace vxins {
namespace host {

struct AdapterFlashState {
  std::string adapter_index;     // the agent's index string, exactly as listed
  bool flash_attempted = false;  // successful or not
};

class FlashStates {
 public:
  // One state per element of the agent's index list, in its order, duplicates kept. 0; 1001
  // (the agent threw or its answer is unusable) or 4 (no adapter), logged.
  int load_from_agent();
  // Searches look at the first `count` states only (the agent's adapter count), never past
  // the list; an adapter listed twice is found at its first place.
  void limit_to(unsigned int count);
  // The state of an adapter within the limit, or null when the agent's list does not reach it.
  AdapterFlashState* find(const std::string& adapter_index);

  const std::vector<AdapterFlashState>& states() const { return states_; }
  // The index strings of the adapters a flash was attempted on.
  std::set<std::string> attempted() const;

 private:
  std::vector<AdapterFlashState> states_;
  std::unordered_map<std::string, size_t> position_;
};

}  // namespace host
}  // namespace vxins

#endif
