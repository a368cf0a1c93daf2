// Adapter count, index list and flash: the direct calls into the agent that the query layer
// does not make, each through guarded_call.
#include "agent/adapters.h"

#include <cstdio>
#include <cstring>

#include "entry_points.h"
#include "guarded_call.h"
#include "log/log.h"
#include "vxins_host_api.h"
#include "vxins_trace.h"

namespace vxins {
namespace agent {

namespace {

// How a direct call that threw (or cannot be made) is logged.
void log_direct_failure(const char* call, const CallOutcome& outcome) {
  switch (outcome.kind) {
    case CallOutcome::Kind::kAgentError:
      log::utility.error("%s got User exception %d: %s", call, outcome.code,
                         outcome.text.c_str());
      break;
    case CallOutcome::Kind::kStdException:
      log::utility.error("%s failed: %s, returned INTERNAL_OPER_FAILED", call,
                         outcome.text.c_str());
      break;
    default:
      log::utility.error("%s failed: %s, returned INTERNAL_OPER_FAILED", call,
                         "default exception");
  }
}

template <typename Pointer, typename Call>
bool direct_call(const char* name, Pointer pointer, Call call) {
  if (pointer == nullptr) {
    log::utility.error("%s failed: %s, returned INTERNAL_OPER_FAILED", name,
                       "entry point not bound");
    return false;
  }
  CallOutcome outcome = guarded_call(call);
  if (!outcome.threw()) return true;
  log_direct_failure(name, outcome);
  return false;
}

const size_t kAdapterBufSize = 24;  // the agent's wwn_str_t
const size_t kPathBufSize = 128;

// Writes the failure text into outcome (when given) and the log.
void report_failure(char* outcome, const char* reason) {
  char text[kFlashOutcomeSize];
  snprintf(text, sizeof text, "%s%s", trace::kFlashFailurePrefix, reason);
  if (outcome != nullptr) snprintf(outcome, kFlashOutcomeSize, "%s", text);
  log::utility.error("%s", text);
}

// Why a value cannot be handed over whole, or null when it can. A std::string that holds a NUL
// would reach the agent cut at it.
const char* unfit_reason(const std::string& value, size_t buf_size, const char* too_long,
                         const char* has_nul) {
  if (value.size() >= buf_size) return too_long;
  if (value.find('\0') != std::string::npos) return has_nul;
  return nullptr;
}

}  // namespace

bool adapter_count(uint32_t& count) {
  if (!direct_call("libGetNumOfAdapters", libGetNumOfAdapters,
                   [&] { count = libGetNumOfAdapters(); }))
    return false;
  log::utility.info("getDeviceVector QRVL Adapter Count = %d\n", static_cast<int>(count));
  return true;
}

bool adapter_index_list(Json::Value& index_strings) {
  Json::Value answer;
  if (!direct_call("libGetAllAdapterIndexString", libGetAllAdapterIndexString,
                   [&] { answer = libGetAllAdapterIndexString(Json::Value()); }))
    return false;
  // Anything but an object would make the member lookup throw; it is as unusable as null.
  if (!answer.isObject() || !answer.isMember("indexStrings") ||
      !answer["indexStrings"].isArray()) {
    log::utility.info("libGetAllAdapterIndexString returns NULL.");
    return false;
  }
  index_strings = answer["indexStrings"];
  return true;
}

int flash_adapter(const std::string& adapter, const std::string& package_path, char* outcome) {
  const char* unfit = unfit_reason(adapter, kAdapterBufSize, "adapter identifier too long",
                                   "adapter identifier holds a NUL");
  if (unfit == nullptr) {
    unfit = unfit_reason(package_path, kPathBufSize, "firmware file path too long",
                         "firmware file path holds a NUL");
  }
  if (unfit != nullptr) {
    report_failure(outcome, unfit);
    return VXINS_RC_INVALID_ARG;
  }
  if (libHbaFlashUpgrade == nullptr) {
    report_failure(outcome, "agent flash entry point not available");
    return VXINS_RC_INTERNAL_OPER_FAILED;
  }
  char wwn[kAdapterBufSize];
  snprintf(wwn, sizeof wwn, "%s", adapter.c_str());
  char path[kPathBufSize];
  snprintf(path, sizeof path, "%s", package_path.c_str());
  char agent_err[ZNAJ_FLASH_ERRBUF_LEN];
  memset(agent_err, 0, sizeof agent_err);

  int result = 0;
  CallOutcome call = guarded_call([&] {
    result = libHbaFlashUpgrade(wwn, path, 0, 0, agent_err, ZNAJ_FLASH_ERRBUF_LEN);
  });
  if (call.threw()) {
    report_failure(outcome, call.kind == CallOutcome::Kind::kOtherException
                                ? "unknown exception from the agent"
                                : call.text.c_str());
    return VXINS_RC_INTERNAL_OPER_FAILED;
  }
  log::utility.info(trace::kFlashReturned, result);
  if (result != 0) {
    // The agent may fill its buffer to the last byte; a long text is cut to fit 128 bytes.
    agent_err[sizeof agent_err - 1] = '\0';
    if (outcome != nullptr) {
      if (snprintf(outcome, kFlashOutcomeSize, "%s%s", trace::kFlashFailurePrefix, agent_err) >=
          static_cast<int>(kFlashOutcomeSize))
        outcome[kFlashOutcomeSize - 1] = '\0';
      log::utility.error("%s", outcome);
    }
    return result;
  }
  if (outcome != nullptr) snprintf(outcome, kFlashOutcomeSize, "%s", trace::kFlashSuccess);
  return 0;
}

}  // namespace agent
}  // namespace vxins
