// Labels for discovery-file devices, derived from the values the file holds.
#include "device_labels.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace vxhost {

namespace {

// Number of colon-separated two-digit hexadecimal octets, or 0 when the text is not such a list.
size_t octet_count(const std::string& id) {
  if (id.empty() || (id.size() + 1) % 3 != 0) return 0;
  for (size_t i = 0; i < id.size(); ++i) {
    bool colon_place = i % 3 == 2;
    if (colon_place ? id[i] != ':' : !isxdigit(static_cast<unsigned char>(id[i]))) return 0;
  }
  return (id.size() + 1) / 3;
}

bool parse_hex(const std::string& text, unsigned long& out) {
  if (text.empty() || text.size() > 4) return false;
  for (char c : text)
    if (!isxdigit(static_cast<unsigned char>(c))) return false;
  out = strtoul(text.c_str(), nullptr, 16);
  return true;
}

}  // namespace

std::string id_kind(const std::string& mac_or_wwn) {
  switch (octet_count(mac_or_wwn)) {
    case 6:
      return "MAC";
    case 8:
      return "WWN";
    default:
      return "unknown";
  }
}

std::string device_type(const FileDevice& dev) {
  switch (octet_count(dev.mac_or_wwn)) {
    case 6:
      return "Eth";
    case 8:
      return dev.product.find("Converged Network Adapter") != std::string::npos ? "FCoE" : "FC";
    default:
      return "?";
  }
}

std::string pci_address(const FileDevice& dev) {
  unsigned long f;
  std::string adapter = adapter_label(adapter_key(dev));
  if (!parse_hex(dev.fn, f)) return adapter + "." + dev.fn;
  char buf[16];
  snprintf(buf, sizeof buf, ".%lx", f);
  return adapter + buf;
}

std::string adapter_label(const std::string& key) {
  unsigned long b, d;
  if (!parse_bus_dev(key, b, d)) return key;
  char buf[16];
  snprintf(buf, sizeof buf, "%02lx:%02lx", b, d);
  return buf;
}

bool parse_bus_dev(const std::string& text, unsigned long& bus, unsigned long& dev) {
  size_t colon = text.find(':');
  return colon != std::string::npos && parse_hex(text.substr(0, colon), bus) &&
         parse_hex(text.substr(colon + 1), dev);
}

bool parse_pci_address(const std::string& text, PciAddress& out) {
  out = PciAddress();
  std::string rest = text;
  const size_t dot = rest.find('.');
  if (dot != std::string::npos) {
    out.has_fn = true;
    if (!parse_hex(rest.substr(dot + 1), out.fn)) return false;
    rest.resize(dot);
  }
  const size_t first = rest.find(':'), second = rest.find(':', first + 1);
  if (first != std::string::npos && second != std::string::npos) {
    out.has_domain = true;
    if (!parse_hex(rest.substr(0, first), out.domain)) return false;
    rest.erase(0, first + 1);
  }
  return parse_bus_dev(rest, out.bus, out.dev);
}

bool at_address(const FileDevice& d, const PciAddress& address) {
  unsigned long b, v, f;
  return address.domain == 0 && parse_hex(d.bus, b) && parse_hex(d.dev, v) && b == address.bus &&
         v == address.dev && (!address.has_fn || (parse_hex(d.fn, f) && f == address.fn));
}

}  // namespace vxhost
