// The simulator's entry points: each loads the engine, waits its delay, then answers from the
// recording (a replay), from an injected fault, or from the inventory, and journals the call.
#include "sim_core.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "answers.h"
#include "engine_state.h"
#include "faults.h"
#include "inventory_schema.h"
#include "json_source.h"

namespace dznajsim {
namespace {

// The longest recorded duration a replay waits: the simulator really sleeps.
const double kMaxReplayWaitSeconds = 3600;
// The error code of the answer to a call the recording lacks (the recorder's own failure code).
const int kNotRecordedCode = -1;

// Writes a recorded flash's error text into the caller's buffer, as the agent left it: cut to
// the buffer, NUL-terminated when it fits.
void write_error_text(char* err, uint32_t len, const Json::Value& text) {
  if (err == nullptr || len == 0 || !text.isString()) return;
  const std::string t = text.asString();
  size_t n = std::min<size_t>(t.size(), len);
  memcpy(err, t.data(), n);
  if (n < len) err[n] = '\0';
}

// The recorded call answering this one, after its recorded time when the replay is timed. What
// it threw is thrown (journaled); a flash's error text is written first. Null when the
// recording lacks the call: said on stderr, and the caller returns its failure value. The
// caller journals a call that returns.
const Json::Value* replay_call(Engine& g, const char* symbol, const Json::Value& request,
                               const Json::Value& entry, char* err = nullptr,
                               uint32_t len = 0) {
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

// A flash's failure reason into the caller's buffer, cut to it and NUL-terminated.
void set_reason(char* err, uint32_t len, const std::string& text) {
  if (err != nullptr && len > 0) snprintf(err, len, "%s", text.c_str());
}

// A recorded free_hba_lib or getRequestID: the value it returned, -1 when not recorded.
int replayed_int(Engine& g, const char* symbol, const Json::Value& entry) {
  const Json::Value* call = replay_call(g, symbol, Json::Value(), entry);
  journal(entry);
  return call != nullptr ? (*call)["returned"].asInt() : -1;
}

}  // namespace

Json::Value json_call(const char* symbol, const Json::Value& request) {
  Engine& g = strcmp(symbol, "init_hba_lib") == 0 ? reloaded_engine() : loaded_engine();
  g.delay_call(symbol);
  Json::Value entry = journal_entry(symbol, &request);
  Json::Value answer;
  if (g.serving_replay()) {
    const Json::Value* call = replay_call(g, symbol, request, entry);
    if (call != nullptr)
      answer = (*call)["answer"];
    else
      answer = error_answer(kNotRecordedCode, std::string("not in the recording: ") + symbol +
                                                  " " + compact(request));
  } else if (g.usable) {
    const Json::Value* fault = find_fault(g, symbol, request_key(request));
    Kind kind = fault_kind(fault);
    if (is_throw(kind)) throw_fault(*fault, entry);
    try {
      switch (kind) {
        case Kind::Null:
          break;
        case Kind::Error:
          answer = error_answer(fault_code(*fault, 2), fault_message(*fault));
          break;
        case Kind::Shape:
          answer = shape_answer(g, symbol, request);
          break;
        case Kind::Answer:
          answer = fault->isMember("answer") ? (*fault)["answer"] : Json::Value();
          break;
        default:
          answer = normal_answer(g, symbol, request);
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
  Engine& g = loaded_engine();
  g.delay_call("get_agt_version");
  Json::Value entry = journal_entry("get_agt_version", nullptr);
  if (g.serving_replay()) {
    const Json::Value* call = replay_call(g, "get_agt_version", Json::Value(), entry);
    journal(entry);
    if (call == nullptr || !(*call)["returned"].isString()) return nullptr;
    g.version_text = (*call)["returned"].asString();
    return &g.version_text[0];
  }
  const Json::Value* fault = find_fault(g, "get_agt_version", "");
  Kind kind = fault_kind(fault);
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
  Engine& g = loaded_engine();
  g.delay_call("free_hba_lib");
  Json::Value entry = journal_entry("free_hba_lib", nullptr);
  if (g.serving_replay()) return replayed_int(g, "free_hba_lib", entry);
  const Json::Value* fault = find_fault(g, "free_hba_lib", "");
  if (fault != nullptr) {
    if (is_throw(fault_kind(fault))) throw_fault(*fault, entry);
    journal(entry);
    return (*fault)["answer"].isInt() ? (*fault)["answer"].asInt() : 0;
  }
  journal(entry);
  return 0;
}

int getRequestID() {
  Engine& g = loaded_engine();
  g.delay_call("getRequestID");
  Json::Value entry = journal_entry("getRequestID", nullptr);
  if (g.serving_replay()) return replayed_int(g, "getRequestID", entry);
  const Json::Value* fault = find_fault(g, "getRequestID", "");
  if (fault != nullptr) {
    if (is_throw(fault_kind(fault))) throw_fault(*fault, entry);
    journal(entry);
    return (*fault)["answer"].isInt() ? (*fault)["answer"].asInt() : -1;
  }
  journal(entry);
  return ++g.next_request_id;
}

uint32_t getNumberOfAdapters() {
  Engine& g = loaded_engine();
  g.delay_call("getNumberOfAdapters");
  Json::Value entry = journal_entry("getNumberOfAdapters", nullptr);
  if (g.serving_replay()) {
    const Json::Value* call = replay_call(g, "getNumberOfAdapters", Json::Value(), entry);
    journal(entry);
    return call != nullptr ? (*call)["returned"].asUInt() : 0;
  }
  const Json::Value* fault = find_fault(g, "getNumberOfAdapters", "");
  Kind kind = fault_kind(fault);
  if (is_throw(kind)) throw_fault(*fault, entry);
  journal(entry);
  if (!g.usable || kind == Kind::Null) return 0;
  if (kind == Kind::Answer) return (*fault)["answer"].isUInt() ? (*fault)["answer"].asUInt() : 0;
  if (g.inventory.isMember("adapterCount")) return g.inventory["adapterCount"].asUInt();
  return g.inventory.isMember("adapters") ? g.inventory["adapters"].size() : 0;
}

int hba_flashUpgrade(char* wwn, char* file, uint32_t size, int flag, char* err, uint32_t len) {
  Engine& g = loaded_engine();
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
  g.delay_call("hba_flashUpgrade");
  if (g.serving_replay()) {
    Json::Value request(Json::objectValue);  // the arguments as the recorder writes them
    for (const char* arg : {"wwn", "file", "size", "flag", "len"}) request[arg] = entry[arg];
    request["errBuf"] = err != nullptr;
    const Json::Value* call = replay_call(g, "hba_flashUpgrade", request, entry, err, len);
    int rc = call != nullptr ? (*call)["returned"].asInt() : -1;
    if (call == nullptr) set_reason(err, len, "not in the recording");
    entry["result"] = rc;
    journal(entry);
    return rc;
  }
  const Json::Value* adapter = g.usable && wwn != nullptr ? g.index.adapter(wwn) : nullptr;
  if (adapter != nullptr && adapter->isMember("flashSeconds"))
    sleep_seconds((*adapter)["flashSeconds"]);

  const Json::Value* fault = find_fault(g, "hba_flashUpgrade", wwn != nullptr ? wwn : "");
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
      if (!g.save_state()) {
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
