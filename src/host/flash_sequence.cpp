// The flash call: check the package against the discovery file the host passed back, flash
// every adapter behind its devices once, rewrite the file with the outcome.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "agent/agent_loader.h"
#include "agent/znaj_cxn_methods.h"
#include "discovery/discovery_file.h"
#include "host/call_guard.h"
#include "host/device_list.h"
#include "host/package_access.h"
#include "host/sequences.h"
#include "inventory/enumeration.h"
#include "package/package_reader.h"
#include "vxins_host_api.h"
#include "vxins_log.h"

namespace {

const char kExitTrace[] = "<--oem_do_flash_with_file()\n";

// Status values written into the rewritten file's action_status.
const int kStatusSuccess = 1;
const int kStatusFailed = -1;

struct FlashCall {
  OwnedDeviceList live;      // DeviceListVector: the fresh enumeration
  OwnedDeviceList from_xml;  // DeviceListVectorFromXml: what the host passed back
  flash_update_list_t update_state;
  // Taken from the first device of the file; every rewritten device carries them.
  std::string old_fw_ver_val, old_fw_file_name, old_active_ver_val, old_action_val;

  void free_lists() {
    qrvl_free_device_list(live.devices);
    qrvl_free_device_list(from_xml.devices);
    update_state.clear();
  }
};

// Says why a device of the file matched no adapter, where the reason is not plain absence.
void log_unmatched_device(int position, const std::string& mac_or_wwn,
                          const adapter_index_map_t& live_by_mac_or_wwn) {
  char msg[300];
  adapter_index_map_t::const_iterator it = live_by_mac_or_wwn.find(mac_or_wwn);
  if (mac_or_wwn.empty()) {
    snprintf(msg, sizeof msg, "Quorvel device(%d) has no MAC address or WWN: not matched", position);
  } else if (it != live_by_mac_or_wwn.end()) {
    snprintf(msg, sizeof msg,
             "Quorvel device(%d): %s belongs to adapters %s and %s: not matched", position,
             mac_or_wwn.c_str(), it->second.adapt_idx.c_str(), it->second.other_adapt_idx.c_str());
  } else {
    return;
  }
  VXINS_LOG_TRACE(LOG_ERROR, msg);
}

// The update pass over the file's devices. Returns the action status for the rewritten file.
int update_pass(FlashCall& call, const std::string& fw_file, unsigned int adaptCnt) {
  char msg[300];
  char err_msg[128];
  int action_status_val = kStatusSuccess;
  bool any_failed = false;
  const std::vector<CQrvlDevice*>& file_devices = call.from_xml.devices;
  // Every device of the file is looked up in the live list and in the update-status list:
  // indexed once here, the pass costs time in proportion to the devices, not their square.
  adapter_index_map_t live_by_mac_or_wwn;
  qrvl_build_adapter_index_map(call.live.devices, live_by_mac_or_wwn);
  update_status_index_t status_index;
  BuildUpdateStatusIndex(call.update_state, adaptCnt, status_index);
  for (size_t i = 0; i < file_devices.size(); ++i) {
    CQrvlDevice* dev = file_devices[i];
    if (dev == nullptr) continue;
    // A device the operator set to skip never causes its adapter to be flashed, and is not
    // looked up: its adapter may be gone without ending the pass.
    if (dev->IsDeviceActionSetToSkip()) {
      snprintf(msg, sizeof msg, "Quorvel device(%d) is set to Skip, not flashed", static_cast<int>(i));
      VXINS_LOG_TRACE(LOG_INFO, msg);
      continue;
    }
    std::string mac_or_wwn;
    dev->getMacOrWWN(mac_or_wwn);
    std::string adapt_idx;
    unsigned int lookup = qrvl_get_adapter_index_string(mac_or_wwn, live_by_mac_or_wwn, adapt_idx);
    if (lookup != 0) {
      log_unmatched_device(static_cast<int>(i), mac_or_wwn, live_by_mac_or_wwn);
      snprintf(msg, sizeof msg, "ERROR:(%d), upgrade failed.\t\t\tNo quorvel devices found\n",
               static_cast<int>(lookup));
      VXINS_LOG_TRACE(LOG_INFO, msg);
      return kStatusFailed;
    }
    flash_update_status_t* status =
        qrvl_find_update_status(adapt_idx, call.update_state, status_index);
    if (status == nullptr) {
      // Beyond the agent's adapter count, or missing from its index list: the adapter behind a
      // device the operator chose is not flashed, and the outcome must say so.
      VXINS_LOG_TRACE(LOG_WARN, "Adapter NOT FOUND");
      snprintf(msg, sizeof msg, "Adapter %s is not among the agent's listed adapters: not flashed",
               adapt_idx.c_str());
      VXINS_LOG_TRACE(LOG_ERROR, msg);
      any_failed = true;
      action_status_val = kStatusFailed;
      continue;
    }
    if (status->bUpgraded) continue;

    err_msg[0] = '\0';
    int rc = dev->boot_update(adapt_idx, fw_file, err_msg);
    if (rc != 0) {
      snprintf(msg, sizeof msg, "ERROR:(%d)- fw update failed:%s\n", rc, err_msg);
      VXINS_LOG_TRACE(LOG_INFO, msg);
      any_failed = true;
    } else {
      snprintf(msg, sizeof msg,
               "%s:Firmware update success on %s.\n\t\t\t\t\t\tChange will take place after reboot",
               err_msg, adapt_idx.c_str());
      VXINS_LOG_TRACE(LOG_INFO, msg);
    }
    // A failure is never overwritten by a later success: the file carries one status for all.
    action_status_val = any_failed ? kStatusFailed : kStatusSuccess;
    status->bUpgraded = true;
  }
  return action_status_val;
}

// Rewrites the discovery file with the outcome; false (logged) when it could not be written.
// The operator's skips are carried by identifier, the other old values from the first device.
bool rewrite_discovery_file(FlashCall& call, const char* discovery_file, int status) {
  if (modify_and_write_to_xmlfile(discovery_file, call.live.devices, status, call.old_fw_ver_val,
                                  call.old_fw_file_name, call.old_active_ver_val,
                                  qrvl_skipped_identifiers(call.from_xml.devices)))
    return true;
  char msg[300];
  snprintf(msg, sizeof msg,
           "Discovery file (%s) could not be rewritten with the outcome; the earlier file is "
           "removed",
           discovery_file);
  VXINS_LOG_TRACE(LOG_ERROR, msg);
  return false;
}

// Leaves the call after the agent was opened: releases it and writes the exit trace.
int leave(int rc, bool exit_trace_first) {
  if (exit_trace_first) VXINS_LOG_TRACE(LOG_ERROR, kExitTrace);
  int deinit_rc = qrvl_vxinslib_deinit();
  if (!exit_trace_first) VXINS_LOG_TRACE(LOG_ERROR, kExitTrace);
  return rc != 0 ? rc : deinit_rc;
}

}  // namespace

int run_flash(char* discovery_file, char* firmware_file_or_path) {
  char msg[300];
  VXINS_LOG_TRACE(LOG_INFO, "-->oem_do_flash_with_file()\n");
  if (discovery_file == nullptr) {
    VXINS_LOG_TRACE(LOG_ERROR, "INVALID DISCOVERY FILE.\n\t\t\t<--oem_do_flash_with_file()\n");
    return VXINS_RC_INVALID_ARG;
  }
  if (!can_open_for_reading(discovery_file)) {
    VXINS_LOG_TRACE(LOG_ERROR, "DISC FILE Open Failed.\n\t\t\t<--oem_do_flash_with_file()\n");
    return VXINS_RC_DISC_FILE_OPEN_FAILED;
  }
  if (firmware_file_or_path == nullptr) {
    VXINS_LOG_TRACE(LOG_ERROR, "INVALID FW FILE.\n\t\t\t<--oem_do_flash_with_file()\n");
    return VXINS_RC_INVALID_ARG;
  }
  struct stat st;
  int st_rc = stat_firmware_path(firmware_file_or_path, kExitTrace, st);
  if (st_rc != 0) return st_rc;
  std::string fw_file;
  if (S_ISDIR(st.st_mode)) {
    char fw_name[256] = "";
    int rc = find_package_in_folder(firmware_file_or_path, kExitTrace, fw_name, fw_file);
    if (rc != 0) return rc;
    snprintf(msg, sizeof msg, "FW File from the given path is %s\n", fw_file.c_str());
    VXINS_LOG_TRACE(LOG_INFO, msg);
  } else {
    fw_file = firmware_file_or_path;
  }
  int rc = check_package_opens(fw_file, kExitTrace, VXINS_RC_FW_MISMATCH);
  if (rc != 0) return rc;
  std::string fw_ver_from_file;
  rc = getFwVersionFromFwFile(fw_file, fw_ver_from_file);
  if (rc != 0) {
    VXINS_LOG_TRACE(LOG_ERROR,
                    "Getting Fw Version from boot file failed\n\t\t\t<--oem_do_flash_with_file()\n");
    return rc;
  }
  rc = qrvl_vxinslib_init();
  if (rc != 0) {
    VXINS_LOG_TRACE(LOG_ERROR, "Library is not initialized.\n\t\t\t<--oem_do_flash_with_file()\n");
    return rc;
  }

  FlashCall call;
  std::string tmp_file_without_path = bare_file_name(fw_file);
  rc = call_guarded("qrvl_enumerate_devices", [&] {
    return qrvl_enumerate_devices(fw_ver_from_file, tmp_file_without_path, call.live.devices);
  });
  if (rc != 0) {
    VXINS_LOG_TRACE(LOG_ERROR, "Quorvel Device Enumeration Failed\n");
    call.free_lists();
    VXINS_LOG_TRACE(LOG_ERROR, kExitTrace);
    int deinit_rc = qrvl_vxinslib_deinit();
    (void)deinit_rc;
    return rc;
  }

  unsigned int adaptCnt = 0;
  rc = call_guarded("getNumberOfAdapters", [&] {
    adaptCnt = qrvl_get_num_of_adapters();
    return 0;
  });
  if (rc != 0) {
    call.free_lists();
    return leave(rc, true);
  }
  if (adaptCnt == 0) {
    VXINS_LOG_TRACE(LOG_ERROR, "No adapters in the system!");
    VXINS_LOG_TRACE(LOG_ERROR, kExitTrace);
    call.free_lists();
    int deinit_rc = qrvl_vxinslib_deinit();
    (void)deinit_rc;
    return VXINS_RC_NO_ADAPTERS;
  }

  rc = static_cast<int>(qrvl_get_all_adapters_index_string(call.update_state));
  if (rc != 0) {
    snprintf(msg, sizeof msg, "ERROR:(%d)-Read from XML file %s Failed\n", rc, discovery_file);
    VXINS_LOG_TRACE(LOG_ERROR, msg);
    call.free_lists();
    return leave(rc, true);
  }

  rc = read_from_xmlfile(discovery_file, call.from_xml.devices);
  if (rc != 0) {
    snprintf(msg, sizeof msg, "ERROR:(%d)-Read from XML file %s Failed\n", rc, discovery_file);
    VXINS_LOG_TRACE(LOG_ERROR, msg);
    call.free_lists();
    return leave(rc, true);
  }
  int num_of_dev = static_cast<int>(call.from_xml.devices.size());
  snprintf(msg, sizeof msg, "Number of Devices from XML File: %d\n", num_of_dev);
  VXINS_LOG_TRACE(LOG_INFO, msg);
  if (num_of_dev == 0) {
    call.free_lists();
    VXINS_LOG_TRACE(LOG_ERROR, "No Quorvel Devices Found\n.\t\t\t<--oem_do_flash_with_file()\n");
    int deinit_rc = qrvl_vxinslib_deinit();
    (void)deinit_rc;
    return VXINS_RC_NO_ADAPTERS;
  }

  get_old_values_from_file(call.from_xml.devices, call.old_fw_ver_val, call.old_fw_file_name,
                           call.old_active_ver_val, call.old_action_val);

  // The three ends that rewrite the file return 1001 instead of their own result when the file
  // could not be rewritten: the host must not take an earlier file for this call's outcome.
  int skip_cnt = get_skip_cnt_from_dev_vector(call.from_xml.devices);
  if (skip_cnt == num_of_dev) {
    VXINS_LOG_TRACE(LOG_ERROR, "All Action Status Values are Set to Skip\n");
    bool rewritten = rewrite_discovery_file(call, discovery_file, kStatusFailed);
    call.free_lists();
    VXINS_LOG_TRACE(LOG_ERROR, "Not proceeding with boot update\n");
    return leave(rewritten ? VXINS_RC_ALL_SKIP : INTERNAL_OPER_FAILED, false);
  }

  if (call.old_fw_file_name != tmp_file_without_path) {
    snprintf(msg, sizeof msg, "Passed=%s != DiscoveryFw file=%s", tmp_file_without_path.c_str(),
             call.old_fw_file_name.c_str());
    VXINS_LOG_TRACE(LOG_INFO, msg);
    bool rewritten = rewrite_discovery_file(call, discovery_file, VXINS_RC_FW_MISMATCH);
    call.free_lists();
    VXINS_LOG_TRACE(LOG_ERROR, "Not proceeding with boot update\n");
    return leave(rewritten ? VXINS_RC_FW_MISMATCH : INTERNAL_OPER_FAILED, false);
  }
  snprintf(msg, sizeof msg, "PassedFw file(%s) == DiscoveryFw file(%s)",
           tmp_file_without_path.c_str(), call.old_fw_file_name.c_str());
  VXINS_LOG_TRACE(LOG_ERROR, msg);

  int action_status_val = update_pass(call, fw_file, adaptCnt);

  bool rewritten = rewrite_discovery_file(call, discovery_file, action_status_val);
  qrvl_free_device_list(call.from_xml.devices);
  qrvl_free_device_list(call.live.devices);
  call.update_state.clear();
  if (!rewritten) return leave(INTERNAL_OPER_FAILED, true);
  int deinit_rc = qrvl_vxinslib_deinit();
  return deinit_rc != 0 ? deinit_rc : VXINS_RC_FLASH_DONE;
}
