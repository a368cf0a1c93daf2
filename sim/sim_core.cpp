// The simulator's engine. All state lives in one file-static object, so unloading the library
// (the plug-in does so at the end of every host call) forgets everything but the files: the
// inventory is re-read on init_hba_lib and on first use, flashed versions (or how far a replay
// got) live in the state file. In a replay the recording answers instead of the inventory.
#include "sim_core.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>

#include "default_inventory.h"
#include "inventory_schema.h"
#include "json_source.h"
#include "replay.h"
#include "znaj_agent.h"

namespace dznajsim {
namespace {

const char kDefaultVersion[] = "7.4.2-sim";
const size_t kMaxInventoryBytes = 16u << 20;
const size_t kPackageScanBytes = 8192;
// The longest recorded duration a replay waits: the simulator really sleeps.
const double kMaxReplayWaitSeconds = 3600;
// The error code of the answer to a call the recording lacks (the recorder's own failure code).
const int kNotRecordedCode = -1;

struct Sim {
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
  // The first adapter and the first port of each key, in inventory order, built once per load:
  // every query answers what a scan from the front would, without rescanning the inventory
  // (which made a large inventory cost quadratic time per host call).
  std::unordered_map<std::string, const Json::Value*> adapter_by_index;
  std::unordered_map<std::string, const Json::Value*> fc_port_by_wwn;
  std::unordered_map<std::string, const Json::Value*> eth_port_by_mac;
};

Sim g;

void index_inventory();

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

bool save_state();

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
  save_state();
}

void load() {
  int next_id = g.next_request_id;
  g = Sim();
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
  index_inventory();
  if (g.inventory.isMember("agentVersion"))
    g.version_text =
        g.inventory["agentVersion"].isString() ? g.inventory["agentVersion"].asString() : "";
  g.state_path = state_path_beside(g.inventory_path);
  g.state = read_state();
}

void ensure_loaded() {
  if (!g.loaded) load();
}

// Sleeps for a validated number of seconds (absent or null: no wait).
void sleep_seconds(const Json::Value& seconds) {
  if (seconds.isNumeric() && seconds.asDouble() > 0)
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds.asDouble()));
}

// The inventory's "delays" for this entry point: every call of it waits that long first, as a
// slow agent would.
void delay_call(const char* symbol) {
  const Json::Value& inventory = g.inventory;
  if (g.usable && inventory.isMember("delays")) sleep_seconds(inventory["delays"][symbol]);
}

// Written to a temporary file created exclusively beside the state file under a random name
// (O_EXCL: a link planted at that name fails the creation rather than being followed), then
// renamed over it, which replaces a link at the state path itself instead of writing through it.
bool save_state() {
  if (g.state_path.empty()) return true;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "  ";
  const std::string text = Json::writeString(writer, g.state) + "\n";
  std::string name = g.state_path + ".XXXXXX";
  int fd = mkostemp(&name[0], O_CLOEXEC);
  if (fd < 0) {
    complain("cannot write state file " + g.state_path + ": " + strerror(errno));
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
  if (ok && rename(name.c_str(), g.state_path.c_str()) != 0) {
    ok = false;
    why = strerror(errno);
  }
  if (!ok) {
    complain("cannot write state file " + g.state_path + ": " + why);
    unlink(name.c_str());
  }
  return ok;
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

Json::Value journal_entry(const char* symbol, const Json::Value* request) {
  Json::Value entry;
  entry["symbol"] = symbol;
  entry["request"] = request != nullptr ? *request : Json::Value();
  return entry;
}

// The first fault for this symbol whose key matches (a fault without a key matches every call).
const Json::Value* find_fault(const char* symbol, const std::string& key) {
  if (!g.usable || !g.inventory.isMember("faults")) return nullptr;
  const Json::Value& faults = g.inventory["faults"];
  for (Json::ArrayIndex i = 0; i < faults.size(); ++i) {
    const Json::Value& f = faults[i];
    if (f["symbol"].asString() != symbol) continue;
    if (f.isMember("key") && f["key"].asString() != key) continue;
    return &f;
  }
  return nullptr;
}

std::string string_member(const Json::Value& v, const char* key) {
  return v.isObject() && v.isMember(key) && v[key].isString() ? v[key].asString() : "";
}

int fault_code(const Json::Value& fault, int fallback) {
  return fault.isMember("code") && fault["code"].isInt() ? fault["code"].asInt() : fallback;
}

std::string fault_message(const Json::Value& fault) {
  return fault.isMember("message") && fault["message"].isString() ? fault["message"].asString()
                                                                  : "simulated failure";
}

// Journals the call as thrown (with the fault kind's name), then throws: an HbaAgentError, a
// std::runtime_error, or the int code for anything else.
[[noreturn]] void throw_as(const std::string& kind, int code, const std::string& message,
                           Json::Value entry) {
  entry["threw"] = kind;
  journal(entry);
  if (kind_of(kind) == Kind::ThrowAgent) throw HbaAgentError(code, message);
  if (kind_of(kind) == Kind::ThrowStd) throw std::runtime_error(message);
  throw code;
}

[[noreturn]] void throw_fault(const Json::Value& fault, const Json::Value& entry) {
  throw_as(fault["kind"].asString(), fault_code(fault, 1), fault_message(fault), entry);
}

// Rethrows what a recorded call threw, as the same kind: the plug-in tells them apart by type.
[[noreturn]] void throw_recorded(const Json::Value& threw, const Json::Value& entry) {
  const std::string kind = threw["kind"].asString();
  throw_as(kind == "agent" ? "throwAgent" : kind == "std" ? "throwStd" : "throwOther",
           fault_code(threw, 1), string_member(threw, "message"), entry);
}

// Writes a recorded flash's error text into the caller's buffer, as the agent left it: cut to
// the buffer, NUL-terminated when it fits.
void write_error_text(char* err, uint32_t len, const Json::Value& text) {
  if (err == nullptr || len == 0 || !text.isString()) return;
  const std::string t = text.asString();
  size_t n = std::min<size_t>(t.size(), len);
  memcpy(err, t.data(), n);
  if (n < len) err[n] = '\0';
}

bool replaying() { return g.replaying && g.usable; }

// The recorded call answering this one, after its recorded time when the replay is timed. What
// it threw is thrown (journaled); a flash's error text is written first. Null when the
// recording lacks the call: said on stderr, and the caller returns its failure value. The
// caller journals a call that returns.
const Json::Value* replay_call(const char* symbol, const Json::Value& request,
                               const Json::Value& entry, char* err = nullptr, uint32_t len = 0) {
  const Json::Value* call = g.recording.next(symbol, request);
  if (call == nullptr) {
    complain("recording " + g.recording_path + " has no call " + symbol + " " +
             compact(request) + " left; answering with the failure value");
    return nullptr;
  }
  if (g.replay_timing) {
    double seconds = std::min((*call)["durationMs"].asDouble() / 1000, kMaxReplayWaitSeconds);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  }
  write_error_text(err, len, (*call)["errorText"]);
  if (call->isMember("threw")) throw_recorded((*call)["threw"], entry);
  return call;
}

// Fills the lookup tables from g.inventory (which must not change until the next load). Keys
// that are empty or not strings are left out: no request can name them. A key listed twice
// keeps its first holder.
void index_inventory() {
  if (!g.inventory.isMember("adapters")) return;
  const Json::Value& adapters = g.inventory["adapters"];
  for (Json::ArrayIndex i = 0; i < adapters.size(); ++i) {
    const Json::Value& adapter = adapters[i];
    std::string index = string_member(adapter, "index");
    if (!index.empty()) g.adapter_by_index.emplace(index, &adapter);
    const struct {
      const char* list;
      const char* key;
      std::unordered_map<std::string, const Json::Value*>* table;
    } kPortLists[] = {{"fcPorts", "wwn", &g.fc_port_by_wwn},
                      {"ethPorts", "mac", &g.eth_port_by_mac}};
    for (const auto& pl : kPortLists) {
      if (!adapter.isMember(pl.list)) continue;
      const Json::Value& ports = adapter[pl.list];
      for (Json::ArrayIndex p = 0; p < ports.size(); ++p) {
        std::string value = string_member(ports[p], pl.key);
        if (!value.empty()) pl.table->emplace(value, &ports[p]);
      }
    }
  }
}

// The adapter, FC port or Ethernet port keyed by a request value.
const Json::Value* find_adapter(const std::string& index) {
  auto it = g.adapter_by_index.find(index);
  return it == g.adapter_by_index.end() ? nullptr : it->second;
}

const Json::Value* find_port(const char* list, const std::string& value) {
  const auto& ports = strcmp(list, "fcPorts") == 0 ? g.fc_port_by_wwn : g.eth_port_by_mac;
  auto it = ports.find(value);
  return it == ports.end() ? nullptr : it->second;
}

// The key a request names: its "wwn", "mac" or "indexStr" text.
std::string request_key(const Json::Value& request) {
  for (const char* k : {"wwn", "mac", "indexStr"}) {
    std::string v = string_member(request, k);
    if (!v.empty()) return v;
  }
  return "";
}

Json::Value error_answer(int code, const std::string& message) {
  Json::Value answer;
  answer["error"]["code"] = code;
  answer["error"]["message"] = message;
  return answer;
}

Json::Value unknown(const char* what, const std::string& key) {
  return error_answer(2, std::string("no ") + what + " \"" + key + "\" in the inventory");
}

void copy_present(Json::Value& to, const Json::Value& from,
                  std::initializer_list<const char*> keys) {
  for (const char* k : keys)
    if (from.isObject() && from.isMember(k)) to[k] = from[k];
}

// The flashed version: a recorded flash wins over the inventory.
Json::Value flashed_version(const Json::Value& adapter) {
  std::string index = string_member(adapter, "index");
  if (!index.empty() && g.state.isMember(index) && g.state[index].isObject() &&
      g.state[index].isMember("flashedBiosVersion"))
    return g.state[index]["flashedBiosVersion"];
  return adapter.isMember("flashedBiosVersion") ? adapter["flashedBiosVersion"] : Json::Value();
}

Json::Value port_indices(const Json::Value& adapter, const char* list, const char* key) {
  Json::Value answer;
  answer["indexStrings"] = Json::Value(Json::arrayValue);
  if (!adapter.isMember(list)) return answer;
  const Json::Value& ports = adapter[list];
  for (Json::ArrayIndex i = 0; i < ports.size(); ++i)
    if (ports[i].isMember(key)) answer["indexStrings"].append(ports[i][key]);
  return answer;
}

Json::Value normal_answer(const std::string& symbol, const Json::Value& request) {
  const std::string key = request_key(request);
  if (symbol == "init_hba_lib") {
    if (g.inventory.isMember("init")) return g.inventory["init"];
    Json::Value answer;
    answer["result"] = 0;
    return answer;
  }
  if (symbol == "getAllAdaptersIndexString") {
    Json::Value answer;
    answer["indexStrings"] = Json::Value(Json::arrayValue);
    if (g.inventory.isMember("adapters")) {
      const Json::Value& adapters = g.inventory["adapters"];
      for (Json::ArrayIndex i = 0; i < adapters.size(); ++i)
        if (adapters[i].isMember("index")) answer["indexStrings"].append(adapters[i]["index"]);
    }
    return answer;
  }
  if (symbol == "getHbaByWwn" || symbol == "getAdvAdapterData" ||
      symbol == "getFcPhyPortIndicesByAdapter" || symbol == "getEthPhyPortIndicesByAdapter") {
    const Json::Value* adapter = find_adapter(key);
    if (adapter == nullptr) return unknown("adapter", key);
    if (symbol == "getFcPhyPortIndicesByAdapter") return port_indices(*adapter, "fcPorts", "wwn");
    if (symbol == "getEthPhyPortIndicesByAdapter") return port_indices(*adapter, "ethPorts", "mac");
    Json::Value flashed = flashed_version(*adapter);
    if (symbol == "getAdvAdapterData") {
      Json::Value answer(Json::objectValue);
      if (!flashed.isNull()) answer["flashedBiosVersion"] = flashed;
      return answer;
    }
    Json::Value answer;
    answer["hbaData"] = Json::Value(Json::objectValue);
    copy_present(answer["hbaData"], *adapter, {"model", "portCount"});
    answer["pcieInfo"] = Json::Value(Json::objectValue);
    if (adapter->isMember("pcie"))
      copy_present(answer["pcieInfo"], (*adapter)["pcie"],
                   {"vendorID", "deviceID", "subSystemVendorID", "subSystemID"});
    answer["driver"] = Json::Value(Json::objectValue);
    copy_present(answer["driver"], *adapter, {"storageDriverVersion", "networkDriverVersion"});
    answer["firmware"] = Json::Value(Json::objectValue);
    if (!flashed.isNull()) answer["firmware"]["flashedBiosVersion"] = flashed;
    return answer;
  }
  if (symbol == "getPortByWwn" || symbol == "getFcByFcWwn" || symbol == "getFcoeByPort" ||
      symbol == "setPortByWwn") {
    const Json::Value* port = find_port("fcPorts", key);
    if (port == nullptr) return unknown("FC port", key);
    Json::Value answer(Json::objectValue);
    if (symbol == "setPortByWwn") {
      answer["result"] = 0;
      return answer;
    }
    copy_present(answer, *port, {"wwn", "nodeWwn", "hardwarePath", "portMode"});
    return answer;
  }
  if (symbol == "getEthPortByEthMac") {
    const Json::Value* port = find_port("ethPorts", key);
    if (port == nullptr) return unknown("Ethernet port", key);
    Json::Value answer;
    answer["ethData"] = Json::Value(Json::objectValue);
    if (port->isMember("mac")) answer["ethData"]["macAddress"] = (*port)["mac"];
    copy_present(answer["ethData"], *port, {"hardwarePath"});
    return answer;
  }
  return error_answer(2, "unknown entry point " + symbol);
}

// A wrongly shaped answer for the symbol: lacking what callers rely on, or of the wrong type.
Json::Value shape_answer(const std::string& symbol, const Json::Value& request) {
  if (symbol == "init_hba_lib") return Json::Value("initialised");
  if (symbol == "getHbaByWwn") {
    Json::Value answer = normal_answer(symbol, request);
    if (!answer.isMember("hbaData")) return Json::Value(Json::objectValue);
    answer.removeMember("driver");
    return answer;
  }
  if (symbol == "getAllAdaptersIndexString" || symbol == "getFcPhyPortIndicesByAdapter" ||
      symbol == "getEthPhyPortIndicesByAdapter") {
    Json::Value normal = normal_answer(symbol, request);
    Json::Value answer;
    answer["indexStrings"] = Json::Value(Json::objectValue);
    if (normal.isMember("indexStrings")) {
      const Json::Value& list = normal["indexStrings"];
      for (Json::ArrayIndex i = 0; i < list.size(); ++i)
        answer["indexStrings"][std::to_string(i)] = list[i];
    }
    return answer;
  }
  if (symbol == "getEthPortByEthMac") {
    Json::Value answer;
    answer["ethData"] = request_key(request);
    return answer;
  }
  if (symbol == "setPortByWwn") return Json::Value("unavailable");
  Json::Value answer;
  answer["status"] = "unavailable";
  return answer;
}

// Scans the head of a package for "<version>...</version>".
bool package_version(const char* file, std::string& version, std::string& why) {
  std::string head;
  if (!read_file(file, kPackageScanBytes, false, head, why)) return false;
  size_t open = head.find("<version>");
  size_t start = open == std::string::npos ? open : open + strlen("<version>");
  size_t close = start == std::string::npos ? start : head.find("</version>", start);
  if (close == std::string::npos) {
    why = "no <version> in the package's first " + std::to_string(kPackageScanBytes) + " bytes";
    return false;
  }
  version = head.substr(start, close - start);
  return true;
}

void set_reason(char* err, uint32_t len, const std::string& text) {
  if (err != nullptr && len > 0) snprintf(err, len, "%s", text.c_str());
}

// A recorded free_hba_lib or getRequestID: the value it returned, -1 when not recorded.
int replayed_int(const char* symbol, const Json::Value& entry) {
  const Json::Value* call = replay_call(symbol, Json::Value(), entry);
  journal(entry);
  return call != nullptr ? (*call)["returned"].asInt() : -1;
}

}  // namespace

Json::Value json_call(const char* symbol, const Json::Value& request) {
  // A replay keeps its place in the recording across init_hba_lib; an inventory is re-read.
  if (strcmp(symbol, "init_hba_lib") == 0 && !g.replaying)
    load();
  else
    ensure_loaded();
  delay_call(symbol);
  Json::Value entry = journal_entry(symbol, &request);
  Json::Value answer;
  if (replaying()) {
    const Json::Value* call = replay_call(symbol, request, entry);
    if (call != nullptr)
      answer = (*call)["answer"];
    else
      answer = error_answer(kNotRecordedCode,
                            std::string("not in the recording: ") + symbol + " " + compact(request));
  } else if (g.usable) {
    const Json::Value* fault = find_fault(symbol, request_key(request));
    Kind kind = fault != nullptr ? kind_of((*fault)["kind"].asString()) : Kind::None;
    if (is_throw(kind)) throw_fault(*fault, entry);
    try {
      switch (kind) {
        case Kind::Null:
          break;
        case Kind::Error:
          answer = error_answer(fault_code(*fault, 2), fault_message(*fault));
          break;
        case Kind::Shape:
          answer = shape_answer(symbol, request);
          break;
        case Kind::Answer:
          answer = fault->isMember("answer") ? (*fault)["answer"] : Json::Value();
          break;
        default:
          answer = normal_answer(symbol, request);
          break;
      }
    } catch (const Json::Exception& e) {  // a bug here must not take the caller down
      complain(std::string(symbol) + ": " + e.what());
      answer = Json::Value();
    }
  }
  journal(entry);
  return answer;
}

char* get_agt_version() {
  ensure_loaded();
  delay_call("get_agt_version");
  Json::Value entry = journal_entry("get_agt_version", nullptr);
  if (replaying()) {
    const Json::Value* call = replay_call("get_agt_version", Json::Value(), entry);
    journal(entry);
    if (call == nullptr || !(*call)["returned"].isString()) return nullptr;
    g.version_text = (*call)["returned"].asString();
    return &g.version_text[0];
  }
  const Json::Value* fault = find_fault("get_agt_version", "");
  Kind kind = fault != nullptr ? kind_of((*fault)["kind"].asString()) : Kind::None;
  if (is_throw(kind)) throw_fault(*fault, entry);
  journal(entry);
  if (!g.usable || kind == Kind::Null) return nullptr;
  if (kind == Kind::Answer) {
    const Json::Value& text = (*fault)["answer"];
    if (!text.isString()) return nullptr;
    g.version_text = text.asString();
  } else if (g.inventory.isMember("agentVersion") && g.inventory["agentVersion"].isNull()) {
    return nullptr;
  }
  return &g.version_text[0];
}

int free_hba_lib() {
  ensure_loaded();
  delay_call("free_hba_lib");
  Json::Value entry = journal_entry("free_hba_lib", nullptr);
  if (replaying()) return replayed_int("free_hba_lib", entry);
  const Json::Value* fault = find_fault("free_hba_lib", "");
  if (fault != nullptr) {
    Kind kind = kind_of((*fault)["kind"].asString());
    if (is_throw(kind)) throw_fault(*fault, entry);
    journal(entry);
    return (*fault)["answer"].isInt() ? (*fault)["answer"].asInt() : 0;
  }
  journal(entry);
  return 0;
}

int getRequestID() {
  ensure_loaded();
  delay_call("getRequestID");
  Json::Value entry = journal_entry("getRequestID", nullptr);
  if (replaying()) return replayed_int("getRequestID", entry);
  const Json::Value* fault = find_fault("getRequestID", "");
  if (fault != nullptr) {
    if (is_throw(kind_of((*fault)["kind"].asString()))) throw_fault(*fault, entry);
    journal(entry);
    return (*fault)["answer"].isInt() ? (*fault)["answer"].asInt() : -1;
  }
  journal(entry);
  return ++g.next_request_id;
}

uint32_t getNumberOfAdapters() {
  ensure_loaded();
  delay_call("getNumberOfAdapters");
  Json::Value entry = journal_entry("getNumberOfAdapters", nullptr);
  if (replaying()) {
    const Json::Value* call = replay_call("getNumberOfAdapters", Json::Value(), entry);
    journal(entry);
    return call != nullptr ? (*call)["returned"].asUInt() : 0;
  }
  const Json::Value* fault = find_fault("getNumberOfAdapters", "");
  Kind kind = fault != nullptr ? kind_of((*fault)["kind"].asString()) : Kind::None;
  if (is_throw(kind)) throw_fault(*fault, entry);
  journal(entry);
  if (!g.usable || kind == Kind::Null) return 0;
  if (kind == Kind::Answer) return (*fault)["answer"].isUInt() ? (*fault)["answer"].asUInt() : 0;
  if (g.inventory.isMember("adapterCount")) return g.inventory["adapterCount"].asUInt();
  return g.inventory.isMember("adapters") ? g.inventory["adapters"].size() : 0;
}

int hba_flashUpgrade(char* wwn, char* file, uint32_t size, int flag, char* err, uint32_t len) {
  ensure_loaded();
  bool zeroed = err != nullptr;
  for (uint32_t i = 0; zeroed && i < len; ++i) zeroed = err[i] == '\0';
  Json::Value entry;
  entry["symbol"] = "hba_flashUpgrade";
  entry["wwn"] = wwn != nullptr ? Json::Value(wwn) : Json::Value();
  entry["file"] = file != nullptr ? Json::Value(file) : Json::Value();
  entry["size"] = size;
  entry["flag"] = flag;
  entry["errBufZeroed"] = zeroed;
  entry["len"] = len;

  // The entry point's delay, then the adapter's own flash time, whatever the flash's outcome.
  delay_call("hba_flashUpgrade");
  if (replaying()) {
    Json::Value request(Json::objectValue);  // the arguments as the recorder writes them
    for (const char* arg : {"wwn", "file", "size", "flag", "len"}) request[arg] = entry[arg];
    request["errBuf"] = err != nullptr;
    const Json::Value* call = replay_call("hba_flashUpgrade", request, entry, err, len);
    int rc = call != nullptr ? (*call)["returned"].asInt() : -1;
    if (call == nullptr) set_reason(err, len, "not in the recording");
    entry["result"] = rc;
    journal(entry);
    return rc;
  }
  const Json::Value* adapter = g.usable && wwn != nullptr ? find_adapter(wwn) : nullptr;
  if (adapter != nullptr && adapter->isMember("flashSeconds"))
    sleep_seconds((*adapter)["flashSeconds"]);

  const Json::Value* fault = find_fault("hba_flashUpgrade", wwn != nullptr ? wwn : "");
  if (fault != nullptr) throw_fault(*fault, entry);

  int rc = 0;
  std::string reason;
  if (!g.usable) {
    rc = -1;
    reason = g.replaying ? "simulator recording unusable" : "simulator inventory unusable";
  } else if (adapter == nullptr) {
    rc = -1;
    reason = std::string("unknown adapter ") + (wwn != nullptr ? wwn : "(null)");
  } else if (adapter->isMember("flash") && (*adapter)["flash"].isMember("result") &&
             (*adapter)["flash"]["result"].isInt() && (*adapter)["flash"]["result"].asInt() != 0) {
    rc = (*adapter)["flash"]["result"].asInt();
    reason = string_member((*adapter)["flash"], "reason");
  } else {
    std::string version, why;
    if (file == nullptr || !package_version(file, version, why)) {
      rc = -1;
      reason = "package rejected: " + (file == nullptr ? std::string("no file") : why);
    } else {
      g.state[string_member(*adapter, "index")]["flashedBiosVersion"] = version;
      if (!save_state()) {
        rc = -1;
        reason = "could not record the new version";
      }
    }
  }
  if (rc != 0) set_reason(err, len, reason);
  entry["result"] = rc;
  journal(entry);
  return rc;
}

}  // namespace dznajsim
