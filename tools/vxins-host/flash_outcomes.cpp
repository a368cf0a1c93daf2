// The replay reads only the lines that begin a message (a message holding line feeds goes on over
// lines without a level prefix, which carry text of the agent's or the file's and are never taken
// for an event) and, of those, only the update pass's own lines, after the pass has begun.
#include "flash_outcomes.h"

#include <algorithm>
#include <cstdio>

#include "adapter_groups.h"
#include "device_labels.h"
#include "trace_texts.h"
#include "vxins_trace.h"

namespace vxhost {

namespace {

using vxins::trace::kFlashFailed;
using vxins::trace::kIdentifierOnTwoAdapters;
using vxins::trace::kPassEnded;

// The update pass's lines (the plug-in's update pass, adapter matcher and agent flash), and the
// lines of the flash sequence that end the call before the pass, as the replay recognises them.
struct PassTexts {
  const std::string call_begins = format_piece(vxins::trace::kFlashCallBegins, 0);
  const std::string pass_begins = format_piece(vxins::trace::kPackageMatches, 0);
  const std::string all_skip = format_piece(vxins::trace::kAllSkip, 0);
  const std::string mismatch_head = format_piece(vxins::trace::kPackageMismatch, 0);
  const std::string mismatch_separator = format_piece(vxins::trace::kPackageMismatch, 1);
  const std::string version_head = format_piece(vxins::trace::kPackageVersionMismatch, 0);
  const std::string version_separator = format_piece(vxins::trace::kPackageVersionMismatch, 1);
  const std::string device = format_piece(vxins::trace::kDeviceSkipped, 0);
  const std::string skip_tail = format_piece(vxins::trace::kDeviceSkipped, 1);
  const std::string no_identifier_tail = format_piece(vxins::trace::kNoIdentifier, 1);
  const std::string two_adapters_after_device = format_piece(kIdentifierOnTwoAdapters, 1);
  const std::string not_matched_tail = format_piece(kIdentifierOnTwoAdapters, 4);
  const std::string end_head = format_piece(kPassEnded, 0);
  const std::string end_body = format_piece(kPassEnded, 1);
  const std::string failed_head = format_piece(kFlashFailed, 0);
  const std::string failed_body = format_piece(kFlashFailed, 1);
  const std::string agent_failure = vxins::trace::kFlashFailurePrefix;
  const std::string success = format_piece(vxins::trace::kFlashSucceeded, 0);
  const std::string success_tail = format_piece(vxins::trace::kFlashSucceeded, 1);
  const std::string not_listed_head = format_piece(vxins::trace::kAdapterNotListed, 0);
  const std::string not_listed_body = format_piece(vxins::trace::kAdapterNotListed, 1);
  const std::string flash_returned = format_piece(vxins::trace::kFlashReturned, 0);
};

const PassTexts& texts() {
  static const PassTexts pass_texts;
  return pass_texts;
}

const char kNotLinedUp[] = "the trace does not line up with the discovery file: ";

std::string device_name(const FileDevice& d) {
  if (d.mac_or_wwn.empty()) return "device " + std::to_string(d.position);
  return d.mac_or_wwn;
}

// The two values of a "Passed=A != DiscoveryFw file=B" line; false when it is not one.
bool mismatch_values(const std::string& message, const std::string& head,
                     const std::string& separator, std::string& passed, std::string& file) {
  const size_t sep = message.find(separator, head.size());
  if (!starts_with(message, head) || sep == std::string::npos) return false;
  passed = message.substr(head.size(), sep - head.size());
  file = message.substr(sep + separator.size());
  return true;
}

// Why the plug-in refused the package, from its line: another file name, or the same name
// holding another version than the discovery file was made for.
std::string package_refusal(const std::string& message) {
  const PassTexts& t = texts();
  std::string passed, file;
  if (mismatch_values(message, t.version_head, t.version_separator, passed, file))
    return "the package holds version " + passed + ", not the version " + file +
           " the discovery file was made for";
  if (mismatch_values(message, t.mismatch_head, t.mismatch_separator, passed, file))
    return "the package " + passed + " is not the one the discovery file names (" + file + ")";
  return "the package is not the one the discovery file names";
}

// One function's action, or "mixed".
std::string common_action(const std::vector<FileDevice>& devices, const std::vector<size_t>& of) {
  std::string action;
  for (size_t i : of) {
    if (!action.empty() && action != devices[i].action) return "mixed";
    action = devices[i].action;
  }
  return action;
}

}  // namespace

struct FlashReplay::Event {
  enum Kind {
    kNone, kInternal, kCallBegins, kPassBegins, kAllSkip, kPackageMismatch,
    kSkip, kNoMatch, kEnd, kNotListed, kFlashed, kFailed
  };
  Kind kind = kNone;
  int position = -1;
  std::string text;     // the index, the agent's reason or the matcher's why
  std::string message;  // the whole message, quoted when the trace does not line up

  bool in_pass() const { return kind >= kSkip; }

  explicit Event(const std::string& m) : message(m) {
    const PassTexts& t = texts();
    if (starts_with(m, t.device)) {
      // "Quorvel device(N)" and how it goes on.
      size_t close = m.find(')', t.device.size());
      std::string digits = m.substr(t.device.size(), close - t.device.size());
      if (close == std::string::npos || digits.empty() || digits.size() > 9 ||
          digits.find_first_not_of("0123456789") != std::string::npos)
        return;
      position = std::stoi(digits);
      std::string rest = m.substr(close);
      if (rest == t.skip_tail) {
        kind = kSkip;
      } else if (rest == t.no_identifier_tail) {
        kind = kNoMatch;
        text = "device " + digits + " has no MAC address or WWN";
      } else if (starts_with(rest, t.two_adapters_after_device)) {
        kind = kNoMatch;  // "X belongs to adapters A and B"
        text = rest.substr(t.two_adapters_after_device.size());
        if (ends_with(text, t.not_matched_tail))
          text.resize(text.size() - t.not_matched_tail.size());
      }
    } else if (starts_with(m, t.failed_head) && m.find(t.failed_body) != std::string::npos) {
      kind = kFailed;
      const size_t body = m.find(t.failed_body);
      text = m.substr(body + t.failed_body.size());
      if (starts_with(text, t.agent_failure)) text.erase(0, t.agent_failure.size());
      if (text.empty())
        text = "no reason given (result " +
               m.substr(t.failed_head.size(), body - t.failed_head.size()) + ")";
    } else if (starts_with(m, t.end_head) && m.find(t.end_body) != std::string::npos) {
      kind = kEnd;
    } else if (starts_with(m, t.success)) {
      kind = kFlashed;
      text = m.substr(t.success.size());
      if (ends_with(text, t.success_tail)) text.resize(text.size() - t.success_tail.size());
    } else if (starts_with(m, t.not_listed_head) &&
               m.rfind(t.not_listed_body) != std::string::npos) {
      kind = kNotListed;
      text = m.substr(t.not_listed_head.size(),
                      m.rfind(t.not_listed_body) - t.not_listed_head.size());
    } else if (starts_with(m, t.flash_returned) || starts_with(m, t.agent_failure)) {
      kind = kInternal;
    } else if (starts_with(m, t.call_begins)) {
      kind = kCallBegins;
    } else if (starts_with(m, t.pass_begins)) {
      kind = kPassBegins;
    } else if (m == t.all_skip) {
      kind = kAllSkip;
    } else if (starts_with(m, t.mismatch_head) || starts_with(m, t.version_head)) {
      kind = kPackageMismatch;
    }
  }
};

std::string adapter_key(const FileDevice& d) { return d.bus + ":" + d.dev; }

std::string seconds_text(double seconds) {
  if (seconds < 0) seconds = 0;
  char text[32];
  snprintf(text, sizeof text, seconds < 10 ? "%.1f s" : "%.0f s", seconds);
  return text;
}

const char* outcome_name(Outcome outcome) {
  switch (outcome) {
    case Outcome::kFlashed:
      return "flashed";
    case Outcome::kFailed:
      return "failed";
    case Outcome::kSkipped:
      return "skipped";
    case Outcome::kUnknown:
      return "unknown";
    case Outcome::kNotAttempted:
      break;
  }
  return "not attempted";
}

std::string version_before(const std::vector<FileDevice>& devices, const AdapterGroups& groups,
                           const AdapterGroup& group) {
  const size_t first = group.devices.front();
  const bool told = first < groups.reported.size() && !groups.reported[first].empty();
  return told ? groups.reported[first] : devices[first].active_version;
}

std::vector<AdapterOutcome> file_adapters(const std::vector<FileDevice>& devices,
                                          const AdapterGroups& groups) {
  std::vector<AdapterOutcome> out;
  for (const AdapterGroup& group : groups.groups) {
    const FileDevice& first = devices[group.devices.front()];
    AdapterOutcome adapter;
    adapter.adapter = group.label;
    adapter.agent_index = group.agent_index;
    adapter.product = first.product;
    adapter.before = version_before(devices, groups, group);
    adapter.offered = first.offered_version;
    adapter.proposed = common_action(devices, group.devices);
    // Skipped only when every function is: the plug-in flashes an adapter for any one of them.
    bool all_skipped = true;
    for (size_t i : group.devices) {
      adapter.identifiers.push_back(devices[i].mac_or_wwn);
      adapter.functions.push_back(pci_address(devices[i]));
      all_skipped = all_skipped && devices[i].skipped;
    }
    if (all_skipped) adapter.outcome = Outcome::kSkipped;
    out.push_back(adapter);
  }
  return out;
}

FlashReplay::FlashReplay(const std::vector<FileDevice>& before, const AdapterGroups& groups)
    : devices_(before), adapter_of_(groups.group_of), by_agent_(groups.by_agent),
      adapters_(file_adapters(before, groups)) {
  for (const AdapterOutcome& a : adapters_)
    states_.push_back(a.outcome == Outcome::kSkipped ? State::kSkipped : State::kOpen);
}

bool FlashReplay::silent(size_t device) const {
  return !devices_[device].skipped && states_[adapter_of_[device]] == State::kAttempted;
}

void FlashReplay::settle(size_t adapter, State state, std::vector<size_t>& settled) {
  states_[adapter] = state;
  settled.push_back(adapter);
}

void FlashReplay::lose_track(const std::string& why) {
  if (mismatch_.empty()) mismatch_ = kNotLinedUp + why;
}

std::vector<size_t> FlashReplay::feed(const TimedLine& line) {
  std::vector<size_t> settled;
  if (!line.is_message()) return settled;
  const std::string message = line.message();
  const Event event(message);
  // Lines the agent's flash writes while it runs: the flash began before them.
  if (event.kind == Event::kInternal) return settled;
  if (event.kind == Event::kCallBegins) call_seen_ = true;
  if (event.in_pass() && phase_ != Phase::kPass && phase_ != Phase::kEnded)
    lose_track("an update-pass line before the pass began: \"" + message + "\"");
  if (phase_ == Phase::kBefore) {
    if (event.kind == Event::kPassBegins) {
      phase_ = Phase::kPass;
    } else if (event.kind == Event::kAllSkip) {
      phase_ = Phase::kAllSkip;
      refusal_ = "the plug-in read every device as set to Skip";
    } else if (event.kind == Event::kPackageMismatch) {
      phase_ = Phase::kPackageMismatch;
      refusal_ = package_refusal(message);
    }
  } else if ((phase_ == Phase::kPass || phase_ == Phase::kEnded) && event.in_pass() &&
             mismatch_.empty()) {
    settled = apply(event, line.at);
  }
  last_at_ = line.at;
  return settled;
}

std::vector<size_t> FlashReplay::apply(const Event& e, double at) {
  std::vector<size_t> settled;
  if (phase_ == Phase::kEnded) {
    lose_track("the trace goes on after the update pass ended: \"" + e.message + "\"");
    return settled;
  }
  if (!pending_why_.empty() && e.kind != Event::kEnd) {
    lose_track("the matcher's refusal is not followed by the end of the update pass");
    return settled;
  }
  if (e.kind == Event::kEnd || e.kind == Event::kNoMatch) return end_pass(e);
  for (; next_ < devices_.size(); ++next_) {
    const FileDevice& d = devices_[next_];
    const size_t a = adapter_of_[next_];
    if (d.skipped) {
      if (e.kind == Event::kSkip && e.position == d.position) {
        ++next_;
        return settled;
      }
      lose_track(device_name(d) + " is set to Skip, but the trace's next update-pass line is \"" +
                 e.message + "\"");
      return settled;
    }
    if (silent(next_)) continue;
    AdapterOutcome& out = adapters_[a];
    // A line naming an adapter must name this one's (when the grouping knows it) and no adapter
    // an earlier line named: the plug-in tries each adapter once.
    if ((e.kind == Event::kNotListed || e.kind == Event::kFlashed) && states_[a] == State::kOpen) {
      if (by_agent_ && e.text != out.agent_index) {
        lose_track("the trace's update-pass line \"" + e.message + "\" names adapter " + e.text +
                   ", but " + device_name(d) + " belongs to adapter " + out.agent_index);
        return settled;
      }
      if (std::find(named_.begin(), named_.end(), e.text) != named_.end()) {
        lose_track("the trace names adapter " + e.text + " twice: \"" + e.message + "\"");
        return settled;
      }
      named_.push_back(e.text);
    }
    if (e.kind == Event::kNotListed && (states_[a] == State::kOpen ||
                                        (states_[a] == State::kNotListed &&
                                         out.agent_index == e.text))) {
      if (states_[a] == State::kOpen) {
        out.agent_index = e.text;
        out.reason = "the agent does not list its adapter " + e.text;
        settle(a, State::kNotListed, settled);
      }
      ++next_;
      return settled;
    }
    if ((e.kind == Event::kFlashed || e.kind == Event::kFailed) && states_[a] == State::kOpen) {
      out.outcome = e.kind == Event::kFlashed ? Outcome::kFlashed : Outcome::kFailed;
      if (e.kind == Event::kFlashed)
        out.agent_index = e.text;
      else
        out.reason = e.text;
      out.seconds = at - last_at_;
      settle(a, State::kAttempted, settled);
      ++next_;
      return settled;
    }
    lose_track("the trace's update-pass line \"" + e.message + "\" does not fit " +
               device_name(d) + ", the file's next device to flash");
    return settled;
  }
  lose_track("the trace has more update-pass lines than the file's devices explain: \"" +
             e.message + "\"");
  return settled;
}

// Names joined as "A", "A or B", "A, B or C".
std::string one_of(const std::vector<std::string>& names) {
  std::string text;
  for (size_t k = 0; k < names.size(); ++k)
    text += (k == 0 ? "" : k + 1 == names.size() ? " or " : ", ") + names[k];
  return text;
}

// The matcher's refusal of a device (kNoMatch, followed by kEnd) or an identifier the agent does
// not know (kEnd alone) ends the pass. The device is the next chosen one, or a chosen function
// of an adapter already flashed before it (those are matched without a line): an identifier the
// agent does not know cannot be told from the trace among them, and the reason names them all.
std::vector<size_t> FlashReplay::end_pass(const Event& e) {
  std::vector<size_t> settled;
  std::vector<size_t> candidates;
  for (size_t j = next_; j < devices_.size() && !devices_[j].skipped; ++j) {
    candidates.push_back(j);
    if (!silent(j)) break;
  }
  if (e.kind == Event::kNoMatch) {
    size_t k = 0;
    while (k < candidates.size() && devices_[candidates[k]].position != e.position) ++k;
    if (k == candidates.size()) {
      lose_track("the matcher refused device " + std::to_string(e.position) +
                 ", which is not the file's next device to flash");
      return settled;
    }
    pending_device_ = candidates[k];
    pending_why_ = e.text;
    return settled;
  }
  std::string why;
  size_t culprit = devices_.size();
  if (!pending_why_.empty()) {
    culprit = pending_device_;
    why = pending_why_;
  } else if (!candidates.empty()) {
    std::vector<std::string> flashed;  // functions of adapters already flashed
    for (size_t j : candidates)
      if (silent(j)) flashed.push_back(device_name(devices_[j]));
    if (!silent(candidates.back())) culprit = candidates.back();
    if (culprit == devices_.size())
      why = "the agent lists no function " + one_of(flashed);
    else
      why = "the agent lists no function " + device_name(devices_[culprit]) +
            (flashed.empty() ? "" : " (or " + one_of(flashed) + ")");
  } else {
    lose_track("the update pass ended where the file has no device to flash");
    return settled;
  }
  pending_why_.clear();
  for (size_t a = 0; a < adapters_.size(); ++a) {
    if (states_[a] != State::kOpen) continue;
    const bool at_culprit = culprit < devices_.size() && adapter_of_[culprit] == a;
    adapters_[a].reason = at_culprit ? "not found: " + why + "; the update pass ended there"
                                     : "the update pass ended before it: " + why;
    settle(a, State::kEnded, settled);
  }
  phase_ = Phase::kEnded;
  next_ = devices_.size();
  return settled;
}

int FlashReplay::current() const {
  if (phase_ != Phase::kPass || !mismatch_.empty() || !pending_why_.empty()) return -1;
  for (size_t j = next_; j < devices_.size(); ++j) {
    if (devices_[j].skipped || silent(j)) continue;
    const size_t a = adapter_of_[j];
    return states_[a] == State::kOpen ? static_cast<int>(a) : -1;
  }
  return -1;
}

std::vector<AdapterOutcome> FlashReplay::finish(const std::string& not_own) const {
  std::vector<AdapterOutcome> out = adapters_;
  std::string why = not_own.empty() ? mismatch_ : not_own;
  if (why.empty() && phase_ == Phase::kBefore && !call_seen_)
    why = "the trace holds no line of the flash call";  // it could not be written or read
  if (why.empty() && phase_ == Phase::kPass) {
    if (!pending_why_.empty())
      why = kNotLinedUp + std::string("the trace ends after the matcher refused a device");
    for (size_t j = next_; why.empty() && j < devices_.size(); ++j) {
      if (devices_[j].skipped || !silent(j))
        why = kNotLinedUp + ("the trace ends before the update pass reached " +
                             device_name(devices_[j]));
    }
  }
  // Functions at one B:D all set to Skip may belong to an agent adapter flashed for another of
  // its functions: without the agent's grouping, only a call that never ran its pass tells.
  const bool pass_may_have_run = !why.empty() || phase_ == Phase::kPass || phase_ == Phase::kEnded;
  for (size_t a = 0; a < out.size(); ++a) {
    if (states_[a] == State::kSkipped) {
      if (by_agent_ || !pass_may_have_run) continue;
      out[a].outcome = Outcome::kUnknown;
      out[a].reason = "all its functions are set to Skip, but its agent adapter is not known "
                      "and may have been flashed for another function";
      continue;
    }
    if (!why.empty()) {
      // Which adapter a line was about cannot be told: no outcome is taken from the trace.
      out[a].outcome = Outcome::kUnknown;
      out[a].reason = why;
      if (!by_agent_) out[a].agent_index.clear();
      out[a].seconds = 0;
    } else if (states_[a] == State::kOpen) {
      out[a].reason =
          phase_ == Phase::kBefore ? "the call ended before the update pass" : refusal_;
    }
  }
  return out;
}

std::vector<AdapterOutcome> flash_outcomes(const std::vector<FileDevice>& before,
                                           const AdapterGroups& groups,
                                           const std::vector<TimedLine>& trace,
                                           const std::string& not_own) {
  FlashReplay replay(before, groups);
  for (const TimedLine& line : trace) replay.feed(line);
  return replay.finish(not_own);
}

}  // namespace vxhost
