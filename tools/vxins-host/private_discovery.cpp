// A ustar archive is 512-byte blocks: per member a header (name, octal mode, sizes and time,
// checksum, type, "ustar\0" "00"), its data padded to a block, then two zero blocks.
#include "private_discovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace vxhost {

namespace {

const size_t kBlock = 512;
// The version nothing is compared against: devices shows no offer and no action.
const char kPackageVersion[] = "0.0.0.0";
const char kPackageName[] = "vxins-host-devices.tar";

void octal(char* field, size_t width, unsigned long value) {
  snprintf(field, width, "%0*lo", static_cast<int>(width - 1), value);
}

std::string member(const std::string& name, char type, const std::string& data) {
  std::string header(kBlock, '\0');
  char* h = &header[0];
  memcpy(h, name.data(), std::min(name.size(), size_t{99}));
  octal(h + 100, 8, type == '5' ? 0755 : 0644);
  octal(h + 108, 8, 0);  // uid
  octal(h + 116, 8, 0);  // gid
  octal(h + 124, 12, data.size());
  octal(h + 136, 12, 0);  // mtime
  h[156] = type;
  memcpy(h + 257, "ustar", 6);
  memcpy(h + 263, "00", 2);
  // The checksum is taken with its own field as eight blanks.
  memset(h + 148, ' ', 8);
  unsigned long sum = 0;
  for (unsigned char c : header) sum += c;
  snprintf(h + 148, 8, "%06lo", sum);
  std::string padded = data;
  padded.resize((data.size() + kBlock - 1) / kBlock * kBlock, '\0');
  return header + padded;
}

bool write_file(const std::string& path, const std::string& bytes, std::string& error) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  size_t at = 0;
  while (fd >= 0 && at < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    at += static_cast<size_t>(n);
  }
  const int err = errno;
  if (fd >= 0 && ::close(fd) == 0 && at == bytes.size()) return true;
  error = "cannot write " + path + ": " + strerror(fd < 0 || at < bytes.size() ? err : errno);
  return false;
}

// Removes `dir` and what lies in it, one level of folders deep (the firmware folder); links are
// removed, never followed.
void remove_tree(const std::string& dir, int depth) {
  if (DIR* d = opendir(dir.c_str())) {
    std::vector<std::string> names;
    for (dirent* e = readdir(d); e != nullptr; e = readdir(d))
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    closedir(d);
    for (const std::string& name : names) {
      const std::string path = dir + "/" + name;
      struct stat st;
      if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && depth > 0)
        remove_tree(path, depth - 1);
      else
        unlink(path.c_str());
    }
  }
  rmdir(dir.c_str());
}

}  // namespace

std::string ustar_package(const std::string& version) {
  return member("fw/", '5', "") +
         member("fw/version.txt", '0', "<version>" + version + "</version>\n") +
         std::string(2 * kBlock, '\0');
}

PrivateDiscovery::~PrivateDiscovery() {
  if (!folder_.empty()) remove_tree(folder_, 1);
}

bool PrivateDiscovery::create(std::string& error) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") +
                        "/vxins-devices-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    error = "cannot make a private folder like " + pattern + ": " + strerror(errno);
    return false;
  }
  folder_ = name.data();
  if (mkdir(firmware_dir().c_str(), 0700) != 0) {
    error = "cannot make " + firmware_dir() + ": " + strerror(errno);
    return false;
  }
  return write_file(firmware_dir() + "/" + kPackageName, ustar_package(kPackageVersion), error);
}

}  // namespace vxhost
