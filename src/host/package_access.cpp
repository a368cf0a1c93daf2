#include "package_access.h"

#include "files/regular_file.h"
#include "log/log.h"
#include "package/package_reader.h"
#include "vxins_trace.h"

namespace vxins {
namespace host {

bool can_open_for_reading(const std::string& path) {
  files::RegularFile file;
  return file.open(path);
}

int stat_firmware_path(const char* path, const char* exit_trace, struct stat& st) {
  int st_rc = stat(path, &st);
  if (st_rc != 0) {
    log::entry.error("Error(%d)-stat in getting the FW Folder path\n", st_rc);
    log::entry.error("%s", exit_trace);
  }
  return st_rc;
}

int find_package_in_folder(const char* folder, const char* exit_trace, std::string& name,
                           std::string& path) {
  int rc = package::single_entry_of(folder, name);
  if (rc != 0) {
    log::entry.error("Error(%d) in getting the FW File\n", rc);
    log::entry.error("%s", exit_trace);
    return rc;
  }
  path = std::string(folder) + "/" + name;
  return 0;
}

int check_package_opens(const std::string& path, const char* exit_trace, int failure_code) {
  if (can_open_for_reading(path)) return 0;
  log::entry.error(trace::kPackageOpenFailed, path.c_str());
  log::entry.error("%s", exit_trace);
  return failure_code;
}

int read_version(const std::string& path, const char* failure_line, std::string& version) {
  int rc = package::read_package_version(path, version);
  if (rc != 0) log::entry.error("%s", failure_line);
  return rc;
}

}  // namespace host
}  // namespace vxins
