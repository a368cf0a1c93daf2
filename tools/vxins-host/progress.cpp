// A flash is told by the replay of its update pass (flash_outcomes); a discovery by the
// enumeration's lines, adapter after adapter in the agent's order: an adapter's report is printed
// once the next one begins or the enumeration ends.
#include "progress.h"

#include <cstdlib>

#include "trace_texts.h"
#include "vxins_trace.h"

namespace vxhost {

namespace {

const char kEraseLine[] = "\r\033[K";

// The enumeration's lines (its per-adapter steps and the agent queries' success line), as the
// progress recognises them.
struct EnumerationTexts {
  const std::string adapter_count = format_piece(vxins::trace::kAdapterCount, 0);
  const std::string adapter_begins = format_piece(vxins::trace::kAdapterAnswered, 0);
  const std::string no_adapter_info = format_piece(vxins::trace::kAdapterInfoFailed, 0);
  const std::string no_adapter_info_dash = format_piece(vxins::trace::kAdapterInfoFailed, 1);
  const std::string no_ports = format_piece(vxins::trace::kNoPorts, 0);
  const std::string no_ports_dash = format_piece(vxins::trace::kNoPorts, 1);
  const std::string ports = format_piece(vxins::trace::kPortCount, 0);
  const std::string ports_body = format_piece(vxins::trace::kPortCount, 1);
  const std::string model = format_piece(vxins::trace::kModel, 0);
  const std::string flashed_version = format_piece(vxins::trace::kFlashedVersion, 0);
  const std::string flashed_version_body = format_piece(vxins::trace::kFlashedVersion, 1);
  const std::string no_version_tail = format_piece(vxins::trace::kNoFlashedVersion, 1);
  const std::string no_advanced_info = format_piece(vxins::trace::kAdvancedInfoFailed, 0);
  const std::string no_advanced_info_dash = format_piece(vxins::trace::kAdvancedInfoFailed, 1);
  const std::string malformed = format_piece(vxins::trace::kMalformedAnswer, 0);
  const std::string malformed_index = format_piece(vxins::trace::kMalformedAnswer, 1);
  const std::string malformed_why = format_piece(vxins::trace::kMalformedAnswer, 2);
  const std::string enumeration_ends[3] = {format_piece(vxins::trace::kDeviceCount, 0),
                                           format_piece(vxins::trace::kEnumerationFailed, 0),
                                           format_piece(vxins::trace::kEnumerationExit, 0)};
};

const EnumerationTexts& texts() {
  static const EnumerationTexts enumeration_texts;
  return enumeration_texts;
}

// "N<separator>INDEX" after a line's head: the index.
std::string index_after_number(const std::string& rest, const std::string& separator) {
  size_t dash = rest.find(separator);
  return dash == std::string::npos ? std::string() : rest.substr(dash + separator.size());
}

std::string named(const std::string& name, const std::string& detail) {
  return detail.empty() ? name : name + " (" + detail + ")";
}

}  // namespace

// What discovery has told so far: the adapter count and the adapter being read.
struct Progress::Discovery {
  int total = -1;  // the agent's adapter count, once logged
  int done = 0;    // adapters reported
  bool open = false;
  std::string index, model, ports, version, failure;
  double since = 0;  // when the adapter being read began: the previous one's last line
  double last = 0;   // the time of its own last line so far

  // The report of the adapter being read, which is over at `end`.
  std::string close(double end) {
    std::string result = failure;
    if (result.empty() && ports.empty()) result = "no ports";
    if (result.empty())
      result = ports + " ports, firmware " + (version.empty() ? "not reported" : version);
    const int number = ++done;
    std::string line = "[" + std::to_string(number) + "/" +
                       std::to_string(total < number ? number : total) + "] adapter " +
                       named(index.empty() ? std::to_string(number) : index, model) + ": " +
                       result + ", " + seconds_text(end - since);
    *this = Discovery{total, done, false, "", "", "", "", "", end, end};
    return line;
  }

  // Takes in one message of the enumeration; true when it completes the adapter being read.
  bool take(const std::string& m, double at) {
    const EnumerationTexts& t = texts();
    if (starts_with(m, t.adapter_count)) {
      total = atoi(m.c_str() + t.adapter_count.size());
      since = last = at;
      return false;
    }
    if (starts_with(m, t.adapter_begins)) {
      open = true;
      return false;
    }
    if (starts_with(m, t.no_adapter_info)) {
      index = index_after_number(m.substr(t.no_adapter_info.size()), t.no_adapter_info_dash);
      failure = "not read: the agent did not answer for it";
      return true;
    }
    if (!open) return false;
    if (starts_with(m, t.no_ports)) {
      index = index_after_number(m.substr(t.no_ports.size()), t.no_ports_dash);
      return true;
    }
    if (starts_with(m, t.no_advanced_info)) {
      index = index_after_number(m.substr(t.no_advanced_info.size()), t.no_advanced_info_dash);
      failure = "not read: the agent reported no firmware version";
      return true;
    }
    if (starts_with(m, t.malformed)) {
      const std::string rest = m.substr(t.malformed.size());
      const size_t open_paren = rest.find(t.malformed_index),
                   close_paren = rest.find(t.malformed_why);
      if (open_paren != std::string::npos && close_paren != std::string::npos &&
          close_paren > open_paren)
        index = rest.substr(open_paren + t.malformed_index.size(),
                            close_paren - open_paren - t.malformed_index.size());
      failure = "not read: malformed agent answer";
      if (close_paren != std::string::npos)
        failure += ": " + rest.substr(close_paren + t.malformed_why.size());
      return true;
    }
    if (starts_with(m, t.ports) && m.find(t.ports_body) != std::string::npos) {
      ports = m.substr(t.ports.size(), m.find(t.ports_body) - t.ports.size());
    } else if (starts_with(m, t.model)) {
      model = m.substr(t.model.size());
    } else if (starts_with(m, t.flashed_version) &&
               m.rfind(t.flashed_version_body) != std::string::npos) {
      const size_t body = m.rfind(t.flashed_version_body);
      index = m.substr(t.flashed_version.size(), body - t.flashed_version.size());
      if (!ends_with(m, t.no_version_tail))
        version = m.substr(body + t.flashed_version_body.size());
    }
    return false;
  }
};

Progress::Progress(bool terminal, bool quiet, FILE* out)
    : terminal_(terminal), quiet_(quiet), out_(out), discovery_(new Discovery) {}

Progress::Progress(bool terminal, bool quiet, FILE* out, const std::vector<FileDevice>& before,
                   const AdapterGroups& groups)
    : terminal_(terminal), quiet_(quiet), out_(out), replay_(new FlashReplay(before, groups)) {
  for (const AdapterOutcome& adapter : replay_->adapters())
    ordinal_.push_back(adapter.outcome == Outcome::kSkipped ? 0 : ++planned_);
  printed_.resize(ordinal_.size());
}

Progress::~Progress() = default;

void Progress::on_line(const TimedLine& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (replay_)
    flash_line(line);
  else
    discovery_line(line);
  draw_status(line.at);
}

void Progress::on_tick(double now) {
  std::lock_guard<std::mutex> lock(mutex_);
  draw_status(now);
}

void Progress::finish(const std::string& not_own) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (replay_) {
    final_outcomes_ = replay_->finish(not_own);
    for (size_t a = 0; a < final_outcomes_.size(); ++a) report_flash(a, final_outcomes_[a]);
  } else if (discovery_->open) {
    print(discovery_->close(discovery_->last));
  }
  if (terminal_ && !quiet_ && !drawn_.empty()) fputs(kEraseLine, out_);
  drawn_.clear();
  if (!quiet_) fflush(out_);
}

void Progress::flash_line(const TimedLine& line) {
  for (size_t a : replay_->feed(line)) report_flash(a, replay_->adapters()[a]);
}

void Progress::report_flash(size_t a, const AdapterOutcome& outcome) {
  if (ordinal_[a] == 0) return;
  std::string result;
  if (outcome.outcome == Outcome::kFlashed)
    result = "ok, " + seconds_text(outcome.seconds);
  else if (outcome.outcome == Outcome::kFailed)
    result = "failed: " + outcome.reason + ", " + seconds_text(outcome.seconds);
  else
    result = std::string(outcome_name(outcome.outcome)) + ": " + outcome.reason;
  const std::string text = "[" + std::to_string(ordinal_[a]) + "/" + std::to_string(planned_) +
                           "] flashing " +
                           named(outcome.identifiers.front(), outcome.product) + ": " + result;
  if (text == printed_[a]) return;
  printed_[a] = text;
  print(text);
}

void Progress::discovery_line(const TimedLine& line) {
  Discovery& d = *discovery_;
  if (!line.is_message()) return;
  const std::string m = line.message();
  // An adapter that was read is complete when the next one begins or the enumeration ends; one
  // that could not be read, with the line that says so.
  const EnumerationTexts& t = texts();
  bool ends = starts_with(m, t.adapter_begins) || starts_with(m, t.no_adapter_info);
  for (const std::string& end : t.enumeration_ends) ends = ends || starts_with(m, end);
  if (ends && d.open) print(d.close(d.last));
  if (d.take(m, line.at))
    print(d.close(line.at));
  else if (d.open)
    d.last = line.at;
}

std::string Progress::status(double now) const {
  const int elapsed = now < 0 ? 0 : static_cast<int>(now);
  if (replay_) {
    const int a = replay_->current();
    if (a >= 0) {
      const AdapterOutcome& adapter = replay_->adapters()[static_cast<size_t>(a)];
      const int since = static_cast<int>(now - replay_->current_since());
      return "[" + std::to_string(ordinal_[static_cast<size_t>(a)]) + "/" +
             std::to_string(planned_) + "] flashing " +
             named(adapter.identifiers.front(), adapter.product) + " ... " +
             std::to_string(since < 0 ? 0 : since) + " s";
    }
    for (const std::string& line : printed_)
      if (!line.empty()) return "";
    return "checking the package and the adapters ... " + std::to_string(elapsed) + " s";
  }
  const Discovery& d = *discovery_;
  if (d.total < 0) return "listing the adapters ... " + std::to_string(elapsed) + " s";
  if (d.done >= d.total) return "";
  const int since = static_cast<int>(now - d.since);
  return "[" + std::to_string(d.done + 1) + "/" + std::to_string(d.total) + "] reading adapter " +
         std::to_string(d.done + 1) + " ... " + std::to_string(since < 0 ? 0 : since) + " s";
}

void Progress::print(const std::string& line) {
  if (quiet_) return;
  if (terminal_) {
    fputs(kEraseLine, out_);
    drawn_.clear();
  }
  fputs(line.c_str(), out_);
  fputc('\n', out_);
  fflush(out_);
}

void Progress::draw_status(double now) {
  if (quiet_ || !terminal_) return;
  const std::string text = status(now);
  if (text == drawn_) return;
  fputs(kEraseLine, out_);
  fputs(text.c_str(), out_);
  fflush(out_);
  drawn_ = text;
}

}  // namespace vxhost
