// The marker is one JSON object, {"boot_id": "...", "runs": [ids]}, in a folder of the running
// user's own; whatever cannot be proven to be this user's marker is not believed.
#include "reboot_marker.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "files/atomic_file.h"
#include "files/regular_file.h"
#include "host_files.h"

namespace vxhost {

namespace {

const char kDefaultMarker[] = "/run/qrvlvxins/reboot-pending";
const char kMarkerVariable[] = "VXINS_REBOOT_MARKER";
const char kBootIdPath[] = "/proc/sys/kernel/random/boot_id";
const size_t kMaxMarkerBytes = 1024 * 1024;

struct Marker {
  std::string boot_id;
  std::vector<int64_t> runs;
};

bool current_boot_id(std::string& id, std::string& error) {
  vxins::files::FileFailure failure;
  if (!vxins::files::read_regular_file(kBootIdPath, 256, id, failure)) {
    error = "cannot tell this boot: " + failure.text(kBootIdPath);
    return false;
  }
  while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
  if (id.empty()) error = std::string("cannot tell this boot: ") + kBootIdPath + " is empty";
  return !id.empty();
}

std::string owner_text(uid_t uid) { return "owned by uid " + std::to_string(uid); }

// The marker's folder: absent (false `exists`), or a real folder of the running user's that
// nobody else may write.
bool check_folder(const std::string& dir, bool& exists, std::string& error) {
  struct stat st;
  exists = lstat(dir.c_str(), &st) == 0;
  if (!exists) {
    if (errno == ENOENT) return true;
    error = "cannot examine the marker's folder " + dir + ": " + strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    error = "the marker's folder " + dir + " is " + vxins::files::file_kind(st.st_mode);
    return false;
  }
  if (st.st_uid != geteuid()) {
    error = "the marker's folder " + dir + " is " + owner_text(st.st_uid) +
            ", not by this user: not believed";
    return false;
  }
  // Another user who may write the folder could remove or replace the marker, and so make the
  // runs still waiting for a reboot vanish.
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    error = "the marker's folder " + dir + " may be written by other users: not believed";
    return false;
  }
  return true;
}

// The marker as it stands: `exists` false when there is none.
bool load_marker(const std::string& path, bool& exists, Marker& m, std::string& error) {
  exists = false;
  vxins::files::RegularFile file;
  if (!file.open(path, O_RDONLY | O_NOFOLLOW)) {
    const vxins::files::FileFailure& why = file.failure();
    if (why.step == vxins::files::FileFailure::kOpen && why.err == ENOENT) return true;
    error = why.step == vxins::files::FileFailure::kOpen && why.err == ELOOP
                ? "the marker " + path + " is a symbolic link: not believed"
                : why.text(path);
    return false;
  }
  exists = true;
  if (file.status().st_uid != geteuid()) {
    error = "the marker " + path + " is " + owner_text(file.status().st_uid) +
            ", not by this user: not believed";
    return false;
  }
  std::string bytes;
  char chunk[4096];
  for (ssize_t n; (n = read(file.fd(), chunk, sizeof chunk)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || bytes.size() + static_cast<size_t>(n) > kMaxMarkerBytes) {
      error = "cannot read the marker " + path + (n < 0 ? ": " + std::string(strerror(errno))
                                                          : ": larger than a marker");
      return false;
    }
    bytes.append(chunk, static_cast<size_t>(n));
  }
  Json::Value v;
  bool valid = parse_json(bytes, v) && v.isObject() && v["boot_id"].isString() &&
               v["runs"].isArray();
  for (const Json::Value& id : valid ? v["runs"] : Json::Value(Json::arrayValue)) {
    valid = valid && id.isInt64() && id.asInt64() > 0;
    if (valid) m.runs.push_back(id.asInt64());
  }
  if (!valid) {
    error = "the marker " + path + " is not a reboot-pending marker";
    return false;
  }
  m.boot_id = v["boot_id"].asString();
  return true;
}

// Closes a descriptor on every path.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::string reboot_marker_path() {
  const char* env = std::getenv(kMarkerVariable);
  return env != nullptr && *env != '\0' ? env : kDefaultMarker;
}

bool read_reboot_pending(RebootPending& out, std::string& error) {
  out = RebootPending();
  const std::string path = reboot_marker_path();
  bool exists = false;
  Marker m;
  std::string boot;
  if (!check_folder(folder_of(path), exists, error)) return false;
  if (!exists) return true;
  if (!load_marker(path, exists, m, error)) return false;
  if (!exists) return true;
  if (!current_boot_id(boot, error)) return false;
  if (m.boot_id != boot) return true;  // written before the last reboot
  out.pending = true;
  out.runs = m.runs;
  return true;
}

bool add_reboot_pending(int64_t run_id, std::string& error) {
  const std::string path = reboot_marker_path(), dir = folder_of(path);
  std::string boot;
  if (!current_boot_id(boot, error)) return false;
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create the marker's folder " + dir + ": " + strerror(errno);
    return false;
  }
  bool exists = false;
  if (!check_folder(dir, exists, error)) return false;
  Descriptor folder{::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (folder.fd < 0 || flock(folder.fd, LOCK_EX) != 0) {
    error = "cannot lock the marker's folder " + dir + ": " + strerror(errno);
    return false;
  }
  // A marker of another boot, or one that is not believed, is replaced by this boot's.
  Marker m;
  std::string ignored;
  if (!load_marker(path, exists, m, ignored) || m.boot_id != boot) m = Marker();
  m.boot_id = boot;
  // Histories elsewhere (--history-db) may number a run alike: each number is named once.
  if (run_id > 0 && std::find(m.runs.begin(), m.runs.end(), run_id) == m.runs.end())
    m.runs.push_back(run_id);
  Json::Value v(Json::objectValue);
  v["boot_id"] = m.boot_id;
  v["runs"] = Json::Value(Json::arrayValue);
  for (int64_t id : m.runs) v["runs"].append(static_cast<Json::Int64>(id));
  return vxins::files::replace_file(path, json_line(v) + "\n", error);
}

Json::Value reboot_pending_json(const RebootPending& p) {
  Json::Value v(Json::objectValue);
  v["pending"] = p.pending;
  v["runs"] = Json::Value(Json::arrayValue);
  for (int64_t id : p.runs) v["runs"].append(static_cast<Json::Int64>(id));
  return v;
}

std::string reboot_pending_line(const RebootPending& p) {
  if (!p.pending) return "";
  std::string runs;
  for (size_t i = 0; i < p.runs.size(); ++i)
    runs += (i == 0 ? "" : i + 1 == p.runs.size() ? " and " : ", ") + std::to_string(p.runs[i]);
  return "Reboot pending: " +
         (runs.empty() ? std::string("a flash") : (p.runs.size() == 1 ? "run " : "runs ") + runs) +
         " flashed adapters since this boot; the new firmware takes effect after a reboot.\n";
}

void report_reboot_pending(Output& out) {
  RebootPending pending;
  std::string error;
  if (!read_reboot_pending(pending, error)) {
    out.warn("cannot tell whether a reboot is pending: " + error);
    out.report()["reboot_pending"] = Json::Value();
    return;
  }
  out.report()["reboot_pending"] = reboot_pending_json(pending);
  out.print(reboot_pending_line(pending));
}

}  // namespace vxhost
