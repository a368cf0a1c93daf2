// A minimal stand-in for the host framework, for the end-to-end tests that need a process of
// their own (another LD_LIBRARY_PATH, a crash that must not take the test runner down):
// loads the plug-in with dlopen, makes one call and prints its integer result.
//   plugin_driver PLUGIN discover DISCOVERY_FILE FW_DIR
//   plugin_driver PLUGIN flash DISCOVERY_FILE FW_FILE_OR_DIR
//   plugin_driver PLUGIN pci
// The word "NULL" passes a null pointer for a path.
#include <cstdio>
#include <cstring>
#include <dlfcn.h>

typedef int (*two_paths_fn)(char*, char*);
typedef int (*pci_fn)(char*, bool, int, int, int);

static char* arg(char* s) { return strcmp(s, "NULL") == 0 ? nullptr : s; }

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s PLUGIN discover|flash|pci [ARGS]\n", argv[0]);
    return 2;
  }
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    fprintf(stderr, "dlopen: %s\n", dlerror());
    return 2;
  }
  int rc;
  if (strcmp(argv[2], "pci") == 0) {
    pci_fn fn = reinterpret_cast<pci_fn>(dlsym(lib, "oem_do_full_flash_PCI"));
    rc = fn(nullptr, true, 1, 2, 3);
  } else if (argc == 5 && (strcmp(argv[2], "discover") == 0 || strcmp(argv[2], "flash") == 0)) {
    const char* sym = argv[2][0] == 'd' ? "oem_do_discovery_with_files" : "oem_do_flash_with_file";
    two_paths_fn fn = reinterpret_cast<two_paths_fn>(dlsym(lib, sym));
    rc = fn(arg(argv[3]), arg(argv[4]));
  } else {
    fprintf(stderr, "bad arguments\n");
    dlclose(lib);
    return 2;
  }
  printf("%d\n", rc);
  dlclose(lib);
  return 0;
}
