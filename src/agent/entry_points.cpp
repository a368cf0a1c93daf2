// dlopen/dlsym of libdznaj.so into the process-wide entry-point table, with the default stubs.
#include "entry_points.h"

#include <dlfcn.h>

#include "log/log.h"
#include "vxins_host_api.h"

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

namespace vxins {
namespace agent {

namespace {

// One row of the resolution: the stub goes in first so that the pointer is callable whatever
// happens, then the lookup's result replaces it (null included). False on a missing symbol,
// after logging it.
template <typename FP>
bool resolve_symbol(const char* name, FP& pointer, FP stub) {
  log::utility.info("fetching for %s", name);
  const char* pending = dlerror();
  if (pending != nullptr) log::utility.error(" Initial Error : %s", pending);
  pointer = stub;
  pointer = reinterpret_cast<FP>(dlsym(gLibHandle, name));
  const char* error = dlerror();
  if (error != nullptr) {
    log::utility.error("inside Error ");
    log::utility.error("%s not found. %s ", name, error);
    return false;
  }
  return true;
}

}  // namespace

int load_entry_points() {
  gLibHandle = dlopen(ZNAJ_LIBRARY_NAME, RTLD_NOW);
  if (gLibHandle == nullptr) {
    const char* error = dlerror();
    log::utility.error("ERROR:DLL Load Failed:%s", error != nullptr ? error : "");
    log::utility.error("<-- setup_znaj_entry_points failed");
    return VXINS_RC_AGENT_LOAD_FAILED;
  }
  // In the table's order; the first missing symbol ends the resolution.
#define ZNAJ_RESOLVE(symbol, shape, pointer, stub) \
  if (!resolve_symbol(#symbol, pointer, stub)) return -1;
  ZNAJ_ENTRY_POINTS(ZNAJ_RESOLVE)
#undef ZNAJ_RESOLVE
  return 0;
}

void unload_entry_points() {
  if (gLibHandle != nullptr) dlclose(gLibHandle);
  gLibHandle = nullptr;
}

bool entry_points_loaded() { return gLibHandle != nullptr; }

}  // namespace agent
}  // namespace vxins
