// The one place vxins-host writes its reports, warnings and errors.
#include "output.h"

#include <iostream>
#include <memory>

namespace vxhost {

Output::Output(const std::string& command, bool json) : json_(json), report_(Json::objectValue) {
  report_["schema_version"] = kJsonSchemaVersion;
  report_["command"] = command.empty() ? Json::Value() : Json::Value(command);
  report_["warnings"] = Json::Value(Json::arrayValue);
}

void Output::print(const std::string& text) const {
  if (!json_) std::cout << text;
}

void Output::warn(const std::string& text) {
  report_["warnings"].append(text);
  std::cout.flush();
  std::cerr << "vxins-host: warning: " << text << "\n";
}

int Output::finish(int status, const std::string& error) {
  report_["ok"] = status == kExitOk;
  report_["exit_status"] = status;
  if (!error.empty()) report_["error"] = error;
  if (json_) std::cout << json_text(report_);
  std::cout.flush();
  if (!error.empty()) std::cerr << "vxins-host: " << error << "\n";
  return status;
}

int Output::usage_error(const std::string& error, const std::string& usage) {
  report_["usage"] = usage;
  finish(kExitUsage, error);
  std::cerr << usage << "\n";
  return kExitUsage;
}

std::string json_text(const Json::Value& value) {
  Json::StreamWriterBuilder w;
  w["indentation"] = "  ";
  return Json::writeString(w, value) + "\n";
}

std::string json_line(const Json::Value& value) {
  Json::StreamWriterBuilder w;
  w["indentation"] = "";
  return Json::writeString(w, value);
}

bool parse_json(const std::string& text, Json::Value& value, std::string* error) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  return reader->parse(text.data(), text.data() + text.size(), &value, error);
}

}  // namespace vxhost
