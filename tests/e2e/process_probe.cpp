#include "process_probe.h"

#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "e2e_support.h"
#include "test_support.h"

namespace vxe2e {

std::vector<std::string> mappings_of(const std::string& name) {
  std::vector<std::string> out;
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find(name) != std::string::npos) out.push_back(line);
  return out;
}

std::vector<std::string> open_fd_targets() {
  std::vector<std::string> out;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return out;
  int own = dirfd(dir);
  for (struct dirent* e = readdir(dir); e != nullptr; e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    if (atoi(e->d_name) == own) continue;
    std::string link = std::string("/proc/self/fd/") + e->d_name;
    char target[PATH_MAX] = "";
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n >= 0) target[n] = '\0';
    out.push_back(std::string(e->d_name) + " -> " + target);
  }
  closedir(dir);
  return out;
}

int open_fd_count() { return static_cast<int>(open_fd_targets().size()); }

long resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return atol(line.c_str() + 6);
  }
  return -1;
}

std::vector<std::string> files_with_prefix(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> out;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return out;
  for (struct dirent* e = readdir(d); e != nullptr; e = readdir(d))
    if (strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) out.push_back(e->d_name);
  closedir(d);
  return out;
}

namespace {

std::vector<std::string> leaves_of(const XmlDevice& dev) {
  std::vector<std::string> out = dev.dev_order;
  for (const std::string& name : dev.fw_order) out.push_back("fw_item/" + name);
  return out;
}

std::string joined(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ",") + n;
  return out;
}

}  // namespace

std::vector<std::string> device_leaves(const std::string& path) {
  XmlDiscovery doc;
  std::string error;
  if (!parse_discovery(path, doc, error) || doc.devices.empty()) return {};
  return leaves_of(doc.devices[0]);
}

FileOutcome discovery_file_outcome(const std::string& path, const std::string& before,
                                   const std::vector<std::string>& reference_leaves,
                                   std::string& why) {
  if (!vxtest::file_exists(path)) return FileOutcome::Absent;
  std::string now = vxtest::read_file(path);
  if (!before.empty() && now == before) return FileOutcome::Untouched;
  XmlDiscovery doc;
  if (!parse_discovery(path, doc, why)) return FileOutcome::Broken;
  if (doc.root_version != "2.0.0.0") {
    why = "root version \"" + doc.root_version + "\"";
    return FileOutcome::Broken;
  }
  for (size_t i = 0; i < doc.devices.size(); ++i) {
    std::vector<std::string> leaves = leaves_of(doc.devices[i]);
    if (leaves != reference_leaves) {
      why = "device " + std::to_string(i) + " has leaves " + joined(leaves) + ", expected " +
            joined(reference_leaves);
      return FileOutcome::Broken;
    }
  }
  return FileOutcome::Complete;
}

const char* outcome_name(FileOutcome outcome) {
  switch (outcome) {
    case FileOutcome::Untouched:
      return "untouched";
    case FileOutcome::Absent:
      return "absent";
    case FileOutcome::Complete:
      return "complete";
    default:
      return "broken";
  }
}

}  // namespace vxe2e
