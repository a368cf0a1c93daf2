// The simulator's state for one load of the library (inventory or recording, state file, index)
// and its journal of calls. The entry points (sim_core.cpp) load and save it; answers and faults
// only read it. Nothing here throws; problems with the files are said on stderr.
#ifndef DZNAJ_SIM_ENGINE_STATE_H
#define DZNAJ_SIM_ENGINE_STATE_H

#include <json/json.h>

#include <string>

#include "inventory_index.h"
#include "replay.h"

namespace dznajsim {

struct Engine {
  bool loaded = false;
  bool usable = false;
  bool replaying = false;      // DZNAJ_SIM_REPLAY: answers come from `recording`
  bool replay_timing = false;  // DZNAJ_SIM_REPLAY_TIMING=1: each call takes its recorded time
  Json::Value inventory;       // validated object
  std::string inventory_path;  // empty for the built-in inventory
  std::string recording_path;
  Recording recording;
  std::string state_path;      // empty: flashed versions are kept for this load only
  Json::Value state;           // {"<adapter index>": {"flashedBiosVersion": "..."}}, or a
                               // replay's {"replay": {"recording": ..., "nextSession": n}}
  std::string version_text;
  int next_request_id = 0;
  InventoryIndex index;        // into `inventory`, which must not change until the next load

  // A replay whose recording could be read: the recording answers every call.
  bool serving_replay() const { return replaying && usable; }
  // Writes `state` to the state file (if any); false, said on stderr, when it cannot.
  bool save_state();
  // The inventory's "delays" for this entry point: every call of it waits that long first, as
  // a slow agent would.
  void delay_call(const char* symbol) const;
};

// The engine as loaded: on its first use after the library is loaded, the inventory (or the
// recording) and the state file are read.
Engine& loaded_engine();
// init_hba_lib: the inventory and the state file are read again (request IDs go on counting);
// a replay keeps its place in the recording.
Engine& reloaded_engine();

// Sleeps for a validated number of seconds (absent or null: no wait).
void sleep_seconds(const Json::Value& seconds);

// A call's journal line as far as its symbol and request (null for none); the entry point adds
// what it returned or threw, then journals it.
Json::Value journal_entry(const char* symbol, const Json::Value* request);
// Appends the line to DZNAJ_SIM_JOURNAL, when set.
void journal(const Json::Value& entry);

}  // namespace dznajsim

#endif
