// Writing the discovery file from a device list, reading it back into device records, and
// rewriting it with the outcome of a flash. The layout comes from CXmlParser; this file decides
// which leaves go where. Files are replaced atomically: the host (or a crash) never finds a
// half-written discovery file, and a failed write never costs the previous one.
#include "discovery/discovery_file.h"

#include <cstdio>
#include <memory>

#include "discovery/atomic_output.h"
#include "discovery/xml_parser.h"
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
  std::string action;  // "Skip", or empty: keep each record's own action
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
    if (outcome.action == "Skip") return outcome.action;
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

void write_document(const std::string& file_name, std::vector<CQrvlDevice*>& dev_list,
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
    out.commit(failed, err);
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

void write_to_xmlfile(std::string file_name, std::vector<CQrvlDevice*>& dev_list) {
  write_document(file_name, dev_list, nullptr);
}

void modify_and_write_to_xmlfile(std::string file_name, std::vector<CQrvlDevice*>& dev_list,
                                 int act_status_val, std::string old_fw_ver_val,
                                 std::string old_fw_file_name, std::string old_active_ver_val,
                                 std::string old_action_val) {
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
  outcome.action = old_action_val == "Skip" ? old_action_val : std::string();
  write_document(file_name, dev_list, &outcome);
}

int read_from_xmlfile(std::string file_name, std::vector<CQrvlDevice*>& dev_list_vector) {
  CXmlParser parser(file_name);
  parser.read_XML_file();  // an unreadable file simply has no device elements
  unsigned int count = 0;
  int rc = parser.get_number_of_tags("device", count);
  if (rc != 0) {
    VXINS_LOG_TRACE(LOG_ERROR, "get_number_of_tags failed\n<-- read_xmlfile().");
    return rc;
  }
  std::vector<std::string> dev_lines;
  std::vector<std::string> fw_lines;
  for (unsigned int k = 1; k <= count; ++k) {
    std::unique_ptr<CQrvlDevice> dev(new CQrvlDevice());
    parser.get_device_xml_strings(dev_lines, fw_lines, k);
    dev->SetXMLTagPair(dev_lines, fw_lines);
    dev->DisplayDeviceAttribs();
    dev_list_vector.push_back(dev.get());
    dev.release();
    dev_lines.clear();
    fw_lines.clear();
  }
  return 0;
}

void CQrvlDevice::SetXMLTagPair(std::vector<std::string> dev_char_in_xml_fmt,
                                std::vector<std::string> dev_fw_info_in_xml_fmt) {
  for (const std::string& line : dev_char_in_xml_fmt) {
    std::string tag;
    std::string val;
    xml_split_tag_value(line, tag, val, gLogBuf, sizeof gLogBuf);
    bool known = false;
    for (const DevTag& entry : kDeviceTags) {
      if (tag == entry.tag) {
        m_dev_info.*entry.field = val;
        known = true;
        break;
      }
    }
    if (!known) VXINS_LOG_TRACE(LOG_ERROR, "ERROR:DEV Unknown Tag\n");
  }
  for (const std::string& line : dev_fw_info_in_xml_fmt) {
    std::string tag;
    std::string val;
    xml_split_tag_value(line, tag, val, gLogBuf, sizeof gLogBuf);
    bool known = false;
    for (const FwTag& entry : kFwTags) {
      if (tag == entry.tag) {
        m_dev_info.fw_dev.*entry.field = val;
        known = true;
        break;
      }
    }
    if (!known) {
      VXINS_LOG_TRACE(LOG_ERROR, "FW ERROR:Unknown Tag\n");
      continue;
    }
    if (tag == "active_version value") m_fw_version_str = val;
    if (tag == "action value") {
      for (const ActionWord& word : kActionWords) {
        if (val == word.text) {
          m_fw_action_value = word.value;
          if (word.value == FW_STATUS_SKIP) m_baction_skip = true;
          break;
        }
      }
    }
  }
}
