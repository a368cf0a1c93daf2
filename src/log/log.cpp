// The level helpers: format into a buffer of the channel's size (vsnprintf cuts what does not
// fit), then hand the line to the trace log in one append.
#include "log/log.h"

#include <cstdio>
#include <cstring>

namespace vxins {
namespace log {

const Channel entry(300);
const Channel utility(400);

void Channel::write(vxins_log_level_t level, const char* format, va_list args) const {
  char text[400];
  size_t size = buffer_size_ < sizeof text ? buffer_size_ : sizeof text;
  int n = vsnprintf(text, size, format, args);
  if (n < 0) return;
  vxins_log_write(level, text, strlen(text));
}

#define VXINS_LOG_LEVEL_HELPER(name, level)            \
  void Channel::name(const char* format, ...) const {  \
    va_list args;                                      \
    va_start(args, format);                            \
    write(level, format, args);                        \
    va_end(args);                                      \
  }

VXINS_LOG_LEVEL_HELPER(debug, LOG_DEBUG)
VXINS_LOG_LEVEL_HELPER(info, LOG_INFO)
VXINS_LOG_LEVEL_HELPER(warn, LOG_WARN)
VXINS_LOG_LEVEL_HELPER(error, LOG_ERROR)

#undef VXINS_LOG_LEVEL_HELPER

}  // namespace log
}  // namespace vxins
