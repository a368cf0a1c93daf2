// Selecting devices and rewriting their action values in place.
#include "action_edit.h"

#include <algorithm>
#include <cctype>

#include "inventory/firmware_action.h"

namespace vxhost {

namespace {

// The bytes with every comment blanked (line feeds kept), as the plug-in's reader blanks them:
// what stands in a comment is no markup, and offsets stay those of the file.
std::string without_comments(const std::string& bytes) {
  std::string out = bytes;
  size_t at = 0;
  while ((at = bytes.find("<!--", at)) != std::string::npos) {
    size_t end = bytes.find("-->", at + 4);
    end = end == std::string::npos ? bytes.size() : end + 3;
    for (size_t i = at; i < end; ++i)
      if (out[i] != '\n') out[i] = ' ';
    at = end;
  }
  return out;
}

// The offset where the 1-based line `number` starts, or npos past the last line.
size_t line_start(const std::string& bytes, size_t number) {
  size_t at = 0;
  for (size_t n = 1; n < number; ++n) {
    at = bytes.find('\n', at);
    if (at == std::string::npos) return at;
    ++at;
  }
  return at;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Finds the quoted value of the action leaf on the line starting at `begin` of `text` (comments
// blanked): "<action", blanks, "value", blanks, "=", blanks, a quote, the value, the same quote.
bool action_value_span(const std::string& text, size_t begin, size_t& from, size_t& to) {
  size_t end = text.find('\n', begin);
  if (end == std::string::npos) end = text.size();
  const std::string tag = "<action";
  for (size_t at = text.find(tag, begin); at < end; at = text.find(tag, at + 1)) {
    size_t p = at + tag.size();
    if (p >= end || !(blank(text[p]) || text[p] == '/' || text[p] == '>')) continue;
    while (p < end && blank(text[p])) ++p;
    if (text.compare(p, 5, "value") != 0) return false;
    for (p += 5; p < end && blank(text[p]); ++p) {
    }
    if (p >= end || text[p++] != '=') return false;
    while (p < end && blank(text[p])) ++p;
    if (p >= end || (text[p] != '"' && text[p] != '\'')) return false;
    from = p + 1;
    to = text.find(text[p], from);
    return to < end;
  }
  return false;
}

}  // namespace

ViewResult view_for_edit(const std::string& path, DiscoveryView& view,
                         std::vector<size_t>& unknown_words, std::string& error) {
  unknown_words.clear();
  ViewResult result = read_discovery_view(path, view, error);
  if (result != ViewResult::kRefused) return result;
  const std::string bytes = view.bytes, refused = error;
  std::string readable = bytes;
  std::vector<std::string> words;  // the unknown words as the file holds them
  vxins::discovery::Refusal refusal;
  while (view_of_bytes(readable, view, error, &refusal) == ViewResult::kRefused) {
    // Only an action leaf whose plain value names no action; anything else stays refused.
    const std::string text = without_comments(readable);
    const size_t begin = refusal.device == 0 ? std::string::npos : line_start(text, refusal.line);
    size_t from = 0, to = 0;
    fw_action_status_t action;
    if (begin == std::string::npos || !action_value_span(text, begin, from, to) ||
        readable.find('&', from) < to ||
        vxins::inventory::read_action_word(readable.substr(from, to - from), action) !=
            vxins::inventory::ActionWord::kUnknownWord) {
      view.bytes = bytes;
      error = refused;
      return ViewResult::kRefused;
    }
    words.push_back(readable.substr(from, to - from));
    readable.replace(from, to - from, "Upgrade");
    unknown_words.push_back(refusal.device - 1);
  }
  // Those devices keep the word they hold: set-action changes them whatever it sets.
  for (size_t k = 0; k < unknown_words.size(); ++k)
    view.devices[unknown_words[k]].file.action = words[k];
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
  const std::string text = without_comments(bytes);
  std::vector<std::pair<size_t, size_t>> spans;
  for (size_t i : chosen) {
    const ViewDevice& d = devices[i];
    size_t from = 0, to = 0;
    size_t begin = d.action_line == 0 ? std::string::npos : line_start(text, d.action_line);
    if (begin == std::string::npos || !action_value_span(text, begin, from, to)) {
      error = "device " + std::to_string(i + 1) + " (" + d.file.mac_or_wwn +
              ") has no action leaf to set";
      return false;
    }
    spans.emplace_back(from, to);
  }
  std::sort(spans.rbegin(), spans.rend());  // from the end, so earlier offsets stay valid
  edited = bytes;
  for (const auto& span : spans) edited.replace(span.first, span.second - span.first, action);
  return true;
}

}  // namespace vxhost
