// Reading and checking a recording, and the queues of recorded calls (replay.h).
#include "replay.h"

#include "inventory_schema.h"
#include "json_source.h"

namespace dznajsim {

namespace {

// A recording is read whole; one larger than this is refused rather than exhaust the host.
const size_t kMaxRecordingBytes = 256u << 20;

// A call matches the recorded calls of its entry point with the same request. The package path
// of a flash is left out: the lab's copy of the customer's package lies elsewhere, and the
// recorded outcome is what the replay is for.
std::string match_key(const std::string& symbol, const Json::Value& request) {
  if (symbol != "hba_flashUpgrade" || !request.isObject()) return symbol + " " + compact(request);
  Json::Value args = request;
  args.removeMember("file");
  return symbol + " " + compact(args);
}

bool is_duration(const Json::Value& v) {
  return v.isNumeric() && !v.isBool() && v.asDouble() >= 0;
}

// The checks of one call line, each failing with its place in the file.
class CallCheck {
 public:
  explicit CallCheck(const JsonSource& line) : line_(line), c_(line.root()) {}

  // True when the line is a call this simulator can replay; otherwise `why` says where not.
  bool run() {
    const Json::Value& name = c_["entryPoint"];
    if (!name.isString()) return missing_or_wrong("entryPoint", "not a string");
    Shape shape;
    if (!entry_point_shape(name.asString(), &shape))
      return fail(name, true, "entryPoint: unknown entry point \"" + name.asString() + "\"");
    int outcomes = c_.isMember("answer") + c_.isMember("returned") + c_.isMember("threw");
    if (outcomes != 1)
      return fail(c_, false, "needs exactly one of \"answer\", \"returned\" and \"threw\"");
    if (!is_duration(c_["durationMs"]))
      return missing_or_wrong("durationMs", "not a number of milliseconds");
    if (c_.isMember("threw") && !threw(c_["threw"])) return false;
    if (shape == Shape::JsonReqFP) {
      if (c_.isMember("returned"))
        return fail(c_["returned"], true, "returned: not for a JSON entry point");
      return true;
    }
    if (c_.isMember("answer"))
      return fail(c_["answer"], true, "answer: only for a JSON entry point");
    const Json::Value& returned = c_["returned"];
    if (c_.isMember("returned")) {
      bool fits = shape == Shape::voidRetStrFP    ? returned.isString() || returned.isNull()
                  : shape == Shape::voidRetUIntFP ? returned.isUInt()
                                                  : returned.isInt();
      if (!fits)
        return fail(returned, true, "returned: not a value " + name.asString() + " returns");
    }
    return shape != Shape::flashUpgradeFP || flash();
  }

  std::string why;

 private:
  bool threw(const Json::Value& t) {
    if (!t.isObject()) return fail(t, true, "threw: not an object");
    const std::string kind = t["kind"].isString() ? t["kind"].asString() : "";
    if (kind != "agent" && kind != "std" && kind != "other")
      return fail(t.isMember("kind") ? t["kind"] : t, t.isMember("kind"),
                  "threw.kind: not \"agent\", \"std\" or \"other\"");
    if (kind == "agent" && !t["code"].isInt())
      return fail(t.isMember("code") ? t["code"] : t, t.isMember("code"),
                  "threw.code: not an integer");
    if (kind != "other" && !t["message"].isString())
      return fail(t.isMember("message") ? t["message"] : t, t.isMember("message"),
                  "threw.message: not a string");
    return true;
  }

  bool flash() {
    const Json::Value& r = c_["request"];
    if (!r.isObject()) return missing_or_wrong("request", "not an object");
    const struct {
      const char* key;
      bool (Json::Value::*is)() const;
    } kArgs[] = {{"wwn", &Json::Value::isString},  {"size", &Json::Value::isUInt},
                 {"flag", &Json::Value::isInt},     {"errBuf", &Json::Value::isBool},
                 {"len", &Json::Value::isUInt}};
    for (const auto& arg : kArgs)
      if (!r[arg.key].isNull() && !(r[arg.key].*arg.is)())
        return fail(r[arg.key], true, std::string("request.") + arg.key + ": wrong type");
    const Json::Value& text = c_["errorText"];
    if (!text.isNull() && !text.isString())
      return fail(text, true, "errorText: neither a string nor null");
    return true;
  }

  bool missing_or_wrong(const char* key, const std::string& problem) {
    if (!c_.isMember(key)) return fail(c_, false, std::string("no \"") + key + "\"");
    return fail(c_[key], true, std::string(key) + ": " + problem);
  }

  bool fail(const Json::Value& v, bool member, const std::string& what) {
    why = line_.at(v, member, what);
    return false;
  }

  const JsonSource& line_;
  const Json::Value& c_;
};

}  // namespace

bool Recording::read(const std::string& path, std::string& why,
                     std::vector<std::string>& skipped) {
  const std::string name = "recording " + path;
  std::string text;
  if (!read_file(path, kMaxRecordingBytes + 1, false, text, why)) {
    why = "cannot read " + name + ": " + why;
    return false;
  }
  if (!fits(text, kMaxRecordingBytes, name, why)) return false;
  size_t line_number = 0;
  for (size_t begin = 0; begin < text.size();) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    ++line_number;
    if (line.empty()) continue;
    JsonSource source(name, line_number);
    std::string problem;
    if (!source.parse(line, problem)) {
      skipped.push_back(problem + "; line skipped");
      continue;
    }
    const Json::Value& v = source.root();
    if (!v.isObject()) {
      why = source.at(v, false, "not an object");
      return false;
    }
    if (v["type"] == "header") {
      const Json::Value& format = v["format"];
      if (!format.isInt() || format.asInt() < 1) {
        why = source.at(v.isMember("format") ? format : v, v.isMember("format"),
                        "format: not a format version");
        return false;
      }
      if (format.asInt() > kRecordingFormat) {
        why = source.at(format, true,
                        "format " + std::to_string(format.asInt()) +
                            " is newer than this simulator reads (" +
                            std::to_string(kRecordingFormat) + ")");
        return false;
      }
      session_starts_.push_back(calls_.size());
    } else if (v["type"] == "call") {
      if (session_starts_.empty()) {
        why = source.at(v, false, "a call before the first header");
        return false;
      }
      CallCheck check(source);
      if (!check.run()) {
        why = check.why;
        return false;
      }
      calls_.push_back(v);
    } else {
      why = source.at(v.isMember("type") ? v["type"] : v, v.isMember("type"),
                      "type: neither \"header\" nor \"call\"");
      return false;
    }
  }
  if (session_starts_.empty()) {
    why = name + " holds no header";
    return false;
  }
  return true;
}

void Recording::serve_from(size_t first) {
  queues_.clear();
  for (size_t i = first < sessions() ? session_starts_[first] : calls_.size(); i < calls_.size();
       ++i)
    queues_[match_key(calls_[i]["entryPoint"].asString(), calls_[i]["request"])].push_back(i);
}

const Json::Value* Recording::next(const std::string& symbol, const Json::Value& request) {
  auto it = queues_.find(match_key(symbol, request));
  if (it == queues_.end() || it->second.empty()) return nullptr;
  size_t index = it->second.front();
  it->second.pop_front();
  return &calls_[index];
}

}  // namespace dznajsim
