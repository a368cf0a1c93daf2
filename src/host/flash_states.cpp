#include "flash_states.h"

#include <json/json.h>

#include "agent/adapters.h"
#include "log/log.h"
#include "vxins_host_api.h"
#include "vxins_trace.h"

namespace vxins {
namespace host {

namespace {

const char kExitLine[] = "<--qrvl_get_all_adapters_index_string()";

}  // namespace

int FlashStates::load_from_agent() {
  Json::Value indexes;
  if (!agent::adapter_index_list(indexes)) {
    log::utility.error("%s", kExitLine);
    return VXINS_RC_INTERNAL_OPER_FAILED;
  }
  if (indexes.empty()) {
    log::utility.error("%s", trace::kNoAdapters);
    log::utility.error("%s", kExitLine);
    return VXINS_RC_NO_ADAPTERS;
  }
  for (Json::ArrayIndex i = 0; i < indexes.size(); ++i) {
    if (!indexes[i].isString()) {
      // An element that is no text names no adapter the agent could flash.
      log::utility.error("Adapter index %u is not a string; ignored", static_cast<unsigned>(i));
      continue;
    }
    AdapterFlashState state;
    state.adapter_index = indexes[i].asString();
    log::utility.info("The index is %s", state.adapter_index.c_str());
    states_.push_back(state);
  }
  return 0;
}

void FlashStates::limit_to(unsigned int count) {
  position_.clear();
  size_t limit = states_.size() < count ? states_.size() : count;
  // emplace keeps the first position of an index string listed twice.
  for (size_t i = 0; i < limit; ++i) position_.emplace(states_[i].adapter_index, i);
}

AdapterFlashState* FlashStates::find(const std::string& adapter_index) {
  auto it = position_.find(adapter_index);
  return it == position_.end() ? nullptr : &states_[it->second];
}

std::set<std::string> FlashStates::attempted() const {
  std::set<std::string> out;
  for (const AdapterFlashState& state : states_) {
    if (state.flash_attempted) out.insert(state.adapter_index);
  }
  return out;
}

}  // namespace host
}  // namespace vxins
