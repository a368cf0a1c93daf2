// The flash call: check the package against the discovery file the host passed back, flash
// every adapter behind its chosen devices once, rewrite the file with the outcome. Each stage
// is a function of its own; run_flash reads as their list.
#include <string>
#include <sys/stat.h>

#include "discovery/discovery_reader.h"
#include "discovery/discovery_writer.h"
#include "agent/adapters.h"
#include "agent_scope.h"
#include "device_lists.h"
#include "flash_states.h"
#include "package_access.h"
#include "sequences.h"
#include "update_pass.h"
#include "inventory/enumeration.h"
#include "log/log.h"
#include "vxins_host_api.h"
#include "vxins_trace.h"

namespace vxins {
namespace host {

namespace {

using discovery::FlashOutcome;

const char* const kExitTrace = trace::kFlashCallEnds;

// Everything one flash call holds; released on every path.
struct FlashCall {
  const char* discovery_file = nullptr;
  std::string package_path;
  std::string package_name;     // the bare name, compared with the file's firmware_file
  std::string package_version;  // compared with the file's version
  AgentScope agent;
  inventory::DeviceList live;        // the fresh enumeration
  inventory::DeviceList from_file;   // what the host passed back
  FlashStates states;
  FirstDeviceValues first;           // carried to every rewritten device

  // Live records first, then the file's, as the trace has always shown them freed.
  void free_lists() {
    free_devices(live);
    free_devices(from_file);
  }
};

// The arguments, the package path and its version.
int prepare_package(FlashCall& call, char* discovery_file, char* firmware) {
  if (discovery_file == nullptr) {
    log::entry.error("INVALID DISCOVERY FILE.\n\t\t\t<--oem_do_flash_with_file()\n");
    return VXINS_RC_INVALID_ARG;
  }
  call.discovery_file = discovery_file;
  if (!can_open_for_reading(discovery_file)) {
    log::entry.error("%s", trace::kDiscoveryFileOpenFailed);
    return VXINS_RC_DISC_FILE_OPEN_FAILED;
  }
  if (firmware == nullptr) {
    log::entry.error("INVALID FW FILE.\n\t\t\t<--oem_do_flash_with_file()\n");
    return VXINS_RC_INVALID_ARG;
  }
  struct stat st;
  int rc = stat_firmware_path(firmware, kExitTrace, st);
  if (rc != 0) return rc;
  call.package_path = firmware;
  if (S_ISDIR(st.st_mode)) {
    std::string name;
    rc = find_package_in_folder(firmware, kExitTrace, name, call.package_path);
    if (rc != 0) return rc;
    log::entry.info("FW File from the given path is %s\n", call.package_path.c_str());
  }
  rc = check_package_opens(call.package_path, kExitTrace, VXINS_RC_FW_MISMATCH);
  if (rc != 0) return rc;
  call.package_name = bare_file_name(call.package_path);
  return read_version(call.package_path,
                      "Getting Fw Version from boot file failed\n\t\t\t<--oem_do_flash_with_file()\n",
                      call.package_version);
}

// The fresh enumeration, the agent's adapter count and its index list.
int list_adapters(FlashCall& call) {
  int rc = inventory::enumerate_devices(call.package_version, call.package_name, call.live);
  if (rc != 0) {
    log::entry.error("%s", trace::kEnumerationFailed);
    call.free_lists();
    return call.agent.leave(rc, kExitTrace, ExitOrder::kTraceThenRelease);
  }
  uint32_t count = 0;
  if (!agent::adapter_count(count)) {
    call.free_lists();
    return call.agent.leave(VXINS_RC_INTERNAL_OPER_FAILED, kExitTrace,
                            ExitOrder::kTraceThenRelease);
  }
  if (count == 0) {
    log::entry.error("%s", trace::kNoAdapters);
    log::entry.error("%s", kExitTrace);
    call.free_lists();
    return call.agent.leave(VXINS_RC_NO_ADAPTERS);
  }
  rc = call.states.load_from_agent();
  call.states.limit_to(count);
  if (rc != 0) {
    log::entry.error("ERROR:(%d)-Read from XML file %s Failed\n", rc, call.discovery_file);
    call.free_lists();
    return call.agent.leave(rc, kExitTrace, ExitOrder::kTraceThenRelease);
  }
  return 0;
}

// The discovery file as the host passed it back: refused whole when it cannot be read for sure.
int read_file_devices(FlashCall& call) {
  int rc = discovery::read_discovery_file(call.discovery_file, call.from_file);
  if (rc != 0) {
    log::entry.error("ERROR:(%d)-Read from XML file %s Failed\n", rc, call.discovery_file);
    call.free_lists();
    return call.agent.leave(rc, kExitTrace, ExitOrder::kTraceThenRelease);
  }
  log::entry.info("Number of Devices from XML File: %d\n",
                  static_cast<int>(call.from_file.size()));
  if (call.from_file.empty()) {
    call.free_lists();
    log::entry.error("%s", trace::kFileListsNoDevice);
    return call.agent.leave(VXINS_RC_NO_ADAPTERS);
  }
  return 0;
}

// Rewrites the discovery file with the outcome; false (logged) when it could not be written.
bool rewrite_file(FlashCall& call, FlashOutcome outcome) {
  discovery::RewriteValues values;
  values.outcome = outcome;
  values.fw_version = call.first.fw_version;
  values.fw_file = call.first.fw_file;
  values.skipped_ids = skipped_identifiers(call.from_file);
  values.file_ids = identifiers(call.from_file);
  values.tried_adapters = call.states.attempted();
  if (discovery::rewrite_discovery_file(call.discovery_file, call.live, values)) return true;
  log::entry.error(
      "Discovery file (%s) could not be rewritten with the outcome; the earlier file is removed",
      call.discovery_file);
  return false;
}

// The reasons not to flash at all: every device skipped (3), or another package (8): another
// file name, or the same name holding another version than the file was made for. The file is
// rewritten either way; 0 when the pass may run. A rewrite that fails makes it 1001: the host
// must not take an earlier file for this call's outcome.
int refuse_to_flash(FlashCall& call) {
  const int devices = static_cast<int>(call.from_file.size());
  int rc = 0;
  FlashOutcome outcome = FlashOutcome::kFailure;
  if (count_skipped(call.from_file) == devices) {
    log::entry.error("%s", trace::kAllSkip);
    rc = VXINS_RC_ALL_SKIP;
  } else if (call.first.fw_file != call.package_name) {
    log::entry.info(trace::kPackageMismatch, call.package_name.c_str(),
                    call.first.fw_file.c_str());
    rc = VXINS_RC_FW_MISMATCH;
    outcome = FlashOutcome::kPackageMismatch;
  } else if (call.first.fw_version != call.package_version) {
    log::entry.info(trace::kPackageVersionMismatch, call.package_version.c_str(),
                    call.first.fw_version.c_str());
    rc = VXINS_RC_FW_MISMATCH;
    outcome = FlashOutcome::kPackageMismatch;
  } else {
    log::entry.error(trace::kPackageMatches, call.package_name.c_str(),
                     call.first.fw_file.c_str());
    return 0;
  }
  bool rewritten = rewrite_file(call, outcome);
  call.free_lists();
  log::entry.error("Not proceeding with boot update\n");
  return call.agent.leave(rewritten ? rc : VXINS_RC_INTERNAL_OPER_FAILED, kExitTrace,
                          ExitOrder::kReleaseThenTrace);
}

}  // namespace

int run_flash(char* discovery_file, char* firmware_file_or_path) {
  log::entry.info("%s", trace::kFlashCallBegins);
  FlashCall call;
  int rc = prepare_package(call, discovery_file, firmware_file_or_path);
  if (rc != 0) return rc;
  rc = call.agent.open();
  if (rc == VXINS_RC_FLASH_DONE || rc == VXINS_RC_ALL_SKIP) {
    // The agent's own result, but the host would read it as this call's "pass ran" or "all
    // skipped".
    log::entry.error(trace::kInitResultIsFlashCode, rc);
    rc = VXINS_RC_INTERNAL_OPER_FAILED;
  }
  if (rc != 0) {
    log::entry.error("%s", trace::kLibraryNotInitialized);
    return rc;
  }
  rc = list_adapters(call);
  if (rc == 0) rc = read_file_devices(call);
  if (rc != 0) return rc;
  call.first = first_device_values(call.from_file);
  rc = refuse_to_flash(call);
  if (rc != 0) return rc;

  FlashOutcome outcome = run_update_pass(call.from_file, call.live, call.states, call.package_path);
  bool rewritten = rewrite_file(call, outcome);
  // The file's records first, then the live ones, as the trace has always shown them freed.
  free_devices(call.from_file);
  free_devices(call.live);
  if (!rewritten)
    return call.agent.leave(VXINS_RC_INTERNAL_OPER_FAILED, kExitTrace, ExitOrder::kTraceThenRelease);
  return call.agent.finish(VXINS_RC_FLASH_DONE);
}

}  // namespace host
}  // namespace vxins
