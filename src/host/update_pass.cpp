#include "update_pass.h"

#include "agent/adapters.h"
#include "adapter_matcher.h"
#include "log/log.h"
#include "vxins_host_api.h"
#include "vxins_trace.h"

namespace vxins {
namespace host {

namespace {

using discovery::FlashOutcome;

// Flashes one adapter and logs how it went; true on success.
bool flash_one(const std::string& adapter_index, const std::string& package_path) {
  char outcome[agent::kFlashOutcomeSize] = "";
  int rc = agent::flash_adapter(adapter_index, package_path, outcome);
  if (rc != 0) {
    log::entry.info(trace::kFlashFailed, rc, outcome);
    return false;
  }
  // The agent's outcome text on success is kFlashSuccess, which the line begins with.
  log::entry.info(trace::kFlashSucceeded, adapter_index.c_str());
  return true;
}

}  // namespace

FlashOutcome run_update_pass(const inventory::DeviceList& file_devices,
                             const inventory::DeviceList& live_devices, FlashStates& states,
                             const std::string& package_path) {
  const AdapterMatcher matcher(live_devices);
  bool any_failed = false;
  for (size_t i = 0; i < file_devices.size(); ++i) {
    const inventory::DeviceRecord* dev = file_devices[i].get();
    if (dev == nullptr) continue;
    const int position = static_cast<int>(i);
    // A device the operator set to skip never causes its adapter to be flashed, and is not
    // looked up: its adapter may be gone without ending the pass.
    if (dev->skipped()) {
      log::entry.info(trace::kDeviceSkipped, position);
      continue;
    }
    std::string adapter_index;
    if (!matcher.match(position, dev->mac_or_wwn(), adapter_index)) {
      log::entry.info(trace::kPassEnded, VXINS_RC_INTERNAL_OPER_FAILED);
      return FlashOutcome::kFailure;
    }
    AdapterFlashState* state = states.find(adapter_index);
    if (state == nullptr) {
      // Beyond the agent's adapter count, or missing from its index list: the adapter behind a
      // device the operator chose is not flashed, and the outcome must say so.
      log::utility.warn("Adapter NOT FOUND");
      log::entry.error(trace::kAdapterNotListed, adapter_index.c_str());
      any_failed = true;
      continue;
    }
    if (state->flash_attempted) continue;
    if (!flash_one(adapter_index, package_path)) any_failed = true;
    state->flash_attempted = true;
  }
  return any_failed ? FlashOutcome::kFailure : FlashOutcome::kSuccess;
}

}  // namespace host
}  // namespace vxins
