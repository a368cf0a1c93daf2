#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "vxins_log.h"

namespace vxfuzz {

namespace {
std::string g_dir;
}

void init() {
  if (!g_dir.empty()) return;
  struct stat st;
  std::string base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
  std::string templ = base + "/vxins-fuzz-XXXXXX";
  if (mkdtemp(&templ[0]) == nullptr) fail("cannot create a scratch folder under " + base);
  g_dir = templ;
  if (chdir(g_dir.c_str()) != 0) fail("cannot enter " + g_dir);
  if (!vxins_log_set_path("")) fail("cannot point the trace log at /dev/null");
}

std::string scratch(const char* name) { return g_dir + "/" + name; }

void write_bytes(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) fail("cannot write " + path);
  if (size > 0 && fwrite(data, 1, size, f) != size) fail("short write to " + path);
  if (fclose(f) != 0) fail("cannot close " + path);
}

void fail(const std::string& what) {
  fprintf(stderr, "vxins fuzz oracle failed: %s\n", what.c_str());
  abort();
}

}  // namespace vxfuzz
