#include "answer_reader.h"

#include "agent/answer_values.h"
#include "log/log.h"
#include "vxins_trace.h"

namespace vxins {
namespace inventory {

namespace {

// obj must be null or an object: JsonCpp throws when a member of anything else is looked up.
const Json::Value* find(const Json::Value* obj, const char* member) {
  if (obj == nullptr || !obj->isObject() || !obj->isMember(member)) return nullptr;
  return &(*obj)[member];
}

}  // namespace

bool AnswerReader::object(const Json::Value* obj, const char* member, const std::string& where,
                          const Json::Value*& out) const {
  out = nullptr;
  const Json::Value* v = find(obj, member);
  if (v == nullptr || v->isNull()) return true;
  if (!v->isObject()) return wrong_type(where, "an object");
  out = v;
  return true;
}

bool AnswerReader::text(const Json::Value* obj, const char* member, const std::string& where,
                        std::string& out) const {
  out.clear();
  const Json::Value* v = find(obj, member);
  if (v == nullptr || agent::read_scalar(*v, out)) return true;
  return wrong_type(where, "a string");
}

bool AnswerReader::number(const Json::Value* obj, const char* member, const std::string& where,
                          uint32_t& out) const {
  out = 0;
  const Json::Value* v = find(obj, member);
  Json::UInt value = 0;
  if (v != nullptr && !agent::read_scalar(*v, value))
    return wrong_type(where, "an unsigned number");
  out = value;
  return true;
}

bool AnswerReader::wrong_type(const std::string& where, const char* expected) const {
  log::utility.error(trace::kMalformedAnswer, adapter_number_,
                     adapter_index_.c_str(), where.c_str(), expected);
  return false;
}

void parse_hardware_path(const std::string& path, std::string& bus, std::string& dev,
                         std::string& fn) {
  bus.clear();
  dev.clear();
  fn.clear();
  // domain ":" bus ":" device "." function; a missing separator ends the fields read so far.
  std::string::size_type p = path.find(':');
  if (p == std::string::npos) return;
  const std::string rest = path.substr(p + 1);
  p = rest.find(':');
  bus = rest.substr(0, p);
  if (bus.size() == 2 && bus[0] == '0') bus.erase(0, 1);
  if (p == std::string::npos) return;
  const std::string devfn = rest.substr(p + 1);
  p = devfn.find('.');
  dev = devfn.substr(0, p);
  if (p == std::string::npos) return;
  fn = devfn.substr(p + 1);
}

}  // namespace inventory
}  // namespace vxins
