// The exported C functions the host framework calls. They are the only place that catches
// everything: whatever escapes a sequence (an exception our own code did not expect) becomes
// INTERNAL_OPER_FAILED, and the agent library is released after the handler has ended.
#include <exception>
#include <new>

#include "agent/session.h"
#include "sequences.h"
#include "log/log.h"
#include "vxins_host_api.h"
#include "vxins_log.h"
#include "vxins_trace.h"

namespace {

using vxins::log::entry;

template <typename F>
int run_entry_point(const char* name, F&& body) {
  bool escaped = false;
  int rc = VXINS_RC_INTERNAL_OPER_FAILED;
  try {
    rc = body();
  } catch (const std::bad_alloc&) {
    escaped = true;
    entry.error("%s: out of memory, returned INTERNAL_OPER_FAILED", name);
  } catch (const std::exception& e) {
    escaped = true;
    entry.error("%s: unexpected exception: %s, returned INTERNAL_OPER_FAILED", name, e.what());
  } catch (...) {
    escaped = true;
    entry.error("%s: unexpected exception, returned INTERNAL_OPER_FAILED", name);
  }
  // Outside the handler: the exception object may belong to the agent library.
  if (escaped) {
    if (vxins::agent::session_open()) vxins::agent::close_session();
    rc = VXINS_RC_INTERNAL_OPER_FAILED;
  }
  return rc;
}

}  // namespace

extern "C" int oem_do_discovery_with_files(char* discovery_file, char* fw_file_path) {
  return run_entry_point("oem_do_discovery_with_files", [&] {
    vxins_log_restart();
    return vxins::host::run_discovery(discovery_file, fw_file_path);
  });
}

extern "C" int oem_do_flash_with_file(char* discovery_file, char* firmware_file_or_path) {
  return run_entry_point("oem_do_flash_with_file", [&] {
    vxins_log_restart();
    return vxins::host::run_flash(discovery_file, firmware_file_or_path);
  });
}

extern "C" int oem_do_full_flash_PCI(char* firmware_file, bool force, int PCIBus, int PCIDevice,
                                     int PCIFunction) {
  (void)firmware_file;
  (void)force;
  (void)PCIBus;
  (void)PCIDevice;
  (void)PCIFunction;
  entry.warn("%s", vxins::trace::kPciCall);
  return VXINS_RC_NOT_SUPPORTED;
}
