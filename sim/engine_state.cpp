// All state lives in one file-static object, so unloading the library (the plug-in does so at
// the end of every host call) forgets everything but the files: the inventory is re-read on
// init_hba_lib and on first use, flashed versions (or how far a replay got) live in the state
// file. In a replay the recording answers instead of the inventory.
#include "engine_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "default_inventory.h"
#include "inventory_schema.h"
#include "json_source.h"

namespace dznajsim {
namespace {

const char kDefaultVersion[] = "7.4.2-sim";
const size_t kMaxInventoryBytes = 16u << 20;

Engine g;

// The state file, checked (its shape depends on the mode); an empty object when there is none
// or it is unusable (said once).
Json::Value read_state() {
  Json::Value none(Json::objectValue);
  if (g.state_path.empty()) return none;
  std::string text, why;
  bool missing = false;
  // A link is not followed here, and the next write replaces it rather than its target.
  if (!read_file(g.state_path, kMaxInventoryBytes + 1, true, text, why, &missing)) {
    if (!missing)
      complain_once("cannot read state file " + g.state_path + ": " + why + "; ignored");
    return none;
  }
  JsonSource source("state file " + g.state_path);
  if (!fits(text, kMaxInventoryBytes, source.name(), why) || !source.parse(text, why) ||
      !check_state(source, g.replaying, why)) {
    complain_once(why + "; ignored");
    return none;
  }
  return source.root();
}

std::string state_path_beside(const std::string& file) {
  const char* state = getenv("DZNAJ_SIM_STATE");
  if (state != nullptr && *state != '\0') return state;
  return file.empty() ? "" : file + ".state";
}

// A replay: each load of the library replays the recording from the session after the one the
// previous load replayed (kept in the state file), so a recorded discovery and flash, one host
// call each, are answered in turn; after the last session it starts over.
void load_recording(const std::string& path) {
  g.replaying = true;
  g.recording_path = path;
  const char* timing = getenv("DZNAJ_SIM_REPLAY_TIMING");
  g.replay_timing = timing != nullptr && strcmp(timing, "1") == 0;
  std::string why;
  std::vector<std::string> skipped;
  bool ok = g.recording.read(path, why, skipped);
  for (const std::string& line : skipped) complain_once(line);
  if (!ok) {
    complain_once(why + "; answering with null/zero");
    return;
  }
  g.usable = true;
  g.state_path = state_path_beside(path);
  Json::Value progress = read_state()["replay"];
  size_t session = 0;
  if (progress["recording"] == Json::Value(path))
    session = progress["nextSession"].asUInt() % g.recording.sessions();
  g.recording.serve_from(session);
  g.state = Json::Value(Json::objectValue);
  g.state["replay"]["recording"] = path;
  g.state["replay"]["nextSession"] = static_cast<Json::UInt>(session + 1);
  g.save_state();
}

void load() {
  int next_id = g.next_request_id;
  g = Engine();
  g.next_request_id = next_id;
  g.loaded = true;
  g.version_text = kDefaultVersion;

  const char* replay = getenv("DZNAJ_SIM_REPLAY");
  if (replay != nullptr && *replay != '\0') return load_recording(replay);

  const char* path = getenv("DZNAJ_SIM_INVENTORY");
  std::string text, why;
  if (path != nullptr && *path != '\0') {
    g.inventory_path = path;
    if (!read_file(path, kMaxInventoryBytes + 1, false, text, why)) {
      complain_once("cannot read inventory " + g.inventory_path + ": " + why +
                    "; answering with null/zero");
      return;
    }
  } else {
    text = default_inventory_text();
  }
  JsonSource source(g.inventory_path.empty() ? "built-in inventory"
                                             : "inventory " + g.inventory_path);
  if (!fits(text, kMaxInventoryBytes, source.name(), why) || !source.parse(text, why) ||
      !check_inventory(source, why)) {
    complain_once(why + "; answering with null/zero");
    return;
  }
  g.inventory = source.root();
  g.usable = true;
  g.index.build(g.inventory);
  if (g.inventory.isMember("agentVersion"))
    g.version_text =
        g.inventory["agentVersion"].isString() ? g.inventory["agentVersion"].asString() : "";
  g.state_path = state_path_beside(g.inventory_path);
  g.state = read_state();
}

}  // namespace

Engine& loaded_engine() {
  if (!g.loaded) load();
  return g;
}

Engine& reloaded_engine() {
  if (!g.replaying) load();
  return g;
}

void sleep_seconds(const Json::Value& seconds) {
  if (seconds.isNumeric() && seconds.asDouble() > 0)
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds.asDouble()));
}

void Engine::delay_call(const char* symbol) const {
  if (usable && inventory.isMember("delays")) sleep_seconds(inventory["delays"][symbol]);
}

// Written to a temporary file created exclusively beside the state file under a random name
// (O_EXCL: a link planted at that name fails the creation rather than being followed), then
// renamed over it, which replaces a link at the state path itself instead of writing through it.
bool Engine::save_state() {
  if (state_path.empty()) return true;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "  ";
  const std::string text = Json::writeString(writer, state) + "\n";
  std::string name = state_path + ".XXXXXX";
  int fd = mkostemp(&name[0], O_CLOEXEC);
  if (fd < 0) {
    complain("cannot write state file " + state_path + ": " + strerror(errno));
    return false;
  }
  bool ok = fchmod(fd, 0644) == 0;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    done += ok ? static_cast<size_t>(n) : 0;
  }
  ok = ok && fsync(fd) == 0;
  std::string why = ok ? "" : strerror(errno);
  ok = close(fd) == 0 && ok;
  if (ok && rename(name.c_str(), state_path.c_str()) != 0) {
    ok = false;
    why = strerror(errno);
  }
  if (!ok) {
    complain("cannot write state file " + state_path + ": " + why);
    unlink(name.c_str());
  }
  return ok;
}

Json::Value journal_entry(const char* symbol, const Json::Value* request) {
  Json::Value entry;
  entry["symbol"] = symbol;
  entry["request"] = request != nullptr ? *request : Json::Value();
  return entry;
}

void journal(const Json::Value& entry) {
  const char* path = getenv("DZNAJ_SIM_JOURNAL");
  if (path == nullptr || *path == '\0') return;
  std::string line = compact(entry) + "\n";
  FILE* f = fopen(path, "ab");
  if (f == nullptr) {
    complain(std::string("cannot append to journal ") + path + ": " + strerror(errno));
    return;
  }
  fwrite(line.data(), 1, line.size(), f);
  fclose(f);
}

}  // namespace dznajsim
