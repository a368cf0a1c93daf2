// The attribute table itself.
#include "inventory/device_attributes.h"

#include <cstring>

namespace vxins {
namespace inventory {

namespace {

typedef DeviceInfo D;
typedef FirmwareInfo F;
typedef HeaderInfo H;
const Section kDev = Section::kDevice;
const Section kFw = Section::kFirmware;
const Section kHdr = Section::kHeader;

// In the order of the dump; the header attributes last.
const Attribute kAttributes[] = {
    {DEV_CHAR_CONST_DEVICE_ID_VALUE, kDev, "device_id value", "device_id value", false, &D::dev_desc, nullptr, nullptr},
    {DEV_CHAR_CONST_TYPE_VALUE, kDev, "nictype value", "type value", true, &D::dev_type, nullptr, nullptr},
    {DEV_CHAR_CONST_VENID_VALUE, kDev, "venid value", "venid value", false, &D::ven_id, nullptr, nullptr},
    {DEV_CHAR_CONST_DEVID_VALUE, kDev, "devid value", "devid value", false, &D::dev_id, nullptr, nullptr},
    {DEV_CHAR_CONST_SUBVENID_VALUE, kDev, "subvenid value", "subvenid value", false, &D::sub_ven_id, nullptr, nullptr},
    {DEV_CHAR_CONST_SUBDEVID_VALUE, kDev, "subdevid value", "subdevid value", false, &D::sub_dev_id, nullptr, nullptr},
    {DEV_CHAR_CONST_PRODUCT_ID_VALUE, kDev, "product_id value", "product_id value", false, &D::prod_id, nullptr, nullptr},
    {DEV_CHAR_CONST_BUS_NUM_VALUE, kDev, "busnumber value", "busnumber value", false, &D::bus_num, nullptr, nullptr},
    {DEV_CHAR_CONST_DEV_NUM_VALUE, kDev, "devicenumber value", "devicenumber value", false, &D::dev_num, nullptr, nullptr},
    {DEV_CHAR_CONST_FUNC_NUM_VALUE, kDev, "funcnumber value", "funcnumber value", false, &D::fn_num, nullptr, nullptr},
    {DEV_CHAR_CONST_SLOT_NUM_VALUE, kDev, "slotnumber value", "slotnumber value", false, &D::slot_num, nullptr, nullptr},
    {DEV_CHAR_CONST_MAC_ADDR_VALUE, kDev, "macaddress value", "macaddress value", false, &D::mac_or_wwn, nullptr, nullptr},
    {DEV_CHAR_CONST_FW_VERSION_VALUE, kFw, "version value", "version value", false, nullptr, nullptr, &F::fw_version},
    {DEV_CHAR_CONST_FW_ID_VALUE, kFw, "firmware_id value", "firmware_id value", false, nullptr, nullptr, &F::fw_id},
    {DEV_CHAR_CONST_ACTIVE_VERSION_VALUE, kFw, "active_version value", "active_version value", false, nullptr, nullptr, &F::active_version},
    {DEV_CHAR_CONST_ACTION_VALUE, kFw, "action value", "action value", false, nullptr, nullptr, &F::action},
    {DEV_CHAR_CONST_ACTION_STATUS_VALUE, kFw, "action_status value", "action_status value", false, nullptr, nullptr, &F::action_st},
    {DEV_CHAR_CONST_DURATION_VALUE, kFw, "duration value", "duration value", false, nullptr, nullptr, &F::duration},
    {DEV_CHAR_CONST_MSG_VALUE, kFw, "message value", "message value", false, nullptr, nullptr, &F::msg},
    {DEV_CHAR_CONST_SHARED_VALUE, kFw, "shared value", "shared value", false, nullptr, nullptr, &F::shared_val},
    {DEV_CHAR_CONST_FW_FILE_VALUE, kFw, "firmware_file value", "firmware_file value", false, nullptr, nullptr, &F::fw_file},
    {DEV_CHAR_CONST_VXINSLIB_VERSION_VALUE, kHdr, "version", nullptr, false, nullptr, &H::version, nullptr},
    {DEV_CHAR_CONST_VXINSLIB_TYPE_VALUE, kHdr, "type value", nullptr, false, nullptr, &H::type, nullptr},
    {DEV_CHAR_CONST_ALTNAME_VALUE, kHdr, "alt_name value", nullptr, false, nullptr, &H::alt_name, nullptr},
    {DEV_CHAR_CONST_TAKES_EFFECT_VALUE, kHdr, "takes_effect value", nullptr, false, nullptr, &H::takes_effect, nullptr},
};

}  // namespace

const Attribute* attributes(size_t* count) {
  *count = sizeof kAttributes / sizeof kAttributes[0];
  return kAttributes;
}

const Attribute* find_attribute(VXINS_DEV_CHAR_CONSTS id) {
  for (const Attribute& a : kAttributes) {
    if (a.id == id) return &a;
  }
  return nullptr;
}

const Attribute* find_readable(Section section, const std::string& element) {
  const size_t n = element.size();
  for (const Attribute& a : kAttributes) {
    if (a.section != section || a.label == nullptr) continue;
    // The label is the element's name followed by " value".
    if (strlen(a.label) == n + 6 && memcmp(a.label, element.data(), n) == 0 &&
        strcmp(a.label + n, " value") == 0)
      return &a;
  }
  return nullptr;
}

std::string& field_of(DeviceInfo& info, const Attribute& attribute) {
  if (attribute.field != nullptr) return info.*attribute.field;
  if (attribute.header_field != nullptr) return info.hdr.*attribute.header_field;
  return info.fw_dev.*attribute.firmware_field;
}

const std::string& field_of(const DeviceInfo& info, const Attribute& attribute) {
  return field_of(const_cast<DeviceInfo&>(info), attribute);
}

}  // namespace inventory
}  // namespace vxins
