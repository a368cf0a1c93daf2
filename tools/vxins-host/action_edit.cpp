// The file read for editing, and its action values rewritten in place where the plug-in's
// reader found them.
#include "action_edit.h"

#include <algorithm>

#include "inventory/firmware_action.h"

namespace vxhost {

namespace {

// A value set in place of another: where it stood and how long it was.
struct Replaced {
  size_t offset, length;
  std::string word;  // the value as the file holds it
};

// A span read from bytes in which `replaced` (in file order) stand in place of the file's
// values, as it stands in the file's own bytes.
vxins::discovery::ValueSpan in_file(vxins::discovery::ValueSpan span,
                                    const std::vector<Replaced>& replaced, size_t new_length) {
  long long shift = 0;  // how far the bytes after the replacements so far have moved
  for (const Replaced& r : replaced) {
    const long long at = static_cast<long long>(r.offset) + shift;
    if (at > static_cast<long long>(span.offset)) break;
    if (at == static_cast<long long>(span.offset)) {
      span.length = r.length;
      break;
    }
    shift += static_cast<long long>(new_length) - static_cast<long long>(r.length);
  }
  span.offset = static_cast<size_t>(static_cast<long long>(span.offset) - shift);
  return span;
}

}  // namespace

ViewResult view_for_edit(const std::string& path, DiscoveryView& view,
                         std::vector<size_t>& unknown_words, std::string& error) {
  unknown_words.clear();
  ViewResult result = read_discovery_view(path, view, error);
  if (result != ViewResult::kRefused) return result;
  const std::string bytes = view.bytes, refused = error;
  const std::string stand_in = "Upgrade";
  std::string readable = bytes;
  std::vector<Replaced> replaced;  // file offsets, in file order
  vxins::discovery::Refusal refusal;
  // Only an action leaf whose value names no action (the reader says where it stands); anything
  // else stays refused.
  while (view_of_bytes(readable, view, error, &refusal) == ViewResult::kRefused) {
    const vxins::discovery::ValueSpan& at = refusal.unknown_action;
    if (!at.found) {
      view.bytes = bytes;
      error = refused;
      return ViewResult::kRefused;
    }
    const size_t offset = in_file(at, replaced, stand_in.size()).offset;
    replaced.push_back({offset, at.length, readable.substr(at.offset, at.length)});
    readable.replace(at.offset, at.length, stand_in);
    unknown_words.push_back(refusal.device - 1);
  }
  // Those devices keep the word they hold: set-action changes them whatever it sets. Every
  // action's place is told in the file's own bytes.
  for (size_t k = 0; k < unknown_words.size(); ++k)
    view.devices[unknown_words[k]].file.action = replaced[k].word;
  for (ViewDevice& d : view.devices)
    d.action_value = in_file(d.action_value, replaced, stand_in.size());
  view.bytes = bytes;
  return ViewResult::kRead;
}

std::vector<size_t> devices_to_change(const std::vector<ViewDevice>& devices,
                                      const std::vector<size_t>& chosen,
                                      const std::string& action) {
  using vxins::inventory::ActionWord;
  fw_action_status_t wanted = FW_STATUS_SKIP, now = FW_STATUS_SKIP;
  const bool known = vxins::inventory::read_action_word(action, wanted) == ActionWord::kAction;
  std::vector<size_t> out;
  for (size_t i : chosen) {
    const bool same = known && vxins::inventory::read_action_word(devices[i].file.action, now) ==
                                   ActionWord::kAction && now == wanted;
    if (!same) out.push_back(i);
  }
  return out;
}

bool edit_actions(const std::string& bytes, const std::vector<ViewDevice>& devices,
                  const std::vector<size_t>& chosen, const std::string& action,
                  std::string& edited, std::string& error) {
  std::vector<std::pair<size_t, size_t>> spans;
  for (size_t i : chosen) {
    const ViewDevice& d = devices[i];
    if (!d.action_value.found) {
      error = "device " + std::to_string(i + 1) + " (" + d.file.mac_or_wwn +
              ") has no action leaf to set";
      return false;
    }
    spans.emplace_back(d.action_value.offset, d.action_value.length);
  }
  // One pass from the start: a replacement in place per value would move the rest of the file
  // each time.
  std::sort(spans.begin(), spans.end());
  spans.erase(std::unique(spans.begin(), spans.end()), spans.end());
  edited.clear();
  edited.reserve(bytes.size() + spans.size() * action.size());
  size_t copied = 0;
  for (const auto& span : spans) {
    edited.append(bytes, copied, span.first - copied).append(action);
    copied = span.first + span.second;
  }
  edited.append(bytes, copied, std::string::npos);
  return true;
}

}  // namespace vxhost
