// How vxins-host names devices and adapters of a discovery file for people: the function's type
// and identifier kind (the file stores neither), its PCI address, and BUS:DEV adapter addresses
// as operators type them. Pure functions over the file's values; no files, no throw.
#ifndef VXINS_HOST_DEVICE_LABELS_H
#define VXINS_HOST_DEVICE_LABELS_H

#include <string>

#include "flash_outcomes.h"

namespace vxhost {

// "Eth", "FC" or "FCoE": an identifier of six octets is a MAC address (Ethernet function); one
// of eight octets is a WWN, an FCoE function when the product is a converged network adapter,
// else FC. "?" for anything else.
std::string device_type(const FileDevice& dev);
// "MAC", "WWN" or "unknown", by the same octet count.
std::string id_kind(const std::string& mac_or_wwn);
// "bb:dd.f" (hexadecimal, zero-padded) when the three values are hexadecimal numbers, else the
// raw values joined as "bus:dev.fn".
std::string pci_address(const FileDevice& dev);
// An adapter key ("bus:dev", see adapter_key) as people read it: "bb:dd" when both are
// hexadecimal numbers, else as it is.
std::string adapter_label(const std::string& key);
// Reads "BUS:DEV" (hexadecimal, e.g. "0a:00" or "a:0") into its two numbers; false otherwise.
bool parse_bus_dev(const std::string& text, unsigned long& bus, unsigned long& dev);

// A PCI address as operators type it: BUS:DEV, BUS:DEV.FN, DOMAIN:BUS:DEV or DOMAIN:BUS:DEV.FN,
// hexadecimal in any case, leading zeros optional.
struct PciAddress {
  unsigned long domain = 0, bus = 0, dev = 0, fn = 0;
  bool has_domain = false, has_fn = false;
};
// False for anything else.
bool parse_pci_address(const std::string& text, PciAddress& out);
// True when the device sits at the address: its bus, device and (when given) function. The file
// holds no PCI domain and the plug-in's output shows none, so only domain 0 is any device's.
bool at_address(const FileDevice& d, const PciAddress& address);

}  // namespace vxhost

#endif
