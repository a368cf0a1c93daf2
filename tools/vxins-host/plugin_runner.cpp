// Finding and calling the plug-in. The agent library is never loaded here: the plug-in loads and
// unloads it by its plain name inside each call, and --agent and --record only change where the
// loader looks (by re-executing with LD_LIBRARY_PATH), so the plug-in runs exactly as in
// production; where the loader would find it is asked of a child process.
#include "plugin_runner.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "host_files.h"
#include "plugin_loader.h"
#include "znaj_agent.h"

namespace vxhost {

namespace {

// Set in the environment of the re-executed process: the folders already in front of
// LD_LIBRARY_PATH, joined by ':'.
const char kLoaderMark[] = "VXINS_HOST_LOADER_FRONT";

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

std::vector<std::string> bundled_recorder_candidates() {
  return beside_executable(VXINS_HOST_RECORDER_FROM_INSTALL, VXINS_HOST_RECORDER_FROM_BUILD);
}

std::string find_bundled_recorder() {
  for (const std::string& dir : bundled_recorder_candidates()) {
    std::string lib = first_existing({dir + "/" + ZNAJ_LIBRARY_NAME}, false);
    if (!lib.empty()) return lib.substr(0, lib.rfind('/'));
  }
  return "";
}

std::string find_replay_script() {
  return first_existing(
      beside_executable(VXINS_HOST_SCRIPT_FROM_INSTALL, VXINS_HOST_SCRIPT_FROM_BUILD), false);
}

namespace {

std::string joined(const std::vector<std::string>& folders) {
  std::string text;
  for (const std::string& f : folders) text += (text.empty() ? "" : ":") + f;
  return text;
}

// The child's half of find_agent_on_loader_path: "+PATH" or "-REASON" written to `fd`.
[[noreturn]] void report_agent_path(int fd) {
  std::string answer;
  void* lib = dlopen(ZNAJ_LIBRARY_NAME, RTLD_NOW);  // as the plug-in opens it
  struct link_map* map = nullptr;
  char resolved[PATH_MAX];
  if (lib == nullptr) {
    const char* why = dlerror();
    answer = std::string("-") + (why != nullptr ? why : "dlopen failed");
  } else if (dlinfo(lib, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
             realpath(map->l_name, resolved) == nullptr) {
    answer = std::string("-loaded, but its file cannot be told: ") + strerror(errno);
  } else {
    answer = std::string("+") + resolved;
  }
  for (size_t at = 0; at < answer.size();) {
    ssize_t n = write(fd, answer.data() + at, answer.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    at += static_cast<size_t>(n);
  }
  _exit(0);
}

}  // namespace

std::string loader_path_folder(const std::string& dir, const std::string& what,
                               std::string& error) {
  if (dir.empty()) {
    error = what + "'s name is empty";
    return "";
  }
  std::string abs, why;
  if (!make_absolute(dir, abs, why)) {
    error = "cannot make " + what + " absolute: " + why;
    return "";
  }
  // An empty entry there would mean the current folder; links are not resolved, so a link is a
  // way around a name the list cannot hold.
  if (abs.find_first_of(":;$") != std::string::npos) {
    error = what + " " + abs +
            " cannot be carried on LD_LIBRARY_PATH (':' and ';' separate folders there, '$' "
            "starts a substitution); give a link to it under a plain name";
    return "";
  }
  return abs;
}

bool agent_folder(const std::string& dir, std::string& abs, std::string& error) {
  abs = loader_path_folder(dir, "the agent folder", error);
  if (abs.empty()) return false;
  struct stat st;
  if (stat(abs.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "agent folder " + dir + " does not exist or is not a folder";
    return false;
  }
  if (!is_regular_readable(abs + "/" + ZNAJ_LIBRARY_NAME)) {
    error = "agent folder " + abs + " holds no readable " + ZNAJ_LIBRARY_NAME;
    return false;
  }
  return true;
}

bool find_agent_on_loader_path(std::string& path, std::string& error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error = std::string("cannot ask the loader for ") + ZNAJ_LIBRARY_NAME + ": " + strerror(errno);
    return false;
  }
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    report_agent_path(fds[1]);
  }
  close(fds[1]);
  const std::string answer = child > 0 ? read_to_end(fds[0]) : std::string();
  close(fds[0]);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || answer.empty()) {
    error = std::string("cannot ask the loader for ") + ZNAJ_LIBRARY_NAME +
            (child < 0 ? std::string(": ") + strerror(errno) : ": the child process failed");
    return false;
  }
  if (answer[0] == '+') {
    path = answer.substr(1);
    return true;
  }
  error = answer.substr(1);
  return false;
}

bool first_on_loader_path(const std::vector<std::string>& folders) {
  const std::string front = joined(folders);
  const char* mark = getenv(kLoaderMark);
  const char* path = getenv("LD_LIBRARY_PATH");
  std::string now = path != nullptr ? path : "";
  if (mark == nullptr || front != mark ||
      (now != front && now.compare(0, front.size() + 1, front + ":") != 0))
    return false;
  unsetenv(kLoaderMark);
  return true;
}

std::string reexecute_with_first_on_loader_path(const std::vector<std::string>& folders,
                                                char** argv) {
  const std::string front = joined(folders);
  const char* old = getenv("LD_LIBRARY_PATH");
  std::string path = old == nullptr || *old == '\0' ? front : front + ":" + old;
  if (setenv("LD_LIBRARY_PATH", path.c_str(), 1) != 0 ||
      setenv(kLoaderMark, front.c_str(), 1) != 0)
    return std::string("cannot set LD_LIBRARY_PATH: ") + strerror(errno);
  execv("/proc/self/exe", argv);
  return std::string("cannot re-execute with ") + front + " on LD_LIBRARY_PATH: " + strerror(errno);
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
