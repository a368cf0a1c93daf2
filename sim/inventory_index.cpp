// The index keeps pointers into the inventory: a large inventory then costs one pass per load
// instead of a scan per query (which made it quadratic per host call).
#include "inventory_index.h"

#include <cstring>

#include "json_source.h"

namespace dznajsim {

void InventoryIndex::build(const Json::Value& inventory) {
  if (!inventory.isMember("adapters")) return;
  const Json::Value& adapters = inventory["adapters"];
  for (Json::ArrayIndex i = 0; i < adapters.size(); ++i) {
    const Json::Value& adapter = adapters[i];
    std::string index = string_member(adapter, "index");
    if (!index.empty()) adapter_by_index_.emplace(index, &adapter);
    const struct {
      const char* list;
      const char* key;
      Table* table;
    } kPortLists[] = {{"fcPorts", "wwn", &fc_port_by_wwn_}, {"ethPorts", "mac", &eth_port_by_mac_}};
    for (const auto& pl : kPortLists) {
      if (!adapter.isMember(pl.list)) continue;
      const Json::Value& ports = adapter[pl.list];
      for (Json::ArrayIndex p = 0; p < ports.size(); ++p) {
        std::string value = string_member(ports[p], pl.key);
        if (!value.empty()) pl.table->emplace(value, &ports[p]);
      }
    }
  }
}

const Json::Value* InventoryIndex::adapter(const std::string& index) const {
  auto it = adapter_by_index_.find(index);
  return it == adapter_by_index_.end() ? nullptr : it->second;
}

const Json::Value* InventoryIndex::port(const char* list, const std::string& value) const {
  const Table& ports = strcmp(list, "fcPorts") == 0 ? fc_port_by_wwn_ : eth_port_by_mac_;
  auto it = ports.find(value);
  return it == ports.end() ? nullptr : it->second;
}

std::string request_key(const Json::Value& request) {
  for (const char* k : {"wwn", "mac", "indexStr"}) {
    std::string v = string_member(request, k);
    if (!v.empty()) return v;
  }
  return "";
}

}  // namespace dznajsim
