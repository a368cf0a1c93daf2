// The device record: one adapter function (an Ethernet, FC or FCoE port) with every discovery
// attribute, both as named fields and as the ordered tag/value pairs the discovery writer
// emits. Enumeration and the discovery-file reader create records with new; device lists own
// them and only qrvl_free_device_list deletes them.
#ifndef QRVL_DEVICE_H
#define QRVL_DEVICE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef enum fw_action_status_e {
  FW_STATUS_SKIP = 0,
  FW_STATUS_UPGRADE = 1,
  FW_STATUS_DOWNGRADE = 2,
  FW_STATUS_REWRITE = 3,
  FW_STATUS_MISMATCH = 4
} fw_action_status_t;

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

// Where a pair goes in the discovery file.
enum { DEV_VAL_TYPE_HEADER = 0, DEV_VAL_TYPE_DEVICE = 1, DEV_VAL_TYPE_FW = 2 };

typedef struct dev_tag_val_pair_s {
  uint32_t val_type = 0;
  uint32_t tag_id = 0;
  std::string tag_desc;  // "<element> value", the leaf's tag string
  std::string tag_val;
} dev_tag_val_pair_t;

typedef struct hdr_info_s {
  std::string type;
  std::string alt_name;
  std::string version;
  std::string takes_effect;
} hdr_info_t;

typedef struct fw_det_s {
  std::string type;
  std::string fw_id;
  std::string fw_file;
  std::string fw_version;
  std::string active_version;
  std::string action;
  std::string action_st;
  std::string duration;
  std::string msg;
  std::string shared_val;
} fw_det_t;

typedef struct dev_char_s {
  hdr_info_t hdr;
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
  fw_det_t fw_dev;
} dev_char_t;

// Where and why SetXMLTagPair could not read a device element.
typedef struct xml_leaf_fault_s {
  size_t line_index = 0;  // into the device lines, then on into the firmware lines
  std::string why;
} xml_leaf_fault_t;

// Implemented in src/inventory (record), src/discovery (SetXMLTagPair) and src/package
// (boot_update).
class CQrvlDevice {
 public:
  CQrvlDevice();
  explicit CQrvlDevice(std::string adapt_idx);
  ~CQrvlDevice();
  CQrvlDevice(const CQrvlDevice&) = delete;
  CQrvlDevice& operator=(const CQrvlDevice&) = delete;

  void SetDeviceValue(VXINS_DEV_CHAR_CONSTS dev_attrib, std::string dev_val);
  void getDeviceAttribs(std::vector<dev_tag_val_pair_t>& dev_attribs);
  void DisplayDeviceAttribs();
  bool IsDevice(int PCIBus, int PCIDevice, int PCIFn);
  // Flashes the package onto the adapter named by mac_or_wwn (its index string) through the
  // agent; err_str (128 bytes, may be null) receives the outcome text. 0 or the agent's code.
  int boot_update(std::string mac_or_wwn, std::string fw_file, char* err_str);
  int getMacOrWWN(std::string& macorwwn);
  int get_index(std::string& adapt_idx);
  // Fills the named fields from the lines of one device element of a discovery file. 0, or
  // 1001 when a leaf it fills cannot be read, stands in the wrong section or comes twice:
  // then fault (if given) says which line (counting the device lines first) and why.
  int SetXMLTagPair(std::vector<std::string> dev_char_in_xml_fmt,
                    std::vector<std::string> dev_fw_info_in_xml_fmt,
                    xml_leaf_fault_t* fault = nullptr);
  bool IsDeviceActionSetToSkip();
  void get_firmware_file(std::string& fw_file_name);
  void get_fw_ver_val(std::string& fw_ver_val);
  void get_active_ver_val(std::string& active_ver_val);
  void get_action_val(std::string& action_val);

  // Read-only view of the named fields, for tests and diagnostics.
  const dev_char_t& info() const { return m_dev_info; }
  fw_action_status_t action_value() const { return m_fw_action_value; }
  const std::string& fw_version_str() const { return m_fw_version_str; }

 private:
  std::string m_adapt_idx;
  std::vector<dev_tag_val_pair_t> m_dev_xml_tag_val_vector;
  dev_char_t m_dev_info;
  fw_action_status_t m_fw_action_value;
  std::string m_fw_version_str;
  bool m_baction_skip;
};

typedef std::vector<CQrvlDevice*> qrvl_device_list_t;

#endif
