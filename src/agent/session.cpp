// Opening and closing the agent session. The library is unloaded again on every failing path,
// and never while one of its exception objects is still being handled.
#include "agent/session.h"

#include <string>

#include "agent/answer_values.h"
#include "entry_points.h"
#include "guarded_call.h"
#include "log/log.h"
#include "vxins_host_api.h"
#include "vxins_trace.h"

namespace vxins {
namespace agent {

namespace {

// How an agent exception in the session calls is logged.
void log_session_throw(const char* call, const char* thrower, const CallOutcome& outcome) {
  if (outcome.kind == CallOutcome::Kind::kAgentError) {
    log::utility.error("%s: agent threw HbaAgentError %d: %s, returned INTERNAL_OPER_FAILED",
                       call, outcome.code, outcome.text.c_str());
    return;
  }
  const char* what = outcome.kind == CallOutcome::Kind::kStdException ? outcome.text.c_str()
                                                                      : "unknown type";
  log::utility.error("%s: %s threw an exception: %s, returned INTERNAL_OPER_FAILED", call,
                     thrower, what);
}

void log_agent_version() {
  const char* version = libGetAgtVersion();
  std::string text = version != nullptr ? version : "";
  log::utility.info("libVersion size = %d", static_cast<int>(text.size()));
  if (!text.empty()) log::utility.info("ZNAJ Library version: %s", text.c_str());
}

// The version and session calls; may throw whatever the agent throws. Returns the session code.
int init_session() {
  log_agent_version();
  Json::Value request;
  request["appId"] = static_cast<int>(ZNAJ_APP_ID);
  Json::Value answer = libInitHbaLib(request);
  if (answer.isNull()) {
    log::utility.error("%s", trace::kInitAnswerNull);
    return VXINS_RC_INTERNAL_OPER_FAILED;
  }
  // Only an object can carry "result"; anything else is not an answer to this request (and
  // JsonCpp would throw on a member lookup in it).
  if (!answer.isObject()) {
    log::utility.error(trace::kInitAnswerMalformed, "not an object");
    return VXINS_RC_INTERNAL_OPER_FAILED;
  }
  // "result" is read as JsonCpp's asInt reads it (null 0, 7.0 7); only a value that asInt
  // refuses (text, an array, a number out of int range) makes the answer malformed.
  Json::Int result = 0;
  if (answer.isMember("result") && !read_scalar(answer["result"], result)) {
    log::utility.error(trace::kInitAnswerMalformed, "result not an int");
    return VXINS_RC_INTERNAL_OPER_FAILED;
  }
  if (result != 0) log::utility.error(trace::kInitFailed, result);
  return result;
}

}  // namespace

int open_session() {
  int rc = load_entry_points();
  if (rc != 0) {
    log::utility.error("%s", trace::kAgentEntryPointsFailed);
    unload_entry_points();  // a missing symbol leaves the library loaded: do not leak the handle
    return rc;
  }
  CallOutcome outcome = guarded_call([&] { rc = init_session(); });
  if (outcome.threw()) {
    log_session_throw("qrvl_vxinslib_init", "agent", outcome);
    rc = VXINS_RC_INTERNAL_OPER_FAILED;
  }
  if (rc != 0) unload_entry_points();
  return rc;
}

int close_session() {
  log::utility.info("--> ~qrvl_vxinslib_init() Destructor.");
  int rc = 0;
  // With no library loaded the pointers may point into an unmapped image: do not call them.
  if (entry_points_loaded()) {
    CallOutcome outcome = guarded_call([] { libFreeHbaLib(); });
    if (outcome.threw()) {
      log_session_throw("qrvl_vxinslib_deinit", "free_hba_lib", outcome);
      rc = VXINS_RC_INTERNAL_OPER_FAILED;
    }
  }
  unload_entry_points();
  log::utility.info("%s", trace::kSessionClosed);
  return rc;
}

bool session_open() { return entry_points_loaded(); }

}  // namespace agent
}  // namespace vxins
