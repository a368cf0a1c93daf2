// The line scanner: the tags of one line of a discovery file, and the traced tag/value split
// of a leaf line (see xml_scan.h).
#include "xml_scan.h"

#include <algorithm>

#include "xml_text.h"
#include "log/log.h"

namespace vxins {
namespace discovery {

namespace {

bool is_xml_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool ends_name(char c) {
  return is_xml_blank(c) || c == '/' || c == '>' || c == '=' || c == '<' || c == '"' || c == '\'';
}

size_t skip_blanks(const std::string& line, size_t i) {
  while (i < line.size() && is_xml_blank(line[i])) ++i;
  return i;
}

std::string read_name(const std::string& line, size_t& i) {
  size_t start = i;
  while (i < line.size() && !ends_name(line[i])) ++i;
  return line.substr(start, i - start);
}

// Reads one attribute (name, "=", quoted value) starting at i; false with tag.problem set when
// it breaks the rules. i ends after what was read.
bool read_attribute(const std::string& line, size_t& i, XmlTag& tag) {
  std::string attr = read_name(line, i);
  if (attr.empty()) {
    tag.problem = "an attribute without a name";
    return false;
  }
  i = skip_blanks(line, i);
  if (i >= line.size() || line[i] != '=') {
    tag.problem = "the attribute " + attr + " has no value";
    return false;
  }
  i = skip_blanks(line, i + 1);
  if (i >= line.size() || (line[i] != '"' && line[i] != '\'')) {
    tag.problem = "the value of " + attr + " is not quoted";
    return false;
  }
  size_t close = line.find(line[i], i + 1);
  if (close == std::string::npos) {
    tag.problem = "the value of " + attr + " does not end on its line";
    ++i;
    return false;
  }
  std::string raw = line.substr(i + 1, close - i - 1);
  if (raw.find('<') != std::string::npos) {
    tag.problem = "the value of " + attr + " holds a \"<\"";
    ++i;
    return false;
  }
  i = close + 1;
  for (const auto& seen : tag.attributes) {
    if (seen.first == attr) {
      tag.problem = "the attribute " + attr + " comes twice";
      return false;
    }
  }
  tag.attributes.emplace_back(attr, unescape_value(raw));
  tag.value_spans.emplace_back(close - raw.size(), close);
  return true;
}

// Reads the attributes and the end of a start tag whose name ends at i; returns the position
// after the tag, or where reading stopped when the tag is broken (tag.problem says why).
size_t read_start_tag_rest(const std::string& line, size_t i, XmlTag& tag) {
  for (;;) {
    size_t after_blanks = skip_blanks(line, i);
    bool blank_before = after_blanks > i;
    i = after_blanks;
    if (i >= line.size()) {
      tag.problem = "the tag does not end on its line";
      return i;
    }
    if (line[i] == '>' || (line[i] == '/' && i + 1 < line.size() && line[i + 1] == '>')) {
      tag.complete = true;
      tag.empty_element = line[i] == '/';
      return i + (tag.empty_element ? 2 : 1);
    }
    if (line[i] == '/') {
      tag.problem = "a \"/\" that does not end the tag";
      return i + 1;
    }
    if (!blank_before) {
      tag.problem = "no blank before an attribute";
      return i;
    }
    if (!read_attribute(line, i, tag)) return i;
  }
}

}  // namespace

XmlLineMarkup scan_line(const std::string& line) {
  XmlLineMarkup out;
  bool text = false;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] != '<') {
      if (!is_xml_blank(line[i])) text = true;
      ++i;
      continue;
    }
    XmlTag tag;
    tag.text_before = text;
    text = false;
    size_t next;
    if (i + 1 < line.size() && (line[i + 1] == '?' || line[i + 1] == '!')) {
      tag.kind = XmlTag::kOther;
      size_t close = line.find('>', i + 2);
      tag.complete = close != std::string::npos;
      if (!tag.complete) tag.problem = "the markup does not end on its line";
      next = tag.complete ? close + 1 : line.size();
    } else {
      bool end_tag = i + 1 < line.size() && line[i + 1] == '/';
      tag.kind = end_tag ? XmlTag::kEnd : XmlTag::kStart;
      size_t j = i + (end_tag ? 2 : 1);
      tag.name = read_name(line, j);
      if (tag.name.empty()) {
        tag.problem = "a \"<\" without a name";
        next = j;
      } else if (end_tag) {
        j = skip_blanks(line, j);
        tag.complete = j < line.size() && line[j] == '>';
        if (!tag.complete) tag.problem = "the end tag does not end where it should";
        next = tag.complete ? j + 1 : j;
      } else {
        next = read_start_tag_rest(line, j, tag);
      }
    }
    out.tags.push_back(tag);
    i = std::max(next, i + 1);
  }
  out.text_after = text;
  return out;
}

void log_split_positions(const std::string& line) {
  const std::string::size_type npos = std::string::npos;
  std::string::size_type start = line.find('<');
  if (start != npos) log::utility.info("first XML_TAG_START_STR found at:%d", static_cast<int>(start));
  std::string::size_type eq = start == npos ? npos : line.find('=', start);
  if (eq != npos) log::utility.info("first XML_TAG_EQ_STR found at:%d", static_cast<int>(eq));
  std::string::size_type open = eq == npos ? npos : line.find('"', eq);
  if (open != npos)
    log::utility.info("first XML_TAG_Quote_START_STR found at:%d", static_cast<int>(open));
  std::string::size_type close = open == npos ? npos : line.find('"', open + 1);
  if (close != npos)
    log::utility.info("first XML_TAG_Quote_end_STR found at:%d", static_cast<int>(close));
}

}  // namespace discovery
}  // namespace vxins
