// The contract of the vendor's agent library libdznaj.so: its sixteen C entry points and the
// exception class it throws. Both the plug-in (which resolves the symbols with dlsym, see
// src/agent/entry_points.h) and our simulator (which exports them) include it, so the compiler
// checks that the two agree.
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

// The sixteen entry points, in the order the plug-in resolves them: X(symbol, shape, the
// plug-in's pointer, the default stub stored before the lookup). Every list of the entry points
// (declarations, pointer table, resolution, the simulator's exports and the build's export
// lists) is generated from this one.
#define ZNAJ_ENTRY_POINTS(X)                                                                    \
  X(getRequestID, voidRetIntFP, libGetRequestID, default_voidRetIntFP)                          \
  X(init_hba_lib, JsonReqFP, libInitHbaLib, default_JsonReqFP)                                  \
  X(get_agt_version, voidRetStrFP, libGetAgtVersion, default_voidRetStrFP)                      \
  X(free_hba_lib, voidRetIntFP, libFreeHbaLib, default_voidRetIntFP)                            \
  X(getHbaByWwn, JsonReqFP, libGetHbaByWwn, default_JsonReqFP)                                  \
  X(getNumberOfAdapters, voidRetUIntFP, libGetNumOfAdapters, default_voidRetUIntFP)             \
  X(getAllAdaptersIndexString, JsonReqFP, libGetAllAdapterIndexString, default_JsonReqFP)       \
  X(getEthPhyPortIndicesByAdapter, JsonReqFP, libGetEthPhyPortIndicesByAdapter,                 \
    default_JsonReqFP)                                                                          \
  X(getEthPortByEthMac, JsonReqFP, libGetEthPortByEthMac, default_JsonReqFP)                    \
  X(getPortByWwn, JsonReqFP, libGetPortByWwn, default_JsonReqFP)                                \
  X(getFcByFcWwn, JsonReqFP, libGetFcByFcWwn, default_JsonReqFP)                                \
  X(setPortByWwn, JsonReqFP, libSetPortByWwn, default_JsonReqFP)                                \
  X(getFcoeByPort, JsonReqFP, libGetFcoeByPort, default_JsonReqFP)                              \
  X(getFcPhyPortIndicesByAdapter, JsonReqFP, libGetFcPhyPortIndicesByAdapter, default_JsonReqFP) \
  X(hba_flashUpgrade, flashUpgradeFP, libHbaFlashUpgrade, default_flashUpgradeFP)               \
  X(getAdvAdapterData, JsonReqFP, libGetAdvAdapterData, default_JsonReqFP)

enum { ZNAJ_ENTRY_POINT_COUNT = 16 };

// One type per entry point, named after its symbol.
#define ZNAJ_DECLARE_TYPE(symbol, shape, pointer, stub) typedef shape symbol##_fp;
ZNAJ_ENTRY_POINTS(ZNAJ_DECLARE_TYPE)
#undef ZNAJ_DECLARE_TYPE

// The agent's exported symbols, with C linkage (declared for the simulator, which defines
// them; the plug-in never links against them, it resolves them at run time).
#define ZNAJ_SIGNATURE_JsonReqFP(symbol) Json::Value symbol(const Json::Value& request);
#define ZNAJ_SIGNATURE_voidRetStrFP(symbol) char* symbol();
#define ZNAJ_SIGNATURE_voidRetUIntFP(symbol) uint32_t symbol();
#define ZNAJ_SIGNATURE_voidRetIntFP(symbol) int symbol();
#define ZNAJ_SIGNATURE_flashUpgradeFP(symbol) \
  int symbol(char* wwn, char* file, uint32_t size, int flag, char* pErrStr, uint32_t len);
#define ZNAJ_DECLARE_SYMBOL(symbol, shape, pointer, stub) ZNAJ_SIGNATURE_##shape(symbol)
extern "C" {
ZNAJ_ENTRY_POINTS(ZNAJ_DECLARE_SYMBOL)
}
#undef ZNAJ_DECLARE_SYMBOL

// The session request's application identifier and the agent's file name.
enum { ZNAJ_APP_ID = 5821, ZNAJ_FLASH_ERRBUF_LEN = 128 };
#define ZNAJ_LIBRARY_NAME "libdznaj.so"

#endif
