#include "host/package_access.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "package/package_reader.h"
#include "vxins_log.h"

bool can_open_for_reading(const std::string& path) {
  // O_NONBLOCK: opening a FIFO must not hang the host's thread before it is refused.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular;
}

std::string bare_file_name(const std::string& path) {
  std::string::size_type cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

int stat_firmware_path(const char* path, const char* exit_trace, struct stat& st) {
  int st_rc = stat(path, &st);
  if (st_rc != 0) {
    char msg[300];
    snprintf(msg, sizeof msg, "Error(%d)-stat in getting the FW Folder path\n", st_rc);
    VXINS_LOG_TRACE(LOG_ERROR, msg);
    VXINS_LOG_TRACE(LOG_ERROR, exit_trace);
  }
  return st_rc;
}

int find_package_in_folder(char* folder, const char* exit_trace, char (&fw_name)[256],
                           std::string& fw_file) {
  int rc = get_fwfile_from_path(folder, fw_name);
  if (rc != 0) {
    char msg[300];
    snprintf(msg, sizeof msg, "Error(%d) in getting the FW File\n", rc);
    VXINS_LOG_TRACE(LOG_ERROR, msg);
    VXINS_LOG_TRACE(LOG_ERROR, exit_trace);
    return rc;
  }
  fw_file = std::string(folder) + "/" + fw_name;
  return 0;
}

int check_package_opens(const std::string& fw_file, const char* exit_trace, int failure_code) {
  if (can_open_for_reading(fw_file)) return 0;
  char msg[300];
  snprintf(msg, sizeof msg, "FW FILE (%s)Open Failed.", fw_file.c_str());
  VXINS_LOG_TRACE(LOG_ERROR, msg);
  VXINS_LOG_TRACE(LOG_ERROR, exit_trace);
  return failure_code;
}
