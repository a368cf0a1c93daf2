// The device record: one adapter function (an Ethernet, FC or FCoE port) with every discovery
// attribute, as named fields and as the ordered attribute values the discovery writer emits.
// The enumeration and the discovery-file reader create records; device lists own them.
#ifndef VXINS_INVENTORY_DEVICE_RECORD_H
#define VXINS_INVENTORY_DEVICE_RECORD_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "inventory/device_attributes.h"
#include "inventory/firmware_action.h"

namespace vxins {
namespace inventory {

// One attribute value in the order it was set: the discovery writer writes them in that order.
struct AttributeValue {
  const Attribute* attribute;
  std::string value;  // as written to the file (" " for the port type)
};

class DeviceRecord {
 public:
  DeviceRecord() = default;
  explicit DeviceRecord(std::string adapter_index) : adapter_index_(std::move(adapter_index)) {}
  DeviceRecord(const DeviceRecord&) = delete;
  DeviceRecord& operator=(const DeviceRecord&) = delete;

  // Stores the value in its field and appends it to the ordered values; an identifier with no
  // attribute (the firmware type) is logged and ignored.
  void set(VXINS_DEV_CHAR_CONSTS id, std::string value);
  // Fills the field of an attribute read back from a discovery file, without an ordered value:
  // the action also sets the action code (and the skip flag for the skip word). False when the
  // action is a word that names no action (the field is filled all the same).
  bool fill_from_file(const Attribute& attribute, const std::string& value);

  const std::vector<AttributeValue>& values() const { return values_; }
  const DeviceInfo& info() const { return info_; }
  const std::string& adapter_index() const { return adapter_index_; }
  const std::string& mac_or_wwn() const { return info_.mac_or_wwn; }
  fw_action_status_t action_code() const { return action_code_; }
  // The host set this device's action to Skip (read back from the discovery file).
  bool skipped() const { return skipped_; }

  // Logs every field, one line each, at LOG_DEBUG between entry and exit lines.
  void log_fields() const;

 private:
  std::string adapter_index_;
  std::vector<AttributeValue> values_;
  DeviceInfo info_;
  fw_action_status_t action_code_ = FW_STATUS_SKIP;
  bool skipped_ = false;
};

// A list of records; it owns them. Null entries are allowed and passed over by every user.
typedef std::vector<std::unique_ptr<DeviceRecord>> DeviceList;

}  // namespace inventory
}  // namespace vxins

#endif
