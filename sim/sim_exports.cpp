// libdznaj.so's sixteen C entry points, each a thin call into the simulator's engine. This is
// the only file compiled once per library variant: DZNAJ_SIM_OMIT_<symbol> leaves one entry
// point out, for the loader's missing-symbol tests.
#include <type_traits>

#include "sim_core.h"
#include "znaj_agent.h"

// Each definition must have exactly the type the plug-in casts its dlsym() result to.
#define DZNAJ_SIM_SAME_TYPE(sym)                               \
  static_assert(std::is_same<decltype(&sym), sym##_fp>::value, \
                #sym " does not match its entry-point type in znaj_agent.h")

DZNAJ_SIM_SAME_TYPE(getRequestID);
DZNAJ_SIM_SAME_TYPE(init_hba_lib);
DZNAJ_SIM_SAME_TYPE(get_agt_version);
DZNAJ_SIM_SAME_TYPE(free_hba_lib);
DZNAJ_SIM_SAME_TYPE(getHbaByWwn);
DZNAJ_SIM_SAME_TYPE(getNumberOfAdapters);
DZNAJ_SIM_SAME_TYPE(getAllAdaptersIndexString);
DZNAJ_SIM_SAME_TYPE(getEthPhyPortIndicesByAdapter);
DZNAJ_SIM_SAME_TYPE(getEthPortByEthMac);
DZNAJ_SIM_SAME_TYPE(getPortByWwn);
DZNAJ_SIM_SAME_TYPE(getFcByFcWwn);
DZNAJ_SIM_SAME_TYPE(setPortByWwn);
DZNAJ_SIM_SAME_TYPE(getFcoeByPort);
DZNAJ_SIM_SAME_TYPE(getFcPhyPortIndicesByAdapter);
DZNAJ_SIM_SAME_TYPE(hba_flashUpgrade);
DZNAJ_SIM_SAME_TYPE(getAdvAdapterData);

#define DZNAJ_SIM_JSON_ENTRY(sym) \
  Json::Value sym(const Json::Value& request) { return dznajsim::json_call(#sym, request); }

extern "C" {

#ifndef DZNAJ_SIM_OMIT_getRequestID
int getRequestID() { return dznajsim::request_id(); }
#endif
#ifndef DZNAJ_SIM_OMIT_init_hba_lib
DZNAJ_SIM_JSON_ENTRY(init_hba_lib)
#endif
#ifndef DZNAJ_SIM_OMIT_get_agt_version
char* get_agt_version() { return dznajsim::agent_version(); }
#endif
#ifndef DZNAJ_SIM_OMIT_free_hba_lib
int free_hba_lib() { return dznajsim::free_lib(); }
#endif
#ifndef DZNAJ_SIM_OMIT_getHbaByWwn
DZNAJ_SIM_JSON_ENTRY(getHbaByWwn)
#endif
#ifndef DZNAJ_SIM_OMIT_getNumberOfAdapters
uint32_t getNumberOfAdapters() { return dznajsim::adapter_count(); }
#endif
#ifndef DZNAJ_SIM_OMIT_getAllAdaptersIndexString
DZNAJ_SIM_JSON_ENTRY(getAllAdaptersIndexString)
#endif
#ifndef DZNAJ_SIM_OMIT_getEthPhyPortIndicesByAdapter
DZNAJ_SIM_JSON_ENTRY(getEthPhyPortIndicesByAdapter)
#endif
#ifndef DZNAJ_SIM_OMIT_getEthPortByEthMac
DZNAJ_SIM_JSON_ENTRY(getEthPortByEthMac)
#endif
#ifndef DZNAJ_SIM_OMIT_getPortByWwn
DZNAJ_SIM_JSON_ENTRY(getPortByWwn)
#endif
#ifndef DZNAJ_SIM_OMIT_getFcByFcWwn
DZNAJ_SIM_JSON_ENTRY(getFcByFcWwn)
#endif
#ifndef DZNAJ_SIM_OMIT_setPortByWwn
DZNAJ_SIM_JSON_ENTRY(setPortByWwn)
#endif
#ifndef DZNAJ_SIM_OMIT_getFcoeByPort
DZNAJ_SIM_JSON_ENTRY(getFcoeByPort)
#endif
#ifndef DZNAJ_SIM_OMIT_getFcPhyPortIndicesByAdapter
DZNAJ_SIM_JSON_ENTRY(getFcPhyPortIndicesByAdapter)
#endif
#ifndef DZNAJ_SIM_OMIT_hba_flashUpgrade
int hba_flashUpgrade(char* wwn, char* file, uint32_t size, int flag, char* pErrStr, uint32_t len) {
  return dznajsim::flash_upgrade(wwn, file, size, flag, pErrStr, len);
}
#endif
#ifndef DZNAJ_SIM_OMIT_getAdvAdapterData
DZNAJ_SIM_JSON_ENTRY(getAdvAdapterData)
#endif

}  // extern "C"
