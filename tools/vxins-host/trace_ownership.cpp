// The checks, in the order the lines come: one banner, in one file, after a call that had ended;
// the flash's entry line right after it; each of the call's one-time steps once.
#include "trace_ownership.h"

#include <cstddef>

#include "trace_texts.h"
#include "vxins_trace.h"

namespace vxhost {

namespace {

namespace t = vxins::trace;

// The last line a call writes, on each of its ways out: the agent session closed, the entry
// point's exit line (alone, or at the end of a message's last line), the session's own
// failures (a discovery returns right after them), the PCI call's one line.
struct Ending {
  const char* format;
  enum Match { kMessage, kMessageHead, kLineEnd } match;
};
const Ending kEndings[] = {
    {t::kSessionClosed, Ending::kMessage},         {t::kFlashCallEnds, Ending::kLineEnd},
    {t::kDiscoveryCallEnds, Ending::kLineEnd},     {t::kPciCall, Ending::kLineEnd},
    {t::kAgentEntryPointsFailed, Ending::kMessage}, {t::kInitAnswerNull, Ending::kMessage},
    {t::kInitAnswerMalformed, Ending::kMessageHead}, {t::kInitFailed, Ending::kMessageHead},
};

bool ends_a_call(const std::string& text) {
  const TimedLine line(text, 0.0);
  const std::string message = line.message();
  for (const Ending& e : kEndings) {
    const std::string piece = format_piece(e.format, 0);
    if (e.match == Ending::kLineEnd ? ends_with(text, piece)
                                    : line.is_message() && (e.match == Ending::kMessage
                                                                ? message == piece
                                                                : starts_with(message, piece)))
      return true;
  }
  return false;
}

// The message line before line i (continuation lines stepped over); npos when none.
size_t previous_message(const std::vector<TimedLine>& lines, size_t i) {
  while (i-- > 0)
    if (lines[i].is_message()) return i;
  return std::string::npos;
}

size_t next_message(const std::vector<TimedLine>& lines, size_t i) {
  for (++i; i < lines.size(); ++i)
    if (lines[i].is_message()) return i;
  return lines.size();
}

// How many messages begin with the format's text before its first conversion.
size_t count_of(const std::vector<TimedLine>& lines, const char* format) {
  const std::string head = format_piece(format, 0);
  size_t n = 0;
  for (const TimedLine& line : lines) n += line.message_starts_with(head) ? 1 : 0;
  return n;
}

// The first line of the banner whose file line is `at`, or npos when the two messages before
// it are not the banner's rule and start lines.
size_t banner_start(const std::vector<TimedLine>& lines, size_t at) {
  const size_t started = previous_message(lines, at);
  if (started == std::string::npos ||
      !lines[started].message_starts_with(format_piece(t::kBannerStarted, 0)))
    return std::string::npos;
  const size_t rule = previous_message(lines, started);
  if (rule == std::string::npos || lines[rule].message() != t::kBannerRule)
    return std::string::npos;
  return rule;
}

std::string quoted(const std::string& line) { return "\"" + line + "\""; }

}  // namespace

std::string foreign_trace(TracedCall call, const std::vector<TimedLine>& lines,
                          const std::string& line_before) {
  const std::string banner_head = format_piece(t::kBannerFile, 0);
  std::vector<size_t> banners;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].message_starts_with(banner_head)) banners.push_back(i);
  if (banners.empty())
    return "the trace log holds no banner of this call (the log could not be written, or "
           "another call restarted it before it was read)";
  if (banners.size() > 1)
    return "the trace log was restarted " + std::to_string(banners.size()) +
           " times during this call: another call wrote it too";
  const size_t first = banner_start(lines, banners[0]);
  if (first == std::string::npos)
    return "the banner of this call's trace is interrupted by other lines";
  const unsigned file = lines[first].file;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].file > file)
      return "the trace log was replaced during this call (another call restarted it)";
    if (i < first && file > 0 && lines[i].file == file)
      return "lines of another call stand before this call's banner: " + quoted(lines[i].text);
  }
  // The call before this one in the log: its last line, seen before the banner.
  std::string before = line_before;
  for (size_t i = 0; i < first; ++i)
    if (!lines[i].text.empty()) before = lines[i].text;
  if (!before.empty() && !ends_a_call(before))
    return "another call had not ended when this one began (the log's last line was " +
           quoted(before) + ")";
  const size_t entries = count_of(lines, t::kFlashCallBegins);
  if (call == TracedCall::kFlash) {
    const size_t after_banner = next_message(lines, next_message(lines, banners[0]));
    if (entries != 1 || after_banner >= lines.size() ||
        lines[after_banner].message() != format_piece(t::kFlashCallBegins, 0))
      return "the trace does not hold this flash's entry line once, right after its banner";
  } else if (entries != 0) {
    return "the trace holds a flash call's entry line: another call wrote it too";
  }
  const struct {
    const char* format;
    const char* what;
  } once[] = {{t::kPackageVersion, "package reading"},
              {t::kAdapterCount, "enumeration"},
              {t::kPackageMatches, "update pass"}};
  for (const auto& step : once)
    if (count_of(lines, step.format) > 1)
      return std::string("the trace holds a second ") + step.what + ": another call wrote it too";
  return "";
}

}  // namespace vxhost
