// The check and the conversion both come from JsonCpp, so they cannot disagree.
#include "agent/answer_values.h"

namespace vxins {
namespace agent {

namespace {

template <typename T>
bool convert_scalar(const Json::Value& value, Json::ValueType to, T (Json::Value::*as)() const,
                    T& out) {
  if (!value.isConvertibleTo(to)) return false;
  out = (value.*as)();
  return true;
}

}  // namespace

bool read_scalar(const Json::Value& value, std::string& out) {
  return convert_scalar(value, Json::stringValue, &Json::Value::asString, out);
}

bool read_scalar(const Json::Value& value, Json::UInt& out) {
  return convert_scalar(value, Json::uintValue, &Json::Value::asUInt, out);
}

bool read_scalar(const Json::Value& value, Json::Int& out) {
  return convert_scalar(value, Json::intValue, &Json::Value::asInt, out);
}

}  // namespace agent
}  // namespace vxins
