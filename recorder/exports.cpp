// libdznaj.so's sixteen entry points as the recorder exports them, generated from the contract's
// table (ZNAJ_ENTRY_POINTS): each forwards to the same entry point of the target library and
// appends the call to the recording. What the target returns or throws reaches the caller
// unchanged; the recorder never adds an exception of its own.
#include <cxxabi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <typeinfo>

#include "session.h"
#include "znaj_agent.h"

namespace {

using dznajrec::InTarget;
using dznajrec::Line;
using dznajrec::Session;
using dznajrec::Targets;

// The error code of the answer standing in for a JSON entry point the target cannot serve.
const int kUnavailableCode = -1;

Json::Value text_or_null(const char* text) {
  return text != nullptr ? Json::Value(text) : Json::Value();
}

// A type's readable name ("std::runtime_error"), or the compiler's when it cannot be demangled.
std::string type_name(const std::type_info* type) {
  if (type == nullptr) return "";
  int status = 0;
  char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
  std::string name = readable != nullptr ? readable : type->name();
  free(readable);
  return name;
}

// The exception being handled, as the recording describes it. Only called inside a handler; the
// exception stays the one being handled, for the handler's `throw;`.
Json::Value current_exception() {
  Json::Value threw(Json::objectValue);
  try {
    throw;
  } catch (const HbaAgentError& e) {
    threw["kind"] = "agent";
    threw["code"] = e.errCode;
    threw["message"] = e.errStr;
  } catch (const std::exception& e) {
    threw["kind"] = "std";
    threw["type"] = type_name(&typeid(e));
    threw["message"] = e.what();
  } catch (...) {
    threw["kind"] = "other";
    threw["type"] = type_name(abi::__cxa_current_exception_type());
  }
  return threw;
}

double milliseconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// Why an entry point cannot be forwarded; empty when even that cannot be said.
std::string why_unavailable(const Session* session, const char* name) noexcept {
  try {
    if (session != nullptr) return session->why_missing(name);
    return std::string(name) + " called by the target while it is loaded or unloaded";
  } catch (...) {
    return std::string();
  }
}

// One call of an entry point. `invoke` calls the target's function with the caller's arguments;
// `fail` makes the shape's failure value from a reason; `describe` adds the request and the
// result (null when the target threw) to the call's line.
template <typename Fn, typename Invoke, typename Fail, typename Describe>
auto forward(Fn Targets::*entry, const char* name, Invoke invoke, Fail fail, Describe describe)
    -> decltype(invoke(Fn())) {
  typedef decltype(invoke(Fn())) Result;
  if (InTarget::active()) {
    Session* session = Session::current();
    Fn fn = session != nullptr ? session->targets().*entry : nullptr;
    return fn != nullptr ? invoke(fn) : fail(why_unavailable(nullptr, name));
  }
  Session& session = Session::get();
  Fn fn = session.targets().*entry;
  if (fn == nullptr) return fail(why_unavailable(&session, name));
  const auto start = std::chrono::steady_clock::now();
  try {
    Result result{};
    {
      InTarget in;
      result = invoke(fn);
    }
    session.record_call(name, milliseconds_since(start),
                        [&](Line& line) { describe(line, &result); });
    return result;
  } catch (abi::__forced_unwind&) {
    throw;  // a cancelled thread: nothing to record, and it must not be caught twice
  } catch (...) {
    session.record_call(name, milliseconds_since(start), [&](Line& line) {
      describe(line, static_cast<const Result*>(nullptr));
      line.add("threw", current_exception());
    });
    throw;
  }
}

// A JSON entry point's failure value: the answer of an agent refusing the request.
Json::Value failure_answer(const std::string& why) {
  try {
    Json::Value answer(Json::objectValue);
    answer["error"]["code"] = kUnavailableCode;
    answer["error"]["message"] = "libdznaj.so (recorder): " + why;
    return answer;
  } catch (...) {
    return Json::Value();
  }
}

Json::Value json_entry(JsonReqFP Targets::*entry, const char* name, const Json::Value& request) {
  return forward(entry, name, [&](JsonReqFP fn) { return fn(request); }, failure_answer,
                 [&](Line& line, const Json::Value* answer) {
                   line.add("request", request);
                   if (answer != nullptr) line.add("answer", *answer);
                 });
}

// What an entry point without arguments returned, as the recording holds it.
Json::Value returned_value(char* text) { return text_or_null(text); }
Json::Value returned_value(uint32_t n) { return Json::Value(static_cast<Json::UInt>(n)); }
Json::Value returned_value(int n) { return Json::Value(n); }

template <typename Fn>
auto plain_entry(Fn Targets::*entry, const char* name, decltype(Fn()()) failure)
    -> decltype(Fn()()) {
  typedef decltype(Fn()()) Result;
  return forward(entry, name, [](Fn fn) { return fn(); },
                 [failure](const std::string&) { return failure; },
                 [](Line& line, const Result* result) {
                   line.add("request", Json::Value());
                   if (result != nullptr) line.add("returned", returned_value(*result));
                 });
}

int flash_entry(flashUpgradeFP Targets::*entry, const char* name, char* wwn, char* file,
                uint32_t size, int flag, char* err, uint32_t len) {
  return forward(
      entry, name, [&](flashUpgradeFP fn) { return fn(wwn, file, size, flag, err, len); },
      [&](const std::string& why) {
        if (err != nullptr && len > 0)
          snprintf(err, len, "libdznaj.so (recorder): %s", why.c_str());
        return -1;
      },
      [&](Line& line, const int* result) {
        Json::Value request(Json::objectValue);
        request["wwn"] = text_or_null(wwn);
        request["file"] = text_or_null(file);
        request["size"] = static_cast<Json::UInt>(size);
        request["flag"] = flag;
        request["errBuf"] = err != nullptr;
        request["len"] = static_cast<Json::UInt>(len);
        line.add("request", request);
        if (result != nullptr) line.add("returned", *result);
        line.add("errorText", err != nullptr && len > 0
                                  ? Json::Value(std::string(err, strnlen(err, len)))
                                  : Json::Value());
      });
}

}  // namespace

// The failure values by shape: an error answer, a null text, no adapters, -1.
#define DZNAJ_REC_EXPORT_JsonReqFP(symbol)         \
  Json::Value symbol(const Json::Value& request) { \
    return json_entry(&Targets::symbol, #symbol, request); \
  }
#define DZNAJ_REC_EXPORT_voidRetStrFP(symbol) \
  char* symbol() { return plain_entry(&Targets::symbol, #symbol, static_cast<char*>(nullptr)); }
#define DZNAJ_REC_EXPORT_voidRetUIntFP(symbol) \
  uint32_t symbol() { return plain_entry(&Targets::symbol, #symbol, uint32_t{0}); }
#define DZNAJ_REC_EXPORT_voidRetIntFP(symbol) \
  int symbol() { return plain_entry(&Targets::symbol, #symbol, -1); }
#define DZNAJ_REC_EXPORT_flashUpgradeFP(symbol)                                                   \
  int symbol(char* wwn, char* file, uint32_t size, int flag, char* err, uint32_t len) {          \
    return flash_entry(&Targets::symbol, #symbol, wwn, file, size, flag, err, len);              \
  }
#define DZNAJ_REC_EXPORT(symbol, shape, pointer, stub) DZNAJ_REC_EXPORT_##shape(symbol)

extern "C" {
ZNAJ_ENTRY_POINTS(DZNAJ_REC_EXPORT)
}  // extern "C"
