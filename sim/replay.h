// A recording made by the recorder (recorder/README.md, format 1), read and checked for the
// simulator's replay (DZNAJ_SIM_REPLAY): its sessions and, per entry point and request, the
// recorded calls in order. The engine loads it (engine_state.cpp) and answers from it
// (sim_core.cpp); nothing here throws.
#ifndef DZNAJ_SIM_REPLAY_H
#define DZNAJ_SIM_REPLAY_H

#include <json/json.h>

#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

namespace dznajsim {

// The newest recording format this simulator reads.
enum { kRecordingFormat = 1 };

class Recording {
 public:
  // Reads the recording at `path`. False, with one located message in `why`, when it cannot be
  // served; a line that is not JSON (a write cut short) is skipped with a message in `skipped`.
  bool read(const std::string& path, std::string& why, std::vector<std::string>& skipped);
  size_t sessions() const { return session_starts_.size(); }
  // Serves the calls of session `first` (counted from 0) and of every later one, each in the
  // queue of its entry point and request, in the order recorded.
  void serve_from(size_t first);
  // The next recorded call of `symbol` with `request` (a flash's arguments object for
  // hba_flashUpgrade, null for the entry points without arguments), taken off its queue; null
  // when the recording holds none (more).
  const Json::Value* next(const std::string& symbol, const Json::Value& request);

 private:
  std::vector<Json::Value> calls_;      // every call line, in order
  std::vector<size_t> session_starts_;  // the index in calls_ of each session's first call
  std::unordered_map<std::string, std::deque<size_t>> queues_;
};

}  // namespace dznajsim

#endif
