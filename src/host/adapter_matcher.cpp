#include "adapter_matcher.h"

#include "log/log.h"
#include "vxins_trace.h"

namespace vxins {
namespace host {

AdapterMatcher::AdapterMatcher(const inventory::DeviceList& live) {
  by_identifier_.reserve(live.size());
  for (const auto& dev : live) {
    if (dev == nullptr || dev->mac_or_wwn().empty()) continue;
    auto inserted = by_identifier_.emplace(dev->mac_or_wwn(), Holders());
    Holders& holders = inserted.first->second;
    if (inserted.second)
      holders.adapter_index = dev->adapter_index();
    else if (holders.adapter_index != dev->adapter_index() && holders.other_adapter_index.empty())
      holders.other_adapter_index = dev->adapter_index();
  }
}

bool AdapterMatcher::match(int position, const std::string& mac_or_wwn,
                           std::string& adapter_index) const {
  if (mac_or_wwn.empty()) {
    log::entry.error(trace::kNoIdentifier, position);
    return false;
  }
  auto it = by_identifier_.find(mac_or_wwn);
  if (it == by_identifier_.end()) return false;
  if (!it->second.other_adapter_index.empty()) {
    log::entry.error(trace::kIdentifierOnTwoAdapters, position, mac_or_wwn.c_str(),
                     it->second.adapter_index.c_str(), it->second.other_adapter_index.c_str());
    return false;
  }
  adapter_index = it->second.adapter_index;
  return true;
}

}  // namespace host
}  // namespace vxins
