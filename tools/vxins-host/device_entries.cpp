// An identifier is looked for first (a MAC address is never a PCI address: it has five colons);
// then a label with its "#N"; then a PCI address.
#include "device_entries.h"

#include <algorithm>
#include <cctype>

#include "device_labels.h"

namespace vxhost {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// "0A:0#2" as the label it spells ("0a:00#2"); "" when it spells none.
std::string label_spelled(const std::string& entry) {
  const size_t hash = entry.find('#');
  unsigned long bus = 0, dev = 0;
  if (hash == std::string::npos || !parse_bus_dev(entry.substr(0, hash), bus, dev)) return "";
  return adapter_label(entry.substr(0, hash)) + entry.substr(hash);
}

}  // namespace

bool match_entry(const std::string& entry, const std::vector<FileDevice>& devices,
                 const AdapterGroups& groups, EntryMatch& match) {
  match = EntryMatch();
  const std::string id = lower(entry), label = label_spelled(entry);
  PciAddress address;
  const bool is_address = label.empty() && parse_pci_address(entry, address);
  for (size_t i = 0; i < devices.size(); ++i) {
    const bool named = !entry.empty() && lower(devices[i].mac_or_wwn) == id;
    if (named) match.devices.push_back(i);
  }
  const bool by_identifier = !match.devices.empty();
  for (size_t i = 0; !by_identifier && i < devices.size(); ++i) {
    const bool named = !label.empty() ? groups.groups[groups.group_of[i]].label == label
                                      : is_address && at_address(devices[i], address);
    if (named) match.devices.push_back(i);
  }
  for (size_t i : match.devices) {
    const size_t g = groups.group_of[i];
    if (std::find(match.groups.begin(), match.groups.end(), g) == match.groups.end())
      match.groups.push_back(g);
  }
  std::sort(match.groups.begin(), match.groups.end());
  return !match.devices.empty();
}

}  // namespace vxhost
