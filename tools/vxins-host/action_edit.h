// set-action's edit of a discovery file: the devices an operator's selection names, and the
// file's bytes with those devices' action values replaced on the lines where the plug-in's
// reader found them, every other byte kept. Used by the set-action command; no files, no throw.
#ifndef VXINS_HOST_ACTION_EDIT_H
#define VXINS_HOST_ACTION_EDIT_H

#include <string>
#include <vector>

#include "discovery_view.h"

namespace vxhost {

// What the operator named: every device, MAC addresses or WWNs (any letter case), or adapters
// as BUS:DEV (every function of each).
struct DeviceSelection {
  bool all = false;
  std::vector<std::string> ids;
  std::vector<std::string> adapters;
};

// Indices into `devices` of the chosen ones, in file order. False, with what matched nothing
// (or an adapter address that is not BUS:DEV), when any part of the selection names no device.
bool select_devices(const std::vector<ViewDevice>& devices, const DeviceSelection& selection,
                    std::vector<size_t>& chosen, std::string& error);

// Of the chosen devices, those whose action the plug-in does not already read as `action` (a
// word of another action, an unknown word or none): the only ones set-action changes.
std::vector<size_t> devices_to_change(const std::vector<ViewDevice>& devices,
                                      const std::vector<size_t>& chosen, const std::string& action);

// `bytes` with the action value of each chosen device set to `action` (a plain word), inside
// the quotes it stands in. False when a chosen device has no action leaf.
bool edit_actions(const std::string& bytes, const std::vector<ViewDevice>& devices,
                  const std::vector<size_t>& chosen, const std::string& action,
                  std::string& edited, std::string& error);

}  // namespace vxhost

#endif
