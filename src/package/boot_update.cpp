// Flashing one adapter: hands the package path to the agent's "hba_flashUpgrade" and turns its
// answer into a result code and an outcome text for the caller's 128-byte buffer.
//
// The agent takes the identifier and the path in fixed buffers. A value that does not fit is
// refused rather than cut, since a cut path or identifier could flash the wrong file or the
// wrong adapter. The agent may throw; that is a failed flash, never an exception for the host.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "qrvl_device.h"
#include "vxins_host_api.h"
#include "vxins_log.h"
#include "znaj_agent.h"

namespace {

typedef char wwn_str_t[24];
const size_t kPathBufSize = 128;
const size_t kErrStrSize = 128;  // the caller's outcome buffer
const char kFailPrefix[] = "ERROR:BOOT UPDATE FAILED:";

// Writes the failure text into err_str (when given) and the log.
void report_failure(char* err_str, const char* reason) {
  char text[kErrStrSize];
  snprintf(text, sizeof text, "%s%s", kFailPrefix, reason);
  if (err_str != nullptr) snprintf(err_str, kErrStrSize, "%s", text);
  VXINS_LOG_TRACE(LOG_ERROR, text);
}

// Why a value cannot be handed over whole, or null when it can. A std::string that holds a NUL
// would reach the agent cut at it.
const char* unfit_reason(const std::string& value, size_t buf_size, const char* what_too_long,
                         const char* what_has_nul) {
  if (value.size() >= buf_size) return what_too_long;
  if (value.find('\0') != std::string::npos) return what_has_nul;
  return nullptr;
}

}  // namespace

int CQrvlDevice::boot_update(std::string mac_or_wwn, std::string fw_file, char* err_str) {
  char agent_err[ZNAJ_FLASH_ERRBUF_LEN];
  memset(agent_err, 0, sizeof agent_err);

  const char* unfit = unfit_reason(mac_or_wwn, sizeof(wwn_str_t), "adapter identifier too long",
                                   "adapter identifier holds a NUL");
  if (unfit == nullptr) {
    unfit = unfit_reason(fw_file, kPathBufSize, "firmware file path too long",
                         "firmware file path holds a NUL");
  }
  if (unfit != nullptr) {
    report_failure(err_str, unfit);
    return VXINS_RC_INVALID_ARG;
  }
  wwn_str_t wwn;
  snprintf(wwn, sizeof wwn, "%s", mac_or_wwn.c_str());
  char path[kPathBufSize];
  snprintf(path, sizeof path, "%s", fw_file.c_str());

  if (libHbaFlashUpgrade == nullptr) {
    report_failure(err_str, "agent flash entry point not available");
    return INTERNAL_OPER_FAILED;
  }

  // The exception object belongs to the agent's runtime and is destroyed when a handler ends:
  // the handlers only copy its text, into a fixed buffer so that nothing can throw there.
  char thrown[kErrStrSize] = {};
  bool threw = false;
  int result = 0;
  try {
    result = libHbaFlashUpgrade(wwn, path, 0, 0, agent_err, ZNAJ_FLASH_ERRBUF_LEN);
  } catch (const HbaAgentError& e) {
    threw = true;
    snprintf(thrown, sizeof thrown, "%s", e.errStr.c_str());
  } catch (const std::exception& e) {
    threw = true;
    snprintf(thrown, sizeof thrown, "%s", e.what());
  } catch (...) {
    threw = true;
    snprintf(thrown, sizeof thrown, "%s", "unknown exception from the agent");
  }
  if (threw) {
    report_failure(err_str, thrown);
    return INTERNAL_OPER_FAILED;
  }

  snprintf(gLogBuf, sizeof gLogBuf, "Flash upgrade returned %d\n", result);
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);

  if (result != 0) {
    // The agent may fill its buffer to the last byte.
    agent_err[sizeof agent_err - 1] = '\0';
    if (err_str != nullptr) {
      // A long agent text is cut to fit the caller's 128 bytes.
      if (snprintf(err_str, kErrStrSize, "%s%s", kFailPrefix, agent_err) >=
          static_cast<int>(kErrStrSize)) {
        err_str[kErrStrSize - 1] = '\0';
      }
      VXINS_LOG_TRACE(LOG_ERROR, err_str);
    }
    return result;
  }
  if (err_str != nullptr) snprintf(err_str, kErrStrSize, "%s", "BOOT UPDATE SUCCESS");
  return 0;
}
