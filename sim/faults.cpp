// A fault's kind decides what is thrown: an HbaAgentError, a std::runtime_error, or the int
// code for anything else; a recording names the same three by its own words.
#include "faults.h"

#include <stdexcept>

#include "json_source.h"
#include "znaj_agent.h"

namespace dznajsim {
namespace {

// Journals the call as thrown (with the fault kind's name), then throws.
[[noreturn]] void throw_as(const std::string& kind, int code, const std::string& message,
                           Json::Value entry) {
  entry["threw"] = kind;
  journal(entry);
  if (kind_of(kind) == Kind::ThrowAgent) throw HbaAgentError(code, message);
  if (kind_of(kind) == Kind::ThrowStd) throw std::runtime_error(message);
  throw code;
}

}  // namespace

const Json::Value* find_fault(const Engine& engine, const char* symbol, const std::string& key) {
  if (!engine.usable || !engine.inventory.isMember("faults")) return nullptr;
  const Json::Value& faults = engine.inventory["faults"];
  for (Json::ArrayIndex i = 0; i < faults.size(); ++i) {
    const Json::Value& f = faults[i];
    if (f["symbol"].asString() != symbol) continue;
    if (f.isMember("key") && f["key"].asString() != key) continue;
    return &f;
  }
  return nullptr;
}

Kind fault_kind(const Json::Value* fault) {
  return fault != nullptr ? kind_of((*fault)["kind"].asString()) : Kind::None;
}

int fault_code(const Json::Value& fault, int fallback) {
  return fault.isMember("code") && fault["code"].isInt() ? fault["code"].asInt() : fallback;
}

std::string fault_message(const Json::Value& fault) {
  return fault.isMember("message") && fault["message"].isString() ? fault["message"].asString()
                                                                  : "simulated failure";
}

void throw_fault(const Json::Value& fault, const Json::Value& entry) {
  throw_as(fault["kind"].asString(), fault_code(fault, 1), fault_message(fault), entry);
}

void throw_recorded(const Json::Value& threw, const Json::Value& entry) {
  const std::string kind = threw["kind"].asString();
  throw_as(kind == "agent" ? "throwAgent" : kind == "std" ? "throwStd" : "throwOther",
           fault_code(threw, 1), string_member(threw, "message"), entry);
}

}  // namespace dznajsim
