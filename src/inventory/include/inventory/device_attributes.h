// The one table of a device's attributes: for each identifier, the section of the discovery
// file it belongs to, its leaf's tag, the name it is read back and logged under, and the field
// that holds it. The record's setter, its dump, the discovery reader and the writer all iterate
// this table; nothing else maps attributes to fields.
#ifndef VXINS_INVENTORY_DEVICE_ATTRIBUTES_H
#define VXINS_INVENTORY_DEVICE_ATTRIBUTES_H

#include <cstddef>
#include <string>

typedef enum VXINS_DEV_CHAR_CONSTS {
  DEV_CHAR_CONST_DEVICE_ID_VALUE = 0,
  DEV_CHAR_CONST_VXINSLIB_VERSION_VALUE,
  DEV_CHAR_CONST_VXINSLIB_TYPE_VALUE,
  DEV_CHAR_CONST_FW_VERSION_VALUE,
  DEV_CHAR_CONST_ALTNAME_VALUE,
  DEV_CHAR_CONST_TAKES_EFFECT_VALUE,
  DEV_CHAR_CONST_TYPE_VALUE,
  DEV_CHAR_CONST_VENID_VALUE,
  DEV_CHAR_CONST_DEVID_VALUE,
  DEV_CHAR_CONST_SUBVENID_VALUE,
  DEV_CHAR_CONST_SUBDEVID_VALUE,
  DEV_CHAR_CONST_PRODUCT_ID_VALUE,
  DEV_CHAR_CONST_BUS_NUM_VALUE,
  DEV_CHAR_CONST_DEV_NUM_VALUE,
  DEV_CHAR_CONST_FUNC_NUM_VALUE,
  DEV_CHAR_CONST_SLOT_NUM_VALUE,
  DEV_CHAR_CONST_MAC_ADDR_VALUE,
  DEV_CHAR_CONST_FW_TYPE_VALUE,
  DEV_CHAR_CONST_FW_ID_VALUE,
  DEV_CHAR_CONST_FW_FILE_VALUE,
  DEV_CHAR_CONST_ACTIVE_VERSION_VALUE,
  DEV_CHAR_CONST_ACTION_VALUE,
  DEV_CHAR_CONST_ACTION_STATUS_VALUE,
  DEV_CHAR_CONST_DURATION_VALUE,
  DEV_CHAR_CONST_MSG_VALUE,
  DEV_CHAR_CONST_SHARED_VALUE
} VXINS_DEV_CHAR_CONSTS;

namespace vxins {
namespace inventory {

struct HeaderInfo {
  std::string type;
  std::string alt_name;
  std::string version;
  std::string takes_effect;
};

struct FirmwareInfo {
  std::string fw_id;
  std::string fw_file;
  std::string fw_version;
  std::string active_version;
  std::string action;
  std::string action_st;
  std::string duration;
  std::string msg;
  std::string shared_val;
};

// The named fields of a record.
struct DeviceInfo {
  HeaderInfo hdr;
  std::string dev_desc;
  std::string dev_type;
  std::string ven_id;
  std::string dev_id;
  std::string sub_ven_id;
  std::string sub_dev_id;
  std::string prod_id;
  std::string bus_num;
  std::string dev_num;
  std::string fn_num;
  std::string slot_num;
  std::string mac_or_wwn;
  FirmwareInfo fw_dev;
};

// Where an attribute goes in the discovery file: header attributes are never written (the
// writer's header leaves are fixed), the others into the device element or its fw_item.
enum class Section { kHeader, kDevice, kFirmware };

struct Attribute {
  VXINS_DEV_CHAR_CONSTS id;
  Section section;
  const char* tag;    // the written leaf's tag string: element name, a space, "value"
  // The tag string the reader fills the field from, also the field's label in the dump; null
  // for the header attributes, which are neither read nor dumped. It differs from tag only for
  // the port type, written as a blank "nictype" leaf and read from a "type" leaf.
  const char* label;
  bool written_blank;  // the leaf carries " " whatever the value
  std::string DeviceInfo::*field;
  std::string HeaderInfo::*header_field;
  std::string FirmwareInfo::*firmware_field;
};

// Every attribute, the dumped ones first in the dump's order.
const Attribute* attributes(size_t* count);
// The attribute of an identifier, or null (the firmware type has none).
const Attribute* find_attribute(VXINS_DEV_CHAR_CONSTS id);
// The attribute the reader fills from a leaf of this element name ("macaddress") in this
// section, or null.
const Attribute* find_readable(Section section, const std::string& element);
// The field of an attribute in a record's named fields.
std::string& field_of(DeviceInfo& info, const Attribute& attribute);
const std::string& field_of(const DeviceInfo& info, const Attribute& attribute);

}  // namespace inventory
}  // namespace vxins

#endif
