// The run history against real SQLite files: round trips of every field, bodies stored as gzip
// and hashes as sha256sum prints them (both checked with those tools), ordering by start time
// and limit, the retention rule, the run that wrote a file, databases of older schema versions,
// the databases that must fail fast with a reason rather than block, crash an update or be
// opened through a link, and another process holding the database's lock.
#include "history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "gzip_codec.h"
#include "test_support.h"

namespace {

using vxhost::History;
using vxhost::RunRecord;
using vxtest::shell_quote;

// What the sqlite3 command prints for `sql` (its error output too).
std::string sqlite_cli(const std::string& db, const std::string& sql) {
  std::string out;
  FILE* p = popen(("sqlite3 " + shell_quote(db) + " " + shell_quote(sql) + " 2>&1").c_str(), "r");
  if (p == nullptr) return "popen failed";
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  return out;
}

RunRecord flash_run() {
  Json::Value adapters;
  for (const char* a : {"20:00", "21:00"}) {
    adapters.append(Json::objectValue);
    adapters[adapters.size() - 1]["adapter"] = a;
    adapters[adapters.size() - 1]["outcome"] = "flashed";
  }
  adapters.append(41.25);  // an element that is not an object is kept as it is
  RunRecord r;
  r.command = "flash";
  r.command_line = "vxins-host flash 'my file.xml' /fw";
  r.started_ms = 1700000000123;
  r.ended_ms = 1700000041999;
  r.package_name = "boot.tar";
  r.package_version = "3.1.0.0";
  r.called = true;
  r.result_code = 1;
  r.exit_status = 2;
  r.adapters = adapters;
  r.have_file_before = r.have_file_after = true;
  r.file_before = std::string("<?xml\0before\r\n\xff", 16);
  r.file_after = std::string("after\0", 6);
  r.trace = std::string("line 1\n\0\x01line 2\n", 16);
  r.file_written = true;
  r.host = "site-7";
  r.user = "root";
  return r;
}

// What the command-line tools make of the bytes: sha256sum's digest, and a stored body taken out
// with sqlite3's writefile() and inflated by gzip.
std::string sha256sum(const std::string& bytes) {
  vxtest::TempDir dir;
  vxtest::write_file(dir.file("b"), bytes);
  std::string out;
  FILE* p = popen(("sha256sum " + shell_quote(dir.file("b"))).c_str(), "r");
  char buf[128] = "";
  if (p != nullptr && fgets(buf, sizeof buf, p) != nullptr) out = std::string(buf).substr(0, 64);
  if (p != nullptr) pclose(p);
  return out;
}

std::string gunzipped_body(const std::string& db, int64_t id, const std::string& column) {
  vxtest::TempDir dir;
  const std::string gz = dir.file("body.gz");
  sqlite_cli(db, "SELECT writefile(" + shell_quote(gz) + ", " + column +
                     ") FROM run_bodies WHERE run_id = " + std::to_string(id));
  if (vxtest::run("gzip -dc " + shell_quote(gz) + " >" + shell_quote(dir.file("body"))) != 0)
    return "not gzip";
  return vxtest::read_file(dir.file("body"));
}

// Every field but the bodies, as one comparable text.
std::string summary(const RunRecord& r) {
  return r.command + "|" + r.command_line + "|" + std::to_string(r.started_ms) + "|" +
         std::to_string(r.ended_ms) + "|" + r.package_name + "|" + r.package_version + "|" +
         std::to_string(r.called) + std::to_string(r.result_code) + std::to_string(r.exit_status) +
         std::to_string(r.file_written) +
         "|" + r.host + "|" + r.user + "|" + r.adapters.toStyledString();
}

TEST(HistoryTest, RunsComeBackByteExactAndListsCarryNoBodies) {
  RunRecord discover;  // nothing called, no file before, an empty file after, no trace
  discover.command = "discover";
  discover.have_file_after = true;
  RunRecord large = flash_run();
  large.trace.resize(8 << 20);
  for (size_t i = 0; i < large.trace.size(); ++i) large.trace[i] = static_cast<char>(i * 7919);

  vxtest::TempDir dir;
  const std::string db = dir.file("var/lib/history.db");  // folders created on the way
  History h;
  std::string error;
  ASSERT_TRUE(h.open(db, error)) << error;
  struct stat file, folder;
  ASSERT_EQ(stat(db.c_str(), &file) + stat(dir.file("var/lib").c_str(), &folder), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  EXPECT_EQ(folder.st_mode & 0777, 0755u);

  int64_t started = 1700000000000;
  for (const RunRecord& row : {flash_run(), discover, large}) {
    SCOPED_TRACE(row.command + " " + std::to_string(row.trace.size()));
    RunRecord in = row, out;
    in.started_ms = ++started;  // each the latest started, so the first listed
    ASSERT_TRUE(h.record(in, error)) << error;
    ASSERT_TRUE(h.get(in.id, out, error)) << error;
    EXPECT_EQ(out.id, in.id);
    EXPECT_EQ(summary(out), summary(in));
    EXPECT_EQ(out.have_file_before, in.have_file_before);
    EXPECT_EQ(out.have_file_after, in.have_file_after);
    EXPECT_TRUE(out.file_before == in.file_before && out.file_after == in.file_after);
    EXPECT_TRUE(out.trace == in.trace) << out.trace.size() << " bytes back";
    EXPECT_TRUE(out.bodies_kept);
    // Stored compressed as gzip, hashed as sha256sum hashes: by the tools themselves.
    EXPECT_TRUE(gunzipped_body(db, in.id, "trace_gz") == in.trace);
    EXPECT_EQ(out.file_after_sha256, sha256sum(in.file_after));
    EXPECT_EQ(out.file_before_sha256, in.have_file_before ? sha256sum(in.file_before) : "");
    if (in.have_file_before) {
      EXPECT_TRUE(gunzipped_body(db, in.id, "file_before_gz") == in.file_before);
    }
    std::vector<RunRecord> runs;
    ASSERT_TRUE(h.list(1, runs, error)) << error;
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].id, in.id);
    EXPECT_EQ(summary(runs[0]), summary(in));
    EXPECT_EQ(runs[0].file_after_sha256, out.file_after_sha256);
    EXPECT_EQ(runs[0].trace.size() + runs[0].file_before.size() + runs[0].file_after.size(), 0u);
  }

  // The schema as an operator reads it with the sqlite3 command: every body a gzip member.
  EXPECT_EQ(sqlite_cli(db, "SELECT version FROM schema_version; PRAGMA integrity_check;"
                           "SELECT r.id, r.command, a.adapter, json_extract(a.detail, '$.outcome'),"
                           " hex(substr(b.trace_gz, 1, 3)), b.file_before_gz IS NULL,"
                           " r.file_before_sha256 IS NULL FROM runs r JOIN run_bodies b"
                           " ON b.run_id = r.id LEFT JOIN run_adapters a ON a.run_id = r.id"
                           " ORDER BY r.id, a.position"),
            "2\nok\n1|flash|20:00|flashed|1F8B08|0|0\n1|flash|21:00|flashed|1F8B08|0|0\n"
            "1|flash|||1F8B08|0|0\n2|discover|||1F8B08|1|1\n3|flash|20:00|flashed|1F8B08|0|0\n"
            "3|flash|21:00|flashed|1F8B08|0|0\n3|flash|||1F8B08|0|0\n");
  // A trace as repetitive as the plug-in's takes a small part of its size.
  RunRecord repetitive = flash_run();
  repetitive.trace.clear();
  for (int i = 0; i < 20000; ++i) repetitive.trace += "LOG_INFO : Comparing Major Version\n";
  ASSERT_TRUE(h.record(repetitive, error)) << error;
  EXPECT_LT(std::stoul(sqlite_cli(db, "SELECT length(trace_gz) FROM run_bodies WHERE run_id = " +
                                          std::to_string(repetitive.id))),
            repetitive.trace.size() / 50);
}

// Runs overlap: a run is recorded (and numbered) when it ends, so the list goes by start time,
// the later recorded first among runs started in the same millisecond.
TEST(HistoryTest, ListsTheLatestStartedFirstUpToTheLimitAndSharesTheFile) {
  vxtest::TempDir dir;
  History writer, reader;
  std::string error;
  ASSERT_TRUE(writer.open(dir.file("h.db"), error)) << error;
  ASSERT_TRUE(reader.open(dir.file("h.db"), error)) << error;
  const int64_t started[] = {1000, 3000, 2000, 4000, 3000};
  for (int i = 0; i < 5; ++i) {
    RunRecord r = flash_run();
    r.started_ms = started[i];
    ASSERT_TRUE(writer.record(r, error)) << error;
    EXPECT_EQ(r.id, i + 1);
  }
  const std::vector<std::pair<int, std::vector<int64_t>>> rows = {
      {0, {4, 5, 2, 3, 1}}, {-1, {4, 5, 2, 3, 1}}, {2, {4, 5}}, {1, {4}}, {10, {4, 5, 2, 3, 1}}};
  for (const auto& row : rows) {
    std::vector<RunRecord> runs;
    ASSERT_TRUE(reader.list(row.first, runs, error)) << error;
    std::vector<int64_t> ids;
    for (const RunRecord& r : runs) ids.push_back(r.id);
    EXPECT_EQ(ids, row.second) << "limit " << row.first;
  }
  // A lookup stops at the run it wants, newest first.
  std::vector<int64_t> visited;
  ASSERT_TRUE(reader.each_run(
      0, [&visited](const RunRecord& run) { return visited.push_back(run.id), run.id != 5; },
      error))
      << error;
  EXPECT_EQ(visited, (std::vector<int64_t>{4, 5}));
  RunRecord r;
  EXPECT_FALSE(reader.get(99, r, error));
  EXPECT_EQ(error, "no run 99");
}

// Stored forms made ahead (while the call ran) are stored as made, the trace's standing alone;
// one made of other bytes than the run's is not used.
TEST(HistoryTest, BodiesMadeAheadAreStoredAndOnesOfOtherBytesAreNot) {
  vxtest::TempDir dir;
  History h;
  std::string error;
  ASSERT_TRUE(h.open(dir.file("h.db"), error)) << error;
  RunRecord run = flash_run(), back;
  const std::string trace = run.trace;
  ASSERT_TRUE(vxhost::prepare_body("another file before", run.prepared_file_before, error));
  ASSERT_TRUE(vxhost::prepare_body(run.file_after, run.prepared_file_after, error));
  vxhost::GzipWriter writer;
  writer.add(trace);
  run.prepared_trace.made = writer.finish(run.prepared_trace.gz, error);
  run.trace.clear();
  ASSERT_TRUE(h.record(run, error)) << error;
  ASSERT_TRUE(h.get(run.id, back, error)) << error;
  EXPECT_TRUE(back.file_before == run.file_before && back.file_after == run.file_after);
  EXPECT_EQ(back.file_before_sha256, sha256sum(run.file_before));
  EXPECT_EQ(back.file_after_sha256, sha256sum(run.file_after));
  EXPECT_TRUE(back.trace == trace);
}

TEST(HistoryTest, PathIsTheOptionThenTheEnvironmentThenTheDefault) {
  const std::vector<std::array<const char*, 3>> rows = {  // option, environment, path
      {"/o.db", "/e.db", "/o.db"},
      {"", "/e.db", "/e.db"},
      {"", "", "/var/lib/qrvlvxins/history.db"}};
  for (const auto& row : rows) {
    setenv("VXINS_HISTORY_DB", row[1], 1);
    EXPECT_EQ(vxhost::history_path(row[0]), row[2]);
  }
  unsetenv("VXINS_HISTORY_DB");
  EXPECT_EQ(vxhost::history_path(""), "/var/lib/qrvlvxins/history.db");
}

// A database as an earlier vxins-host left it is brought to the current schema, its runs kept.
TEST(HistoryTest, OlderSchemasAreMigrated) {
  // Version 1 as it shipped: a frozen copy, so that an edit of a shipped migration fails here.
  const std::string v1 =
      "CREATE TABLE schema_version (version INTEGER NOT NULL); INSERT INTO schema_version"
      " VALUES (1); CREATE TABLE runs (id INTEGER PRIMARY KEY AUTOINCREMENT, command TEXT NOT"
      " NULL, command_line TEXT NOT NULL, started_ms INTEGER NOT NULL, ended_ms INTEGER NOT NULL,"
      " package_name TEXT NOT NULL, package_version TEXT NOT NULL, called INTEGER NOT NULL,"
      " result_code INTEGER NOT NULL, exit_status INTEGER NOT NULL, host_name TEXT NOT NULL,"
      " user_name TEXT NOT NULL); CREATE TABLE run_adapters (run_id INTEGER NOT NULL REFERENCES"
      " runs(id), position INTEGER NOT NULL, adapter TEXT NOT NULL, detail TEXT NOT NULL,"
      " PRIMARY KEY (run_id, position)); CREATE TABLE run_bodies (run_id INTEGER PRIMARY KEY"
      " REFERENCES runs(id), file_before BLOB, file_after BLOB, trace BLOB NOT NULL);"
      "INSERT INTO runs VALUES (7, 'discover', 'vxins-host discover', 5, 6, 'b.tar', '2.0', 1,"
      " 0, 0, 'h', 'u'); INSERT INTO run_adapters VALUES (7, 0, '20:00',"
      " '{\"adapter\":\"20:00\"}');"
      "INSERT INTO run_bodies VALUES (7, NULL, X'3C00', 'old trace');"
      "INSERT INTO runs VALUES (9, 'flash', 'vxins-host flash', 8, 9, 'b.tar', '2.0', 1, 1, 0,"
      " 'h', 'u'); INSERT INTO run_bodies VALUES (9, X'3C00', 'after', 'flash trace');";
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"empty file", ""},
      {"version 0", "CREATE TABLE schema_version (version INTEGER NOT NULL);"
                    "INSERT INTO schema_version VALUES (0);"},
      {"version 1 with a run", v1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first);
    vxtest::TempDir dir;
    const std::string db = dir.file("h.db");
    vxtest::write_file(db, "");
    if (!row.second.empty()) {
      ASSERT_EQ(sqlite_cli(db, row.second), "");
    }
    History h;
    std::string error;
    ASSERT_TRUE(h.open(db, error)) << error;
    EXPECT_EQ(sqlite_cli(db, "SELECT version FROM schema_version"), "2\n");
    RunRecord r = flash_run(), old, flash;
    ASSERT_TRUE(h.record(r, error)) << error;
    if (row.second != v1) continue;
    EXPECT_EQ(r.id, 10);
    // The old rows carried over: their bodies compressed, their files' hashes computed.
    ASSERT_TRUE(h.get(7, old, error)) << error;
    EXPECT_EQ(old.command + old.package_version + old.trace, "discover2.0old trace");
    EXPECT_TRUE(!old.have_file_before && old.have_file_after);
    EXPECT_TRUE(old.file_after == std::string("<\0", 2));
    EXPECT_EQ(old.file_before_sha256, "");
    EXPECT_EQ(old.file_after_sha256, sha256sum(std::string("<\0", 2)));
    EXPECT_EQ(old.adapters[0]["adapter"], "20:00");
    EXPECT_EQ(gunzipped_body(db, 7, "trace_gz"), "old trace");
    ASSERT_TRUE(h.get(9, flash, error)) << error;
    EXPECT_EQ(flash.file_before_sha256 + flash.file_after_sha256,
              sha256sum(std::string("<\0", 2)) + sha256sum("after"));
    EXPECT_TRUE(old.file_written && flash.file_written);  // the calls' results say so
    bool found = false;
    ASSERT_TRUE(h.run_that_wrote(sha256sum("after"), "", old, found, error)) << error;
    EXPECT_TRUE(found && old.id == 9);
    EXPECT_EQ(sqlite_cli(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
              "run_adapters\nrun_bodies\nruns\nschema_version\nsqlite_sequence\n");
  }
}

// The retention rule: the files and traces of all but the most recently started runs go, their
// rows, outcomes and hashes stay (a pruned flash still tells which file it wrote), and compact
// gives the space back.
TEST(HistoryTest, PruneKeepsTheLatestStartedRunsBodiesAndEveryRunsRecord) {
  vxtest::TempDir dir;
  const std::string db = dir.file("h.db");
  History h;
  std::string error;
  ASSERT_TRUE(h.open(db, error)) << error;
  const int64_t started[] = {5000, 1000, 4000, 2000, 3000};  // ids 1..5
  for (int i = 0; i < 5; ++i) {
    RunRecord r = flash_run();
    r.started_ms = started[i];
    r.file_after = "after " + std::to_string(i + 1);
    r.trace.resize(200000);  // bytes that do not compress, so that the bodies fill pages
    uint32_t x = static_cast<uint32_t>(i) + 1;
    for (char& c : r.trace) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    ASSERT_TRUE(h.record(r, error)) << error;
  }
  struct Row {
    int keep;
    int pruned;
    std::string kept;  // the ids whose bodies stay, in id order
  };
  const Row rows[] = {{5, 0, "12345"}, {3, 2, "135"}, {3, 0, "135"}, {1, 2, "1"}, {0, 1, ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE("keep " + std::to_string(row.keep));
    int pruned = -1;
    ASSERT_TRUE(h.prune(row.keep, pruned, error)) << error;
    EXPECT_EQ(pruned, row.pruned);
    std::string kept;
    std::vector<RunRecord> runs;
    ASSERT_TRUE(h.list(0, runs, error)) << error;
    ASSERT_EQ(runs.size(), 5u);
    for (int64_t id = 1; id <= 5; ++id) {
      RunRecord r;
      ASSERT_TRUE(h.get(id, r, error)) << error;
      EXPECT_EQ(r.file_after_sha256, sha256sum("after " + std::to_string(id)));
      EXPECT_EQ(r.adapters.size(), 3u);
      EXPECT_EQ(r.trace.empty() && !r.have_file_after && !r.have_file_before, !r.bodies_kept);
      if (r.bodies_kept) kept += std::to_string(id);
    }
    EXPECT_EQ(kept, row.kept);
  }
  RunRecord writer;
  bool found = false;
  ASSERT_TRUE(h.run_that_wrote(sha256sum("after 2"), "", writer, found, error)) << error;
  EXPECT_TRUE(found && writer.id == 2 && !writer.bodies_kept);
  struct stat before, after;
  ASSERT_EQ(stat(db.c_str(), &before), 0);
  ASSERT_TRUE(h.compact(error)) << error;
  ASSERT_EQ(stat(db.c_str(), &after), 0);
  EXPECT_LT(after.st_size, before.st_size / 2);
}

// Which run left a file behind: the latest started run whose plug-in call wrote these bytes, or
// bytes of the same key (the caller's: a file and its set-action edits share one). A flash's
// rewrite may leave the very bytes it read (a failed pass) and is still the writer; a flash
// refused before the call wrote nothing; a later discovery that writes the same bytes makes the
// file a discovery's again.
TEST(HistoryTest, TheRunThatWroteAFileIsTheLatestWhoseCallWroteThoseBytes) {
  vxtest::TempDir dir;
  History h;
  std::string error;
  ASSERT_TRUE(h.open(dir.file("h.db"), error)) << error;
  struct Step {
    const char* command;
    const char* after;
    bool written;
  };
  const Step steps[] = {{"discover", "fresh", true},    // 1
                        {"flash", "rewritten", true},   // 2
                        {"flash", "rewritten", false},  // 3: refused before the call
                        {"discover", "same", true},     // 4
                        {"flash", "same", true},        // 5: a failed pass, the same bytes
                        {"discover", "again", true},    // 6
                        {"flash", "again 2", true},     // 7
                        {"discover", "again 2", true}};  // 8: the same bytes as 7 wrote
  for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
    RunRecord r = flash_run();
    r.command = steps[i].command;
    r.started_ms = static_cast<int64_t>(i) * 10;
    r.file_after = steps[i].after;
    r.file_after_key = std::string("key of ") + steps[i].after;
    r.file_written = steps[i].written;
    ASSERT_TRUE(h.record(r, error)) << error;
  }
  const struct {
    std::string bytes, key;
    int64_t writer;
  } rows[] = {{"fresh", "", 1},           {"rewritten", "", 2},
              {"same", "", 5},            {"again", "", 6},
              {"again 2", "", 8},         {"edited", "key of same", 5},
              {"edited", "key of rewritten", 2}, {"never written", "no key", 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bytes + " " + row.key);
    RunRecord run;
    bool found = false;
    ASSERT_TRUE(h.run_that_wrote(sha256sum(row.bytes), row.key, run, found, error)) << error;
    EXPECT_EQ(found ? run.id : 0, row.writer);
  }
}

// Reading a FIFO would block the test itself.
std::string regular_file_bytes(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? vxtest::read_file(path) : "";
}

TEST(HistoryTest, UnusableDatabasesFailFastWithAReason) {
  struct Row {
    std::string name, file, reason;
    std::function<void(const std::string&)> make;
    bool unprivileged;  // root writes anything: the child drops to nobody
  };
  auto sql = [](const std::string& text) {
    return [text](const std::string& p) { ASSERT_EQ(sqlite_cli(p, text), ""); };
  };
  auto parent = [](const std::string& p) { return p.substr(0, p.find("/ro/") + 3); };
  const std::vector<Row> rows = {
      {"FIFO", "h.db", "is a FIFO", [](const std::string& p) { mkfifo(p.c_str(), 0600); }, false},
      {"journal is a FIFO", "h.db", "h.db-journal is a FIFO",
       [](const std::string& p) { mkfifo((p + "-journal").c_str(), 0600); }, false},
      {"folder", "h.db", "is a folder", [](const std::string& p) { mkdir(p.c_str(), 0755); },
       false},
      {"garbage", "h.db", "file is not a database",
       [](const std::string& p) { vxtest::write_file(p, std::string(600, 'x')); }, false},
      {"read-only file", "h.db", "cannot write",
       [](const std::string& p) {
         vxtest::write_file(p, "");
         chmod(p.c_str(), 0444);
       },
       true},
      {"unwritable folder", "ro/h.db", "Permission denied",
       [&](const std::string& p) { mkdir(parent(p).c_str(), 0555); }, true},
      {"missing folder in an unwritable one", "ro/new/h.db", "cannot create folder",
       [&](const std::string& p) { mkdir(parent(p).c_str(), 0555); }, true},
      {"newer schema", "h.db", "schema version 9 is newer than this vxins-host's (2)",
       sql("CREATE TABLE schema_version (version INTEGER); INSERT INTO schema_version VALUES (9)"),
       false},
      {"another program's database", "h.db", "not a vxins-host history database",
       sql("CREATE TABLE accounts (name TEXT)"), false},
      {"no path", "", "no history database path", [](const std::string&) {}, false},
      // A planted link would make whatever it points to the database (an empty file becomes
      // one): refused, as --record refuses one.
      {"link to an empty file", "h.db", "is a symbolic link, which vxins-host does not follow",
       [](const std::string& p) {
         vxtest::write_file(p + ".target", "");
         ASSERT_EQ(symlink((p + ".target").c_str(), p.c_str()), 0);
       },
       false},
      {"link to nothing", "h.db", "is a symbolic link",
       [](const std::string& p) { ASSERT_EQ(symlink((p + ".absent").c_str(), p.c_str()), 0); },
       false},
      {"journal is a link", "h.db", "h.db-journal is a link",
       [](const std::string& p) {
         vxtest::write_file(p + ".target", "");
         ASSERT_EQ(symlink((p + ".target").c_str(), (p + "-journal").c_str()), 0);
       },
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    vxtest::TempDir dir;
    chmod(dir.path().c_str(), 0755);  // reachable by the unprivileged child
    const std::string path = row.file.empty() ? "" : dir.file(row.file);
    row.make(path);
    const std::string before = regular_file_bytes(path);
    // In a child with a time limit: a call that blocks fails the row instead of the suite.
    EXPECT_TRUE(vxtest::FinishesInAChild([&] {
      if (row.unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        return false;
      History h(200);
      std::string error;
      bool opened = h.open(path, error);
      fprintf(stderr, "%s: %s\n", row.name.c_str(), opened ? "opened" : error.c_str());
      return !opened && error.find(row.reason) != std::string::npos &&
             error.find('\n') == std::string::npos;
    }));
    EXPECT_TRUE(regular_file_bytes(path) == before);  // left as it was
    if (!path.empty()) {
      EXPECT_EQ(regular_file_bytes(path + ".target"), "");
      EXPECT_FALSE(vxtest::file_exists(path + ".absent"));
    }
  }
}

// A command that only looks a file up (show, set-action, select, and flash before its call)
// opens the history as it is: none is created, an older schema is not migrated (it has no hashes
// to look up and no grouped adapters to list), and a link, a FIFO or a newer schema are refused
// as by open().
TEST(HistoryTest, LookupsOpenTheDatabaseAsItIs) {
  struct Row {
    std::string name;
    std::function<void(const std::string&)> make;
    bool opens, exists;
    std::string reason;
  };
  auto sql = [](const std::string& text) {
    return [text](const std::string& p) { ASSERT_EQ(sqlite_cli(p, text), ""); };
  };
  const std::vector<Row> rows = {
      {"none", [](const std::string&) {}, true, false, ""},
      {"version 1", sql("CREATE TABLE schema_version (version INTEGER); INSERT INTO"
                        " schema_version VALUES (1)"),
       true, true, ""},
      {"link", [](const std::string& p) { ASSERT_EQ(symlink("/dev/null", p.c_str()), 0); }, false,
       true,
       "is a symbolic link"},
      {"FIFO", [](const std::string& p) { mkfifo(p.c_str(), 0600); }, false, true, "is a FIFO"},
      {"newer", sql("CREATE TABLE schema_version (version INTEGER); INSERT INTO"
                    " schema_version VALUES (9)"),
       false, true, "schema version 9 is newer"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    vxtest::TempDir dir;
    const std::string db = dir.file("h.db");
    row.make(db);
    EXPECT_TRUE(vxtest::FinishesInAChild([&] {
      History h;
      bool exists = true, found = true;
      std::string error;
      RunRecord run;
      const bool opened = h.open_existing(db, exists, error);
      std::vector<RunRecord> runs(1);
      const bool looked = opened && exists &&
                          h.run_that_wrote(sha256sum("x"), "x", run, found, error) &&
                          h.list(50, runs, error);
      return opened == row.opens && (!opened || (exists == row.exists && looked == exists)) &&
             (!looked || (!found && runs.empty())) && error.find(row.reason) != std::string::npos;
    }));
    struct stat st;
    EXPECT_EQ(lstat(db.c_str(), &st) == 0, row.exists);
  }
  vxtest::TempDir dir;
  const std::string db = dir.file("h.db");
  sql("CREATE TABLE schema_version (version INTEGER); INSERT INTO schema_version VALUES (1)")(db);
  History h;
  bool exists = false;
  std::string error;
  ASSERT_TRUE(h.open_existing(db, exists, error)) << error;
  EXPECT_EQ(sqlite_cli(db, "SELECT version FROM schema_version"), "1\n");  // not migrated
}

// Another process holds the database's lock: calls wait out the busy timeout, then fail
// cleanly. A reader's lock lets a run be written but not committed: never reported recorded.
TEST(HistoryTest, ALockedDatabaseFailsAfterTheBusyTimeout) {
  const struct {
    const char* name;
    const char* hold;  // the holder's open transaction
    bool open_fails;   // a database opened while it is held cannot be used either
  } holders[] = {
      {"writer", "BEGIN EXCLUSIVE;\nDELETE FROM runs;\n", true},
      {"reader", "BEGIN;\nSELECT count(*) FROM runs;\n", false},
  };
  for (const auto& h : holders) {
    SCOPED_TRACE(h.name);
    vxtest::TempDir dir;
    const std::string db = dir.file("h.db"), ready = dir.file("ready");
    History open_before(300), opened_late(300);
    std::string error;
    ASSERT_TRUE(open_before.open(db, error)) << error;
    const std::string script = std::string(h.hold) + ".shell touch " + shell_quote(ready) +
                               "; sleep 2\nCOMMIT;\n";
    pid_t holder = fork();
    if (holder == 0) {
      execlp("sh", "sh", "-c",
             ("printf '%s' " + shell_quote(script) + " | sqlite3 " + shell_quote(db) +
              " >/dev/null")
                 .c_str(),
             static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 500 && !vxtest::file_exists(ready); ++i) usleep(10000);
    ASSERT_TRUE(vxtest::file_exists(ready));
    std::vector<std::pair<std::string, std::function<bool()>>> rows = {
        {"record", [&] { RunRecord r = flash_run(); return open_before.record(r, error); }}};
    if (h.open_fails) rows.push_back({"open", [&] { return opened_late.open(db, error); }});
    for (const auto& row : rows) {
      auto t0 = std::chrono::steady_clock::now();
      EXPECT_FALSE(row.second()) << row.first;
      double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      EXPECT_NE(error.find("database is locked"), std::string::npos) << error;
      EXPECT_GE(waited, 0.25) << row.first;
      EXPECT_LT(waited, 1.5) << row.first;
    }
    waitpid(holder, nullptr, 0);
    RunRecord r = flash_run();
    EXPECT_TRUE(open_before.record(r, error)) << error;  // usable again once the lock is gone
    EXPECT_EQ(r.id, 1);  // nothing of the refused run was kept
  }
}

}  // namespace
