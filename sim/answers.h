// What the simulator answers from its inventory: each JSON entry point's normal answer, the
// wrongly shaped answers of "shape" faults, error answers, and the version a flashed package
// records. Used by the entry points (sim_core.cpp); reads the loaded engine, never changes it.
#ifndef DZNAJ_SIM_ANSWERS_H
#define DZNAJ_SIM_ANSWERS_H

#include <json/json.h>

#include <string>

#include "engine_state.h"

namespace dznajsim {

// {"error": {"code": code, "message": message}}.
Json::Value error_answer(int code, const std::string& message);
// The inventory's answer to a JSON entry point (sim/README.md, Answers); an error answer for a
// key the inventory lacks. A recorded flash's version wins over the inventory's.
Json::Value normal_answer(const Engine& engine, const std::string& symbol,
                          const Json::Value& request);
// A wrongly shaped answer for the symbol: lacking what callers rely on, or of the wrong type.
Json::Value shape_answer(const Engine& engine, const std::string& symbol,
                         const Json::Value& request);
// The text between "<version>" and "</version>" in the head of a package file; false and why
// when it cannot be read or holds none.
bool package_version(const char* file, std::string& version, std::string& why);

}  // namespace dznajsim

#endif
