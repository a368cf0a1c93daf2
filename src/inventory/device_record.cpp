// The device record: the setter, the file reader's filler and the dump all go through the
// attribute table.
#include "inventory/device_record.h"

#include "log/log.h"
#include "vxins_trace.h"

namespace vxins {
namespace inventory {

void DeviceRecord::set(VXINS_DEV_CHAR_CONSTS id, std::string value) {
  const Attribute* attribute = find_attribute(id);
  if (attribute == nullptr) {
    log::utility.error("%s", trace::kRecordWithoutTypeField);
    return;
  }
  values_.push_back({attribute, attribute->written_blank ? std::string(" ") : value});
  field_of(info_, *attribute) = std::move(value);
}

bool DeviceRecord::fill_from_file(const Attribute& attribute, const std::string& value) {
  field_of(info_, attribute) = value;
  if (attribute.id != DEV_CHAR_CONST_ACTION_VALUE) return true;
  // An empty action leaves the code as it is: a framework may blank what it does not set.
  ActionWord word = read_action_word(value, action_code_);
  if (word == ActionWord::kAction && action_code_ == FW_STATUS_SKIP) skipped_ = true;
  return word != ActionWord::kUnknownWord;
}

void DeviceRecord::log_fields() const {
  log::utility.debug("--> DisplayDeviceAttribs()");
  size_t count = 0;
  const Attribute* table = attributes(&count);
  bool first = true;
  for (size_t i = 0; i < count; ++i) {
    if (table[i].label == nullptr) continue;
    // The first line keeps its historical trailing newline (an empty line follows it).
    log::utility.debug(first ? "%s:%s\n" : "%s:%s", table[i].label,
                       field_of(info_, table[i]).c_str());
    first = false;
  }
  log::utility.debug("<-- DisplayDeviceAttribs()");
}

}  // namespace inventory
}  // namespace vxins
