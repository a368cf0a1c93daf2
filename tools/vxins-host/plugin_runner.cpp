// Finding and calling the plug-in. The agent library is never loaded here: the plug-in loads and
// unloads it by its plain name inside each call, and --agent only changes where the loader
// looks (by re-executing with LD_LIBRARY_PATH), so the plug-in runs exactly as in production.
#include "plugin_runner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "plugin_loader.h"

namespace vxhost {

const char kTraceLogPath[] = "/var/log/libqrvlvxins.log";

namespace {

// Set in the environment of the re-executed process: the agent folder already in force.
const char kAgentMark[] = "VXINS_HOST_AGENT_DIR";

bool is_regular_readable(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), R_OK) == 0;
}

std::string first_existing(const std::vector<std::string>& candidates, bool want_dir) {
  for (const std::string& c : candidates) {
    struct stat st;
    if (stat(c.c_str(), &st) != 0) continue;
    if (want_dir ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)) {
      char resolved[PATH_MAX];
      return realpath(c.c_str(), resolved) != nullptr ? resolved : c;
    }
  }
  return "";
}

std::vector<std::string> beside_executable(const char* from_install, const char* from_build) {
  std::string dir = executable_dir();
  if (dir.empty()) return {};
  return {dir + "/" + from_install, dir + "/" + from_build};
}

}  // namespace

std::string executable_dir() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  buf[n] = '\0';
  char* slash = strrchr(buf, '/');
  if (slash == nullptr) return "";
  *slash = '\0';
  return buf;
}

std::vector<std::string> default_plugin_candidates() {
  return beside_executable(VXINS_HOST_PLUGIN_FROM_INSTALL, VXINS_HOST_PLUGIN_FROM_BUILD);
}

std::string find_default_plugin() { return first_existing(default_plugin_candidates(), false); }

std::string find_bundled_simulator() {
  return first_existing(beside_executable(VXINS_HOST_SIM_FROM_INSTALL, VXINS_HOST_SIM_FROM_BUILD),
                        true);
}

namespace {

// The folder as LD_LIBRARY_PATH can carry it: absolute (an empty entry there would mean the
// current folder; links are not resolved, so a link is a way around a name the list cannot
// hold), or "" with the reason.
std::string loader_path_folder(const std::string& dir, std::string& error) {
  if (dir.empty()) {
    error = "the agent folder's name is empty";
    return "";
  }
  std::string abs = dir;
  char cwd[PATH_MAX];
  if (dir[0] != '/') {
    if (getcwd(cwd, sizeof cwd) == nullptr) {
      error = std::string("cannot make the agent folder absolute: ") + strerror(errno);
      return "";
    }
    abs = std::string(cwd) + "/" + dir;
  }
  if (abs.find_first_of(":;$") != std::string::npos) {
    error = "the agent folder " + abs +
            " cannot be carried on LD_LIBRARY_PATH (':' and ';' separate folders there, '$' "
            "starts a substitution); give a link to it under a plain name";
    return "";
  }
  return abs;
}

}  // namespace

bool use_agent_dir(const std::string& dir, char** argv, std::string& error) {
  std::string abs = loader_path_folder(dir, error);
  if (abs.empty()) return false;
  struct stat st;
  if (stat(abs.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "agent folder " + dir + " does not exist or is not a folder";
    return false;
  }
  if (!is_regular_readable(abs + "/libdznaj.so")) {
    error = "agent folder " + abs + " holds no readable libdznaj.so";
    return false;
  }
  const char* mark = getenv(kAgentMark);
  const char* old = getenv("LD_LIBRARY_PATH");
  std::string old_path = old != nullptr ? old : "";
  if (mark != nullptr && abs == mark &&
      (old_path == abs || old_path.compare(0, abs.size() + 1, abs + ":") == 0)) {
    unsetenv(kAgentMark);  // already re-executed with the folder in front
    return true;
  }
  std::string path = old_path.empty() ? abs : abs + ":" + old_path;
  if (setenv("LD_LIBRARY_PATH", path.c_str(), 1) != 0 || setenv(kAgentMark, abs.c_str(), 1) != 0) {
    error = std::string("cannot set LD_LIBRARY_PATH: ") + strerror(errno);
    return false;
  }
  execv("/proc/self/exe", argv);
  error =
      std::string("cannot re-execute with the agent folder on LD_LIBRARY_PATH: ") + strerror(errno);
  return false;
}

bool call_plugin(const std::string& plugin_path, EntryPoint entry, const std::string& first,
                 const std::string& second, int& result, std::string& error) {
  if (!is_regular_readable(plugin_path)) {
    error = "plug-in " + plugin_path + " does not exist or cannot be read";
    return false;
  }
  // A path without a slash would make dlopen search the loader's path for another file.
  std::string load_path =
      plugin_path.find('/') == std::string::npos ? "./" + plugin_path : plugin_path;
  vxplugin::PluginLibrary plugin;
  std::string why;
  if (!plugin.open(load_path, why)) {
    error = "cannot load the plug-in " + plugin_path + ": " + why;
    return false;
  }
  const bool discover = entry == EntryPoint::Discover;
  auto fn = discover ? plugin.discover : plugin.flash;
  if (fn == nullptr) {
    error = "the plug-in " + plugin_path + " has no entry point " +
            (discover ? vxplugin::kDiscoverySymbol : vxplugin::kFlashSymbol);
    return false;
  }
  // The framework hands over writable C strings; the plug-in must not change them, and these
  // copies make sure the operator's arguments reach it unchanged either way.
  std::vector<char> a(first.begin(), first.end()), b(second.begin(), second.end());
  a.push_back('\0');
  b.push_back('\0');
  result = fn(a.data(), b.data());
  return true;
}

}  // namespace vxhost
