// Fuzz target: the discovery-file reader over arbitrary text, as the host may hand back an
// edited (or damaged) file to the flash call. No line may be handed to more than one device
// element; a refusal (1001) is a valid outcome; otherwise every record is dumped, then the
// records are rewritten the way the flash call rewrites the file, and the rewrite must be
// well-formed and read back value for value (round_trip.h).
#include <cstdint>
#include <string>

#include "discovery/discovery_reader.h"
#include "discovery/discovery_writer.h"
#include "discovery/xml_reader.h"
#include "fuzz_support.h"
#include "inventory/device_record.h"
#include "round_trip.h"

namespace {

using vxins::inventory::DeviceList;
using vxins::inventory::DeviceRecord;

std::string g_input;
std::string g_output;

// The attributes the enumeration sets, in its order (never the slot number: the writer writes
// its fixed leaf).
const VXINS_DEV_CHAR_CONSTS kEnumerated[] = {
    DEV_CHAR_CONST_DEVICE_ID_VALUE,  DEV_CHAR_CONST_DEVID_VALUE,
    DEV_CHAR_CONST_VENID_VALUE,      DEV_CHAR_CONST_SUBDEVID_VALUE,
    DEV_CHAR_CONST_SUBVENID_VALUE,   DEV_CHAR_CONST_PRODUCT_ID_VALUE,
    DEV_CHAR_CONST_TYPE_VALUE,       DEV_CHAR_CONST_MAC_ADDR_VALUE,
    DEV_CHAR_CONST_BUS_NUM_VALUE,    DEV_CHAR_CONST_DEV_NUM_VALUE,
    DEV_CHAR_CONST_FUNC_NUM_VALUE,   DEV_CHAR_CONST_FW_ID_VALUE,
    DEV_CHAR_CONST_FW_VERSION_VALUE, DEV_CHAR_CONST_FW_FILE_VALUE,
    DEV_CHAR_CONST_ACTIVE_VERSION_VALUE, DEV_CHAR_CONST_ACTION_VALUE,
    DEV_CHAR_CONST_ACTION_STATUS_VALUE,  DEV_CHAR_CONST_DURATION_VALUE,
    DEV_CHAR_CONST_MSG_VALUE,        DEV_CHAR_CONST_SHARED_VALUE};

// A record as the enumeration would build it, holding the values read back from the file.
std::unique_ptr<DeviceRecord> live_record(const DeviceRecord& from) {
  std::unique_ptr<DeviceRecord> rec(new DeviceRecord(from.adapter_index()));
  for (VXINS_DEV_CHAR_CONSTS id : kEnumerated)
    rec->set(id, vxins::inventory::field_of(from.info(), *vxins::inventory::find_attribute(id)));
  return rec;
}

// Each line of the file is handed to at most one device element, so reading (and its trace
// log, several lines per line handed over) stays linear in the size of the file.
void check_lines_handed_out(const uint8_t* data, size_t size) {
  size_t lines = 0;
  for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
  if (size > 0 && data[size - 1] != '\n') ++lines;
  vxins::discovery::XmlLines xml;
  xml.parse(std::string(reinterpret_cast<const char*>(data), size));
  const unsigned int count = xml.count_devices();
  size_t handed = 0;
  for (unsigned int k = 1; k <= count; ++k) {
    vxins::discovery::ElementLines element;
    xml.device_lines(k, element);
    handed += element.device.size() + element.firmware.size();
  }
  if (handed > lines) {
    vxfuzz::fail(std::to_string(handed) + " lines handed to " + std::to_string(count) +
                 " device elements from a file of " + std::to_string(lines) + " lines");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vxfuzz::init();
  g_input = vxfuzz::scratch("discovery.xml");
  g_output = vxfuzz::scratch("rewritten.xml");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vxfuzz::write_bytes(g_input, data, size);

  check_lines_handed_out(data, size);

  DeviceList records;
  int rc = vxins::discovery::read_discovery_file(g_input, records);
  if (rc != 0 && rc != 1001) vxfuzz::fail("read_discovery_file returned " + std::to_string(rc));
  if (rc == 1001) return 0;  // refused: nothing to flash or rewrite

  for (const auto& dev : records) {
    if (dev == nullptr) vxfuzz::fail("the reader appended a null record");
    dev->log_fields();
  }

  // The flash call's rewrite: the first record's package for the whole file, skips by
  // identifier; every device was in the file.
  DeviceList live;
  for (const auto& dev : records) live.push_back(live_record(*dev));
  vxins::discovery::RewriteValues rewrite;
  rewrite.outcome = vxins::discovery::FlashOutcome::kSuccess;
  if (!records.empty()) {
    const vxins::inventory::FirmwareInfo& first = records[0]->info().fw_dev;
    rewrite.fw_version = first.fw_version;
    rewrite.fw_file = first.fw_file;
  }
  for (const auto& dev : records) {
    rewrite.file_ids.insert(dev->mac_or_wwn());
    if (dev->skipped()) rewrite.skipped_ids.insert(dev->mac_or_wwn());
  }
  if (!vxins::discovery::rewrite_discovery_file(g_output, live, rewrite))
    vxfuzz::fail("the rewrite was not written");
  vxfuzz::check_discovery_file(g_output, live, &rewrite);
  return 0;
}
