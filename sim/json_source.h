// The simulator's files as JSON documents read strictly (no comments, trailing commas, duplicate
// keys or trailing text), with the position of every value for messages, and its one way of
// speaking on stderr. Used by the engine, the inventory checks and the replay; nothing throws.
#ifndef DZNAJ_SIM_JSON_SOURCE_H
#define DZNAJ_SIM_JSON_SOURCE_H

#include <json/json.h>

#include <string>

namespace dznajsim {

// "libdznaj.so (simulator): <text>" on stderr, every time.
void complain(const std::string& text);
// The same, but only the first time this process says this text: the library is unloaded and
// loaded again within a process, and a broken file would otherwise be reported on every load.
void complain_once(const std::string& text);

// Reads at most `limit` bytes of a regular file, never blocking on a FIFO (O_NOFOLLOW when
// `no_links`); false and why otherwise.
// `missing` tells a file that does not exist from one that cannot be read.
bool read_file(const std::string& path, size_t limit, bool no_links, std::string& out,
               std::string& why, bool* missing = nullptr);

// For `text` read with a limit one byte past `limit`: false, with "<name> is larger than <n> MiB"
// in `why`, when the file did not fit (cut short, it would be reported as broken JSON instead).
bool fits(const std::string& text, size_t limit, const std::string& name, std::string& why);

// One JSON document and the text it was parsed from.
class JsonSource {
 public:
  // `name` opens every message about the document ("inventory /x/inv.json"); a document that
  // is one line of a file gives that line's number, for the messages.
  explicit JsonSource(std::string name, size_t first_line = 1)
      : name_(std::move(name)), first_line_(first_line) {}
  // Parses `text` (which the source keeps); false with a located message otherwise.
  bool parse(std::string text, std::string& why);
  const Json::Value& root() const { return root_; }
  const std::string& name() const { return name_; }
  // "<name>:<line>:<column>: <what>", placed at `value` (a value parsed by this source); a member
  // is placed at its key rather than at its value.
  std::string at(const Json::Value& value, bool member, const std::string& what) const;

 private:
  std::string located(size_t offset, const std::string& what) const;

  std::string name_;
  size_t first_line_;
  std::string text_;
  Json::Value root_;
};

// A value as one line of JSON with its members in sorted order ("{"wwn":"x"}").
std::string compact(const Json::Value& value);
// The member `key` of an object when it is a string; "" otherwise (also for a non-object).
std::string string_member(const Json::Value& value, const char* key);

}  // namespace dznajsim

#endif
