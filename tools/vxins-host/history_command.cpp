// history, history show ID and history prune: the recorded runs, listed the most recently started
// first, one run in full with its per-adapter outcomes and (with --log) its archived trace, and
// the retention rule applied with another number of runs kept.
#include <ctime>

#include "adapter_report.h"
#include "commands.h"
#include "history.h"
#include "output.h"
#include "report.h"
#include "result_codes.h"

namespace vxhost {

namespace {

std::string local_time(int64_t ms) {
  time_t t = static_cast<time_t>(ms / 1000);
  struct tm tm;
  char buf[32] = "?";
  if (localtime_r(&t, &tm) != nullptr) strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

// "2 flashed, 1 skipped" (the counts that are not zero), or the number of adapters listed.
std::string adapters_cell(const RunRecord& run) {
  if (run.command != "flash") return std::to_string(run.adapters.size()) + " adapter(s)";
  std::string cell = counts_line(outcome_counts(run.adapters), true);
  return cell.empty() ? "-" : cell;
}

std::string result_cell(const RunRecord& run) {
  return run.called ? std::to_string(run.result_code) : "not called";
}

Json::Value hash_json(const std::string& sha256) {
  return sha256.empty() ? Json::Value() : Json::Value(sha256);
}

Json::Value run_json(const RunRecord& run) {
  Json::Value v(Json::objectValue);
  v["id"] = static_cast<Json::Int64>(run.id);
  v["command"] = run.command;
  v["command_line"] = run.command_line;
  v["started_ms"] = static_cast<Json::Int64>(run.started_ms);
  v["ended_ms"] = static_cast<Json::Int64>(run.ended_ms);
  v["started"] = local_time(run.started_ms);
  v["package_name"] = run.package_name;
  v["package_version"] = run.package_version;
  v["called"] = run.called;
  v["result_code"] = run.result_code;
  v["exit_status"] = run.exit_status;
  v["adapters"] = run.adapters;
  v["host"] = run.host;
  v["user"] = run.user;
  v["file_before_sha256"] = hash_json(run.file_before_sha256);
  v["file_after_sha256"] = hash_json(run.file_after_sha256);
  v["bodies_kept"] = run.bodies_kept;
  return v;
}

bool open_history(const Options& o, Output& out, History& db, std::string& error) {
  const std::string path = history_path(o.history_db);
  out.report()["database"] = path;
  return db.open(path, error);
}

// "1234 bytes before (sha256 ...)", "pruned after (sha256 ...)", "none before".
std::string file_cell(const RunRecord& run, bool before) {
  const std::string& hash = before ? run.file_before_sha256 : run.file_after_sha256;
  const std::string& bytes = before ? run.file_before : run.file_after;
  const std::string when = before ? " before" : " after";
  if (hash.empty()) return "none" + when;
  return (run.bodies_kept ? std::to_string(bytes.size()) + " bytes" : std::string("pruned")) +
         when + " (sha256 " + hash + ")";
}

void print_run(Output& out, const RunRecord& run) {
  ResultMeaning meaning =
      describe_result(run.command == "flash" ? Call::Flash : Call::Discover, run.result_code);
  std::string result = run.called ? std::to_string(run.result_code) +
                                        (meaning.name.empty() ? "" : " (" + meaning.name + ")") +
                                        ": " + meaning.meaning
                                  : "the plug-in was not called";
  char took[32];
  snprintf(took, sizeof took, "%.1f s", (run.ended_ms - run.started_ms) / 1000.0);
  out.print("Run " + std::to_string(run.id) + ": " + run.command + ", exit status " +
            std::to_string(run.exit_status) + "\n  command line: " + run.command_line +
            "\n  started:      " + local_time(run.started_ms) + " (took " + took + ")" +
            "\n  by:           " + run.user + " on " + run.host + "\n  package:      " +
            (run.package_name.empty() ? "-" : run.package_name) + " " + run.package_version +
            "\n  result:       " + result + "\n  discovery file: " + file_cell(run, true) + ", " +
            file_cell(run, false) + "\n");
  if (!run.adapters.empty()) {
    out.print("\n" + adapters_table(run.adapters));
    if (run.command == "flash") out.print(counts_line(outcome_counts(run.adapters)) + "\n");
  }
}

}  // namespace

int run_history_list(const Options& o) {
  Output out(o.command_name, o.json);
  History db;
  std::vector<RunRecord> runs;
  std::string error;
  if (!open_history(o, out, db, error) || !db.list(o.limit, runs, error))
    return out.finish(kExitHost, error);
  Json::Value list(Json::arrayValue);
  std::vector<std::vector<std::string>> rows = {
      {"ID", "STARTED", "COMMAND", "RESULT", "EXIT", "PACKAGE", "ADAPTERS"}};
  for (const RunRecord& run : runs) {
    list.append(run_json(run));
    rows.push_back({std::to_string(run.id), local_time(run.started_ms), run.command,
                    result_cell(run), std::to_string(run.exit_status),
                    run.package_name.empty() ? "-" : run.package_name + " " + run.package_version,
                    adapters_cell(run)});
  }
  out.report()["runs"] = list;
  out.print(runs.empty() ? "No runs recorded in " + out.report()["database"].asString() + "\n"
                         : format_table(rows));
  return out.finish(kExitOk);
}

int run_history_show(const Options& o) {
  Output out(o.command_name, o.json);
  History db;
  RunRecord run;
  std::string error;
  if (!open_history(o, out, db, error) || !db.get(o.run_id, run, error))
    return out.finish(kExitHost, error);
  Json::Value v = run_json(run);
  v["file_before"] = run.have_file_before ? Json::Value(run.file_before) : Json::Value();
  v["file_after"] = run.have_file_after ? Json::Value(run.file_after) : Json::Value();
  if (o.log) v["trace"] = run.bodies_kept ? Json::Value(run.trace) : Json::Value();
  out.report()["run"] = v;
  print_run(out, run);
  if (o.log && !run.bodies_kept) {
    out.print("\nThe trace of run " + std::to_string(run.id) +
              " was pruned (history prune keeps those of the most recent runs)\n");
  } else if (o.log) {
    out.print("\n--- archived trace of run " + std::to_string(run.id) + " ---\n" + run.trace +
              "--- end of trace ---\n");
  }
  return out.finish(kExitOk);
}

int run_history_prune(const Options& o) {
  Output out(o.command_name, o.json);
  History db;
  std::string error;
  const int keep = o.keep > 0 ? o.keep : History::kDefaultKeptRuns;
  int pruned = 0;
  if (!open_history(o, out, db, error) || !db.prune(keep, pruned, error) || !db.compact(error))
    return out.finish(kExitHost, error);
  out.report()["kept"] = keep;
  out.report()["pruned"] = pruned;
  out.print("Removed the discovery files and traces of " + std::to_string(pruned) +
            " run(s); those of the " + std::to_string(keep) +
            " most recently started runs stay, and every run's record\n");
  return out.finish(kExitOk);
}

}  // namespace vxhost
