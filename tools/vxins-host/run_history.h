// The history of one discover or flash run: the database opened when the run starts (a warning
// when it cannot be), the record filled as the run goes, stored in one transaction at its end
// (a warning when it cannot be). History never stops an update. Used by those two commands.
#ifndef VXINS_HOST_RUN_HISTORY_H
#define VXINS_HOST_RUN_HISTORY_H

#include <cstdint>
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
  // Stores the run with its end time and exit status; the report gets "history_id" (null when
  // the run could not be stored).
  void save(int exit_status);

 private:
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
