// Matching a device of the discovery file to the live adapter behind it, by its MAC address or
// WWN as the fresh enumeration gives them. Used by the flash call's update pass; built once per
// call, it answers each lookup without walking the list again.
#ifndef VXINS_HOST_ADAPTER_MATCHER_H
#define VXINS_HOST_ADAPTER_MATCHER_H

#include <string>
#include <unordered_map>

#include "inventory/device_record.h"

namespace vxins {
namespace host {

class AdapterMatcher {
 public:
  // Copies what it needs from the live records of the fresh enumeration.
  explicit AdapterMatcher(const inventory::DeviceList& live);

  // The adapter whose functions carry exactly this identifier (byte for byte): true with its
  // index string. False, logged with the reason when it is not plain absence, when no adapter
  // carries it, when it is empty, or when functions of two different adapters carry it: a
  // device is never matched to an adapter by a guess. Functions of one adapter may share one.
  bool match(int position, const std::string& mac_or_wwn, std::string& adapter_index) const;

 private:
  struct Holders {
    std::string adapter_index;
    std::string other_adapter_index;  // a second adapter carrying the identifier
  };
  std::unordered_map<std::string, Holders> by_identifier_;
};

}  // namespace host
}  // namespace vxins

#endif
