// A flash is told by the replay of its update pass (flash_outcomes); a discovery by the
// enumeration's lines, adapter after adapter in the agent's order: an adapter's report is printed
// once the next one begins or the enumeration ends.
#include "progress.h"

#include <cstdlib>
#include <cstring>

namespace vxhost {

namespace {

const char kEraseLine[] = "\r\033[K";

// The enumeration's lines (its per-adapter steps and the agent queries' success line).
const char kAdapterCount[] = "Num of Adapters is ";
const char kAdapterBegins[] = "<-- ZnajCxnMethods::getAdapterDetails()-success";
const char kNoAdapterInfo[] = "Unable to get Adapter info ";
const char kNoPorts[] = "There are no ports associated to Adapter id ";
const char kPorts[] = "There are ";
const char kPortsBody[] = " ports associated to Adapter id ";
const char kModel[] = "Model=";
const char kFlashedVersion[] = "Flashed_bios_info for the adapter ";
const char kFlashedVersionBody[] = " is ";
const char kNoVersion[] = "NULL.";
const char kNoAdvancedInfo[] = "Unable to get Advanced Adapter info ";
const char kMalformed[] = "Malformed agent answer for adapter ";
const char* const kEnumerationEnds[] = {"Number of QuorvelDevices is ",
                                        "Quorvel Device Enumeration Failed",
                                        "<--qrvl_enumerate_devices()"};

bool starts_with(const std::string& s, const char* head) {
  return s.compare(0, strlen(head), head) == 0;
}

// "N - INDEX" after a line's head: the index.
std::string index_after_number(const std::string& rest) {
  size_t dash = rest.find(" - ");
  return dash == std::string::npos ? std::string() : rest.substr(dash + 3);
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
    if (starts_with(m, kAdapterCount)) {
      total = atoi(m.c_str() + strlen(kAdapterCount));
      since = last = at;
      return false;
    }
    if (starts_with(m, kAdapterBegins)) {
      open = true;
      return false;
    }
    if (starts_with(m, kNoAdapterInfo)) {
      index = index_after_number(m.substr(strlen(kNoAdapterInfo)));
      failure = "not read: the agent did not answer for it";
      return true;
    }
    if (!open) return false;
    if (starts_with(m, kNoPorts)) {
      index = index_after_number(m.substr(strlen(kNoPorts)));
      return true;
    }
    if (starts_with(m, kNoAdvancedInfo)) {
      index = index_after_number(m.substr(strlen(kNoAdvancedInfo)));
      failure = "not read: the agent reported no firmware version";
      return true;
    }
    if (starts_with(m, kMalformed)) {
      const std::string rest = m.substr(strlen(kMalformed));
      const size_t open_paren = rest.find(" ("), close_paren = rest.find("): ");
      if (open_paren != std::string::npos && close_paren != std::string::npos &&
          close_paren > open_paren)
        index = rest.substr(open_paren + 2, close_paren - open_paren - 2);
      failure = "not read: malformed agent answer";
      if (close_paren != std::string::npos) failure += ": " + rest.substr(close_paren + 3);
      return true;
    }
    if (starts_with(m, kPorts) && m.find(kPortsBody) != std::string::npos) {
      ports = m.substr(strlen(kPorts), m.find(kPortsBody) - strlen(kPorts));
    } else if (starts_with(m, kModel)) {
      model = m.substr(strlen(kModel));
    } else if (starts_with(m, kFlashedVersion) &&
               m.rfind(kFlashedVersionBody) != std::string::npos) {
      const size_t body = m.rfind(kFlashedVersionBody);
      index = m.substr(strlen(kFlashedVersion), body - strlen(kFlashedVersion));
      const std::string reported = m.substr(body + strlen(kFlashedVersionBody));
      if (!starts_with(reported, kNoVersion)) version = reported;
    }
    return false;
  }
};

Progress::Progress(bool terminal, bool quiet, FILE* out)
    : terminal_(terminal), quiet_(quiet), out_(out), discovery_(new Discovery) {}

Progress::Progress(bool terminal, bool quiet, FILE* out, const std::vector<FileDevice>& before)
    : terminal_(terminal), quiet_(quiet), out_(out), replay_(new FlashReplay(before)) {
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

void Progress::finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (replay_) {
    const std::vector<AdapterOutcome> final_outcomes = replay_->finish();
    for (size_t a = 0; a < final_outcomes.size(); ++a) report_flash(a, final_outcomes[a]);
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
  std::string m;
  if (!trace_message(line.text, m)) return;
  // An adapter that was read is complete when the next one begins or the enumeration ends; one
  // that could not be read, with the line that says so.
  bool ends = starts_with(m, kAdapterBegins) || starts_with(m, kNoAdapterInfo);
  for (const char* end : kEnumerationEnds) ends = ends || starts_with(m, end);
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
