// The host's own view of a discovery file: read, shown and edited with a real XML parser
// (tinyxml2), independent of the plug-in's line-oriented reader. Used by the command-line host;
// it never calls the plug-in and never throws. Writes keep the plug-in's line contract: every
// element on a line of its own, leaves written as <name value="..."/>.
#ifndef VXINS_HOST_DISCOVERY_DOC_H
#define VXINS_HOST_DISCOVERY_DOC_H

#include <memory>
#include <string>
#include <vector>

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
}  // namespace tinyxml2

namespace vxhost {

// One device element, as the plug-in would read it: for a repeated leaf the last one counts,
// and only the first fw_item holds firmware leaves.
struct FileDevice {
  std::string mac_or_wwn;
  std::string bus, device, function;  // as written: hexadecimal text ("a", "00", "0")
  std::string product;
  std::string active_version;   // the version flashed on the adapter
  std::string offered_version;  // the package's version
  std::string firmware_file;
  std::string action;
  std::string action_status;
};

// "Eth", "FC" or "FCoE", derived because the file does not store it: an identifier of six
// octets is a MAC address (Ethernet function); one of eight octets is a WWN, an FCoE function
// when the product is a converged network adapter, else FC. "?" for anything else.
std::string device_type(const FileDevice& dev);
// "MAC", "WWN" or "unknown", by the same octet count.
std::string id_kind(const std::string& mac_or_wwn);
// "bb:dd.f" (zero-padded hexadecimal) when the three numbers are hexadecimal, else the raw
// values joined as "bus:device.function".
std::string pci_address(const FileDevice& dev);

// The action words the plug-in recognises, in the form to write ("Skip", "Upgrade",
// "Downgrade", "Rewrite"); `word` is matched regardless of case. False for any other word.
bool canonical_action(const std::string& word, std::string& canonical);

class DiscoveryDoc {
 public:
  DiscoveryDoc();
  ~DiscoveryDoc();
  DiscoveryDoc(const DiscoveryDoc&) = delete;
  DiscoveryDoc& operator=(const DiscoveryDoc&) = delete;

  // Parses the file. False, with a one-line reason, when it cannot be read, is not well-formed
  // XML or is not a discovery document (root vx_rom_discovery with a devices element).
  bool load(const std::string& path, std::string& error);
  // The devices in file order.
  const std::vector<FileDevice>& devices() const { return devices_; }

  // Sets the action of every device (all) or of the devices whose MAC address or WWN is in
  // `ids` (compared without regard to case). Nothing changes unless every id names a device;
  // otherwise false, with the unknown ids listed in `error`. `changed` receives the identifiers
  // of the devices set, in file order.
  bool set_action(const std::string& action, bool all, const std::vector<std::string>& ids,
                  std::vector<std::string>& changed, std::string& error);

  // The document as text, one element per line, indented with tabs.
  std::string to_text() const;
  // Writes to_text() to a temporary file beside `path` and renames it over `path` (keeping the
  // old file's permission bits), so the file is replaced whole or not at all.
  bool save_atomically(const std::string& path, std::string& error) const;

 private:
  void collect_devices();
  std::unique_ptr<tinyxml2::XMLDocument> doc_;
  std::vector<tinyxml2::XMLElement*> elements_;  // the device elements behind devices_
  std::vector<FileDevice> devices_;
};

}  // namespace vxhost

#endif
