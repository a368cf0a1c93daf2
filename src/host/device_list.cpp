#include "host/device_list.h"

#include <cstdio>

#include "host/call_guard.h"
#include "vxins_log.h"
#include "znaj_agent.h"

void display_device_list(const std::vector<CQrvlDevice*>& dev_list) {
  for (size_t i = 0; i < dev_list.size(); ++i) {
    if (dev_list[i] == nullptr) {
      snprintf(gLogBuf, sizeof gLogBuf, "DeviceListVector[%d]-NOT A Valid object\n",
               static_cast<int>(i));
      VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
      continue;
    }
    dev_list[i]->DisplayDeviceAttribs();
  }
}

void qrvl_free_device_list(std::vector<CQrvlDevice*>& dev_list) {
  for (CQrvlDevice*& dev : dev_list) {
    if (dev == nullptr) continue;
    dev->DisplayDeviceAttribs();
    delete dev;
    dev = nullptr;
  }
  // Entries would otherwise point at deleted records until the caller empties the list.
  dev_list.clear();
}

OwnedDeviceList::~OwnedDeviceList() {
  for (CQrvlDevice* dev : devices) delete dev;
}

void get_old_values_from_file(const std::vector<CQrvlDevice*>& dev_list, std::string& old_fw_ver_val,
                              std::string& old_fw_file_name, std::string& old_active_ver_val,
                              std::string& old_action_val) {
  old_fw_ver_val.clear();
  old_fw_file_name.clear();
  old_active_ver_val.clear();
  old_action_val.clear();
  for (size_t i = 0; i < dev_list.size(); ++i) {
    snprintf(gLogBuf, sizeof gLogBuf, "**********Device %d*******\n", static_cast<int>(i));
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    CQrvlDevice* dev = dev_list[i];
    if (dev == nullptr) continue;
    dev->get_fw_ver_val(old_fw_ver_val);
    dev->get_firmware_file(old_fw_file_name);
    dev->get_active_ver_val(old_active_ver_val);
    dev->get_action_val(old_action_val);
    return;
  }
}

int get_skip_cnt_from_dev_vector(const std::vector<CQrvlDevice*>& dev_list) {
  int skip_cnt = 0;
  for (size_t i = 0; i < dev_list.size(); ++i) {
    snprintf(gLogBuf, sizeof gLogBuf, "**********Device %d*******\n", static_cast<int>(i));
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    CQrvlDevice* dev = dev_list[i];
    if (dev == nullptr) continue;
    if (dev->IsDeviceActionSetToSkip()) {
      ++skip_cnt;
    } else {
      snprintf(gLogBuf, sizeof gLogBuf, "Quorvel device(%d) is NOT Set with action!=SKIP",
               static_cast<int>(i));
      VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    }
  }
  return skip_cnt;
}

std::set<std::string> qrvl_skipped_identifiers(const std::vector<CQrvlDevice*>& dev_list) {
  std::set<std::string> ids;
  for (CQrvlDevice* dev : dev_list) {
    if (dev == nullptr || !dev->IsDeviceActionSetToSkip()) continue;
    std::string mac_or_wwn;
    dev->getMacOrWWN(mac_or_wwn);
    ids.insert(mac_or_wwn);
  }
  return ids;
}

unsigned int qrvl_get_all_adapters_index_string(flash_update_list_t& update_list) {
  Json::Value request;
  Json::Value answer;
  int rc = call_guarded("getAllAdaptersIndexString", [&] {
    answer = libGetAllAdapterIndexString(request);
    return 0;
  });
  if (rc != 0) {
    VXINS_LOG_TRACE(LOG_ERROR, "<--qrvl_get_all_adapters_index_string()");
    return INTERNAL_OPER_FAILED;
  }
  if (answer.isNull() || !answer.isObject() || !answer.isMember("indexStrings") ||
      !answer["indexStrings"].isArray()) {
    VXINS_LOG_TRACE(LOG_INFO, "libGetAllAdapterIndexString returns NULL.");
    VXINS_LOG_TRACE(LOG_ERROR, "<--qrvl_get_all_adapters_index_string()");
    return INTERNAL_OPER_FAILED;
  }
  const Json::Value& indexes = answer["indexStrings"];
  if (indexes.empty()) {
    VXINS_LOG_TRACE(LOG_ERROR, "No adapters in the system!");
    VXINS_LOG_TRACE(LOG_ERROR, "<--qrvl_get_all_adapters_index_string()");
    return 4;
  }
  for (Json::ArrayIndex i = 0; i < indexes.size(); ++i) {
    if (!indexes[i].isString()) {
      // An element that is no text names no adapter the agent could flash.
      snprintf(gLogBuf, sizeof gLogBuf, "Adapter index %u is not a string; ignored",
               static_cast<unsigned>(i));
      VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
      continue;
    }
    flash_update_status_t entry;
    entry.adapt_idx = indexes[i].asString();
    snprintf(gLogBuf, sizeof gLogBuf, "The index is %s", entry.adapt_idx.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    update_list.push_back(entry);
  }
  return 0;
}

namespace {

// The first of the first index_list_cnt entries (never past the list's end) with that index.
template <typename List>
auto find_entry(List& update_list, const std::string& req_adapt_idx, unsigned int index_list_cnt)
    -> decltype(&update_list[0]) {
  size_t limit = update_list.size();
  if (index_list_cnt < limit) limit = index_list_cnt;
  for (size_t i = 0; i < limit; ++i) {
    if (update_list[i].adapt_idx == req_adapt_idx) return &update_list[i];
  }
  return nullptr;
}

}  // namespace

bool IsUpdateRequiredForAdapterIndex(std::string req_adapt_idx, const flash_update_list_t& update_list,
                                     unsigned int index_list_cnt) {
  const flash_update_status_t* entry = find_entry(update_list, req_adapt_idx, index_list_cnt);
  if (entry == nullptr) {
    VXINS_LOG_TRACE(LOG_WARN, "Adapter NOT FOUND");
    return true;
  }
  return entry->bUpgraded;
}

void SetUpdateStatusInAdapterIndex(std::string req_adapt_idx, bool bstatus,
                                   flash_update_list_t& update_list, unsigned int index_list_cnt) {
  flash_update_status_t* entry = find_entry(update_list, req_adapt_idx, index_list_cnt);
  if (entry != nullptr) entry->bUpgraded = bstatus;
}

void qrvl_build_adapter_index_map(const std::vector<CQrvlDevice*>& dev_list,
                                  adapter_index_map_t& index_map) {
  index_map.clear();
  index_map.reserve(dev_list.size());
  std::string mac_or_wwn;
  std::string adapt_idx;
  for (CQrvlDevice* dev : dev_list) {
    if (dev == nullptr) continue;
    dev->getMacOrWWN(mac_or_wwn);
    if (mac_or_wwn.empty()) continue;
    dev->get_index(adapt_idx);
    auto inserted = index_map.emplace(mac_or_wwn, adapter_match_s());
    adapter_match_s& match = inserted.first->second;
    if (inserted.second)
      match.adapt_idx = adapt_idx;
    else if (match.adapt_idx != adapt_idx && match.other_adapt_idx.empty())
      match.other_adapt_idx = adapt_idx;
  }
}

unsigned int qrvl_get_adapter_index_string(const std::string& requested_macOrWwn,
                                           const adapter_index_map_t& index_map,
                                           std::string& response_adapt_idx) {
  adapter_index_map_t::const_iterator it = index_map.find(requested_macOrWwn);
  if (it == index_map.end() || !it->second.other_adapt_idx.empty()) return INTERNAL_OPER_FAILED;
  response_adapt_idx = it->second.adapt_idx;
  return 0;
}

void BuildUpdateStatusIndex(const flash_update_list_t& update_list, unsigned int index_list_cnt,
                            update_status_index_t& status_index) {
  status_index.clear();
  size_t limit = update_list.size();
  if (index_list_cnt < limit) limit = index_list_cnt;
  status_index.reserve(limit);
  for (size_t i = 0; i < limit; ++i) status_index.emplace(update_list[i].adapt_idx, i);
}

namespace {

template <typename List>
auto find_indexed_entry(List& update_list, const update_status_index_t& status_index,
                        const std::string& req_adapt_idx) -> decltype(&update_list[0]) {
  update_status_index_t::const_iterator it = status_index.find(req_adapt_idx);
  // A position past the end would mean the list shrank after the index was built.
  if (it == status_index.end() || it->second >= update_list.size()) return nullptr;
  return &update_list[it->second];
}

}  // namespace

flash_update_status_t* qrvl_find_update_status(const std::string& req_adapt_idx,
                                               flash_update_list_t& update_list,
                                               const update_status_index_t& status_index) {
  return find_indexed_entry(update_list, status_index, req_adapt_idx);
}

bool IsUpdateRequiredForAdapterIndex(const std::string& req_adapt_idx,
                                     const flash_update_list_t& update_list,
                                     const update_status_index_t& status_index) {
  const flash_update_status_t* entry = find_indexed_entry(update_list, status_index, req_adapt_idx);
  if (entry == nullptr) {
    VXINS_LOG_TRACE(LOG_WARN, "Adapter NOT FOUND");
    return true;
  }
  return entry->bUpgraded;
}

void SetUpdateStatusInAdapterIndex(const std::string& req_adapt_idx, bool bstatus,
                                   flash_update_list_t& update_list,
                                   const update_status_index_t& status_index) {
  flash_update_status_t* entry = find_indexed_entry(update_list, status_index, req_adapt_idx);
  if (entry != nullptr) entry->bUpgraded = bstatus;
}
