// Fuzz target: the firmware package reader over arbitrary bytes, written to a file as the host
// would hand over a package. Oracles besides the sanitizers: only the documented result codes;
// a version only on success, at most 255 characters, found between the tags in the input; the
// output untouched on failure; no descriptor and no scratch file left behind.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <unistd.h>

#include "fuzz_support.h"
#include "package/package_reader.h"
#include "vxins_host_api.h"

namespace {

std::string g_package;
std::string g_scratch_name;

int lowest_free_fd() {
  int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) close(fd);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vxfuzz::init();
  g_package = vxfuzz::scratch("package.tar");
  char name[64];
  snprintf(name, sizeof name, "tmp_%lx", static_cast<unsigned long>(pthread_self()));
  g_scratch_name = name;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vxfuzz::write_bytes(g_package, data, size);

  const std::string sentinel = "untouched";
  std::string version = sentinel;
  // Compared around the call only: libFuzzer itself keeps descriptors open between inputs (the
  // pipes of the symbolizer it starts on the first new function).
  const int lowest_fd = lowest_free_fd();
  int rc = vxins::package::read_package_version(g_package, version);
  const bool fd_left_open = lowest_free_fd() != lowest_fd;

  switch (rc) {
    case 0: {
      if (version.size() > 255) vxfuzz::fail("version longer than 255 characters");
      std::string tagged = "<version>" + version + "</version>";
      if (std::string(reinterpret_cast<const char*>(data), size).find(tagged) == std::string::npos)
        vxfuzz::fail("version \"" + version + "\" does not stand between tags in the input");
      break;
    }
    case VXINS_RC_BAD_TAR_HEADER:
    case VXINS_RC_BAD_VERSION_MEMBER:
    case VXINS_RC_NO_MEMORY:
      if (version != sentinel) vxfuzz::fail("output changed on failure " + std::to_string(rc));
      break;
    default:
      vxfuzz::fail("undocumented result code " + std::to_string(rc));
  }
  if (access(g_scratch_name.c_str(), F_OK) == 0 || errno != ENOENT)
    vxfuzz::fail("scratch file " + g_scratch_name + " left behind");
  if (fd_left_open) vxfuzz::fail("a file descriptor was left open");
  return 0;
}
