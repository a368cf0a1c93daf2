// The one place the plug-in is opened with dlopen and its entry points looked up by name.
#include "plugin_loader.h"

#include <dlfcn.h>

namespace vxplugin {

const char kDiscoverySymbol[] = "oem_do_discovery_with_files";
const char kFlashSymbol[] = "oem_do_flash_with_file";
const char kPciSymbol[] = "oem_do_full_flash_PCI";

bool PluginLibrary::open(const std::string& path, std::string& error) {
  close();
  dlerror();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error = why != nullptr ? why : "unknown reason";
    return false;
  }
  discover = reinterpret_cast<discovery_fn>(dlsym(handle_, kDiscoverySymbol));
  flash = reinterpret_cast<flash_fn>(dlsym(handle_, kFlashSymbol));
  pci = reinterpret_cast<pci_fn>(dlsym(handle_, kPciSymbol));
  return true;
}

void PluginLibrary::close() {
  discover = nullptr;
  flash = nullptr;
  pci = nullptr;
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

const char* PluginLibrary::missing() const {
  if (discover == nullptr) return kDiscoverySymbol;
  if (flash == nullptr) return kFlashSymbol;
  if (pci == nullptr) return kPciSymbol;
  return nullptr;
}

}  // namespace vxplugin
