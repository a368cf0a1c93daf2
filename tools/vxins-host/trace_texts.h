// The plug-in's trace formats (include/vxins_trace.h) taken apart the way the host recognises
// their lines: the literal pieces around the conversions, as the first line of a message shows
// them. Used by the progress, the flash replay, the trace quotes and the history's migration;
// pure functions.
#ifndef VXINS_HOST_TRACE_TEXTS_H
#define VXINS_HOST_TRACE_TEXTS_H

#include <cstddef>
#include <string>

namespace vxhost {

// Piece n of a printf format: 0 is the text before its first conversion, n the text after the
// n-th ("%%" stands for "%"). A message's first trace line ends at the format's first line
// feed, so the piece holding it is cut there and the pieces after it are "".
std::string format_piece(const char* format, size_t n);

// Where the message of a trace line that begins one starts: after its level prefix
// ("LOG_INFO : "); npos for the further lines of a message that held line feeds (agent or file
// text).
size_t message_start(const std::string& line);

bool starts_with(const std::string& s, const std::string& head);
bool ends_with(const std::string& s, const std::string& tail);

}  // namespace vxhost

#endif
