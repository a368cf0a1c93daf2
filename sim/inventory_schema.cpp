// The inventory's and the state file's formats as tables of fields, and one walk over them
// (inventory_schema.h). Values the simulator copies into answers as they are have no type here,
// so an inventory can still hand the plug-in a wrongly typed answer on purpose.
#include "inventory_schema.h"

#include "znaj_agent.h"

namespace dznajsim {

namespace {

struct EntryPoint {
  const char* symbol;
  Shape shape;
};
const EntryPoint kEntryPoints[] = {
#define DZNAJ_SIM_ENTRY_POINT(symbol, shape, pointer, stub) {#symbol, Shape::shape},
    ZNAJ_ENTRY_POINTS(DZNAJ_SIM_ENTRY_POINT)
#undef DZNAJ_SIM_ENTRY_POINT
};

struct KindName {
  Kind kind;
  const char* name;
};
const KindName kKinds[] = {{Kind::Null, "null"},         {Kind::Error, "error"},
                           {Kind::Shape, "shape"},       {Kind::ThrowAgent, "throwAgent"},
                           {Kind::ThrowStd, "throwStd"}, {Kind::ThrowOther, "throwOther"},
                           {Kind::Answer, "answer"}};

// The longest wait an inventory may ask for: the simulator really sleeps, and a duration past
// what the clock's types hold would be undefined.
const double kMaxDelaySeconds = 3600;

enum class Type {
  Verbatim,        // copied into answers as it is: any JSON
  Text,            // a string
  TextOrNull,      // a string or null
  Int,             // an integer that fits an int
  UInt,            // an unsigned integer
  Seconds,         // a number from 0 to kMaxDelaySeconds
  Object,          // an object of `fields`
  ObjectList,      // an array of objects of `fields`
  ObjectsByName,   // an object whose every member is an object of `fields`
  SecondsBySymbol  // an object whose members are entry points, each a Seconds
};

struct Field {
  const char* key;  // null ends a table
  Type type;
  const Field* fields;
};

const Field kPcie[] = {{"vendorID", Type::Verbatim, nullptr},
                       {"deviceID", Type::Verbatim, nullptr},
                       {"subSystemVendorID", Type::Verbatim, nullptr},
                       {"subSystemID", Type::Verbatim, nullptr},
                       {nullptr, Type::Verbatim, nullptr}};
const Field kEthPort[] = {{"mac", Type::Verbatim, nullptr},
                          {"hardwarePath", Type::Verbatim, nullptr},
                          {nullptr, Type::Verbatim, nullptr}};
const Field kFcPort[] = {{"wwn", Type::Verbatim, nullptr},
                         {"nodeWwn", Type::Verbatim, nullptr},
                         {"hardwarePath", Type::Verbatim, nullptr},
                         {"portMode", Type::Verbatim, nullptr},
                         {nullptr, Type::Verbatim, nullptr}};
const Field kFlash[] = {{"result", Type::Int, nullptr},
                        {"reason", Type::Text, nullptr},
                        {nullptr, Type::Verbatim, nullptr}};
const Field kAdapter[] = {{"index", Type::Verbatim, nullptr},
                          {"model", Type::Verbatim, nullptr},
                          {"portCount", Type::Verbatim, nullptr},
                          {"pcie", Type::Object, kPcie},
                          {"storageDriverVersion", Type::Verbatim, nullptr},
                          {"networkDriverVersion", Type::Verbatim, nullptr},
                          {"flashedBiosVersion", Type::Verbatim, nullptr},
                          {"ethPorts", Type::ObjectList, kEthPort},
                          {"fcPorts", Type::ObjectList, kFcPort},
                          {"flash", Type::Object, kFlash},
                          {"flashSeconds", Type::Seconds, nullptr},
                          {nullptr, Type::Verbatim, nullptr}};
const Field kFault[] = {{"symbol", Type::Text, nullptr},
                        {"key", Type::Text, nullptr},
                        {"kind", Type::Text, nullptr},
                        {"code", Type::Int, nullptr},
                        {"message", Type::Text, nullptr},
                        {"answer", Type::Verbatim, nullptr},
                        {nullptr, Type::Verbatim, nullptr}};
const Field kInventory[] = {{"agentVersion", Type::TextOrNull, nullptr},
                            {"init", Type::Verbatim, nullptr},
                            {"adapterCount", Type::UInt, nullptr},
                            {"adapters", Type::ObjectList, kAdapter},
                            {"delays", Type::SecondsBySymbol, nullptr},
                            {"faults", Type::ObjectList, kFault},
                            {nullptr, Type::Verbatim, nullptr}};
const Field kFlashed[] = {{"flashedBiosVersion", Type::Text, nullptr},
                          {nullptr, Type::Verbatim, nullptr}};
const Field kFlashState[] = {{nullptr, Type::ObjectsByName, kFlashed}};
const Field kReplayProgress[] = {{"recording", Type::Text, nullptr},
                                 {"nextSession", Type::UInt, nullptr},
                                 {nullptr, Type::Verbatim, nullptr}};
const Field kReplayState[] = {{"replay", Type::Object, kReplayProgress},
                              {nullptr, Type::Verbatim, nullptr}};

const char* type_problem(Type type) {
  switch (type) {
    case Type::Text: return "not a string";
    case Type::TextOrNull: return "neither a string nor null";
    case Type::Int: return "not an integer";
    case Type::UInt: return "not an unsigned integer";
    case Type::Seconds: return "not a number of seconds from 0 to 3600";
    case Type::ObjectList: return "not an array of objects";
    default: return "not an object";
  }
}

bool has_type(const Json::Value& v, Type type) {
  switch (type) {
    case Type::Verbatim: return true;
    case Type::Text: return v.isString();
    case Type::TextOrNull: return v.isString() || v.isNull();
    case Type::Int: return v.isInt();
    case Type::UInt: return v.isUInt();
    case Type::Seconds:
      return v.isNumeric() && !v.isBool() && v.asDouble() >= 0 &&
             v.asDouble() <= kMaxDelaySeconds;
    case Type::ObjectList: return v.isArray();
    default: return v.isObject();
  }
}

class Walk {
 public:
  explicit Walk(const JsonSource& source) : source_(source) {}

  // Checks `object`'s members against `fields`; false with the first problem in `why`.
  bool members(const Json::Value& object, const Field* fields, const std::string& path) {
    for (const std::string& key : object.getMemberNames()) {
      const Field* f = fields;
      while (f->key != nullptr && key != f->key) ++f;
      const std::string where = path.empty() ? key : path + "." + key;
      if (f->key == nullptr) return fail(object[key], true, where + ": unknown key");
      if (!value(object[key], *f, where, true)) return false;
    }
    return true;
  }

  // Checks one value of the field's type; `member` says it is an object's member.
  bool value(const Json::Value& v, const Field& f, const std::string& where, bool member) {
    if (!has_type(v, f.type)) return fail(v, member, where + ": " + type_problem(f.type));
    switch (f.type) {
      case Type::Object:
        return members(v, f.fields, where);
      case Type::ObjectList:
        for (Json::ArrayIndex i = 0; i < v.size(); ++i) {
          const std::string item = where + "[" + std::to_string(i) + "]";
          if (!v[i].isObject()) return fail(v[i], false, item + ": not an object");
          if (!members(v[i], f.fields, item)) return false;
        }
        return true;
      case Type::ObjectsByName:
        for (const std::string& key : v.getMemberNames()) {
          const std::string item = where.empty() ? key : where + "." + key;
          if (!v[key].isObject()) return fail(v[key], true, item + ": not an object");
          if (!members(v[key], f.fields, item)) return false;
        }
        return true;
      case Type::SecondsBySymbol:
        for (const std::string& key : v.getMemberNames()) {
          Shape shape;
          const std::string item = where + "." + key;
          if (!entry_point_shape(key, &shape))
            return fail(v[key], true, item + ": unknown entry point");
          if (!value(v[key], {key.c_str(), Type::Seconds, nullptr}, item, true)) return false;
        }
        return true;
      default:
        return true;
    }
  }

  // The rules across a fault's members: a known symbol and a kind that applies to it.
  bool fault(const Json::Value& f, const std::string& where) {
    for (const char* required : {"symbol", "kind"})
      if (!f.isMember(required)) return fail(f, false, where + ": no \"" + required + "\"");
    Shape shape;
    const std::string symbol = f["symbol"].asString();
    if (!entry_point_shape(symbol, &shape))
      return fail(f["symbol"], true, where + ".symbol: unknown entry point \"" + symbol + "\"");
    const std::string name = f["kind"].asString();
    Kind kind = kind_of(name);
    if (kind == Kind::None)
      return fail(f["kind"], true, where + ".kind: unknown kind \"" + name + "\"");
    // JSON entry points take every kind, every entry point may throw, a string or a count may
    // be null or a given answer, an integer result a given answer; a flash refusal is set in the
    // inventory instead.
    bool applies = shape == Shape::JsonReqFP || is_throw(kind);
    if (shape == Shape::voidRetStrFP || shape == Shape::voidRetUIntFP)
      applies |= kind == Kind::Null || kind == Kind::Answer;
    if (shape == Shape::voidRetIntFP) applies |= kind == Kind::Answer;
    if (!applies)
      return fail(f["kind"], true,
                  where + ".kind: \"" + name + "\" does not apply to " + symbol);
    return true;
  }

  std::string why;

 private:
  bool fail(const Json::Value& v, bool member, const std::string& what) {
    why = source_.at(v, member, what);
    return false;
  }

  const JsonSource& source_;
};

}  // namespace

bool entry_point_shape(const std::string& symbol, Shape* shape) {
  for (const EntryPoint& e : kEntryPoints) {
    if (symbol != e.symbol) continue;
    *shape = e.shape;
    return true;
  }
  return false;
}

Kind kind_of(const std::string& name) {
  for (const KindName& k : kKinds)
    if (name == k.name) return k.kind;
  return Kind::None;
}

bool is_throw(Kind kind) {
  return kind == Kind::ThrowAgent || kind == Kind::ThrowStd || kind == Kind::ThrowOther;
}

bool check_inventory(const JsonSource& source, std::string& why) {
  Walk walk(source);
  const Json::Value& inv = source.root();
  bool ok = inv.isObject() ? walk.members(inv, kInventory, "")
                           : walk.value(inv, {"", Type::Object, kInventory}, "the top level",
                                        false);
  const Json::Value& faults = ok ? inv["faults"] : inv;  // checked: an array of objects, or null
  for (Json::ArrayIndex i = 0; ok && faults.isArray() && i < faults.size(); ++i)
    ok = walk.fault(faults[i], "faults[" + std::to_string(i) + "]");
  if (!ok) why = walk.why;
  return ok;
}

bool check_state(const JsonSource& source, bool replay, std::string& why) {
  Walk walk(source);
  const Field& top = replay ? Field{"", Type::Object, kReplayState} : kFlashState[0];
  bool ok = walk.value(source.root(), top, source.root().isObject() ? "" : "the top level", false);
  if (!ok) why = walk.why;
  return ok;
}

}  // namespace dznajsim
