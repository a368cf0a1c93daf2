// The discovery call: package version, agent session, enumeration, discovery file. run_discovery
// reads as the list of its stages.
#include <string>
#include <sys/stat.h>

#include "discovery/discovery_writer.h"
#include "agent_scope.h"
#include "device_lists.h"
#include "package_access.h"
#include "sequences.h"
#include "inventory/enumeration.h"
#include "log/log.h"
#include "vxins_host_api.h"
#include "vxins_log.h"
#include "vxins_trace.h"

namespace vxins {
namespace host {

namespace {

const char* const kExitTrace = trace::kDiscoveryCallEnds;

// The arguments, the package in the firmware folder and its version.
int prepare_package(char* discovery_file, char* fw_folder, std::string& name,
                    std::string& version) {
  if (discovery_file == nullptr) {
    log::entry.error("Discovery File Name is NULL\n<--oem_do_discovery_with_files()\n");
    return VXINS_RC_INVALID_ARG;
  }
  if (fw_folder == nullptr) {
    log::entry.error("FW File path is NULL\n<--oem_do_discovery_with_files()\n");
    return VXINS_RC_INVALID_ARG;
  }
  struct stat st;
  int rc = stat_firmware_path(fw_folder, kExitTrace, st);
  if (rc != 0) return rc;
  if (!S_ISDIR(st.st_mode)) {
    log::entry.info("Given path(%s) is Not a valid directory", fw_folder);
    log::entry.error("Error(%d) in getting the FW File\n", rc);
    log::entry.error("%s", kExitTrace);
    return VXINS_RC_INVALID_ARG;
  }
  std::string path;
  rc = find_package_in_folder(fw_folder, kExitTrace, name, path);
  if (rc == 0) rc = check_package_opens(path, kExitTrace, VXINS_RC_FW_OPEN_FAILED);
  if (rc == 0)
    rc = read_version(
        path, "Getting Fw Version from boot file failed\n\t\t\t<--oem_do_discovery_with_files()\n",
        version);
  if (rc == 0) log::entry.info("FW VERSION FROM TAR FILE IS %s\n", version.c_str());
  return rc;
}

}  // namespace

int run_discovery(char* discovery_file, char* fw_file_path) {
  std::string package_name, package_version;
  int rc = prepare_package(discovery_file, fw_file_path, package_name, package_version);
  if (rc != 0) return rc;
  AgentScope agent;
  rc = agent.open();
  if (rc != 0) return rc;

  // From here on the previous discovery file is gone, whatever follows.
  delete_file_if_exists(discovery_file);
  inventory::DeviceList devices;
  rc = inventory::enumerate_devices(package_version, package_name, devices);
  if (rc != 0) {
    log::entry.error("%s", trace::kEnumerationFailed);
    free_devices(devices);
    // The enumeration's code is the more useful one to report than the release's.
    return agent.leave(rc, kExitTrace, ExitOrder::kReleaseThenTrace);
  }
  log::entry.info(trace::kDeviceCount, static_cast<int>(devices.size()));
  log_devices(devices);
  // The writer knows whether its file took the discovery file's name; looking at the file
  // afterwards cannot tell (a host umask may make a complete file unreadable, an earlier file
  // that could not be removed may still be there).
  bool written = discovery::write_discovery_file(discovery_file, devices);
  if (!written) log::entry.error("Discovery file (%s) could not be written", discovery_file);
  free_devices(devices);
  if (!written)
    return agent.leave(VXINS_RC_INTERNAL_OPER_FAILED, kExitTrace, ExitOrder::kReleaseThenTrace);
  return agent.finish(0);
}

}  // namespace host
}  // namespace vxins
