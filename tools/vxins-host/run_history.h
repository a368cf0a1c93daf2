// The history of one discover, flash or devices run: the database opened when the run starts (a
// warning when it cannot be), the record filled as the run goes, stored in one transaction at
// its end, then the retention rule applied (a warning when either fails). History never stops an
// update. Used by those three commands.
#ifndef VXINS_HOST_RUN_HISTORY_H
#define VXINS_HOST_RUN_HISTORY_H

#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "command_line.h"
#include "history.h"
#include "output.h"

namespace vxhost {

class RunHistory {
 public:
  // Opens the database of --history-db / $VXINS_HISTORY_DB / the default, and starts the
  // record: command, command line, start time, host and user.
  RunHistory(const Options& o, Output& out);
  RunRecord& run() { return run_; }
  // The open database, for lookups before the run is stored; null when it could not be opened.
  History* database() { return open_ ? &db_ : nullptr; }
  // Stores the run with its end time and exit status; the report gets "history_id" (null when
  // the run could not be stored). Then the files and traces of all but the most recent runs
  // are pruned (History::kDefaultKeptRuns).
  void save(int exit_status);
  // Makes the stored form (history.h) of the discovery file as it was before the call, or as
  // the call left it, on a thread of its own while the call or the report runs; save() takes
  // it. Without a thread, save() makes it itself.
  void prepare_file_before(const std::string& bytes) { before_ = prepared_later(bytes); }
  void prepare_file_after(const std::string& bytes) { after_ = prepared_later(bytes); }

 private:
  static std::future<PreparedBody> prepared_later(std::string bytes);
  std::future<PreparedBody> before_, after_;
  Output& out_;
  History db_;
  bool open_ = false;
  std::string path_;
  RunRecord run_;
};

// The words as a shell reads them back: joined by blanks, single-quoted where needed.
std::string shell_words(const std::vector<std::string>& words);
// Unix time in milliseconds.
int64_t now_ms();

}  // namespace vxhost

#endif
