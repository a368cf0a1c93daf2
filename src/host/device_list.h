// Operations over the lists an entry point holds during one call: device lists (which own
// their records) and the flash call's per-adapter update-status list. Called only by the
// discovery and flash sequences; none of them throws, and the status searches never read past
// the end of the list whatever count they are given.
#ifndef VXINS_HOST_DEVICE_LIST_H
#define VXINS_HOST_DEVICE_LIST_H

#include <cstddef>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "qrvl_device.h"

typedef struct flash_update_status_s {
  std::string adapt_idx;   // the agent's adapter index string, as listed
  bool bUpgraded = false;  // a flash of this adapter was attempted in this call
} flash_update_status_t;

typedef std::vector<flash_update_status_t> flash_update_list_t;

// Logs every record (null entries by position).
void display_device_list(const std::vector<CQrvlDevice*>& dev_list);
// Logs and deletes every record, then empties the list.
void qrvl_free_device_list(std::vector<CQrvlDevice*>& dev_list);
// The firmware version, file, active version and action of the first non-null record; empty
// strings when there is none.
void get_old_values_from_file(const std::vector<CQrvlDevice*>& dev_list, std::string& old_fw_ver_val,
                              std::string& old_fw_file_name, std::string& old_active_ver_val,
                              std::string& old_action_val);
// Number of records whose action was read back as skip.
int get_skip_cnt_from_dev_vector(const std::vector<CQrvlDevice*>& dev_list);
// The MAC addresses and WWNs of the records whose action was read back as skip (an empty one
// included): the rewritten file keeps "Skip" on the devices that carry them.
std::set<std::string> qrvl_skipped_identifiers(const std::vector<CQrvlDevice*>& dev_list);
// Appends one entry per adapter index string of the agent: 0, 1001 (answer unusable or the
// agent threw) or 4 (no adapter).
unsigned int qrvl_get_all_adapters_index_string(flash_update_list_t& update_list);
// True when the adapter must not be flashed now: already attempted, or not in the first
// index_list_cnt entries.
bool IsUpdateRequiredForAdapterIndex(std::string req_adapt_idx, const flash_update_list_t& update_list,
                                     unsigned int index_list_cnt);
void SetUpdateStatusInAdapterIndex(std::string req_adapt_idx, bool bstatus,
                                   flash_update_list_t& update_list, unsigned int index_list_cnt);

// Indexed forms of the searches above, for the flash call's update pass, which searches once per
// device of the discovery file: each index is built once per call, in one pass over its list.
// The lists must not change after the index was built (the update pass only flips bUpgraded).
//
// MAC address or WWN -> the adapter whose functions carry it. An empty identifier names no
// adapter, and one that functions of two different adapters carry names neither: a device of
// the file is never matched to an adapter by a guess. Functions of one adapter may share one.
struct adapter_match_s {
  std::string adapt_idx;
  std::string other_adapt_idx;  // a second adapter carrying the identifier: ambiguous
};
typedef std::unordered_map<std::string, adapter_match_s> adapter_index_map_t;
void qrvl_build_adapter_index_map(const std::vector<CQrvlDevice*>& dev_list,
                                  adapter_index_map_t& index_map);
// 0 found (response set), 1001 when no adapter or two carry it (response left unchanged).
unsigned int qrvl_get_adapter_index_string(const std::string& requested_macOrWwn,
                                           const adapter_index_map_t& index_map,
                                           std::string& response_adapt_idx);

// Adapter index string -> position of its first entry among the first index_list_cnt entries.
typedef std::unordered_map<std::string, size_t> update_status_index_t;
void BuildUpdateStatusIndex(const flash_update_list_t& update_list, unsigned int index_list_cnt,
                            update_status_index_t& status_index);
// The entry of an adapter among the first index_list_cnt entries the index was built with, or
// null when the agent's list (as far as its count reaches) does not hold it.
flash_update_status_t* qrvl_find_update_status(const std::string& req_adapt_idx,
                                               flash_update_list_t& update_list,
                                               const update_status_index_t& status_index);
// As the plain forms called with the count the index was built with, including the
// "Adapter NOT FOUND" warning.
bool IsUpdateRequiredForAdapterIndex(const std::string& req_adapt_idx,
                                     const flash_update_list_t& update_list,
                                     const update_status_index_t& status_index);
void SetUpdateStatusInAdapterIndex(const std::string& req_adapt_idx, bool bstatus,
                                   flash_update_list_t& update_list,
                                   const update_status_index_t& status_index);

// Owns the records of a device list on paths that leave a sequence abnormally; the normal paths
// free through qrvl_free_device_list, which leaves nothing for the destructor.
class OwnedDeviceList {
 public:
  OwnedDeviceList() = default;
  ~OwnedDeviceList();
  OwnedDeviceList(const OwnedDeviceList&) = delete;
  OwnedDeviceList& operator=(const OwnedDeviceList&) = delete;
  std::vector<CQrvlDevice*> devices;
};

#endif
