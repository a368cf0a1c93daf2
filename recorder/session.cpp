// The recorder's session (session.h): loads the target named by DZNAJ_RECORD_TARGET privately,
// resolves its sixteen entry points, opens the recording and writes its header; unloads the
// target again when the recorder itself is unloaded.
#include "session.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace dznajrec {

namespace {

const int kFormatVersion = 1;
Session* g_current = nullptr;
thread_local int g_in_target = 0;  // InTarget's nesting depth on this thread

// One line of JSON: no indentation, strings escaped to ASCII, numbers as JsonCpp writes them
// (doubles with 17 significant digits, so a replay reads back the very value).
std::string compact(const Json::Value& value) {
  static const Json::StreamWriterBuilder builder = [] {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    return b;
  }();
  return Json::writeString(builder, value);
}

// ISO 8601, UTC, milliseconds: "2024-05-17T09:30:02.125Z".
std::string utc_now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  char text[48];
  size_t n = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  snprintf(text + n, sizeof text - n, ".%03ldZ", static_cast<long>(now.tv_nsec / 1000000));
  return text;
}

std::string host_name() {
  char name[HOST_NAME_MAX + 1] = "";
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

// Whether `target` is this very file (by any name: a copy is another file, a link is not).
// Loading it would hand every call back to ourselves.
bool is_self(const struct stat& target) {
  Dl_info info{};
  struct stat self {};
  return dladdr(&g_current, &info) != 0 && info.dli_fname != nullptr &&
         stat(info.dli_fname, &self) == 0 && self.st_dev == target.st_dev &&
         self.st_ino == target.st_ino;
}

// Whether `handle` is this very library however it was named: is_self() misses our own file
// when the loader recorded it under a relative name and the process has changed folder since.
bool is_self(void* handle) {
  Dl_info info{};
  struct link_map* self = nullptr;
  struct link_map* loaded = nullptr;
  return dladdr1(&g_current, &info, reinterpret_cast<void**>(&self), RTLD_DL_LINKMAP) != 0 &&
         dlinfo(handle, RTLD_DI_LINKMAP, &loaded) == 0 && self != nullptr && self == loaded;
}

}  // namespace

void note(std::initializer_list<const char*> parts) noexcept {
  static const char kPrefix[] = "libdznaj.so (recorder): ";
  iovec pieces[12];
  size_t n = 0;
  pieces[n++] = {const_cast<char*>(kPrefix), sizeof kPrefix - 1};
  for (const char* part : parts) {
    if (n == 11) break;
    pieces[n++] = {const_cast<char*>(part), strlen(part)};
  }
  pieces[n++] = {const_cast<char*>("\n"), 1};
  ssize_t ignored = writev(STDERR_FILENO, pieces, static_cast<int>(n));
  (void)ignored;
}

InTarget::InTarget() { ++g_in_target; }
InTarget::~InTarget() { --g_in_target; }
bool InTarget::active() { return g_in_target > 0; }

Line& Line::add(const char* key, const Json::Value& value) {
  text_ += ",\"";
  text_ += key;
  text_ += "\":";
  text_ += compact(value);
  return *this;
}

Session& Session::get() {
  static Session session;
  return session;
}

Session* Session::current() { return g_current; }

Session::Session() {
  g_current = this;
  try {
    start();
  } catch (...) {
    note({"cannot start: out of memory"});
  }
}

Session::~Session() {
  if (fd_ >= 0) close(fd_);
  // The target's destructors may call its entry points: they get failure values from now on.
  g_current = nullptr;
  targets_ = Targets();
  if (handle_ != nullptr) {
    InTarget unloading;
    dlclose(handle_);
  }
}

std::string Session::why_missing(const char* symbol) const {
  if (!unavailable_.empty()) return unavailable_;
  return target_path_ + " lacks " + symbol;
}

void Session::start() {
  // secure_getenv: a set-user-ID host must not load a library its caller named.
  const char* target = secure_getenv("DZNAJ_RECORD_TARGET");
  struct stat st {};
  if (target == nullptr || *target == '\0') {
    unavailable_ = "DZNAJ_RECORD_TARGET is not set";
  } else if (target[0] != '/') {
    unavailable_ = std::string("DZNAJ_RECORD_TARGET ") + target + " is not an absolute path";
  } else if (stat(target, &st) != 0) {
    unavailable_ = std::string("cannot load ") + target + ": " + strerror(errno);
  } else if (is_self(st)) {
    unavailable_ = std::string("DZNAJ_RECORD_TARGET ") + target + " is the recorder itself";
  } else {
    load_target(target);
  }
  if (!unavailable_.empty()) {
    note({unavailable_.c_str(), "; every entry point answers with its failure value"});
    return;
  }
  open_recording();
}

void Session::load_target(const char* path) {
  target_path_ = path;
  {
    InTarget loading;  // its constructors may already call its entry points
    // Not RTLD_DEEPBIND: it would hide the host's interposers (a sanitizer, a malloc, copy-
    // relocated libstdc++ objects) from the target only; InTarget handles its own calls instead.
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  }
  if (handle_ == nullptr) {
    const char* error = dlerror();
    unavailable_ = "cannot load " + target_path_ + ": " + (error != nullptr ? error : "?");
    return;
  }
  if (is_self(handle_)) {  // our entry points would call themselves forever
    dlclose(handle_);      // only drops the reference dlopen added
    handle_ = nullptr;
    unavailable_ = "DZNAJ_RECORD_TARGET " + target_path_ + " is the recorder itself";
    return;
  }
  std::string missing;
#define DZNAJ_REC_RESOLVE(symbol, shape, pointer, stub)                         \
  targets_.symbol = reinterpret_cast<symbol##_fp>(dlsym(handle_, #symbol));      \
  if (targets_.symbol == nullptr) {                                             \
    missing += missing.empty() ? "" : ", ";                                     \
    missing += #symbol;                                                         \
    missing_.append(#symbol);                                                   \
  }
  ZNAJ_ENTRY_POINTS(DZNAJ_REC_RESOLVE)
#undef DZNAJ_REC_RESOLVE
  if (!missing.empty())
    note({target_path_.c_str(), " lacks ", missing.c_str(), "; they answer with failure values"});
}

void Session::open_recording() {
  // As for the target: only the one who started the process names the file.
  const char* path = secure_getenv("DZNAJ_RECORD_FILE");
  if (path == nullptr || *path == '\0') {
    note({"DZNAJ_RECORD_FILE is not set; forwarding to ", target_path_.c_str(),
          " without recording"});
    return;
  }
  recording_path_ = path;
  // Never through a planted link; a FIFO without a reader is an error, not a hang. Read access
  // only to look at the last byte below.
  fd_ = open(path, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  // Read-write, Linux opens a FIFO without a reader too, the recorder being its own reader: the
  // lines would fill the pipe for nobody. Write-only, that open fails (ENXIO), as it should.
  struct stat opened {};
  if (fd_ >= 0 && fstat(fd_, &opened) == 0 && S_ISFIFO(opened.st_mode)) {
    close(fd_);
    fd_ = open(path, O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  }
  if (fd_ < 0) {
    note({"cannot open recording ", path, ": ", strerror(errno), "; forwarding without recording"});
    return;
  }
  // The header's version comes from a call of our own, made before any call of the caller's; it
  // is no call line, so a replay never has to answer it.
  Json::Value version;
  if (targets_.get_agt_version != nullptr) {
    try {
      InTarget asking;
      const char* text = targets_.get_agt_version();
      if (text != nullptr) version = text;
    } catch (...) {
      // The caller's own call will meet the same exception, and the recording will hold it.
    }
  }
  Line header;
  header.add("format", kFormatVersion)
      .add("time", utc_now())
      .add("host", host_name())
      .add("target", target_path_)
      .add("agentVersion", version)
      .add("missing", missing_);
  std::string line = "{\"type\":\"header\"" + header.text() + "}\n";
  // A line cut short by an earlier failed write (a full disk) must not swallow this header.
  struct stat st {};
  char last = '\n';
  if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      pread(fd_, &last, 1, st.st_size - 1) == 1 && last != '\n')
    line.insert(0, "\n");
  write_line(line);
}

void Session::write_call(const char* entry_point, const Line& line, double milliseconds) {
  char duration[48];
  snprintf(duration, sizeof duration, ",\"durationMs\":%.3f}\n", milliseconds);
  write_line(std::string("{\"type\":\"call\",\"entryPoint\":\"") + entry_point + "\"" +
             line.text() + duration);
}

// One write per line: with O_APPEND no other writer's line lands inside ours.
void Session::write_line(const std::string& line) {
  ssize_t n;
  do {
    n = write(fd_, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(line.size())) return;
  stop_recording(n < 0 ? strerror(errno) : "short write");
}

void Session::stop_recording(const char* why) noexcept {
  note({"cannot write to recording ", recording_path_.c_str(), ": ", why,
        "; forwarding without recording"});
  close(fd_);
  fd_ = -1;
}

}  // namespace dznajrec
