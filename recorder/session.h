// The recorder's session: the real agent library it forwards to (DZNAJ_RECORD_TARGET) and the
// recording it appends to (DZNAJ_RECORD_FILE), set up by the first call after the recorder is
// loaded and torn down when it is unloaded. Only exports.cpp uses it; nothing here throws.
#ifndef DZNAJ_RECORDER_SESSION_H
#define DZNAJ_RECORDER_SESSION_H

#include <json/json.h>

#include <initializer_list>
#include <string>

#include "znaj_agent.h"

namespace dznajrec {

// The target's entry points, one typed pointer per row of the contract's table; null where the
// target is not loaded or lacks the symbol.
struct Targets {
#define DZNAJ_REC_TARGET_POINTER(symbol, shape, pointer, stub) symbol##_fp symbol = nullptr;
  ZNAJ_ENTRY_POINTS(DZNAJ_REC_TARGET_POINTER)
#undef DZNAJ_REC_TARGET_POINTER
};

// The members of one recording line after its first, each written as `,"key":<compact JSON>`
// in the order added (the line format is in README.md).
class Line {
 public:
  Line& add(const char* key, const Json::Value& value);
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// Held while the recorder runs the target's code. A call that reaches an entry point meanwhile
// is the target calling its own exported symbol (it was bound to ours because the recorder was
// loaded globally): it goes straight to the target, unrecorded, so the target sees it once.
class InTarget {
 public:
  InTarget();
  ~InTarget();
  InTarget(const InTarget&) = delete;
  InTarget& operator=(const InTarget&) = delete;
  static bool active();
};

class Session {
 public:
  // This load's session, set up by the first call.
  static Session& get();
  // The session being set up or in use; null before the first call and during the unload.
  static Session* current();

  const Targets& targets() const { return targets_; }
  // Why `symbol` cannot be forwarded (its pointer is null): the target's problem, or its lack.
  std::string why_missing(const char* symbol) const;

  // Appends one call line: its entry point, the members `describe(Line&)` adds, its duration.
  // A line that cannot be written ends the recording (said once on stderr), never the call.
  template <typename Describe>
  void record_call(const char* entry_point, double milliseconds, Describe describe) noexcept {
    if (fd_ < 0) return;
    try {
      Line line;
      describe(line);
      write_call(entry_point, line, milliseconds);
    } catch (...) {
      stop_recording("out of memory");
    }
  }

 private:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void start();
  void load_target(const char* path);
  void open_recording();
  void write_call(const char* entry_point, const Line& line, double milliseconds);
  void write_line(const std::string& line);
  void stop_recording(const char* why) noexcept;

  std::string target_path_;
  std::string unavailable_;  // why the target is not loaded (empty when it is)
  void* handle_ = nullptr;
  Targets targets_;
  Json::Value missing_{Json::arrayValue};  // the symbols the target lacks
  std::string recording_path_;
  int fd_ = -1;
};

// One line on stderr, "libdznaj.so (recorder): " and the parts, written at once (no allocation,
// so it may say that memory ran out).
void note(std::initializer_list<const char*> parts) noexcept;

}  // namespace dznajrec

#endif
