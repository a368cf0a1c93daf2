// The run history of vxins-host: every discover and flash recorded in an SQLite database (the
// command line, times, result, per-adapter outcomes, the discovery file before and after, the
// call's trace). Used by the host's commands; it never blocks or stops an update: every failure
// is a false result with a one-line reason, and nothing here prints or throws.
#ifndef VXINS_HOST_HISTORY_H
#define VXINS_HOST_HISTORY_H

#include <json/json.h>

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace vxhost {

// One adapter's outcome as stored: its bus:dev key and the report's object for it.
struct AdapterRecord {
  std::string adapter;
  Json::Value detail;  // free-form per adapter
};

struct RunRecord {
  int64_t id = 0;
  std::string command;                   // "discover" | "flash"
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
  std::string host, user;               // hostname, user name
};

// Where the database is: `option` (--history-db) when given, else $VXINS_HISTORY_DB, else
// /var/lib/qrvlvxins/history.db.
std::string history_path(const std::string& option);

class History {
 public:
  // How long a call waits for another process's lock on the database before it gives up.
  static constexpr int kDefaultBusyTimeoutMs = 5000;

  explicit History(int busy_timeout_ms = kDefaultBusyTimeoutMs);
  ~History();
  History(const History&) = delete;
  History& operator=(const History&) = delete;

  // Opens the database, creating it (mode 0600; missing folders 0755) and migrating its schema
  // (a schema_version table; migrations applied in order, each in its own transaction). False
  // with a one-line reason when it cannot be opened for writing; the caller warns and goes on.
  bool open(const std::string& path, std::string& error);
  // Stores one run in one transaction and sets run.id. False with a reason (warn, go on).
  bool record(RunRecord& run, std::string& error);
  // The most recently recorded runs first, at most `limit` of them (all when limit <= 0),
  // without the file and trace bodies (have_file_before and have_file_after false).
  bool list(int limit, std::vector<RunRecord>& runs, std::string& error);
  // Everything about one run; false "no run N" when there is none.
  bool get(int64_t id, RunRecord& run, std::string& error);

 private:
  void close();
  // Sets error to "<path>: what", followed by SQLite's reason when it has one to give.
  bool fail(const std::string& what, std::string& error, bool sqlite_reason = true) const;
  bool schema_version(int& version, std::string& error);
  bool migrate(std::string& error);
  bool load_adapters(RunRecord& run, std::string& error);

  int busy_timeout_ms_;
  sqlite3* db_ = nullptr;
  std::string path_;
};

}  // namespace vxhost

#endif
