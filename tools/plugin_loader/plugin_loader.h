// Loading the shipped plug-in as the host framework does: dlopen by path (RTLD_NOW |
// RTLD_LOCAL), its three entry points resolved, dlclose. Used by vxins-host, the benchmark and
// the tests; it only loads and resolves, and never calls the plug-in, prints or throws.
#ifndef VXINS_PLUGIN_LOADER_H
#define VXINS_PLUGIN_LOADER_H

#include <string>

#include "vxins_host_api.h"

namespace vxplugin {

typedef decltype(&oem_do_discovery_with_files) discovery_fn;
typedef decltype(&oem_do_flash_with_file) flash_fn;
typedef decltype(&oem_do_full_flash_PCI) pci_fn;

extern const char kDiscoverySymbol[];
extern const char kFlashSymbol[];
extern const char kPciSymbol[];

// One loaded plug-in; unloaded by close() or the destructor. An entry point the library lacks
// stays null: each caller checks the ones it calls (missing() names the first absent one).
class PluginLibrary {
 public:
  PluginLibrary() = default;
  ~PluginLibrary() { close(); }
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  // Loads `path` as given (dlopen's own rules, so a name without a slash is searched for) and
  // resolves the entry points. False, with dlerror()'s text in `error`, when it cannot be loaded.
  bool open(const std::string& path, std::string& error);
  void close();

  // The first entry point the loaded library lacks, or nullptr when it has all three.
  const char* missing() const;

  discovery_fn discover = nullptr;
  flash_fn flash = nullptr;
  pci_fn pci = nullptr;

 private:
  void* handle_ = nullptr;
};

}  // namespace vxplugin

#endif
