// The discovery call: package version, agent session, enumeration, discovery file.
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "agent/agent_loader.h"
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
const char kExitTrace[] = "<--oem_do_discovery_with_files()\n";
}

int run_discovery(char* discovery_file, char* fw_file_path) {
  char msg[300];
  if (discovery_file == nullptr) {
    VXINS_LOG_TRACE(LOG_ERROR, "Discovery File Name is NULL\n<--oem_do_discovery_with_files()\n");
    return VXINS_RC_INVALID_ARG;
  }
  if (fw_file_path == nullptr) {
    VXINS_LOG_TRACE(LOG_ERROR, "FW File path is NULL\n<--oem_do_discovery_with_files()\n");
    return VXINS_RC_INVALID_ARG;
  }
  struct stat st;
  int st_rc = stat_firmware_path(fw_file_path, kExitTrace, st);
  if (st_rc != 0) return st_rc;
  if (!S_ISDIR(st.st_mode)) {
    snprintf(msg, sizeof msg, "Given path(%s) is Not a valid directory", fw_file_path);
    VXINS_LOG_TRACE(LOG_INFO, msg);
    snprintf(msg, sizeof msg, "Error(%d) in getting the FW File\n", st_rc);
    VXINS_LOG_TRACE(LOG_ERROR, msg);
    VXINS_LOG_TRACE(LOG_ERROR, kExitTrace);
    return VXINS_RC_INVALID_ARG;
  }
  char fw_name[256] = "";
  std::string fw_file;
  int rc = find_package_in_folder(fw_file_path, kExitTrace, fw_name, fw_file);
  if (rc != 0) return rc;
  rc = check_package_opens(fw_file, kExitTrace, VXINS_RC_FW_OPEN_FAILED);
  if (rc != 0) return rc;
  std::string fw_version;
  rc = getFwVersionFromFwFile(fw_file, fw_version);
  if (rc != 0) {
    VXINS_LOG_TRACE(LOG_ERROR,
                    "Getting Fw Version from boot file failed\n\t\t\t<--oem_do_discovery_with_files()\n");
    return rc;
  }
  snprintf(msg, sizeof msg, "FW VERSION FROM TAR FILE IS %s\n", fw_version.c_str());
  VXINS_LOG_TRACE(LOG_INFO, msg);

  rc = qrvl_vxinslib_init();
  if (rc != 0) return rc;

  // From here on the previous discovery file is gone, whatever follows.
  delete_file_if_exists(discovery_file);

  OwnedDeviceList devices;
  rc = call_guarded("qrvl_enumerate_devices", [&] {
    return qrvl_enumerate_devices(fw_version, fw_name, devices.devices);
  });
  if (rc != 0) {
    VXINS_LOG_TRACE(LOG_ERROR, "Quorvel Device Enumeration Failed\n");
    qrvl_free_device_list(devices.devices);
    int deinit_rc = qrvl_vxinslib_deinit();
    VXINS_LOG_TRACE(LOG_ERROR, kExitTrace);
    (void)deinit_rc;  // the enumeration's code is the more useful one to report
    return rc;
  }
  snprintf(msg, sizeof msg, "Number of QuorvelDevices is %d", static_cast<int>(devices.devices.size()));
  VXINS_LOG_TRACE(LOG_INFO, msg);
  display_device_list(devices.devices);
  // The writer knows whether its file took the discovery file's name; looking at the file
  // afterwards cannot tell (a host umask may make a complete file unreadable, an earlier file
  // that could not be removed may still be there).
  bool written = write_to_xmlfile(discovery_file, devices.devices);
  if (!written) {
    snprintf(msg, sizeof msg, "Discovery file (%s) could not be written", discovery_file);
    VXINS_LOG_TRACE(LOG_ERROR, msg);
  }
  qrvl_free_device_list(devices.devices);
  int deinit_rc = qrvl_vxinslib_deinit();
  if (!written) {
    VXINS_LOG_TRACE(LOG_ERROR, kExitTrace);
    return INTERNAL_OPER_FAILED;
  }
  return deinit_rc;
}
