// set-action's edit of a discovery file: the file read for editing (a file whose only faults
// are action words naming no action can be mended by setting those actions), and its bytes with
// the chosen devices' action values replaced on the lines where the plug-in's reader found them,
// every other byte kept. Used by show and set-action; no files written, no throw.
#ifndef VXINS_HOST_ACTION_EDIT_H
#define VXINS_HOST_ACTION_EDIT_H

#include <string>
#include <vector>

#include "discovery_view.h"

namespace vxhost {

// The file as read_discovery_view reads it, except that an action value the plug-in refuses
// because it names no action (a typo such as "Skpi": the flash refuses the whole file) is read
// as a device to flash that keeps its word, and the device holding it goes to `unknown_words`
// (indexes, file order): such a file can be mended by setting those devices' actions.
// view.bytes are the file's own.
ViewResult view_for_edit(const std::string& path, DiscoveryView& view,
                         std::vector<size_t>& unknown_words, std::string& error);

// Of the chosen devices, those whose action the plug-in does not already read as `action` (a
// word of another action, an unknown word or none): the only ones set-action changes.
std::vector<size_t> devices_to_change(const std::vector<ViewDevice>& devices,
                                      const std::vector<size_t>& chosen, const std::string& action);

// `bytes` with the action value of each chosen device set to `action` (a plain word), where the
// reader found it, inside its quotes. False when a chosen device has no action leaf.
bool edit_actions(const std::string& bytes, const std::vector<ViewDevice>& devices,
                  const std::vector<size_t>& chosen, const std::string& action,
                  std::string& edited, std::string& error);

}  // namespace vxhost

#endif
