// The simulator's engine. All state lives in one file-static object, so unloading the library
// (the plug-in does so at the end of every host call) forgets everything but the files: the
// inventory is re-read on init_hba_lib and on first use, flashed versions live in the state file.
#include "sim_core.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>

#include "default_inventory.h"
#include "znaj_agent.h"

namespace dznajsim {
namespace {

const char kDefaultVersion[] = "7.4.2-sim";
const size_t kMaxInventoryBytes = 16u << 20;
const size_t kPackageScanBytes = 8192;
// The longest wait an inventory may ask for: the simulator really sleeps, and a duration past
// what the clock's types hold would be undefined.
const double kMaxDelaySeconds = 3600;

enum class Kind { Null, Error, Shape, ThrowAgent, ThrowStd, ThrowOther, Answer, None };

struct KindName {
  Kind kind;
  const char* name;
};
const KindName kKinds[] = {{Kind::Null, "null"},         {Kind::Error, "error"},
                           {Kind::Shape, "shape"},       {Kind::ThrowAgent, "throwAgent"},
                           {Kind::ThrowStd, "throwStd"}, {Kind::ThrowOther, "throwOther"},
                           {Kind::Answer, "answer"}};

Kind kind_of(const std::string& name) {
  for (const KindName& k : kKinds)
    if (name == k.name) return k.kind;
  return Kind::None;
}

bool is_throw(Kind k) {
  return k == Kind::ThrowAgent || k == Kind::ThrowStd || k == Kind::ThrowOther;
}

// The agent's entry points and their shapes, from the contract's table.
enum class Shape { JsonReqFP, voidRetStrFP, voidRetUIntFP, voidRetIntFP, flashUpgradeFP };
struct EntryPoint {
  const char* symbol;
  Shape shape;
};
const EntryPoint kEntryPoints[] = {
#define DZNAJ_SIM_ENTRY_POINT(symbol, shape, pointer, stub) {#symbol, Shape::shape},
    ZNAJ_ENTRY_POINTS(DZNAJ_SIM_ENTRY_POINT)
#undef DZNAJ_SIM_ENTRY_POINT
};

// Which fault kinds make sense for which shape of entry point: JSON entry points take all of
// them, every entry point may throw, a string or a count may be null or a given answer, an
// integer result a given answer; a flash refusal is set in the inventory instead.
std::string kind_problem(const std::string& symbol, Kind kind) {
  for (const EntryPoint& e : kEntryPoints) {
    if (symbol != e.symbol) continue;
    bool applies = e.shape == Shape::JsonReqFP || is_throw(kind);
    if (e.shape == Shape::voidRetStrFP || e.shape == Shape::voidRetUIntFP)
      applies |= kind == Kind::Null || kind == Kind::Answer;
    if (e.shape == Shape::voidRetIntFP) applies |= kind == Kind::Answer;
    return applies ? "" : "this kind does not apply to the symbol";
  }
  return "unknown symbol";
}

struct Sim {
  bool loaded = false;
  bool usable = false;
  Json::Value inventory;       // validated object
  std::string inventory_path;  // empty for the built-in inventory
  std::string state_path;      // empty: flashed versions are kept for this load only
  Json::Value state;           // {"<adapter index>": {"flashedBiosVersion": "..."}}
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

void complain(const std::string& what) {
  fprintf(stderr, "libdznaj.so (simulator): %s\n", what.c_str());
}

bool read_file(const std::string& path, size_t limit, std::string& out, std::string& why) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) {
    why = strerror(errno);
    return false;
  }
  out.clear();
  char buf[4096];
  size_t n;
  while (out.size() < limit && (n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  bool failed = ferror(f) != 0;
  fclose(f);
  if (failed) {
    why = "read error";
    return false;
  }
  if (out.size() > limit) out.resize(limit);
  return true;
}

bool parse_json(const std::string& text, Json::Value& out, std::string& why) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  try {
    if (!reader->parse(text.data(), text.data() + text.size(), &out, &why)) return false;
  } catch (const std::exception& e) {  // JsonCpp gives up on absurd nesting by throwing
    why = e.what();
    return false;
  }
  return true;
}

bool is_entry_point(const std::string& symbol) {
  for (const EntryPoint& e : kEntryPoints)
    if (symbol == e.symbol) return true;
  return false;
}

// A wait in seconds ("flashSeconds", "delays"): a number from 0 to kMaxDelaySeconds.
bool valid_seconds(const Json::Value& v, const std::string& where, std::string& why) {
  if (v.isNumeric() && v.asDouble() >= 0 && v.asDouble() <= kMaxDelaySeconds) return true;
  why = where + " is not a number of seconds from 0 to " +
        std::to_string(static_cast<int>(kMaxDelaySeconds));
  return false;
}

bool array_of_objects(const Json::Value& v) {
  if (!v.isArray()) return false;
  for (Json::ArrayIndex i = 0; i < v.size(); ++i)
    if (!v[i].isObject()) return false;
  return true;
}

// Only the structure the simulator itself walks is checked; member values are served as they
// are, so a test can hand the plug-in wrongly typed answers.
bool validate(const Json::Value& inv, std::string& why) {
  if (!inv.isObject()) {
    why = "the top level is not an object";
    return false;
  }
  if (inv.isMember("agentVersion") && !inv["agentVersion"].isString() &&
      !inv["agentVersion"].isNull()) {
    why = "\"agentVersion\" is neither a string nor null";
    return false;
  }
  if (inv.isMember("adapterCount") && !inv["adapterCount"].isUInt()) {
    why = "\"adapterCount\" is not an unsigned integer";
    return false;
  }
  if (inv.isMember("adapters")) {
    const Json::Value& adapters = inv["adapters"];
    if (!array_of_objects(adapters)) {
      why = "\"adapters\" is not an array of objects";
      return false;
    }
    for (Json::ArrayIndex i = 0; i < adapters.size(); ++i) {
      for (const char* list : {"ethPorts", "fcPorts"}) {
        if (adapters[i].isMember(list) && !array_of_objects(adapters[i][list])) {
          why = "adapters[" + std::to_string(i) + "]." + list + " is not an array of objects";
          return false;
        }
      }
      if (adapters[i].isMember("flash") && !adapters[i]["flash"].isObject()) {
        why = "adapters[" + std::to_string(i) + "].flash is not an object";
        return false;
      }
      if (adapters[i].isMember("flashSeconds") &&
          !valid_seconds(adapters[i]["flashSeconds"],
                         "adapters[" + std::to_string(i) + "].flashSeconds", why))
        return false;
    }
  }
  if (inv.isMember("delays")) {
    const Json::Value& delays = inv["delays"];
    if (!delays.isObject()) {
      why = "\"delays\" is not an object";
      return false;
    }
    for (const std::string& symbol : delays.getMemberNames()) {
      if (!is_entry_point(symbol)) {
        why = "delays: unknown symbol \"" + symbol + "\"";
        return false;
      }
      if (!valid_seconds(delays[symbol], "delays." + symbol, why)) return false;
    }
  }
  if (inv.isMember("faults")) {
    const Json::Value& faults = inv["faults"];
    if (!array_of_objects(faults)) {
      why = "\"faults\" is not an array of objects";
      return false;
    }
    for (Json::ArrayIndex i = 0; i < faults.size(); ++i) {
      const Json::Value& f = faults[i];
      std::string where = "faults[" + std::to_string(i) + "]";
      if (!f.isMember("symbol") || !f["symbol"].isString() || !f.isMember("kind") ||
          !f["kind"].isString()) {
        why = where + " needs string members \"symbol\" and \"kind\"";
        return false;
      }
      Kind kind = kind_of(f["kind"].asString());
      if (kind == Kind::None) {
        why = where + ": unknown kind \"" + f["kind"].asString() + "\"";
        return false;
      }
      std::string problem = kind_problem(f["symbol"].asString(), kind);
      if (!problem.empty()) {
        why = where + " (" + f["symbol"].asString() + ", " + f["kind"].asString() + "): " + problem;
        return false;
      }
      if (f.isMember("key") && !f["key"].isString()) {
        why = where + ": \"key\" is not a string";
        return false;
      }
    }
  }
  return true;
}

void index_inventory();

void load_state() {
  g.state = Json::Value(Json::objectValue);
  if (g.state_path.empty()) return;
  std::string text, why;
  if (!read_file(g.state_path, kMaxInventoryBytes, text, why)) {
    if (errno != ENOENT) complain("cannot read state file " + g.state_path + ": " + why);
    return;
  }
  Json::Value state;
  if (!parse_json(text, state, why) || !state.isObject()) {
    complain("state file " + g.state_path + " is malformed, ignored" +
             (why.empty() ? std::string() : ": " + why));
    return;
  }
  g.state = state;
}

void load() {
  int next_id = g.next_request_id;
  g = Sim();
  g.next_request_id = next_id;
  g.loaded = true;
  g.version_text = kDefaultVersion;

  const char* path = getenv("DZNAJ_SIM_INVENTORY");
  std::string text, why;
  if (path != nullptr && *path != '\0') {
    g.inventory_path = path;
    if (!read_file(path, kMaxInventoryBytes, text, why)) {
      complain("cannot read inventory " + g.inventory_path + ": " + why +
               "; answering with null/zero");
      return;
    }
  } else {
    text = default_inventory_text();
  }
  Json::Value inv;
  std::string name =
      g.inventory_path.empty() ? "built-in inventory" : "inventory " + g.inventory_path;
  if (!parse_json(text, inv, why) || !validate(inv, why)) {
    complain(name + " is malformed: " + why + "; answering with null/zero");
    return;
  }
  g.inventory = inv;
  g.usable = true;
  index_inventory();
  if (inv.isMember("agentVersion"))
    g.version_text = inv["agentVersion"].isString() ? inv["agentVersion"].asString() : "";

  const char* state = getenv("DZNAJ_SIM_STATE");
  if (state != nullptr && *state != '\0')
    g.state_path = state;
  else if (!g.inventory_path.empty())
    g.state_path = g.inventory_path + ".state";
  load_state();
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

bool save_state() {
  if (g.state_path.empty()) return true;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "  ";
  std::string text = Json::writeString(writer, g.state) + "\n";
  std::string tmp = g.state_path + ".tmp";
  FILE* f = fopen(tmp.c_str(), "wb");
  if (f == nullptr) {
    complain("cannot write state file " + tmp + ": " + strerror(errno));
    return false;
  }
  bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (fclose(f) == 0) && ok;
  if (!ok || rename(tmp.c_str(), g.state_path.c_str()) != 0) {
    complain("cannot write state file " + g.state_path);
    remove(tmp.c_str());
    return false;
  }
  return true;
}

void journal(const Json::Value& entry) {
  const char* path = getenv("DZNAJ_SIM_JOURNAL");
  if (path == nullptr || *path == '\0') return;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  std::string line = Json::writeString(writer, entry) + "\n";
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

int fault_code(const Json::Value& fault, int fallback) {
  return fault.isMember("code") && fault["code"].isInt() ? fault["code"].asInt() : fallback;
}

std::string fault_message(const Json::Value& fault) {
  return fault.isMember("message") && fault["message"].isString() ? fault["message"].asString()
                                                                  : "simulated failure";
}

// Journals the call as thrown, then throws what the fault asks for.
[[noreturn]] void throw_fault(const Json::Value& fault, Json::Value entry) {
  Kind kind = kind_of(fault["kind"].asString());
  entry["threw"] = fault["kind"].asString();
  journal(entry);
  if (kind == Kind::ThrowAgent) throw HbaAgentError(fault_code(fault, 1), fault_message(fault));
  if (kind == Kind::ThrowStd) throw std::runtime_error(fault_message(fault));
  throw fault_code(fault, 1);
}

std::string string_member(const Json::Value& v, const char* key) {
  return v.isObject() && v.isMember(key) && v[key].isString() ? v[key].asString() : "";
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
  if (!read_file(file, kPackageScanBytes, head, why)) return false;
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

}  // namespace

Json::Value json_call(const char* symbol, const Json::Value& request) {
  if (strcmp(symbol, "init_hba_lib") == 0)
    load();
  else
    ensure_loaded();
  delay_call(symbol);
  Json::Value entry = journal_entry(symbol, &request);
  Json::Value answer;
  if (g.usable) {
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
  const Json::Value* adapter = g.usable && wwn != nullptr ? find_adapter(wwn) : nullptr;
  if (adapter != nullptr && adapter->isMember("flashSeconds"))
    sleep_seconds((*adapter)["flashSeconds"]);

  const Json::Value* fault = find_fault("hba_flashUpgrade", wwn != nullptr ? wwn : "");
  if (fault != nullptr) throw_fault(*fault, entry);

  int rc = 0;
  std::string reason;
  if (!g.usable) {
    rc = -1;
    reason = "simulator inventory unusable";
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
