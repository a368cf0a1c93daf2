// The contract of the vendor's agent library libdznaj.so: its sixteen C entry points, the
// exception class it throws, and the plug-in's table of resolved pointers. Both the plug-in
// (which resolves the symbols with dlsym) and our simulator (which exports them) include it,
// so the compiler checks that the two agree.
#ifndef ZNAJ_AGENT_H
#define ZNAJ_AGENT_H

#include <cstdint>
#include <string>
#include <json/json.h>

// Thrown by the agent library. A plain class in the global namespace; the layout (errCode,
// then errStr) is the agent's, so it must not change. No virtual functions: the plug-in and the
// agent match it in catch handlers by its type name.
class HbaAgentError {
 public:
  int errCode;
  std::string errStr;

  HbaAgentError() : errCode(0) {}
  HbaAgentError(int code, std::string str) : errCode(code), errStr(std::move(str)) {}
  int getErrorCode() const { return errCode; }
  std::string getErrorString() const { return errStr; }
  void setErrorString(const std::string& str) { errStr = str; }
  void appendErrorString(const std::string& str) { errStr += str; }
};

// The five shapes of agent entry point.
typedef Json::Value (*JsonReqFP)(const Json::Value& request);
typedef char* (*voidRetStrFP)();
typedef uint32_t (*voidRetUIntFP)();
typedef int (*voidRetIntFP)();
typedef int (*flashUpgradeFP)(char* wwn, char* file, uint32_t size, int flag, char* pErrStr,
                              uint32_t len);

// One type per entry point, named after its symbol.
typedef voidRetIntFP getRequestID_fp;
typedef JsonReqFP init_hba_lib_fp;
typedef voidRetStrFP get_agt_version_fp;
typedef voidRetIntFP free_hba_lib_fp;
typedef JsonReqFP getHbaByWwn_fp;
typedef voidRetUIntFP getNumberOfAdapters_fp;
typedef JsonReqFP getAllAdaptersIndexString_fp;
typedef JsonReqFP getEthPhyPortIndicesByAdapter_fp;
typedef JsonReqFP getEthPortByEthMac_fp;
typedef JsonReqFP getPortByWwn_fp;
typedef JsonReqFP getFcByFcWwn_fp;
typedef JsonReqFP setPortByWwn_fp;
typedef JsonReqFP getFcoeByPort_fp;
typedef JsonReqFP getFcPhyPortIndicesByAdapter_fp;
typedef flashUpgradeFP hba_flashUpgrade_fp;
typedef JsonReqFP getAdvAdapterData_fp;

// The agent's exported symbols, with C linkage (declared for the simulator, which defines
// them; the plug-in never links against them, it resolves them at run time).
extern "C" {
int getRequestID();
Json::Value init_hba_lib(const Json::Value& request);
char* get_agt_version();
int free_hba_lib();
Json::Value getHbaByWwn(const Json::Value& request);
uint32_t getNumberOfAdapters();
Json::Value getAllAdaptersIndexString(const Json::Value& request);
Json::Value getEthPhyPortIndicesByAdapter(const Json::Value& request);
Json::Value getEthPortByEthMac(const Json::Value& request);
Json::Value getPortByWwn(const Json::Value& request);
Json::Value getFcByFcWwn(const Json::Value& request);
Json::Value setPortByWwn(const Json::Value& request);
Json::Value getFcoeByPort(const Json::Value& request);
Json::Value getFcPhyPortIndicesByAdapter(const Json::Value& request);
int hba_flashUpgrade(char* wwn, char* file, uint32_t size, int flag, char* pErrStr, uint32_t len);
Json::Value getAdvAdapterData(const Json::Value& request);
}

// The plug-in's binding (owned by the agent loader): valid between a successful
// qrvl_vxinslib_init and qrvl_vxinslib_deinit.
extern void* gLibHandle;
extern getRequestID_fp libGetRequestID;
extern init_hba_lib_fp libInitHbaLib;
extern get_agt_version_fp libGetAgtVersion;
extern free_hba_lib_fp libFreeHbaLib;
extern getHbaByWwn_fp libGetHbaByWwn;
extern getNumberOfAdapters_fp libGetNumOfAdapters;
extern getAllAdaptersIndexString_fp libGetAllAdapterIndexString;
extern getEthPhyPortIndicesByAdapter_fp libGetEthPhyPortIndicesByAdapter;
extern getEthPortByEthMac_fp libGetEthPortByEthMac;
extern getPortByWwn_fp libGetPortByWwn;
extern getFcByFcWwn_fp libGetFcByFcWwn;
extern setPortByWwn_fp libSetPortByWwn;
extern getFcoeByPort_fp libGetFcoeByPort;
extern getFcPhyPortIndicesByAdapter_fp libGetFcPhyPortIndicesByAdapter;
extern hba_flashUpgrade_fp libHbaFlashUpgrade;
extern getAdvAdapterData_fp libGetAdvAdapterData;

// Default stubs, stored into each pointer just before its symbol is looked up.
Json::Value default_JsonReqFP(const Json::Value& request);
char* default_voidRetStrFP();
uint32_t default_voidRetUIntFP();
int default_voidRetIntFP();
int default_flashUpgradeFP(char* wwn, char* file, uint32_t size, int flag, char* pErrStr,
                           uint32_t len);

// The session request's application identifier and the agent's file name.
enum { ZNAJ_APP_ID = 5821, ZNAJ_FLASH_ERRBUF_LEN = 128 };
#define ZNAJ_LIBRARY_NAME "libdznaj.so"

#endif
