// The line reader (see xml_reader.h).
#include "xml_reader.h"

namespace vxins {
namespace discovery {

namespace {

bool holds(const std::string& line, const char* marker) {
  return line.find(marker) != std::string::npos;
}

}  // namespace

void XmlLines::parse(const std::string& text) {
  lines_.clear();
  line_offsets_.clear();
  cuts_.clear();
  device_starts_.clear();
  fault_.clear();
  fault_line_ = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines_.push_back(text.substr(at, end - at));
    line_offsets_.push_back(at);
    at = end + 1;
  }
  cuts_.resize(lines_.size());
  blank_out_comments();
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (holds(lines_[i], "<device>")) device_starts_.push_back(i);
  }
}

// A comment is replaced by nothing where it stands, so that no tag inside it counts and every
// line keeps its number. Each line is searched once, whatever the comments span.
void XmlLines::blank_out_comments() {
  bool in_comment = false;
  size_t opened_at = 0;
  for (size_t n = 0; n < lines_.size(); ++n) {
    std::string& line = lines_[n];
    std::string kept;
    size_t i = 0;
    size_t cut_from = 0;  // where the comment being taken out began on this line
    for (;;) {
      size_t mark = line.find(in_comment ? "-->" : "<!--", i);
      if (!in_comment) kept.append(line, i, mark == std::string::npos ? mark : mark - i);
      if (mark == std::string::npos) break;
      if (!in_comment) {
        opened_at = n;
        cut_from = mark;
      } else {
        cuts_[n].emplace_back(kept.size(), mark + 3 - cut_from);
      }
      i = mark + (in_comment ? 3 : 4);
      in_comment = !in_comment;
    }
    if (in_comment) cuts_[n].emplace_back(kept.size(), line.size() - cut_from);
    line.swap(kept);
  }
  if (in_comment) {
    fault_ = "a comment is not closed";
    fault_line_ = opened_at + 1;
  }
}

size_t XmlLines::text_offset(size_t index, size_t at) const {
  size_t offset = line_offsets_[index] + at;
  for (const auto& cut : cuts_[index]) {
    if (cut.first > at) break;
    offset += cut.second;
  }
  return offset;
}

unsigned int XmlLines::count_devices() const {
  unsigned int found = 0;
  bool start_pending = false;
  bool end_pending = false;
  for (const std::string& line : lines_) {
    if (!holds(line, "<device>")) {
      start_pending = true;
      continue;
    }
    if (!holds(line, "</device>")) end_pending = true;
    if (start_pending && end_pending) {
      ++found;
      start_pending = false;
      end_pending = false;
    }
  }
  return found;
}

void XmlLines::device_lines(unsigned int position, ElementLines& out) const {
  size_t first = 0;
  if (position >= 1 && position <= device_starts_.size()) first = device_starts_[position - 1];
  bool dev_started = false, fw_started = false, fw_ended = false;
  for (size_t i = first; i < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    if (holds(line, "</device>")) break;
    if (holds(line, "<device>")) {
      // Another element begins: the one being collected has no "</device>" line. Running on
      // would give it the values of every later device and make reading a damaged file
      // quadratic in time and in trace-log size.
      if (dev_started) break;
      dev_started = true;
    } else if (holds(line, "<fw_item>")) {
      fw_started = true;
    } else if (holds(line, "</fw_item>")) {
      fw_ended = true;
    } else if (dev_started) {
      bool fw = fw_started && !fw_ended;
      (fw ? out.firmware : out.device).push_back(line);
      (fw ? out.firmware_line_numbers : out.device_line_numbers).push_back(i + 1);
    }
  }
}

}  // namespace discovery
}  // namespace vxins
