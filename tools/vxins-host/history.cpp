// The run history in SQLite. Three tables: runs (one row per run, what a listing shows, with the
// SHA-256 of the discovery file before and after), run_adapters (the per-adapter outcomes, one
// JSON object each) and run_bodies (the discovery file before and after and the trace, each a
// gzip member, kept apart so that a listing never reads them and pruned to the most recent
// runs). Every statement is prepared; values are only ever bound, never pasted into SQL text.
#include "history.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "files/regular_file.h"
#include "gzip_codec.h"
#include "output.h"
#include "result_codes.h"
#include "sha256.h"
#include "trace_texts.h"

namespace vxhost {

namespace {

const char kDefaultPath[] = "/var/lib/qrvlvxins/history.db";
const char kPathVariable[] = "VXINS_HISTORY_DB";

// The runs columns every read takes, last in its result and in the order read_run() expects.
const char kRunColumns[] =
    "r.id, r.command, r.command_line, r.started_ms, r.ended_ms, r.package_name,"
    " r.package_version, r.called, r.result_code, r.exit_status, r.host_name, r.user_name,"
    " r.file_before_sha256, r.file_after_sha256, r.file_written, r.file_after_key,"
    " EXISTS (SELECT 1 FROM run_bodies k WHERE k.run_id = r.id)";
// Newest first by start time: runs overlap, and a run gets its id when it ends.
const char kNewestFirst[] = " ORDER BY r.started_ms DESC, r.id DESC";

// A body inflates to no more than this: far beyond any discovery file or trace.
const size_t kMaxBodyBytes = 256u * 1024 * 1024;

// A prepared statement, finalized on every path.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql, const char** tail = nullptr) {
    rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, tail);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool prepared() const { return rc_ == SQLITE_OK; }
  bool empty() const { return stmt_ == nullptr; }  // only blanks or comments were left
  int step() { return sqlite3_step(stmt_); }
  void reset() { sqlite3_reset(stmt_); }
  void bind(int i, const std::string& text) {
    sqlite3_bind_text64(stmt_, i, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
  }
  // Empty text as NULL: a hash of no file.
  void bind_or_null(int i, const std::string& text) {
    if (text.empty())
      sqlite3_bind_null(stmt_, i);
    else
      bind(i, text);
  }
  void bind(int i, int64_t value) { sqlite3_bind_int64(stmt_, i, value); }
  void bind_blob(int i, bool present, const std::string& bytes) {
    // data() is never null, so an empty body is stored as an empty blob, not as NULL.
    if (present)
      sqlite3_bind_blob64(stmt_, i, bytes.data(), bytes.size(), SQLITE_STATIC);
    else
      sqlite3_bind_null(stmt_, i);
  }
  int64_t integer(int i) { return sqlite3_column_int64(stmt_, i); }
  bool is_null(int i) { return sqlite3_column_type(stmt_, i) == SQLITE_NULL; }
  std::string bytes(int i) {
    const void* p = sqlite3_column_blob(stmt_, i);
    return p == nullptr ? std::string()
                        : std::string(static_cast<const char*>(p),
                                      static_cast<size_t>(sqlite3_column_bytes(stmt_, i)));
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_;
};

// Runs SQL text statement by statement; false at the first that fails.
bool run_script(sqlite3* db, const char* sql) {
  while (sql != nullptr && *sql != '\0') {
    const char* tail = nullptr;
    Statement st(db, sql, &tail);
    if (!st.prepared()) return false;
    if (!st.empty() && st.step() != SQLITE_DONE) return false;
    sql = tail;
  }
  return true;
}

// An open transaction rolled back unless committed.
class Transaction {
 public:
  explicit Transaction(sqlite3* db) : db_(db) {
    // IMMEDIATE: take the write lock now, where the busy timeout applies, rather than on the
    // first write, where two readers upgrading at once would fail without waiting.
    begun_ = run_script(db_, "BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (begun_ && !sqlite3_get_autocommit(db_)) run_script(db_, "ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool begun() const { return begun_; }
  bool commit() { return run_script(db_, "COMMIT"); }

 private:
  sqlite3* db_;
  bool begun_;
};

// The stored form of a body: the one made ahead when it was made of these bytes, else made now.
bool stored_form(const std::string& bytes, const PreparedBody& ahead, PreparedBody& body,
                 std::string& error) {
  if (ahead.made && ahead.size == bytes.size()) {
    body = ahead;
    return true;
  }
  return prepare_body(bytes, body, error);
}

// One run's files and trace in their stored form (a file the run had none of stays unmade, its
// hash ""). False with the reason.
struct StoredBodies {
  PreparedBody before, after, trace;
};
bool stored_bodies(const RunRecord& run, StoredBodies& bodies, std::string& error) {
  bodies.trace = run.prepared_trace;
  return (!run.have_file_before ||
          stored_form(run.file_before, run.prepared_file_before, bodies.before, error)) &&
         (!run.have_file_after ||
          stored_form(run.file_after, run.prepared_file_after, bodies.after, error)) &&
         (bodies.trace.made || gzip_bytes(run.trace, bodies.trace.gz, error));
}

// One run's bodies into run_bodies.
bool insert_bodies(sqlite3* db, int64_t id, const RunRecord& run, const StoredBodies& bodies) {
  Statement b(db, "INSERT INTO run_bodies (run_id, file_before_gz, file_after_gz, trace_gz)"
                  " VALUES (?, ?, ?, ?)");
  if (!b.prepared()) return false;
  b.bind(1, id);
  b.bind_blob(2, run.have_file_before, bodies.before.gz);
  b.bind_blob(3, run.have_file_after, bodies.after.gz);
  b.bind_blob(4, true, bodies.trace.gz);
  return b.step() == SQLITE_DONE;
}

// Version 2's rows: every version 1 body compressed into the new run_bodies, and into runs the
// hashes of its files and whether the plug-in's call wrote the file after.
bool carry_bodies_over(sqlite3* db, std::string& error) {
  Statement old(db, "SELECT b.run_id, b.file_before, b.file_after, b.trace, r.command, r.called,"
                    " r.result_code FROM run_bodies_v1 b JOIN runs r ON r.id = b.run_id"
                    " ORDER BY b.run_id");
  Statement hashes(db, "UPDATE runs SET file_before_sha256 = ?, file_after_sha256 = ?,"
                       " file_written = ? WHERE id = ?");
  if (!old.prepared() || !hashes.prepared()) return false;
  int rc;
  while ((rc = old.step()) == SQLITE_ROW) {
    RunRecord run;
    const int64_t id = old.integer(0);
    run.have_file_before = !old.is_null(1);
    run.file_before = old.bytes(1);
    run.have_file_after = !old.is_null(2);
    run.file_after = old.bytes(2);
    run.trace = old.bytes(3);
    const Call call = old.bytes(4) == "flash" ? Call::Flash : Call::Discover;
    const int code = static_cast<int>(old.integer(6));
    run.file_written = old.integer(5) != 0 &&
                       writes_discovery_file(call, code,
                                             explain_result(call, code, lines_of(run.trace)));
    // Bound without a copy: the texts must live until the step.
    StoredBodies bodies;
    if (!stored_bodies(run, bodies, error)) {
      error = "run " + std::to_string(id) + ": " + error;
      return false;
    }
    hashes.reset();
    hashes.bind_or_null(1, bodies.before.sha256);
    hashes.bind_or_null(2, bodies.after.sha256);
    hashes.bind(3, int64_t{run.file_written});
    hashes.bind(4, id);
    if (hashes.step() != SQLITE_DONE || !insert_bodies(db, id, run, bodies)) {
      if (!error.empty()) error = "run " + std::to_string(id) + ": " + error;
      return false;
    }
  }
  return rc == SQLITE_DONE;
}

// One schema version: SQL, the rows carried over in C++ (or none), SQL again.
struct Migration {
  const char* first;
  bool (*rows)(sqlite3* db, std::string& error);
  const char* then;
};

// The schema, one entry per version: entry N-1 takes a database from version N-1 to N, in one
// transaction together with the version bump. To change the schema, append an entry; never
// edit one that has shipped, databases in the field have already run it.
const Migration kMigrations[] = {
    // 1: the first schema.
    {"CREATE TABLE runs ("
     " id INTEGER PRIMARY KEY AUTOINCREMENT,"
     " command TEXT NOT NULL,"
     " command_line TEXT NOT NULL,"
     " started_ms INTEGER NOT NULL,"
     " ended_ms INTEGER NOT NULL,"
     " package_name TEXT NOT NULL,"
     " package_version TEXT NOT NULL,"
     " called INTEGER NOT NULL,"
     " result_code INTEGER NOT NULL,"
     " exit_status INTEGER NOT NULL,"
     " host_name TEXT NOT NULL,"
     " user_name TEXT NOT NULL);"
     "CREATE TABLE run_adapters ("
     " run_id INTEGER NOT NULL REFERENCES runs(id),"
     " position INTEGER NOT NULL,"
     " adapter TEXT NOT NULL,"
     " detail TEXT NOT NULL,"
     " PRIMARY KEY (run_id, position));"
     "CREATE TABLE run_bodies ("
     " run_id INTEGER PRIMARY KEY REFERENCES runs(id),"
     " file_before BLOB,"
     " file_after BLOB,"
     " trace BLOB NOT NULL);",
     nullptr, nullptr},
    // 2: the bodies compressed (gzip), the files' hashes kept in runs for good (bodies may be
    // pruned) with whether the call wrote the file, and the orders the reads use indexed.
    {"ALTER TABLE runs ADD COLUMN file_before_sha256 TEXT;"
     "ALTER TABLE runs ADD COLUMN file_after_sha256 TEXT;"
     "ALTER TABLE runs ADD COLUMN file_written INTEGER NOT NULL DEFAULT 0;"
     "ALTER TABLE runs ADD COLUMN file_after_key TEXT;"
     "ALTER TABLE run_bodies RENAME TO run_bodies_v1;"
     "CREATE TABLE run_bodies ("
     " run_id INTEGER PRIMARY KEY REFERENCES runs(id),"
     " file_before_gz BLOB,"
     " file_after_gz BLOB,"
     " trace_gz BLOB NOT NULL);",
     carry_bodies_over,
     "DROP TABLE run_bodies_v1;"
     "CREATE INDEX runs_by_start ON runs (started_ms, id);"
     "CREATE INDEX runs_by_file_after ON runs (file_after_sha256);"
     "CREATE INDEX runs_by_file_after_key ON runs (file_after_key);"},
};
const int kSchemaVersion = static_cast<int>(sizeof kMigrations / sizeof kMigrations[0]);

// Reads kRunColumns, which start at column `c`.
void read_run(Statement& st, int c, RunRecord& run) {
  run.id = st.integer(c);
  run.command = st.bytes(c + 1);
  run.command_line = st.bytes(c + 2);
  run.started_ms = st.integer(c + 3);
  run.ended_ms = st.integer(c + 4);
  run.package_name = st.bytes(c + 5);
  run.package_version = st.bytes(c + 6);
  run.called = st.integer(c + 7) != 0;
  run.result_code = static_cast<int>(st.integer(c + 8));
  run.exit_status = static_cast<int>(st.integer(c + 9));
  run.host = st.bytes(c + 10);
  run.user = st.bytes(c + 11);
  run.file_before_sha256 = st.bytes(c + 12);
  run.file_after_sha256 = st.bytes(c + 13);
  run.file_written = st.integer(c + 14) != 0;
  run.file_after_key = st.bytes(c + 15);
  run.bodies_kept = st.integer(c + 16) != 0;
}

// A stored body back as bytes; a NULL one is absent.
bool read_body(Statement& st, int c, bool& present, std::string& bytes, std::string& error) {
  present = !st.is_null(c);
  bytes.clear();
  return !present || gunzip_bytes(st.bytes(c), kMaxBodyBytes, bytes, error);
}

// The report's per-adapter objects as rows: the adapter's key, when the object names one, in a
// column of its own so that the database can be searched by adapter.
std::vector<AdapterRecord> adapter_rows(const Json::Value& adapters) {
  std::vector<AdapterRecord> rows;
  if (!adapters.isArray()) return rows;
  for (const Json::Value& a : adapters) {
    const Json::Value& key = a.isObject() ? a["adapter"] : Json::Value();
    rows.push_back({key.isString() ? key.asString() : std::string(), a});
  }
  return rows;
}

// A detail that is not JSON (edited by hand) is kept as its text.
Json::Value detail_json(const std::string& text) {
  Json::Value value;
  return parse_json(text, value) ? value : Json::Value(text);
}

std::string errno_text(int err) { return std::strerror(err); }

// Creates the folders leading to `path` that are missing, mode 0755.
bool make_parents(const std::string& path, std::string& error) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string dir = path.substr(0, slash);
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) continue;
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
      error = "cannot create folder " + dir + ": " + errno_text(errno);
      return false;
    }
  }
  return true;
}

// Makes sure the database is a regular file, creating it empty (an empty file is an empty
// database) with mode 0600 when absent and `create` says so: it holds traces and file contents.
// Only a regular file reaches SQLite, which would open a FIFO or a device planted under the name
// as a database file, and a link there would make whatever it points to the database; the open
// here neither follows a link (O_NOFOLLOW) nor blocks on a FIFO (O_NONBLOCK). Its journals are
// checked too: SQLite opens and reads a leftover journal. `exists` false: nothing there.
bool prepare_file(const std::string& path, bool create, bool& exists, std::string& error) {
  exists = true;
  if (create && !make_parents(path, error)) return false;
  vxins::files::RegularFile file;
  if (!file.open(path, O_RDONLY | O_NOFOLLOW | (create ? O_CREAT : 0), 0600)) {
    const vxins::files::FileFailure& why = file.failure();
    if (why.step == vxins::files::FileFailure::kNotRegular)
      error = std::string("is ") + vxins::files::file_kind(why.mode) + ", not a database file";
    else if (why.step == vxins::files::FileFailure::kExamine)
      error = "cannot open: " + errno_text(why.err);
    else if (why.err == ELOOP)
      error = "is a symbolic link, which vxins-host does not follow; name the database itself";
    else if (why.err == ENOENT && !create)
      exists = false;
    else
      error = why.err == EISDIR ? std::string("is a folder")
                                : "cannot open or create: " + errno_text(why.err);
    return !exists;
  }
  for (const char* suffix : {"-journal", "-wal"}) {
    struct stat st;
    if (lstat((path + suffix).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      error = "its journal " + path + suffix + " is " + vxins::files::file_kind(st.st_mode);
      return false;
    }
  }
  return true;
}

}  // namespace

std::string history_path(const std::string& option) {
  if (!option.empty()) return option;
  const char* env = std::getenv(kPathVariable);
  return env != nullptr && *env != '\0' ? env : kDefaultPath;
}

History::History(int busy_timeout_ms) : busy_timeout_ms_(busy_timeout_ms) {}

History::~History() { close(); }

void History::close() {
  // Every statement is finalized by its owner, so the plain close succeeds.
  sqlite3_close_v2(db_);
  db_ = nullptr;
  version_ = 0;
}

bool History::fail(const std::string& what, std::string& error, bool sqlite_reason) const {
  error = path_ + ": " + what;
  if (sqlite_reason && db_ != nullptr) error += std::string(": ") + sqlite3_errmsg(db_);
  return false;
}

// SQLite's open of a file prepare_file let through; NOFOLLOW again, for a link swapped in since.
bool History::open_file(const std::string& path, int flags, std::string& error) {
  if (sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK) {
    fail("cannot open", error);
    close();
    return false;
  }
  sqlite3_busy_timeout(db_, busy_timeout_ms_);
  return true;
}

bool History::open(const std::string& path, std::string& error) {
  close();
  path_ = path;
  if (path.empty()) {
    error = "no history database path";
    return false;
  }
  std::string reason;
  bool exists = false;
  if (!prepare_file(path, true, exists, reason)) return fail(reason, error, false);
  if (!open_file(path, SQLITE_OPEN_READWRITE, error)) return false;
  // SQLite falls back to reading when it may not write (permissions, a read-only file system);
  // such a database could not record this run.
  if (sqlite3_db_readonly(db_, "main") == 1) {
    fail("cannot write (no permission or a read-only file system)", error, false);
    close();
    return false;
  }
  if (!migrate(error)) {
    close();
    return false;
  }
  return true;
}

bool History::open_existing(const std::string& path, bool& exists, std::string& error) {
  close();
  path_ = path;
  std::string reason;
  if (!prepare_file(path, false, exists, reason)) return fail(reason, error, false);
  if (!exists) return true;
  if (!open_file(path, SQLITE_OPEN_READONLY, error)) return false;
  if (!schema_version(version_, error)) {
    close();
    return false;
  }
  if (version_ > kSchemaVersion) {
    fail("schema version " + std::to_string(version_) + " is newer than this vxins-host's (" +
             std::to_string(kSchemaVersion) + ")",
         error, false);
    close();
    return false;
  }
  return true;
}

// The schema version: 0 for an empty database; a database holding other tables but no
// schema_version is someone else's and is left alone.
bool History::schema_version(int& version, std::string& error) {
  Statement has_table(db_, "SELECT count(*), sum(name = 'schema_version') FROM sqlite_master");
  if (!has_table.prepared() || has_table.step() != SQLITE_ROW)
    return fail("cannot read the schema", error);
  if (has_table.integer(1) == 0) {
    version = 0;
    return has_table.integer(0) == 0 || fail("not a vxins-host history database", error, false);
  }
  Statement st(db_, "SELECT version FROM schema_version");
  if (!st.prepared() || st.step() != SQLITE_ROW || st.is_null(0))
    return fail("cannot read the schema version", error);
  version = static_cast<int>(st.integer(0));
  return true;
}

bool History::migrate(std::string& error) {
  int version = 0;
  if (!schema_version(version, error)) return false;
  for (int target = version + 1; target <= kSchemaVersion; ++target) {
    Transaction tx(db_);
    if (!tx.begun()) return fail("cannot lock the database to update its schema", error);
    // Another process may have migrated while this one waited for the lock.
    if (!schema_version(version, error)) return false;
    if (version >= target) continue;
    if (version == 0 &&
        !run_script(db_, "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);"
                         "INSERT INTO schema_version SELECT 0 WHERE NOT EXISTS"
                         " (SELECT * FROM schema_version)"))
      return fail("cannot create the schema version", error);
    const Migration& m = kMigrations[target - 1];
    std::string why;
    Statement bump(db_, "UPDATE schema_version SET version = ?");
    if (!run_script(db_, m.first) || (m.rows != nullptr && !m.rows(db_, why)) ||
        !run_script(db_, m.then) || !bump.prepared() ||
        (bump.bind(1, int64_t{target}), bump.step() != SQLITE_DONE) || !tx.commit())
      return fail("cannot update the schema to version " + std::to_string(target) +
                      (why.empty() ? "" : ": " + why),
                  error, why.empty());
    version = target;
  }
  if (version > kSchemaVersion)
    return fail("schema version " + std::to_string(version) + " is newer than this vxins-host's (" +
                    std::to_string(kSchemaVersion) + ")",
                error, false);
  version_ = version;
  return true;
}

bool prepare_body(const std::string& bytes, PreparedBody& body, std::string& error) {
  body = PreparedBody();
  if (!gzip_bytes(bytes, body.gz, error)) return false;
  body.sha256 = sha256_hex(bytes);
  body.size = bytes.size();
  body.made = true;
  return true;
}

bool History::record(RunRecord& run, std::string& error) {
  if (db_ == nullptr) return fail("not open", error, false);
  // Compressed and hashed before the database is locked.
  StoredBodies bodies;
  std::string why;
  if (!stored_bodies(run, bodies, why))
    return fail("cannot record the files and the trace: " + why, error, false);
  const std::string& before_hash = bodies.before.sha256;
  const std::string& after_hash = bodies.after.sha256;
  Transaction tx(db_);
  if (!tx.begun()) return fail("cannot lock the database", error);
  Statement ins(db_,
                "INSERT INTO runs (command, command_line, started_ms, ended_ms, package_name,"
                " package_version, called, result_code, exit_status, host_name, user_name,"
                " file_before_sha256, file_after_sha256, file_written, file_after_key)"
                " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  if (!ins.prepared()) return fail("cannot record the run", error);
  ins.bind(1, run.command);
  ins.bind(2, run.command_line);
  ins.bind(3, run.started_ms);
  ins.bind(4, run.ended_ms);
  ins.bind(5, run.package_name);
  ins.bind(6, run.package_version);
  ins.bind(7, int64_t{run.called});
  ins.bind(8, int64_t{run.result_code});
  ins.bind(9, int64_t{run.exit_status});
  ins.bind(10, run.host);
  ins.bind(11, run.user);
  ins.bind_or_null(12, before_hash);
  ins.bind_or_null(13, after_hash);
  ins.bind(14, int64_t{run.file_written});
  ins.bind_or_null(15, run.file_after_key);
  if (ins.step() != SQLITE_DONE) return fail("cannot record the run", error);
  const int64_t id = sqlite3_last_insert_rowid(db_);

  Statement a(db_,
              "INSERT INTO run_adapters (run_id, position, adapter, detail) VALUES (?, ?, ?, ?)");
  if (!a.prepared()) return fail("cannot record the adapters", error);
  std::vector<AdapterRecord> rows = adapter_rows(run.adapters);
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string detail = json_line(rows[i].detail);
    a.reset();
    a.bind(1, id);
    a.bind(2, static_cast<int64_t>(i));
    a.bind(3, rows[i].adapter);
    a.bind(4, detail);
    if (a.step() != SQLITE_DONE) return fail("cannot record the adapters", error);
  }
  if (!insert_bodies(db_, id, run, bodies))
    return fail("cannot record the files and the trace", error);
  if (!tx.commit()) return fail("cannot commit the run", error);
  run.id = id;
  run.file_before_sha256 = before_hash;
  run.file_after_sha256 = after_hash;
  run.bodies_kept = true;
  return true;
}

bool History::load_adapters(RunRecord& run, std::string& error) {
  Statement st(db_, "SELECT detail FROM run_adapters WHERE run_id = ? ORDER BY position");
  if (!st.prepared()) return fail("cannot read the adapters", error);
  st.bind(1, run.id);
  run.adapters = Json::arrayValue;
  int rc;
  while ((rc = st.step()) == SQLITE_ROW) run.adapters.append(detail_json(st.bytes(0)));
  return rc == SQLITE_DONE || fail("cannot read the adapters", error);
}

bool History::list(int limit, std::vector<RunRecord>& runs, std::string& error) {
  runs.clear();
  return each_run(
      limit, [&runs](const RunRecord& run) { return runs.push_back(run), true; }, error);
}

bool History::each_run(int limit, const std::function<bool(const RunRecord&)>& visit,
                       std::string& error) {
  if (db_ == nullptr) return fail("not open", error, false);
  if (version_ < kSchemaVersion) return true;  // opened as it is: a reader cannot migrate
  const std::string sql =
      std::string("SELECT ") + kRunColumns + " FROM runs r" + kNewestFirst + " LIMIT ?";
  Statement st(db_, sql.c_str());
  if (!st.prepared()) return fail("cannot list the runs", error);
  st.bind(1, int64_t{limit > 0 ? limit : -1});
  int rc;
  while ((rc = st.step()) == SQLITE_ROW) {
    RunRecord run;
    read_run(st, 0, run);
    if (!load_adapters(run, error)) return false;
    if (!visit(run)) return true;
  }
  return rc == SQLITE_DONE || fail("cannot list the runs", error);
}

bool History::get(int64_t id, RunRecord& run, std::string& error) {
  if (db_ == nullptr) return fail("not open", error, false);
  const std::string sql =
      std::string("SELECT b.file_before_gz, b.file_after_gz, b.trace_gz, ") + kRunColumns +
      " FROM runs r LEFT JOIN run_bodies b ON b.run_id = r.id WHERE r.id = ?";
  Statement st(db_, sql.c_str());
  if (!st.prepared()) return fail("cannot read the run", error);
  st.bind(1, id);
  int rc = st.step();
  if (rc == SQLITE_DONE) {
    error = "no run " + std::to_string(id);
    return false;
  }
  if (rc != SQLITE_ROW) return fail("cannot read the run", error);
  run = RunRecord();
  read_run(st, 3, run);
  bool have_trace = false;
  std::string why;
  if (!read_body(st, 0, run.have_file_before, run.file_before, why) ||
      !read_body(st, 1, run.have_file_after, run.file_after, why) ||
      !read_body(st, 2, have_trace, run.trace, why))
    return fail("run " + std::to_string(id) + "'s stored files or trace: " + why, error, false);
  return load_adapters(run, error);
}

bool History::run_that_wrote(const std::string& sha256, const std::string& key,
                             RunRecord& run, bool& found, std::string& error) {
  found = false;
  if (db_ == nullptr) return fail("not open", error, false);
  if (version_ < 2) return true;  // no hashes before version 2; a reader cannot migrate
  const std::string sql =
      std::string("SELECT ") + kRunColumns +
      " FROM runs r WHERE r.file_written AND (r.file_after_sha256 = ? OR r.file_after_key = ?)" +
      kNewestFirst + " LIMIT 1";
  Statement st(db_, sql.c_str());
  if (!st.prepared()) return fail("cannot look the file up", error);
  st.bind(1, sha256);
  st.bind(2, key);
  const int rc = st.step();
  if (rc == SQLITE_DONE) return true;
  if (rc != SQLITE_ROW) return fail("cannot look the file up", error);
  run = RunRecord();
  read_run(st, 0, run);
  found = true;
  return load_adapters(run, error);
}

bool History::prune(int keep, int& pruned, std::string& error) {
  pruned = 0;
  if (db_ == nullptr) return fail("not open", error, false);
  const std::string sql =
      std::string("DELETE FROM run_bodies WHERE run_id NOT IN (SELECT r.id FROM runs r") +
      kNewestFirst + " LIMIT ?)";
  Statement st(db_, sql.c_str());
  if (!st.prepared()) return fail("cannot prune", error);
  st.bind(1, int64_t{keep < 0 ? 0 : keep});
  if (st.step() != SQLITE_DONE) return fail("cannot prune", error);
  pruned = sqlite3_changes(db_);
  return true;
}

bool History::compact(std::string& error) {
  if (db_ == nullptr) return fail("not open", error, false);
  return run_script(db_, "VACUUM") || fail("cannot give the space back (VACUUM)", error);
}

}  // namespace vxhost
