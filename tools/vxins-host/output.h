// How a command reports: its text on standard output, or one JSON object (always with
// schema_version) when --json is given; warnings and the one-line error on standard error.
// Every command ends through finish() or usage_error(). Used by the commands; never throws.
#ifndef VXINS_HOST_OUTPUT_H
#define VXINS_HOST_OUTPUT_H

#include <json/json.h>

#include <string>

namespace vxhost {

// The version of every JSON object vxins-host writes; raised when a key changes meaning or
// goes away (new keys do not raise it).
constexpr int kJsonSchemaVersion = 2;

enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitHost = 3 };

class Output {
 public:
  // `command` as the user named it ("flash", "history show"), or "" when not known.
  Output(const std::string& command, bool json);

  bool json() const { return json_; }
  // The JSON object the command fills (schema_version and command are set already).
  Json::Value& report() { return report_; }
  // Text for people: standard output, only without --json.
  void print(const std::string& text) const;
  // "vxins-host: warning: TEXT" on standard error, and into the report's "warnings".
  void warn(const std::string& text);
  // Ends the command: "ok", "exit_status" and "error" (when given) into the report, the report
  // on standard output with --json, the error on standard error. Returns status.
  int finish(int status, const std::string& error = "");
  // A wrong command line: the error, then the usage hint; exit status 2.
  int usage_error(const std::string& error, const std::string& usage);

 private:
  bool json_;
  Json::Value report_;
};

// Indented JSON text with a final line feed.
std::string json_text(const Json::Value& value);
// The same on one line, without a line feed (a value stored in the history).
std::string json_line(const Json::Value& value);
// JSON text read with JsonCpp's default settings. False, with its reason in `error` when given,
// for text that is not JSON.
bool parse_json(const std::string& text, Json::Value& value, std::string* error = nullptr);

}  // namespace vxhost

#endif
