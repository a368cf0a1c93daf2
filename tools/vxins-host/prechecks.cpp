// The host's checks of the paths a discover or flash call is given.
#include "prechecks.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/regular_file.h"
#include "host_files.h"
#include "package/package_reader.h"
#include "vxins_host_api.h"

namespace vxhost {

namespace {

bool writable_folder(const std::string& folder) {
  return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string current_folder() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) != nullptr ? buf : ".";
}

// The folder's one entry, as the plug-in finds it (quietly: the trace log may be another
// call's), or a finding about why there is not exactly one.
bool single_entry(const std::string& folder, std::string& name, std::vector<Finding>& out) {
  std::vector<std::string> names;
  const int rc = vxins::package::single_entry_of(folder, name, vxins::log::Trace::kQuiet, &names);
  if (rc == 0) return true;
  if (rc != VXINS_RC_INVALID_ARG) {
    out.push_back({rc, "cannot list the firmware folder " + folder + ": " + strerror(rc)});
    return false;
  }
  std::string listed;
  for (size_t i = 0; i < names.size() && i < 3; ++i) listed += (i ? ", " : "") + names[i];
  if (names.size() > 3) listed += ", ...";
  out.push_back({VXINS_RC_INVALID_ARG,
                 names.empty() ? "the firmware folder " + folder + " is empty: it must hold the "
                                                                   "package alone"
                               : "the firmware folder " + folder + " holds " +
                                     std::to_string(names.size()) + " entries (" + listed +
                                     "): it must hold the package alone"});
  return false;
}

// The package itself must be a regular file the host can read, as the plug-in opens it.
void check_package(bool flash, const std::string& path, std::vector<Finding>& out) {
  const int code = flash ? VXINS_RC_FW_MISMATCH : VXINS_RC_FW_OPEN_FAILED;
  vxins::files::RegularFile package;
  if (package.open(path)) return;
  const vxins::files::FileFailure& why = package.failure();
  out.push_back({code, why.step == vxins::files::FileFailure::kNotRegular
                           ? "the package " + why.text(path)
                           : "cannot open the package " + path + ": " + strerror(why.err)});
}

// The firmware argument: its package's name, or findings about why it has none.
void check_firmware(bool flash, const std::string& firmware, std::string& package,
                    std::vector<Finding>& out) {
  struct stat st;
  if (stat(firmware.c_str(), &st) != 0) {
    out.push_back({-1, "the firmware path " + firmware + (errno == ENOENT ? " does not exist"
                                                           : std::string(" cannot be examined: ") +
                                                                 strerror(errno))});
    return;
  }
  std::string path = firmware;
  if (S_ISDIR(st.st_mode)) {
    std::string name;
    if (!single_entry(firmware, name, out)) return;
    path = firmware + "/" + name;
  } else if (!flash) {
    out.push_back({VXINS_RC_INVALID_ARG, "the firmware path " + firmware +
                                             " is not a folder: discover takes the folder "
                                             "holding the package"});
    return;
  }
  package = vxins::package::bare_file_name(path);
  check_package(flash, path, out);
}

}  // namespace

std::vector<Finding> check_before_call(bool flash, const std::string& discovery_file,
                                       const std::string& firmware, std::string& package) {
  std::vector<Finding> out;
  package.clear();
  check_firmware(flash, firmware, package, out);
  std::string folder = folder_of(discovery_file);
  if (!writable_folder(folder)) {
    out.push_back({VXINS_RC_INTERNAL_OPER_FAILED,
                   "the discovery file's folder " + folder + " is not writable (" +
                       strerror(errno) + "): the plug-in cannot " +
                       (flash ? "rewrite" : "write") + " " + discovery_file});
  }
  if (!writable_folder(".")) {
    out.push_back({VXINS_RC_BAD_VERSION_MEMBER,
                   "the current folder " + current_folder() +
                       " is not writable: the package reader creates its scratch file "
                       "tmp_<thread> there (run vxins-host from a writable folder)"});
  }
  return out;
}

}  // namespace vxhost
