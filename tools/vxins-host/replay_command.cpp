// replay-to-inventory: a recording turned into a simulator inventory by the simulator's own
// script (replay-to-inventory.py, the one implementation), which writes into a temporary file of
// the host's; the host then prints the inventory or replaces -o FILE with it whole, and reports
// the script's messages as its own warnings and errors.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "commands.h"
#include "files/atomic_file.h"
#include "files/regular_file.h"
#include "host_files.h"
#include "output.h"
#include "plugin_runner.h"

extern char** environ;

namespace vxhost {

namespace {

const char kPython[] = "python3";
// An inventory is the size of the recording's answers, a few kilobytes per adapter.
constexpr size_t kMaxInventoryBytes = 64u * 1024 * 1024;

// A temporary file, removed when this goes.
class TempFile {
 public:
  TempFile() {
    const char* dir = getenv("TMPDIR");
    std::string tmpl = std::string(dir != nullptr && *dir == '/' ? dir : "/tmp") +
                       "/vxins-host-inventory.XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
      close(fd);
      path_ = name.data();
    } else {
      error_ = "cannot create a temporary file in " + tmpl.substr(0, tmpl.rfind('/')) + ": " +
               strerror(errno);
    }
  }
  ~TempFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_, error_;
};

// How the script ended.
struct ScriptEnd {
  bool exited = false;  // by exit(), with `code`; else killed, or lost
  int code = 0;
  std::string how;  // "exit status N", "killed by signal N (NAME)"; "" for exit status 0

  explicit ScriptEnd(int wstatus) {
    exited = WIFEXITED(wstatus);
    code = exited ? WEXITSTATUS(wstatus) : -1;
    if (exited && code != 0) how = "exit status " + std::to_string(code);
    if (WIFSIGNALED(wstatus)) {
      const char* name = strsignal(WTERMSIG(wstatus));
      how = "killed by signal " + std::to_string(WTERMSIG(wstatus)) +
            (name != nullptr ? std::string(" (") + name + ")" : std::string());
    } else if (!exited) {
      how = "ended with wait status " + std::to_string(wstatus);
    }
  }
};

// Runs python3 with `args`, its standard output discarded and its standard error collected.
// False with the reason when it cannot be started; `end` says how it ended otherwise.
bool run_python(const std::vector<std::string>& args, ScriptEnd& end, std::string& err,
                std::string& error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error = std::string("cannot start ") + kPython + ": " + strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(kPython));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t child = -1;
  int rc = posix_spawnp(&child, kPython, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    error = rc == ENOENT ? std::string("replay-to-inventory needs ") + kPython +
                               ", which is not installed (or not on PATH)"
                         : std::string("cannot start ") + kPython + ": " + strerror(rc);
    return false;
  }
  err = read_to_end(fds[0]);
  close(fds[0]);
  int wstatus = 0;
  pid_t waited;
  while ((waited = waitpid(child, &wstatus, 0)) < 0 && errno == EINTR) {
  }
  if (waited != child) {
    error = std::string("lost ") + kPython + ": " + strerror(errno);
    return false;
  }
  end = ScriptEnd(wstatus);
  return true;
}

// The script's lines without its own name in front: the host speaks for it.
std::vector<std::string> script_messages(const std::string& err) {
  const std::string prefix = "replay-to-inventory.py: ";
  std::vector<std::string> lines;
  for (size_t at = 0; at < err.size();) {
    size_t end = err.find('\n', at);
    if (end == std::string::npos) end = err.size();
    std::string line = err.substr(at, end - at);
    if (line.compare(0, prefix.size(), prefix) == 0) line.erase(0, prefix.size());
    if (!line.empty()) lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

}  // namespace

int run_replay_to_inventory(const Options& o) {
  Output out(o.command_name, o.json);
  Json::Value& rep = out.report();
  rep["recording"] = o.recording;
  rep["output"] = o.output.empty() ? Json::Value() : Json::Value(o.output);
  const std::string script = find_replay_script();
  if (script.empty()) {
    return out.finish(kExitHost, "replay-to-inventory needs the simulator's script "
                                 "replay-to-inventory.py, which is not installed beside "
                                 "vxins-host");
  }
  TempFile written;
  if (written.path().empty()) return out.finish(kExitHost, written.error());
  ScriptEnd end(0);
  std::string err, error;
  if (!run_python({script, "-o", written.path(), "--", o.recording}, end, err, error))
    return out.finish(kExitHost, error);
  std::vector<std::string> messages = script_messages(err);
  // A script that exits with an error says why in its last line; one that said nothing, or was
  // killed (by the OOM killer, say), is named by how it ended.
  const bool failed = !end.how.empty();
  if (failed && end.exited && !messages.empty()) {
    error = messages.back();
    messages.pop_back();
  } else if (failed) {
    error = "replay-to-inventory.py failed (" + end.how + ") and wrote no inventory";
  }
  for (const std::string& m : messages) out.warn(m);
  if (failed) return out.finish(kExitHost, error);

  std::string text;
  vxins::files::FileFailure failure;
  if (!vxins::files::read_regular_file(written.path(), kMaxInventoryBytes, text, failure))
    return out.finish(kExitHost, failure.text(written.path()));
  Json::Value inventory;
  if (!parse_json(text, inventory, &error) || !inventory.isObject())
    return out.finish(kExitHost, "replay-to-inventory.py wrote no inventory: " + error);
  const Json::ArrayIndex adapters = inventory["adapters"].size();
  const Json::ArrayIndex faults = inventory["faults"].size();
  rep["adapters"] = adapters;
  rep["faults"] = faults;
  rep["inventory"] = inventory;
  if (o.output.empty()) {
    out.print(text);
    return out.finish(kExitOk);
  }
  if (!vxins::files::replace_file(o.output, text, error)) return out.finish(kExitHost, error);
  out.print(o.output + ": the inventory of " + std::to_string(adapters) + " adapter(s) and " +
            std::to_string(faults) + " fault(s) recorded in " + o.recording +
            "; serve it with DZNAJ_SIM_INVENTORY=" + o.output + "\n");
  return out.finish(kExitOk);
}

}  // namespace vxhost
