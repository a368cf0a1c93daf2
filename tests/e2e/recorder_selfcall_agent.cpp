// A two-symbol agent for the recorder's tests that calls its own exported entry point, as a vendor
// library linked without -Bsymbolic may: init_hba_lib asks get_agt_version through the dynamic
// linker, so a recorder loaded globally is offered that inner call. Each version text counts.
#include <cstdio>

#include "znaj_agent.h"

namespace {
int g_version_calls = 0;
char g_version[32];
}  // namespace

extern "C" {

char* get_agt_version() {
  snprintf(g_version, sizeof g_version, "selfcall-%d", ++g_version_calls);
  return g_version;
}

Json::Value init_hba_lib(const Json::Value& /*request*/) {
  Json::Value answer(Json::objectValue);
  answer["result"] = 0;
  answer["sawVersion"] = get_agt_version();
  return answer;
}

}  // extern "C"
