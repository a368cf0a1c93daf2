// Scalars of agent answers, read exactly as JsonCpp's asString / asUInt / asInt convert them.
// Used by every reader of agent answers (session, queries, enumeration); never throws.
#ifndef VXINS_AGENT_ANSWER_VALUES_H
#define VXINS_AGENT_ANSWER_VALUES_H

#include <json/json.h>

#include <string>

namespace vxins {
namespace agent {

// A number where text is expected gives JsonCpp's text of it, a double where an integer is
// expected its integer part, null "" or 0, a bool "true"/"false" or 1/0. False, with out
// untouched, for a value the conversion refuses (would throw on), as JsonCpp's own
// isConvertibleTo() tells: the caller reports it.
bool read_scalar(const Json::Value& value, std::string& out);
bool read_scalar(const Json::Value& value, Json::UInt& out);
bool read_scalar(const Json::Value& value, Json::Int& out);

}  // namespace agent
}  // namespace vxins

#endif
