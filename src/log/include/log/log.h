// How the plug-in's own code writes the trace log: printf-style level helpers, one line per
// call. Every subsystem logs through these; nothing else formats log text. They never throw,
// and a line that cannot be written is dropped.
#ifndef VXINS_LOG_LOG_H
#define VXINS_LOG_LOG_H

#include <cstdarg>
#include <cstddef>

#include "vxins_log.h"

namespace vxins {
namespace log {

// Whether a reader writes its trace (the plug-in's own calls) or nothing at all: vxins-host
// reads what the plug-in will read while the machine's one trace log may belong to another call.
enum class Trace { kLogged, kQuiet };

// A channel cuts its messages where the code that writes them always has: the entry points and
// the XML reader format into 300 bytes, the other functions into a 400-byte buffer, so a
// message of a very long path or agent text loses its end at the same place on every release.
class Channel {
 public:
  constexpr explicit Channel(size_t buffer_size) : buffer_size_(buffer_size) {}

  void debug(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  void info(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  void warn(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  void error(const char* format, ...) const __attribute__((format(printf, 2, 3)));

 private:
  void write(vxins_log_level_t level, const char* format, va_list args) const;
  size_t buffer_size_;
};

// Messages of the host entry points and the XML reader: at most 299 characters.
extern const Channel entry;
// Messages of every other function: at most 399 characters.
extern const Channel utility;

}  // namespace log
}  // namespace vxins

#endif
