// Writing the discovery file from a device list, reading it back into device records, and
// rewriting it with the outcome of a flash. The layout comes from CXmlParser; this file decides
// which leaves go where. Files are replaced atomically: the host (or a crash) never finds a
// half-written discovery file, and a failed write never costs the previous one.
#include "discovery/discovery_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "discovery/atomic_output.h"
#include "discovery/xml_parser.h"
#include "vxins_host_api.h"
#include "vxins_log.h"

namespace {

const char kDiscoveryVersion[] = "2.0.0.0";
const char kSlotNumber[] = "FFFFFFFF";
const char kFwItemType[] = "ROM";

void log_buf(vxins_log_level_t level) { VXINS_LOG_TRACE(level, gLogBuf); }

// The values modify_and_write_to_xmlfile puts into every fw_item.
struct FwOutcome {
  std::string action_status;
  std::string fw_ver;
  std::string fw_file;
  std::string active_ver;
  // Identifiers (MAC address or WWN) of the devices the host set to skip in the file read back.
  const std::set<std::string>* skipped_ids = nullptr;
};

void open_document(CXmlParser& parser, AtomicOutput& out, const std::string& file_name) {
  if (file_name.empty()) {
    // The parser reports the missing name itself; nothing is created.
    parser.open_XML_file_to_write(file_name);
    return;
  }
  if (out.create(file_name)) parser.open_XML_stream_to_write(out.fp());
}

void write_header(CXmlParser& parser) {
  parser.add_attributes(kDiscoveryVersion, "version");
  parser.create_xml_tag("vx_rom_discovery");
  parser.create_child_tag("type value", " ");
  parser.create_child_tag("alt_name value", " ");
  parser.create_child_tag("version value", " ");
  parser.create_child_tag("takes_effect value", "deferred");
}

std::string outcome_value(const dev_tag_val_pair_t& pair, CQrvlDevice* dev,
                          const FwOutcome& outcome) {
  if (pair.tag_desc == "version value") return outcome.fw_ver;
  if (pair.tag_desc == "action_status value") return outcome.action_status;
  if (pair.tag_desc == "firmware_file value") return outcome.fw_file;
  if (pair.tag_desc == "active_version value") return outcome.active_ver;
  if (pair.tag_desc == "action value") {
    // The operator's Skip stays with the device it was set on, and only with that one.
    std::string mac_or_wwn;
    dev->getMacOrWWN(mac_or_wwn);
    if (outcome.skipped_ids->count(mac_or_wwn) != 0) return "Skip";
    std::string own;
    dev->get_action_val(own);
    return own;
  }
  return pair.tag_val;
}

void write_device(CXmlParser& parser, CQrvlDevice* dev, const FwOutcome* outcome) {
  std::vector<dev_tag_val_pair_t> pairs;
  dev->getDeviceAttribs(pairs);
  parser.create_xml_tag("device");
  for (const dev_tag_val_pair_t& pair : pairs) {
    if (pair.val_type == DEV_VAL_TYPE_DEVICE) parser.create_child_tag(pair.tag_desc, pair.tag_val);
  }
  parser.create_child_tag("slotnumber value", kSlotNumber);
  parser.create_xml_tag("fw_item");
  parser.create_child_tag("type value", kFwItemType);
  for (const dev_tag_val_pair_t& pair : pairs) {
    if (pair.val_type != DEV_VAL_TYPE_FW) continue;
    parser.create_child_tag(pair.tag_desc,
                            outcome ? outcome_value(pair, dev, *outcome) : pair.tag_val);
  }
  parser.close_xml_tag();
  parser.close_xml_tag();
}

bool write_document(const std::string& file_name, std::vector<CQrvlDevice*>& dev_list,
                    const FwOutcome* outcome) {
  AtomicOutput out;
  {
    CXmlParser parser(file_name);
    open_document(parser, out, file_name);
    write_header(parser);
    if (outcome == nullptr) {
      snprintf(gLogBuf, sizeof gLogBuf, "File Name : %s\nNumber of Devices : %d\nDevList:\n",
               file_name.c_str(), static_cast<int>(dev_list.size()));
      log_buf(LOG_INFO);
    }
    parser.create_xml_tag("devices");
    for (size_t i = 0; i < dev_list.size(); ++i) {
      CQrvlDevice* dev = dev_list[i];
      if (dev == nullptr) {
        snprintf(gLogBuf, sizeof gLogBuf, "DeviceListVector[%d]-NOT A Valid object\n",
                 static_cast<int>(i));
        log_buf(LOG_ERROR);
        continue;
      }
      if (outcome == nullptr) VXINS_LOG_TRACE(LOG_INFO, "**********************************\n");
      snprintf(gLogBuf, sizeof gLogBuf, "********Device[%d]****************\n",
               static_cast<int>(i));
      log_buf(LOG_INFO);
      if (outcome == nullptr) VXINS_LOG_TRACE(LOG_INFO, "MY MAPPED VALUES ARE\n");
      write_device(parser, dev, outcome);
    }
    parser.close_xml_tag();
    parser.close_xml_tag();
    parser.close_all_xml_tags();
    bool failed = parser.write_failed();
    int err = parser.write_errno();
    parser.release_XML_stream();
    return out.commit(failed, err);
  }
}

struct DevTag {
  const char* tag;
  std::string dev_char_t::*field;
};

struct FwTag {
  const char* tag;
  std::string fw_det_t::*field;
};

const DevTag kDeviceTags[] = {
    {"device_id value", &dev_char_t::dev_desc},   {"type value", &dev_char_t::dev_type},
    {"venid value", &dev_char_t::ven_id},          {"devid value", &dev_char_t::dev_id},
    {"subvenid value", &dev_char_t::sub_ven_id},   {"subdevid value", &dev_char_t::sub_dev_id},
    {"product_id value", &dev_char_t::prod_id},    {"busnumber value", &dev_char_t::bus_num},
    {"devicenumber value", &dev_char_t::dev_num},  {"funcnumber value", &dev_char_t::fn_num},
    {"slotnumber value", &dev_char_t::slot_num},   {"macaddress value", &dev_char_t::mac_or_wwn},
};

const FwTag kFwTags[] = {
    {"firmware_id value", &fw_det_t::fw_id},
    {"version value", &fw_det_t::fw_version},
    {"firmware_file value", &fw_det_t::fw_file},
    {"active_version value", &fw_det_t::active_version},
    {"action value", &fw_det_t::action},
    {"action_status value", &fw_det_t::action_st},
    {"duration value", &fw_det_t::duration},
    {"message value", &fw_det_t::msg},
    {"shared value", &fw_det_t::shared_val},
};

struct ActionWord {
  const char* text;
  fw_action_status_t value;
};

// Only these exact spellings are understood; anything else leaves the action code alone.
const ActionWord kActionWords[] = {
    {"Upgrade", FW_STATUS_UPGRADE},     {"upgrade", FW_STATUS_UPGRADE},
    {"Downgrade", FW_STATUS_DOWNGRADE}, {"downgrade", FW_STATUS_DOWNGRADE},
    {"Rewrite", FW_STATUS_REWRITE},     {"rewrite", FW_STATUS_REWRITE},
    {"FW mismatch", FW_STATUS_MISMATCH}, {"fw mismatch", FW_STATUS_MISMATCH},
    {"Skip", FW_STATUS_SKIP},           {"skip", FW_STATUS_SKIP},
};

}  // namespace

bool write_to_xmlfile(std::string file_name, std::vector<CQrvlDevice*>& dev_list) {
  return write_document(file_name, dev_list, nullptr);
}

bool modify_and_write_to_xmlfile(std::string file_name, std::vector<CQrvlDevice*>& dev_list,
                                 int act_status_val, std::string old_fw_ver_val,
                                 std::string old_fw_file_name, std::string old_active_ver_val,
                                 const std::set<std::string>& skipped_ids) {
  FwOutcome outcome;
  if (act_status_val == 1) {
    outcome.action_status = "1";
  } else if (act_status_val != -1) {
    char num[16];
    snprintf(num, sizeof num, "%d", act_status_val);
    outcome.action_status = num;
  }
  outcome.fw_ver = old_fw_ver_val;
  outcome.fw_file = old_fw_file_name;
  outcome.active_ver = old_active_ver_val;
  outcome.skipped_ids = &skipped_ids;
  if (write_document(file_name, dev_list, &outcome)) return true;
  // The file the host passed in still reports an earlier call's outcome; left in place it would
  // claim one this call did not have.
  if (!file_name.empty()) delete_file_if_exists(&file_name[0]);
  return false;
}

namespace {

const char* const kElementMarkers[] = {"<device>", "</device>", "<fw_item>", "</fw_item>"};

// The element names of the leaves the reader fills, by section. "type" stands in both: the
// device section's fills the port type; the firmware section's is the fixed "ROM" leaf, which
// nothing reads.
template <typename Table>
bool names_leaf(const Table& table, const std::string& name) {
  for (const auto& entry : table) {
    const char* tag = entry.tag;
    size_t len = strlen(tag) - strlen(" value");
    if (name.size() == len && name.compare(0, len, tag, len) == 0) return true;
  }
  return false;
}

bool is_filled_leaf(const std::string& name) {
  return names_leaf(kDeviceTags, name) || names_leaf(kFwTags, name);
}

// A line holding "<device>", "<fw_item>" or their end tags is a marker line: the reader takes
// nothing else from it, so a leaf it fills must not hide there.
bool hides_leaf_on_marker_line(const std::string& line, std::string& why) {
  bool marker = false;
  for (const char* m : kElementMarkers) marker = marker || line.find(m) != std::string::npos;
  if (!marker) return false;
  for (const XmlTag& tag : xml_scan_line(line).tags) {
    if (tag.kind == XmlTag::kStart && is_filled_leaf(tag.name)) {
      why = "the " + tag.name + " leaf shares its line with a device or fw_item tag";
      return true;
    }
  }
  return false;
}

void log_refusal(const std::string& file_name, size_t line_no, unsigned int device,
                 const std::string& why, std::string* refusal) {
  std::string where = "line " + std::to_string(line_no);
  if (device != 0) where += " (device " + std::to_string(device) + ")";
  snprintf(gLogBuf, sizeof gLogBuf, "Discovery file %s %s: %s", file_name.c_str(), where.c_str(),
           why.c_str());
  VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
  if (refusal != nullptr) *refusal = where + ": " + why;
}

}  // namespace

int read_from_xmlfile(std::string file_name, std::vector<CQrvlDevice*>& dev_list_vector,
                      std::string* refusal) {
  CXmlParser parser(file_name);
  parser.read_XML_file();  // an unreadable file simply has no device elements
  if (!parser.read_fault().empty()) {
    log_refusal(file_name, parser.read_fault_line(), 0, parser.read_fault(), refusal);
    return INTERNAL_OPER_FAILED;
  }
  const std::vector<std::string>& lines = parser.lines();
  for (size_t n = 0; n < lines.size(); ++n) {
    std::string why;
    if (hides_leaf_on_marker_line(lines[n], why)) {
      log_refusal(file_name, n + 1, 0, why, refusal);
      return INTERNAL_OPER_FAILED;
    }
  }
  unsigned int count = 0;
  int rc = parser.get_number_of_tags("device", count);
  if (rc != 0) {
    VXINS_LOG_TRACE(LOG_ERROR, "get_number_of_tags failed\n<-- read_xmlfile().");
    return rc;
  }
  std::vector<std::string> dev_lines;
  std::vector<std::string> fw_lines;
  std::vector<size_t> line_nos;
  std::vector<size_t> fw_line_nos;
  for (unsigned int k = 1; k <= count; ++k) {
    std::unique_ptr<CQrvlDevice> dev(new CQrvlDevice());
    parser.get_device_xml_strings(dev_lines, fw_lines, k, &line_nos, &fw_line_nos);
    xml_leaf_fault_t fault;
    if (dev->SetXMLTagPair(dev_lines, fw_lines, &fault) != 0) {
      line_nos.insert(line_nos.end(), fw_line_nos.begin(), fw_line_nos.end());
      size_t line_no = fault.line_index < line_nos.size() ? line_nos[fault.line_index] : 0;
      log_refusal(file_name, line_no, k, fault.why, refusal);
      return INTERNAL_OPER_FAILED;
    }
    dev->DisplayDeviceAttribs();
    dev_list_vector.push_back(dev.get());
    dev.release();
    dev_lines.clear();
    fw_lines.clear();
    line_nos.clear();
    fw_line_nos.clear();
  }
  return 0;
}

namespace {

// What one line of a device element holds for the reader.
struct LeafLine {
  enum Kind { kNotALeaf, kLeaf, kUnreadable } kind = kNotALeaf;
  std::string name;
  std::string value;
  std::string why;
};

// Looks at the tags of one line of a section. A leaf the reader fills must stand alone on its
// line as <name value="..."/> (or with its end tag right after the start tag), in any spelling
// XML allows; anything else holding such a leaf cannot be read without guessing.
template <typename Table, typename OtherTable>
LeafLine classify_line(const std::string& line, const Table& own, const OtherTable& other,
                       const char* other_section) {
  LeafLine out;
  XmlLineMarkup markup = xml_scan_line(line);
  const XmlTag* leaf = nullptr;
  for (const XmlTag& tag : markup.tags) {
    if (tag.kind != XmlTag::kStart) continue;
    if (names_leaf(own, tag.name)) {
      if (leaf != nullptr) {
        out.kind = LeafLine::kUnreadable;
        out.why = "the " + leaf->name + " and " + tag.name + " leaves share a line";
        return out;
      }
      leaf = &tag;
    } else if (names_leaf(other, tag.name) && tag.name != "type") {
      out.kind = LeafLine::kUnreadable;
      out.why = "the " + tag.name + " leaf stands outside its " + other_section + " section";
      return out;
    }
  }
  if (leaf == nullptr) return out;
  out.name = leaf->name;
  out.kind = LeafLine::kUnreadable;
  const std::string prefix = "the " + leaf->name + " leaf cannot be read: ";
  if (!leaf->complete) {
    out.why = prefix + leaf->problem;
    return out;
  }
  if (leaf->attributes.size() != 1 || leaf->attributes[0].first != "value") {
    out.why = prefix + (leaf->attributes.empty() ? std::string("it has no value attribute")
                                                 : "it has an attribute other than value");
    return out;
  }
  const size_t at = static_cast<size_t>(leaf - markup.tags.data());
  const size_t tags_after = markup.tags.size() - at - 1;
  bool own_end_follows = tags_after >= 1 && !leaf->empty_element &&
                         markup.tags[at + 1].kind == XmlTag::kEnd &&
                         markup.tags[at + 1].complete && markup.tags[at + 1].name == leaf->name &&
                         !markup.tags[at + 1].text_before;
  if (markup.tags.size() != 1 + (own_end_follows ? 1 : 0)) {
    out.why = prefix + (!leaf->empty_element && !own_end_follows
                            ? "its element does not end on its line"
                            : "it shares its line with other markup");
    return out;
  }
  out.kind = LeafLine::kLeaf;
  out.value = leaf->attributes[0].second;
  return out;
}

// Reads the leaves of one section into the record; false with the fault filled at the first
// line that cannot be read or repeats a leaf.
template <typename Table, typename OtherTable, typename Store>
bool read_section(const std::vector<std::string>& lines, size_t first_index, const Table& own,
                  const OtherTable& other, const char* other_section,
                  const char* unknown_line, xml_leaf_fault_t* fault, Store store) {
  std::vector<std::string> seen;
  for (size_t n = 0; n < lines.size(); ++n) {
    // The positions the line split finds are traced as they always were.
    std::string unused_tag, unused_val;
    xml_split_tag_value(lines[n], unused_tag, unused_val, gLogBuf, sizeof gLogBuf);
    LeafLine leaf = classify_line(lines[n], own, other, other_section);
    if (leaf.kind == LeafLine::kLeaf &&
        std::find(seen.begin(), seen.end(), leaf.name) != seen.end()) {
      leaf.kind = LeafLine::kUnreadable;
      leaf.why = "the " + leaf.name + " leaf comes twice in one device";
    }
    if (leaf.kind == LeafLine::kUnreadable) {
      if (fault != nullptr) {
        fault->line_index = first_index + n;
        fault->why = leaf.why;
      }
      return false;
    }
    if (leaf.kind == LeafLine::kNotALeaf) {
      VXINS_LOG_TRACE(LOG_ERROR, unknown_line);
      continue;
    }
    seen.push_back(leaf.name);
    store(leaf.name + " value", leaf.value);
  }
  return true;
}

}  // namespace

int CQrvlDevice::SetXMLTagPair(std::vector<std::string> dev_char_in_xml_fmt,
                               std::vector<std::string> dev_fw_info_in_xml_fmt,
                               xml_leaf_fault_t* fault) {
  bool ok = read_section(dev_char_in_xml_fmt, 0, kDeviceTags, kFwTags, "firmware",
                         "ERROR:DEV Unknown Tag\n", fault,
                         [this](const std::string& tag, const std::string& val) {
                           for (const DevTag& entry : kDeviceTags) {
                             if (tag == entry.tag) m_dev_info.*entry.field = val;
                           }
                         });
  if (!ok) return INTERNAL_OPER_FAILED;
  ok = read_section(dev_fw_info_in_xml_fmt, dev_char_in_xml_fmt.size(), kFwTags, kDeviceTags,
                    "device", "FW ERROR:Unknown Tag\n", fault,
                    [this](const std::string& tag, const std::string& val) {
                      for (const FwTag& entry : kFwTags) {
                        if (tag == entry.tag) m_dev_info.fw_dev.*entry.field = val;
                      }
                      if (tag == "active_version value") m_fw_version_str = val;
                      if (tag != "action value") return;
                      for (const ActionWord& word : kActionWords) {
                        if (val == word.text) {
                          m_fw_action_value = word.value;
                          if (word.value == FW_STATUS_SKIP) m_baction_skip = true;
                          break;
                        }
                      }
                    });
  return ok ? 0 : INTERNAL_OPER_FAILED;
}
