// The agent binding's loader: dlopen/dlsym of libdznaj.so into the process-wide entry-point
// table, the default stubs, and the agent session. The library is unloaded again on every
// failing path, and never while one of its exception objects is still being handled.
#include "agent/agent_loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <exception>
#include <string>

#include "agent/znaj_cxn_methods.h"
#include "vxins_host_api.h"
#include "vxins_log.h"

void* gLibHandle = nullptr;
#define ZNAJ_DEFINE_POINTER(symbol, shape, pointer, stub) symbol##_fp pointer = nullptr;
ZNAJ_ENTRY_POINTS(ZNAJ_DEFINE_POINTER)
#undef ZNAJ_DEFINE_POINTER

Json::Value default_JsonReqFP(const Json::Value& /*request*/) { return Json::Value(); }

char* default_voidRetStrFP() { return nullptr; }

uint32_t default_voidRetUIntFP() { return 0xFFFF; }

int default_voidRetIntFP() { return -1; }

int default_flashUpgradeFP(char* /*wwn*/, char* /*file*/, uint32_t /*size*/, int /*flag*/,
                           char* /*pErrStr*/, uint32_t /*len*/) {
  return -1;
}

namespace {

// One row of the resolution: the stub goes in first so that the pointer is callable whatever
// happens, then the lookup's result replaces it (null included). Returns false on a missing
// symbol, after logging it.
template <typename FP>
bool resolve_symbol(const char* name, FP& pointer, FP stub) {
  snprintf(gLogBuf, sizeof gLogBuf, "fetching for %s", name);
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
  const char* pending = dlerror();
  if (pending != nullptr) {
    snprintf(gLogBuf, sizeof gLogBuf, " Initial Error : %s", pending);
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
  }
  pointer = stub;
  pointer = reinterpret_cast<FP>(dlsym(gLibHandle, name));
  const char* error = dlerror();
  if (error != nullptr) {
    VXINS_LOG_TRACE(LOG_ERROR, "inside Error ");
    snprintf(gLogBuf, sizeof gLogBuf, "%s not found. %s ", name, error);
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
    return false;
  }
  return true;
}

void unload_agent() {
  if (gLibHandle != nullptr) dlclose(gLibHandle);
  gLibHandle = nullptr;
}

// What an agent exception is logged as; filled inside the handler, used after it.
void log_agent_throw(const char* symbol, const char* what) {
  snprintf(gLogBuf, sizeof gLogBuf, "%s threw an exception: %s, returned INTERNAL_OPER_FAILED",
           symbol, what);
  VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
}

// The version and session calls; may throw whatever the agent throws. Returns the session code.
int open_session() {
  const char* version = libGetAgtVersion();
  std::string text = version != nullptr ? version : "";
  snprintf(gLogBuf, sizeof gLogBuf, "libVersion size = %d", static_cast<int>(text.size()));
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
  if (!text.empty()) {
    snprintf(gLogBuf, sizeof gLogBuf, "ZNAJ Library version: %s", text.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
  }

  Json::Value request;
  request["appId"] = static_cast<int>(ZNAJ_APP_ID);
  Json::Value answer = libInitHbaLib(request);
  if (answer.isNull()) {
    VXINS_LOG_TRACE(LOG_ERROR, "libInitHbaLib returns NULL");
    return INTERNAL_OPER_FAILED;
  }
  // Only an object can carry "result"; anything else is not an answer to this request (and
  // JsonCpp would throw on a member lookup in it).
  if (!answer.isObject()) {
    VXINS_LOG_TRACE(LOG_ERROR, "libInitHbaLib returned a malformed answer (not an object)");
    return INTERNAL_OPER_FAILED;
  }
  // "result" is read as JsonCpp's asInt reads it (null 0, 7.0 7); only a value that asInt
  // refuses (text, an array, a number out of int range) makes the answer malformed.
  Json::Int result = 0;
  if (answer.isMember("result") && !qrvl_agent_scalar(answer["result"], result)) {
    VXINS_LOG_TRACE(LOG_ERROR, "libInitHbaLib returned a malformed answer (result not an int)");
    return INTERNAL_OPER_FAILED;
  }
  if (result != 0) {
    snprintf(gLogBuf, sizeof gLogBuf, "libInitHbaLib is failed with - %d", result);
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
    return result;
  }
  return 0;
}

}  // namespace

int setup_znaj_entry_points() {
  gLibHandle = dlopen(ZNAJ_LIBRARY_NAME, RTLD_NOW);
  if (gLibHandle == nullptr) {
    const char* error = dlerror();
    snprintf(gLogBuf, sizeof gLogBuf, "ERROR:DLL Load Failed:%s", error != nullptr ? error : "");
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
    VXINS_LOG_TRACE(LOG_ERROR, "<-- setup_znaj_entry_points failed");
    return VXINS_RC_AGENT_LOAD_FAILED;
  }
  // In the table's order; the first missing symbol ends the resolution.
#define ZNAJ_RESOLVE(symbol, shape, pointer, stub) \
  if (!resolve_symbol(#symbol, pointer, stub)) return -1;
  ZNAJ_ENTRY_POINTS(ZNAJ_RESOLVE)
#undef ZNAJ_RESOLVE
  return 0;
}

int qrvl_vxinslib_init() {
  int rc = setup_znaj_entry_points();
  if (rc != 0) {
    VXINS_LOG_TRACE(LOG_ERROR, "<-- qrvl_vxinslib_init(): znaj_entry point failed");
    unload_agent();  // a missing symbol leaves the library loaded: do not leak the handle
    return rc;
  }
  // The handlers only log: the exception object belongs to the agent's code until the handler
  // ends, so the library is unloaded after it.
  bool threw = false;
  try {
    rc = open_session();
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "qrvl_vxinslib_init: agent threw HbaAgentError %d: %s, returned INTERNAL_OPER_FAILED",
             e.errCode, e.errStr.c_str());
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
    threw = true;
  } catch (const std::exception& e) {
    log_agent_throw("qrvl_vxinslib_init: agent", e.what());
    threw = true;
  } catch (...) {
    log_agent_throw("qrvl_vxinslib_init: agent", "unknown type");
    threw = true;
  }
  if (threw) rc = INTERNAL_OPER_FAILED;
  if (rc != 0) unload_agent();
  return rc;
}

int qrvl_vxinslib_deinit() {
  VXINS_LOG_TRACE(LOG_INFO, "--> ~qrvl_vxinslib_init() Destructor.");
  int rc = 0;
  // With no library loaded the pointers may point into an unmapped image: do not call them.
  if (gLibHandle != nullptr) {
    try {
      libFreeHbaLib();
    } catch (const HbaAgentError& e) {
      snprintf(gLogBuf, sizeof gLogBuf,
               "qrvl_vxinslib_deinit: agent threw HbaAgentError %d: %s, returned "
               "INTERNAL_OPER_FAILED",
               e.errCode, e.errStr.c_str());
      VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
      rc = INTERNAL_OPER_FAILED;
    } catch (const std::exception& e) {
      log_agent_throw("qrvl_vxinslib_deinit: free_hba_lib", e.what());
      rc = INTERNAL_OPER_FAILED;
    } catch (...) {
      log_agent_throw("qrvl_vxinslib_deinit: free_hba_lib", "unknown type");
      rc = INTERNAL_OPER_FAILED;
    }
  }
  unload_agent();
  VXINS_LOG_TRACE(LOG_INFO, "<-- ~qrvl_vxinslib_init() Destructor.");
  return rc;
}
