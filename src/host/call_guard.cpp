#include "host/call_guard.h"

#include <cstdio>

#include "agent/agent_loader.h"
#include "vxins_log.h"

void log_guarded_exception(const char* what, const char* kind, const std::string& text) {
  char buf[300];
  snprintf(buf, sizeof buf, "%s threw %s: %s, returned INTERNAL_OPER_FAILED", what, kind,
           text.c_str());
  VXINS_LOG_TRACE(LOG_ERROR, buf);
}

bool release_agent_if_loaded() {
  if (gLibHandle == nullptr) return false;
  int rc = qrvl_vxinslib_deinit();
  (void)rc;
  return true;
}
