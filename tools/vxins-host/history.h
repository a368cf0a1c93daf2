// The run history of vxins-host: every discover, flash and devices run recorded in an SQLite
// database (the command line, times, result, per-adapter outcomes, the SHA-256 of the discovery
// file before and after, kept for good, and the file's bytes and the call's trace, compressed and
// pruned to the most recent runs). Used by the host's commands; it never blocks or stops an
// update: every failure is a false result with a one-line reason, and nothing here prints or
// throws.
#ifndef VXINS_HOST_HISTORY_H
#define VXINS_HOST_HISTORY_H

#include <json/json.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct sqlite3;

namespace vxhost {

// One adapter's outcome as stored: its bus:dev key and the report's object for it.
struct AdapterRecord {
  std::string adapter;
  Json::Value detail;  // free-form per adapter
};

// A body in its stored form: its gzip member and its SHA-256, made from bytes of `size` bytes.
// Pure work on the bytes (prepare_body, any thread): record() makes the forms it is not given,
// and a caller that has a body early may make its form ahead, while other work runs.
struct PreparedBody {
  bool made = false;
  size_t size = 0;
  std::string sha256, gz;
};
// False with the reason when it cannot be compressed.
bool prepare_body(const std::string& bytes, PreparedBody& body, std::string& error);

struct RunRecord {
  int64_t id = 0;
  std::string command;                   // "discover" | "flash" | "devices"
  std::string command_line;              // argv joined with blanks, shell-quoted where needed
  int64_t started_ms = 0, ended_ms = 0;  // Unix time in milliseconds
  std::string package_name, package_version;  // empty when unknown
  bool called = false;  // the plug-in was called (false: the host stopped before)
  int result_code = 0;
  int exit_status = 0;
  Json::Value adapters = Json::arrayValue;  // per-adapter outcomes, as in the JSON report
  bool have_file_before = false, have_file_after = false;
  std::string file_before, file_after;  // the discovery file's bytes
  std::string trace;                    // the complete trace log of the call
  // The stored forms of the files and the trace when the caller made them ahead (one made of a
  // body of another size is not used); the trace's may stand alone, `trace` left empty.
  PreparedBody prepared_file_before, prepared_file_after, prepared_trace;
  bool file_written = false;  // the plug-in wrote the discovery file (file_after is its work)
  std::string host, user;               // hostname, user name
  // Set by record() from the bodies and kept for good: the SHA-256 (hexadecimal) of the file
  // before and after, "" when there was none.
  std::string file_before_sha256, file_after_sha256;
  // The file after as set-action leaves it alike (see rewritten_files.h), set by the caller;
  // "" when there was none.
  std::string file_after_key;
  // False once history prune removed the run's files and trace (its row stays).
  bool bodies_kept = true;
};

// Where the database is: `option` (--history-db) when given, else $VXINS_HISTORY_DB, else
// /var/lib/qrvlvxins/history.db.
std::string history_path(const std::string& option);

class History {
 public:
  // How long a call waits for another process's lock on the database before it gives up.
  static constexpr int kDefaultBusyTimeoutMs = 5000;
  // The retention rule: the files and traces of this many most recently started runs are kept.
  static constexpr int kDefaultKeptRuns = 100;

  explicit History(int busy_timeout_ms = kDefaultBusyTimeoutMs);
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  // Opens the database, creating it (mode 0600; missing folders 0755) and migrating its schema
  // (a schema_version table; migrations applied in order, each in its own transaction). A link
  // at the path is refused, never followed. False with a one-line reason when it cannot be
  // opened for writing; the caller warns and goes on.
  bool open(const std::string& path, std::string& error);
  // Opens an existing database for reading only, creating and migrating nothing: `exists` false
  // (and true returned) when there is none. For commands that only look things up.
  bool open_existing(const std::string& path, bool& exists, std::string& error);
  // Stores one run in one transaction and sets run.id and the hashes. False with a reason.
  bool record(RunRecord& run, std::string& error);
  // The most recently started runs first (ties: the later recorded first), at most `limit` of
  // them (all when limit <= 0), with their adapters, without the file and trace bodies. None
  // from a database of an older schema opened by open_existing.
  bool list(int limit, std::vector<RunRecord>& runs, std::string& error);
  // The same runs in the same order, handed to `visit` one at a time until it returns false:
  // a lookup that stops at the first run it wants reads no other run's adapters.
  bool each_run(int limit, const std::function<bool(const RunRecord&)>& visit,
                std::string& error);
  // Everything about one run; false "no run N" when there is none.
  bool get(int64_t id, RunRecord& run, std::string& error);
  // The most recently started run whose plug-in call wrote a discovery file with this SHA-256
  // or this key (a flash's rewrite may leave the bytes it read), without bodies; `found` false
  // when none did.
  bool run_that_wrote(const std::string& sha256, const std::string& key, RunRecord& run,
                      bool& found, std::string& error);
  // The retention rule: removes the files and traces of every run but the `keep` most recently
  // started ones (their rows, outcomes and hashes stay); `pruned` says how many lost theirs.
  bool prune(int keep, int& pruned, std::string& error);
  // Gives the space of removed bodies back to the file system (VACUUM).
  bool compact(std::string& error);

 private:
  void close();
  // Sets error to "<path>: what", followed by SQLite's reason when it has one to give.
  bool fail(const std::string& what, std::string& error, bool sqlite_reason = true) const;
  bool open_file(const std::string& path, int flags, std::string& error);
  bool schema_version(int& version, std::string& error);
  bool migrate(std::string& error);
  bool load_adapters(RunRecord& run, std::string& error);

  int busy_timeout_ms_;
  sqlite3* db_ = nullptr;
  std::string path_;
  int version_ = 0;  // the schema version of the open database
};

}  // namespace vxhost

#endif
