// Recording a run in the history, with warnings in place of failures.
#include "run_history.h"

#include <pwd.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <system_error>

namespace vxhost {

namespace {

std::string host_name() {
  char buf[256] = "";
  if (gethostname(buf, sizeof buf - 1) != 0) return "";
  return buf;
}

std::string user_name() {
  struct passwd* pw = getpwuid(geteuid());
  return pw != nullptr ? pw->pw_name : "uid " + std::to_string(geteuid());
}

bool needs_quotes(const std::string& word) {
  if (word.empty()) return true;
  for (char c : word) {
    bool plain = isalnum(static_cast<unsigned char>(c)) || std::string("-_./:=,+@%").find(c) !=
                                                               std::string::npos;
    if (!plain) return true;
  }
  return false;
}

// What a preparation made; unmade when there was none or it failed (save() then leaves it to
// the history).
PreparedBody taken(std::future<PreparedBody>& later) {
  if (!later.valid()) return PreparedBody();
  try {
    return later.get();
  } catch (const std::exception&) {
    return PreparedBody();
  }
}

}  // namespace

std::future<PreparedBody> RunHistory::prepared_later(std::string bytes) {
  try {
    return std::async(std::launch::async, [bytes = std::move(bytes)] {
      PreparedBody body;
      std::string error;
      prepare_body(bytes, body, error);
      return body;
    });
  } catch (const std::system_error&) {
    return std::future<PreparedBody>();
  }
}

std::string shell_words(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& w : words) {
    if (!line.empty()) line += ' ';
    if (!needs_quotes(w)) {
      line += w;
      continue;
    }
    line += '\'';
    for (char c : w) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += '\'';
  }
  return line;
}

int64_t now_ms() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<int64_t>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
}

RunHistory::RunHistory(const Options& o, Output& out) : out_(out) {
  run_.command = o.command_name;
  run_.command_line = shell_words(o.argv);
  run_.started_ms = now_ms();
  run_.host = host_name();
  run_.user = user_name();
  path_ = history_path(o.history_db);
  std::string error;
  open_ = db_.open(path_, error);
  if (!open_) out_.warn("no history of this run: " + error);
}

void RunHistory::save(int exit_status) {
  run_.ended_ms = now_ms();
  run_.exit_status = exit_status;
  out_.report()["history_id"] = Json::Value();
  run_.prepared_file_before = taken(before_);
  run_.prepared_file_after = taken(after_);
  if (!open_) return;
  std::string error;
  if (!db_.record(run_, error)) {
    out_.warn("this run is not in the history: " + error);
    return;
  }
  out_.report()["history_id"] = static_cast<Json::Int64>(run_.id);
  int pruned = 0;
  if (!db_.prune(History::kDefaultKeptRuns, pruned, error))
    out_.warn("the history's older files and traces were not pruned: " + error);
}

}  // namespace vxhost
