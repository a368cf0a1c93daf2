// The reader of the discovery file: the line reader finds the device elements, the line scanner
// the tags of each line, the attribute table the field each leaf fills.
#include "discovery/discovery_reader.h"

#include <algorithm>
#include <cstdint>

#include "xml_reader.h"
#include "xml_scan.h"
#include "files/regular_file.h"
#include "log/log.h"
#include "vxins_host_api.h"

namespace vxins {
namespace discovery {

namespace {

using inventory::Attribute;
using inventory::Section;
using log::Trace;

const char* const kElementMarkers[] = {"<device>", "</device>", "<fw_item>", "</fw_item>"};
// The fw_item's fixed leaf: written by the writer, read by nobody; the device section's
// leaf of the same name fills the port type.
const char kFirmwareTypeTag[] = "type value";

const Attribute* readable(Section section, const std::string& element) {
  return inventory::find_readable(section, element);
}

bool is_filled_leaf(const std::string& element) {
  return readable(Section::kDevice, element) != nullptr ||
         readable(Section::kFirmware, element) != nullptr;
}

// A line holding "<device>", "<fw_item>" or their end tags is a marker line: the reader takes
// nothing else from it, so a leaf it fills must not hide there.
bool hides_leaf_on_marker_line(const std::string& line, std::string& why) {
  bool marker = false;
  for (const char* m : kElementMarkers) marker = marker || line.find(m) != std::string::npos;
  if (!marker) return false;
  for (const XmlTag& tag : scan_line(line).tags) {
    if (tag.kind == XmlTag::kStart && is_filled_leaf(tag.name)) {
      why = "the " + tag.name + " leaf shares its line with a device or fw_item tag";
      return true;
    }
  }
  return false;
}

// The value of the first `name` leaf among the lines, "" when none.
std::string leaf_value(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& line : lines) {
    for (const XmlTag& tag : scan_line(line).tags) {
      if (tag.kind == XmlTag::kStart && tag.name == name)
        return tag.attributes.empty() ? std::string() : tag.attributes[0].second;
    }
  }
  return std::string();
}

// Refuses the file: logs "line N (device K): why" and hands the refusal to the report.
int refuse(const std::string& path, Refusal refusal, Trace trace, ReadReport* report) {
  if (trace == Trace::kLogged) {
    std::string where = "line " + std::to_string(refusal.line);
    if (refusal.device != 0) where += " (device " + std::to_string(refusal.device) + ")";
    log::utility.error("Discovery file %s %s: %s", path.c_str(), where.c_str(),
                       refusal.why.c_str());
  }
  if (report != nullptr) report->refusal = std::move(refusal);
  return VXINS_RC_INTERNAL_OPER_FAILED;
}

// What one line of a device element holds for the reader.
struct LeafLine {
  enum Kind { kNotALeaf, kLeaf, kUnreadable } kind = kNotALeaf;
  const Attribute* attribute = nullptr;
  std::string value;
  std::pair<size_t, size_t> value_span;  // where the value stands on the line, as written
  std::string why;
};

LeafLine unreadable(const std::string& why) {
  LeafLine out;
  out.kind = LeafLine::kUnreadable;
  out.why = why;
  return out;
}

// The reason a leaf's own tags cannot be read, or empty when they can: it must stand alone on
// its line as <name value="..."/>, or with its end tag right after the start tag.
std::string leaf_problem(const XmlLineMarkup& markup, size_t at) {
  const XmlTag& leaf = markup.tags[at];
  if (!leaf.complete) return leaf.problem;
  if (leaf.attributes.empty()) return "it has no value attribute";
  if (leaf.attributes.size() != 1 || leaf.attributes[0].first != "value")
    return "it has an attribute other than value";
  bool own_end_follows = at + 1 < markup.tags.size() && !leaf.empty_element &&
                         markup.tags[at + 1].kind == XmlTag::kEnd &&
                         markup.tags[at + 1].complete && markup.tags[at + 1].name == leaf.name &&
                         !markup.tags[at + 1].text_before;
  if (markup.tags.size() == 1 + (own_end_follows ? 1u : 0u)) return std::string();
  if (!leaf.empty_element && !own_end_follows) return "its element does not end on its line";
  return "it shares its line with other markup";
}

// Looks at the tags of one line of a section. Anything that holds a leaf the reader fills and
// cannot be read exactly is reported unreadable, never guessed at.
LeafLine classify_line(const std::string& line, Section own, Section other,
                       const char* other_name) {
  XmlLineMarkup markup = scan_line(line);
  size_t leaf_at = markup.tags.size();
  const Attribute* attribute = nullptr;
  for (size_t i = 0; i < markup.tags.size(); ++i) {
    const XmlTag& tag = markup.tags[i];
    if (tag.kind != XmlTag::kStart) continue;
    if (const Attribute* a = readable(own, tag.name)) {
      if (attribute != nullptr)
        return unreadable("the " + markup.tags[leaf_at].name + " and " + tag.name +
                          " leaves share a line");
      attribute = a;
      leaf_at = i;
    } else if (readable(other, tag.name) != nullptr && tag.name + " value" != kFirmwareTypeTag) {
      return unreadable("the " + tag.name + " leaf stands outside its " + other_name +
                        " section");
    }
  }
  LeafLine out;
  if (attribute == nullptr) return out;
  std::string problem = leaf_problem(markup, leaf_at);
  if (!problem.empty())
    return unreadable("the " + markup.tags[leaf_at].name + " leaf cannot be read: " + problem);
  out.kind = LeafLine::kLeaf;
  out.attribute = attribute;
  out.value = markup.tags[leaf_at].attributes[0].second;
  out.value_span = markup.tags[leaf_at].value_spans[0];
  return out;
}

// Reads the leaves of one section into the record; false with the fault filled at the first
// line that cannot be read or repeats a leaf.
bool read_section(const std::vector<std::string>& lines, size_t first_index, Section own,
                  Section other, const char* other_name, const char* unknown_line,
                  inventory::DeviceRecord& record, LeafFault* fault, Trace trace,
                  LeafPlace* action) {
  const bool logged = trace == Trace::kLogged;
  std::vector<const Attribute*> seen;
  for (size_t n = 0; n < lines.size(); ++n) {
    if (logged) log_split_positions(lines[n]);
    LeafLine leaf = classify_line(lines[n], own, other, other_name);
    if (leaf.kind == LeafLine::kLeaf &&
        std::find(seen.begin(), seen.end(), leaf.attribute) != seen.end()) {
      std::string label = leaf.attribute->label;
      leaf = unreadable("the " + label.substr(0, label.find(' ')) + " leaf comes twice in one device");
    }
    if (leaf.kind == LeafLine::kUnreadable) {
      if (fault != nullptr) *fault = LeafFault{first_index + n, leaf.why};
      return false;
    }
    if (leaf.kind == LeafLine::kNotALeaf) {
      if (logged) log::utility.error("%s", unknown_line);
      continue;
    }
    seen.push_back(leaf.attribute);
    if (action != nullptr && leaf.attribute->id == DEV_CHAR_CONST_ACTION_VALUE)
      *action = LeafPlace{first_index + n, leaf.value_span.first, leaf.value_span.second};
    if (!record.fill_from_file(*leaf.attribute, leaf.value)) {
      if (fault != nullptr)
        *fault = LeafFault{first_index + n,
                           "the action \"" + leaf.value + "\" is none of " +
                               inventory::known_action_words(),
                           true};
      return false;
    }
  }
  return true;
}

}  // namespace

int read_device(const std::vector<std::string>& device_lines,
                const std::vector<std::string>& firmware_lines, inventory::DeviceRecord& record,
                LeafFault* fault, Trace trace, LeafPlace* action) {
  if (!read_section(device_lines, 0, Section::kDevice, Section::kFirmware, "firmware",
                    "ERROR:DEV Unknown Tag\n", record, fault, trace, action) ||
      !read_section(firmware_lines, device_lines.size(), Section::kFirmware, Section::kDevice,
                    "device", "FW ERROR:Unknown Tag\n", record, fault, trace, action))
    return VXINS_RC_INTERNAL_OPER_FAILED;
  return 0;
}

int read_discovery_file(const std::string& path, inventory::DeviceList& devices, Trace trace,
                        ReadReport* report) {
  const bool logged = trace == Trace::kLogged;
  if (path.empty()) {
    if (logged) log::utility.error("get_number_of_tags failed\n<-- read_xmlfile().");
    return VXINS_RC_INTERNAL_OPER_FAILED;
  }
  // Only a regular file, through a non-blocking descriptor: a FIFO or a device planted under
  // the discovery file's name must not hang the host's thread. A read that fails half way keeps
  // what was read.
  std::string text;
  files::FileFailure failure;
  if (!files::read_regular_file(path, SIZE_MAX, text, failure) &&
      failure.step != files::FileFailure::kRead) {
    if (logged) {
      log::entry.error("XML file open failed");
      log::entry.error("<--read_XML_file()");
    }
    return 0;  // an unreadable file simply has no device elements
  }
  return read_discovery_text(path, text, devices, trace, report);
}

int read_discovery_text(const std::string& name, const std::string& text,
                        inventory::DeviceList& devices, Trace trace, ReadReport* report) {
  XmlLines xml;
  xml.parse(text);
  if (!xml.fault().empty())
    return refuse(name, {xml.fault_line(), 0, "", xml.fault(), {}}, trace, report);
  for (size_t n = 0; n < xml.lines().size(); ++n) {
    std::string why;
    if (hides_leaf_on_marker_line(xml.lines()[n], why))
      return refuse(name, {n + 1, 0, "", why, {}}, trace, report);
  }
  const unsigned int count = xml.count_devices();
  for (unsigned int k = 1; k <= count; ++k) {
    ElementLines lines;
    xml.device_lines(k, lines);
    std::vector<size_t>& numbers = lines.device_line_numbers;
    numbers.insert(numbers.end(), lines.firmware_line_numbers.begin(),
                   lines.firmware_line_numbers.end());
    std::unique_ptr<inventory::DeviceRecord> record(new inventory::DeviceRecord());
    LeafFault fault;
    LeafPlace action{numbers.size(), 0, 0};
    const int rc = read_device(lines.device, lines.firmware, *record, &fault, trace, &action);
    // Where the action's value stands in the text (the line numbers count from 1).
    ValueSpan value;
    if (action.line_index < numbers.size()) {
      const size_t index = numbers[action.line_index] - 1;
      value.found = true;
      value.offset = xml.text_offset(index, action.value_begin);
      value.length = action.value_end == action.value_begin
                         ? 0
                         : xml.text_offset(index, action.value_end - 1) + 1 - value.offset;
    }
    if (rc != 0) {
      size_t line_no = fault.line_index < numbers.size() ? numbers[fault.line_index] : 0;
      Refusal refusal{line_no, k, leaf_value(lines.device, "macaddress"), fault.why, {}};
      if (fault.action_word) refusal.unknown_action = value;
      return refuse(name, refusal, trace, report);
    }
    if (trace == Trace::kLogged) record->log_fields();
    devices.push_back(std::move(record));
    if (report != nullptr) report->action_values.push_back(value);
  }
  if (report != nullptr) report->takes_effect = leaf_value(xml.lines(), "takes_effect");
  return 0;
}

}  // namespace discovery
}  // namespace vxins
