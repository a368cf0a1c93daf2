// Operations over the lists an entry point holds during one call: device lists (which own
// their records) and the flash call's per-adapter update-status list. Called only by the
// discovery and flash sequences; none of them throws, and the status searches never read past
// the end of the list whatever count they are given.
#ifndef VXINS_HOST_DEVICE_LIST_H
#define VXINS_HOST_DEVICE_LIST_H

#include <string>
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
// The adapter index string of the first live record whose MAC address or WWN equals
// requested_macOrWwn exactly: 0 found, 1001 not found (response left unchanged).
unsigned int qrvl_get_adapter_index_string(std::string requested_macOrWwn,
                                           const std::vector<CQrvlDevice*>& dev_list,
                                           std::string& response_adapt_idx);
// The firmware version, file, active version and action of the first non-null record; empty
// strings when there is none.
void get_old_values_from_file(const std::vector<CQrvlDevice*>& dev_list, std::string& old_fw_ver_val,
                              std::string& old_fw_file_name, std::string& old_active_ver_val,
                              std::string& old_action_val);
// Number of records whose action was read back as skip.
int get_skip_cnt_from_dev_vector(const std::vector<CQrvlDevice*>& dev_list);
// Appends one entry per adapter index string of the agent: 0, 1001 (answer unusable or the
// agent threw) or 4 (no adapter).
unsigned int qrvl_get_all_adapters_index_string(flash_update_list_t& update_list);
// True when the adapter must not be flashed now: already attempted, or not in the first
// index_list_cnt entries.
bool IsUpdateRequiredForAdapterIndex(std::string req_adapt_idx, const flash_update_list_t& update_list,
                                     unsigned int index_list_cnt);
void SetUpdateStatusInAdapterIndex(std::string req_adapt_idx, bool bstatus,
                                   flash_update_list_t& update_list, unsigned int index_list_cnt);

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
