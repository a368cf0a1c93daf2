// The inventory's lookup tables, built once per load: the first adapter and the first port of
// each key in inventory order, so every query answers what a scan from the front would without
// rescanning the inventory. Used by the engine's state and answers; it only reads the inventory.
#ifndef DZNAJ_SIM_INVENTORY_INDEX_H
#define DZNAJ_SIM_INVENTORY_INDEX_H

#include <json/json.h>

#include <string>
#include <unordered_map>

namespace dznajsim {

class InventoryIndex {
 public:
  // Fills the tables from a checked inventory, which must outlive the index and not change
  // meanwhile. Keys that are empty or not strings are left out: no request can name them. A key
  // listed twice keeps its first holder.
  void build(const Json::Value& inventory);
  // The adapter of this index string; null when the inventory has none.
  const Json::Value* adapter(const std::string& index) const;
  // The port of this WWN ("fcPorts") or MAC address ("ethPorts"); null when there is none.
  const Json::Value* port(const char* list, const std::string& value) const;

 private:
  using Table = std::unordered_map<std::string, const Json::Value*>;
  Table adapter_by_index_;
  Table fc_port_by_wwn_;
  Table eth_port_by_mac_;
};

// The key a request names: its "wwn", "mac" or "indexStr" text ("" for none).
std::string request_key(const Json::Value& request);

}  // namespace dznajsim

#endif
