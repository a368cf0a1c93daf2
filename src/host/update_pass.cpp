#include "host/update_pass.h"

#include "agent/adapters.h"
#include "host/adapter_matcher.h"
#include "log/log.h"
#include "vxins_host_api.h"

namespace vxins {
namespace host {

namespace {

using discovery::FlashOutcome;

// Flashes one adapter and logs how it went; true on success.
bool flash_one(const std::string& adapter_index, const std::string& package_path) {
  char outcome[agent::kFlashOutcomeSize] = "";
  int rc = agent::flash_adapter(adapter_index, package_path, outcome);
  if (rc != 0) {
    log::entry.info("ERROR:(%d)- fw update failed:%s\n", rc, outcome);
    return false;
  }
  log::entry.info("%s:Firmware update success on %s.\n\t\t\t\t\t\tChange will take place after reboot",
                  outcome, adapter_index.c_str());
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
      log::entry.info("Quorvel device(%d) is set to Skip, not flashed", position);
      continue;
    }
    std::string adapter_index;
    if (!matcher.match(position, dev->mac_or_wwn(), adapter_index)) {
      log::entry.info("ERROR:(%d), upgrade failed.\t\t\tNo quorvel devices found\n",
                      VXINS_RC_INTERNAL_OPER_FAILED);
      return FlashOutcome::kFailure;
    }
    AdapterFlashState* state = states.find(adapter_index);
    if (state == nullptr) {
      // Beyond the agent's adapter count, or missing from its index list: the adapter behind a
      // device the operator chose is not flashed, and the outcome must say so.
      log::utility.warn("Adapter NOT FOUND");
      log::entry.error("Adapter %s is not among the agent's listed adapters: not flashed",
                       adapter_index.c_str());
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
