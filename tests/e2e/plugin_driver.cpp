// A minimal stand-in for the host framework, for the end-to-end tests that need a process of
// their own (another LD_LIBRARY_PATH, a crash that must not take the test runner down):
// loads the plug-in with dlopen, makes one call and prints its integer result.
//   plugin_driver PLUGIN discover DISCOVERY_FILE FW_DIR
//   plugin_driver PLUGIN flash DISCOVERY_FILE FW_FILE_OR_DIR
//   plugin_driver PLUGIN pci
// The word "NULL" passes a null pointer for a path.
#include <cstdio>
#include <cstring>
#include <string>

#include "plugin_loader.h"

static char* arg(char* s) { return strcmp(s, "NULL") == 0 ? nullptr : s; }

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s PLUGIN discover|flash|pci [ARGS]\n", argv[0]);
    return 2;
  }
  vxplugin::PluginLibrary lib;
  std::string error;
  if (!lib.open(argv[1], error)) {
    fprintf(stderr, "dlopen: %s\n", error.c_str());
    return 2;
  }
  if (lib.missing() != nullptr) {
    fprintf(stderr, "the plug-in lacks %s\n", lib.missing());
    return 2;
  }
  int rc;
  if (strcmp(argv[2], "pci") == 0) {
    rc = lib.pci(nullptr, true, 1, 2, 3);
  } else if (argc == 5 && (strcmp(argv[2], "discover") == 0 || strcmp(argv[2], "flash") == 0)) {
    auto fn = argv[2][0] == 'd' ? lib.discover : lib.flash;
    rc = fn(arg(argv[3]), arg(argv[4]));
  } else {
    fprintf(stderr, "bad arguments\n");
    return 2;
  }
  printf("%d\n", rc);
  return 0;
}
