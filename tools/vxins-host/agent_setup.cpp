// --agent and --record. The real agent library is found in the first process (the plug-in's
// own search, asked of a child, or --agent's folder); the re-executed process then runs the call
// with the recorder first on LD_LIBRARY_PATH, so the plug-in's dlopen("libdznaj.so") gets the
// recorder, which loads the real library by the absolute path it is given.
#include "agent_setup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/regular_file.h"
#include "host_files.h"
#include "output.h"
#include "plugin_runner.h"
#include "znaj_agent.h"

namespace vxhost {

namespace {

// What the recorder reads (recorder/README.md).
const char kRecordTarget[] = "DZNAJ_RECORD_TARGET";
const char kRecordFile[] = "DZNAJ_RECORD_FILE";

// A recording of one call is kilobytes; a flash of many adapters stays far below this.
constexpr size_t kMaxRecordedBytes = 64u * 1024 * 1024;

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// The recorder in use, or the other one this host knows (installed or built), by any name.
bool is_a_recorder(const std::string& lib, const std::string& recorder) {
  if (same_file(lib, recorder)) return true;
  for (const std::string& dir : bundled_recorder_candidates())
    if (same_file(lib, dir + "/" + ZNAJ_LIBRARY_NAME)) return true;
  return false;
}

// The real library: --agent's, else the one the plug-in's dlopen would find. Never the
// recorder, which would then be asked to record itself.
bool find_target(AgentSetup& s, std::string& error) {
  std::string where = "in the agent folder " + s.agent_dir;
  if (!s.agent_dir.empty()) {
    char resolved[PATH_MAX];
    std::string lib = s.agent_dir + "/" + ZNAJ_LIBRARY_NAME;
    s.target = realpath(lib.c_str(), resolved) != nullptr ? resolved : lib;
  } else {
    where = "on the loader's search path";
    std::string why;
    if (!find_agent_on_loader_path(s.target, why)) {
      error = std::string("--record: no ") + ZNAJ_LIBRARY_NAME + " to record on the loader's "
              "search path (" + why + "); name the agent library's folder with --agent DIR";
      return false;
    }
  }
  if (is_a_recorder(s.target, s.recorder)) {
    error = std::string("--record: the ") + ZNAJ_LIBRARY_NAME + " " + where + " is the recorder " +
            "itself (" + s.target + "); name the real agent library's folder with --agent DIR";
    return false;
  }
  return true;
}

// The recording as the recorder will open it: appended to when it is a regular file, created in
// an existing, writable folder otherwise. Refused early rather than recording nothing.
bool check_recording(const std::string& given, std::string& abs, std::string& error) {
  std::string why;
  if (!make_absolute(given, abs, why)) {
    error = "cannot make the recording's name " + given + " absolute: " + why;
    return false;
  }
  struct stat st;
  if (lstat(abs.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      error = "the recording " + abs + " is a symbolic link, which the recorder does not follow; "
              "name the file itself";
    } else if (!S_ISREG(st.st_mode)) {
      error = "the recording " + abs + " is " + vxins::files::file_kind(st.st_mode) +
              ", not a regular file";
    } else if (access(abs.c_str(), W_OK) != 0) {
      error = "cannot append to the recording " + abs + ": " + strerror(errno);
    }
    return error.empty();
  }
  if (errno != ENOENT) {
    error = "cannot use the recording " + abs + ": " + strerror(errno);
    return false;
  }
  std::string folder = abs.substr(0, abs.rfind('/'));
  if (folder.empty()) folder = "/";
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "the recording's folder " + folder + " does not exist";
    return false;
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    error = "cannot create the recording in " + folder + ": " + strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

bool set_up_agent(const Options& o, char** argv, AgentSetup& s, std::string& error) {
  if (o.agent.empty() && o.record.empty()) return true;
  if (!o.agent.empty() && !agent_folder(o.agent, s.agent_dir, error)) return false;
  std::vector<std::string> front;
  if (!o.record.empty()) {
    std::string dir = find_bundled_recorder();
    if (dir.empty()) {
      std::string looked;
      for (const std::string& c : bundled_recorder_candidates()) looked += " " + c;
      error = std::string("--record: no recorder ") + ZNAJ_LIBRARY_NAME + " found (looked in" +
              looked + ")";
      return false;
    }
    dir = loader_path_folder(dir, "the recorder's folder", error);
    if (dir.empty()) return false;
    s.recorder = dir + "/" + ZNAJ_LIBRARY_NAME;
    front.push_back(dir);
  }
  if (!s.agent_dir.empty()) front.push_back(s.agent_dir);
  if (first_on_loader_path(front)) {
    if (o.record.empty()) return true;
    const char* target = getenv(kRecordTarget);
    const char* file = getenv(kRecordFile);
    s.target = target != nullptr ? target : "";
    s.recording = file != nullptr ? file : "";
    if (s.target.empty() || s.recording.empty()) {
      error = std::string("--record: ") + kRecordTarget + " or " + kRecordFile +
              " went missing when vxins-host ran itself again";
      return false;
    }
    return true;
  }
  if (!o.record.empty()) {
    if (!find_target(s, error) || !check_recording(o.record, s.recording, error)) return false;
    if (setenv(kRecordTarget, s.target.c_str(), 1) != 0 ||
        setenv(kRecordFile, s.recording.c_str(), 1) != 0) {
      error = std::string("cannot set the recorder's variables: ") + strerror(errno);
      return false;
    }
  }
  error = reexecute_with_first_on_loader_path(front, argv);
  return false;
}

off_t recording_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;
}

bool read_recorded(const std::string& path, off_t from, RecordedCalls& out, std::string& error) {
  out = RecordedCalls();
  std::string bytes;
  vxins::files::FileFailure failure;
  if (!vxins::files::read_regular_file(path, kMaxRecordedBytes, bytes, failure, from)) {
    error = failure.text(path);
    return false;
  }
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    Json::Value line;
    if (end > at && parse_json(bytes.substr(at, end - at), line) && line.isObject()) {
      const std::string type = line.get("type", "").isString() ? line["type"].asString() : "";
      if (type == "header") {
        ++out.sessions;
        out.agent_version = line.get("agentVersion", Json::Value());
      }
      if (type == "call") ++out.calls;
    }
    at = end + 1;
  }
  return true;
}

}  // namespace vxhost
