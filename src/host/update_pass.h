// The flash call's update pass: walks the devices of the discovery file, flashes each adapter
// behind a device the operator did not skip, once, and reports the one outcome the rewritten
// file carries. Called only by the flash sequence, with the agent session open.
#ifndef VXINS_HOST_UPDATE_PASS_H
#define VXINS_HOST_UPDATE_PASS_H

#include <string>

#include "discovery/discovery_writer.h"
#include "flash_states.h"
#include "inventory/device_record.h"

namespace vxins {
namespace host {

// Success unless a flash failed, a device matched no adapter (which ends the pass), or an
// adapter behind a chosen device lies beyond what the agent lists; a failure is never
// overwritten by a later success.
discovery::FlashOutcome run_update_pass(const inventory::DeviceList& file_devices,
                                        const inventory::DeviceList& live_devices,
                                        FlashStates& states, const std::string& package_path);

}  // namespace host
}  // namespace vxins

#endif
