// The device record: every discovery attribute of one adapter function, kept both as named
// fields (read through the accessors) and as ordered tag/value pairs (read by the discovery
// writer). boot_update lives with the package code and SetXMLTagPair with the discovery code.
#include "qrvl_device.h"

#include <cstdio>
#include <utility>

#include "vxins_log.h"

namespace {

// One row of the attribute table: where the value goes and how its pair looks.
struct attrib_row_s {
  std::string dev_char_s::*field;   // set when the row's sub-structure is the record itself
  std::string hdr_info_s::*hdr;     // set for header attributes
  std::string fw_det_s::*fw;        // set for firmware attributes
  uint32_t val_type;
  const char* tag_desc;
  bool blank_value;                 // the pair carries " " rather than the value
};

// Identifier value -> row; FW_TYPE (17) has no row and is reported as unknown.
bool lookup_attrib(int id, attrib_row_s& row) {
  row = attrib_row_s{nullptr, nullptr, nullptr, 0, nullptr, false};
  switch (id) {
    case DEV_CHAR_CONST_DEVICE_ID_VALUE:
      row.field = &dev_char_s::dev_desc; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "device_id value"; return true;
    case DEV_CHAR_CONST_VXINSLIB_VERSION_VALUE:
      row.hdr = &hdr_info_s::version; row.val_type = DEV_VAL_TYPE_HEADER;
      row.tag_desc = "version"; return true;
    case DEV_CHAR_CONST_VXINSLIB_TYPE_VALUE:
      row.hdr = &hdr_info_s::type; row.val_type = DEV_VAL_TYPE_HEADER;
      row.tag_desc = "type value"; return true;
    case DEV_CHAR_CONST_FW_VERSION_VALUE:
      row.fw = &fw_det_s::fw_version; row.val_type = DEV_VAL_TYPE_FW;
      row.tag_desc = "version value"; return true;
    case DEV_CHAR_CONST_ALTNAME_VALUE:
      row.hdr = &hdr_info_s::alt_name; row.val_type = DEV_VAL_TYPE_HEADER;
      row.tag_desc = "alt_name value"; return true;
    case DEV_CHAR_CONST_TAKES_EFFECT_VALUE:
      row.hdr = &hdr_info_s::takes_effect; row.val_type = DEV_VAL_TYPE_HEADER;
      row.tag_desc = "takes_effect value"; return true;
    case DEV_CHAR_CONST_TYPE_VALUE:
      // The port type is kept in the record, but the file's nictype element carries a blank.
      row.field = &dev_char_s::dev_type; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "nictype value"; row.blank_value = true; return true;
    case DEV_CHAR_CONST_VENID_VALUE:
      row.field = &dev_char_s::ven_id; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "venid value"; return true;
    case DEV_CHAR_CONST_DEVID_VALUE:
      row.field = &dev_char_s::dev_id; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "devid value"; return true;
    case DEV_CHAR_CONST_SUBVENID_VALUE:
      row.field = &dev_char_s::sub_ven_id; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "subvenid value"; return true;
    case DEV_CHAR_CONST_SUBDEVID_VALUE:
      row.field = &dev_char_s::sub_dev_id; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "subdevid value"; return true;
    case DEV_CHAR_CONST_PRODUCT_ID_VALUE:
      row.field = &dev_char_s::prod_id; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "product_id value"; return true;
    case DEV_CHAR_CONST_BUS_NUM_VALUE:
      row.field = &dev_char_s::bus_num; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "busnumber value"; return true;
    case DEV_CHAR_CONST_DEV_NUM_VALUE:
      row.field = &dev_char_s::dev_num; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "devicenumber value"; return true;
    case DEV_CHAR_CONST_FUNC_NUM_VALUE:
      row.field = &dev_char_s::fn_num; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "funcnumber value"; return true;
    case DEV_CHAR_CONST_SLOT_NUM_VALUE:
      row.field = &dev_char_s::slot_num; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "slotnumber value"; return true;
    case DEV_CHAR_CONST_MAC_ADDR_VALUE:
      row.field = &dev_char_s::mac_or_wwn; row.val_type = DEV_VAL_TYPE_DEVICE;
      row.tag_desc = "macaddress value"; return true;
    case DEV_CHAR_CONST_FW_ID_VALUE:
      row.fw = &fw_det_s::fw_id; row.val_type = DEV_VAL_TYPE_FW;
      row.tag_desc = "firmware_id value"; return true;
    case DEV_CHAR_CONST_FW_FILE_VALUE:
      row.fw = &fw_det_s::fw_file; row.val_type = DEV_VAL_TYPE_FW;
      row.tag_desc = "firmware_file value"; return true;
    case DEV_CHAR_CONST_ACTIVE_VERSION_VALUE:
      row.fw = &fw_det_s::active_version; row.val_type = DEV_VAL_TYPE_FW;
      row.tag_desc = "active_version value"; return true;
    case DEV_CHAR_CONST_ACTION_VALUE:
      row.fw = &fw_det_s::action; row.val_type = DEV_VAL_TYPE_FW;
      row.tag_desc = "action value"; return true;
    case DEV_CHAR_CONST_ACTION_STATUS_VALUE:
      row.fw = &fw_det_s::action_st; row.val_type = DEV_VAL_TYPE_FW;
      row.tag_desc = "action_status value"; return true;
    case DEV_CHAR_CONST_DURATION_VALUE:
      row.fw = &fw_det_s::duration; row.val_type = DEV_VAL_TYPE_FW;
      row.tag_desc = "duration value"; return true;
    case DEV_CHAR_CONST_MSG_VALUE:
      row.fw = &fw_det_s::msg; row.val_type = DEV_VAL_TYPE_FW;
      row.tag_desc = "message value"; return true;
    case DEV_CHAR_CONST_SHARED_VALUE:
      row.fw = &fw_det_s::shared_val; row.val_type = DEV_VAL_TYPE_FW;
      row.tag_desc = "shared value"; return true;
    default:
      return false;
  }
}

}  // namespace

CQrvlDevice::CQrvlDevice() : m_fw_action_value(FW_STATUS_SKIP), m_baction_skip(false) {}

CQrvlDevice::CQrvlDevice(std::string adapt_idx)
    : m_adapt_idx(std::move(adapt_idx)), m_fw_action_value(FW_STATUS_SKIP), m_baction_skip(false) {}

CQrvlDevice::~CQrvlDevice() {}

void CQrvlDevice::SetDeviceValue(VXINS_DEV_CHAR_CONSTS dev_attrib, std::string dev_val) {
  attrib_row_s row;
  if (!lookup_attrib(static_cast<int>(dev_attrib), row)) {
    VXINS_LOG_TRACE(LOG_ERROR, "DEFAULT : Unknown Dev attrib");
    return;
  }
  dev_tag_val_pair_t pair;
  pair.val_type = row.val_type;
  pair.tag_id = static_cast<uint32_t>(dev_attrib);
  pair.tag_desc = row.tag_desc;
  pair.tag_val = row.blank_value ? std::string(" ") : dev_val;

  if (row.field != nullptr) {
    m_dev_info.*(row.field) = std::move(dev_val);
  } else if (row.hdr != nullptr) {
    m_dev_info.hdr.*(row.hdr) = std::move(dev_val);
  } else {
    m_dev_info.fw_dev.*(row.fw) = std::move(dev_val);
  }
  m_dev_xml_tag_val_vector.push_back(std::move(pair));
}

void CQrvlDevice::getDeviceAttribs(std::vector<dev_tag_val_pair_t>& dev_attribs) {
  dev_attribs.insert(dev_attribs.end(), m_dev_xml_tag_val_vector.begin(),
                     m_dev_xml_tag_val_vector.end());
}

void CQrvlDevice::DisplayDeviceAttribs() {
  const dev_char_t& d = m_dev_info;
  const fw_det_t& f = d.fw_dev;
  const struct {
    const char* label;
    const std::string* value;
  } lines[] = {
      {"device_id value", &d.dev_desc},        {"type value", &d.dev_type},
      {"venid value", &d.ven_id},              {"devid value", &d.dev_id},
      {"subvenid value", &d.sub_ven_id},       {"subdevid value", &d.sub_dev_id},
      {"product_id value", &d.prod_id},        {"busnumber value", &d.bus_num},
      {"devicenumber value", &d.dev_num},      {"funcnumber value", &d.fn_num},
      {"slotnumber value", &d.slot_num},       {"macaddress value", &d.mac_or_wwn},
      {"version value", &f.fw_version},        {"firmware_id value", &f.fw_id},
      {"active_version value", &f.active_version}, {"action value", &f.action},
      {"action_status value", &f.action_st},   {"duration value", &f.duration},
      {"message value", &f.msg},               {"shared value", &f.shared_val},
      {"firmware_file value", &f.fw_file},
  };

  VXINS_LOG_TRACE(LOG_DEBUG, "--> DisplayDeviceAttribs()");
  bool first = true;
  for (const auto& line : lines) {
    // The first line keeps its historical trailing newline (an empty line follows it).
    snprintf(gLogBuf, sizeof(gLogBuf), first ? "%s:%s\n" : "%s:%s", line.label,
             line.value->c_str());
    VXINS_LOG_TRACE(LOG_DEBUG, gLogBuf);
    first = false;
  }
  VXINS_LOG_TRACE(LOG_DEBUG, "<-- DisplayDeviceAttribs()");
}

bool CQrvlDevice::IsDevice(int PCIBus, int PCIDevice, int PCIFn) {
  // Records are never matched by PCI address: flashing by address is not supported.
  (void)PCIBus;
  (void)PCIDevice;
  (void)PCIFn;
  return false;
}

int CQrvlDevice::getMacOrWWN(std::string& macorwwn) {
  macorwwn = m_dev_info.mac_or_wwn;
  return 0;
}

int CQrvlDevice::get_index(std::string& adapt_idx) {
  adapt_idx = m_adapt_idx;
  return 0;
}

bool CQrvlDevice::IsDeviceActionSetToSkip() { return m_baction_skip; }

void CQrvlDevice::get_firmware_file(std::string& fw_file_name) {
  fw_file_name = m_dev_info.fw_dev.fw_file;
}

void CQrvlDevice::get_fw_ver_val(std::string& fw_ver_val) {
  fw_ver_val = m_dev_info.fw_dev.fw_version;
}

void CQrvlDevice::get_active_ver_val(std::string& active_ver_val) {
  active_ver_val = m_dev_info.fw_dev.active_version;
}

void CQrvlDevice::get_action_val(std::string& action_val) {
  action_val = m_dev_info.fw_dev.action;
}
