// Fuzz target: the discovery-file reader over arbitrary text, as the host may hand back an
// edited (or damaged) file to the flash call. No line may be handed to more than one device
// element; every accessor of every record is used, then the records are rewritten the way the
// flash call rewrites the file, and the rewrite must be well-formed and read back value for
// value (round_trip.h).
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/discovery_file.h"
#include "discovery/xml_parser.h"
#include "fuzz_support.h"
#include "qrvl_device.h"
#include "round_trip.h"

namespace {

std::string g_input;
std::string g_output;

// A record as the enumeration would build it, holding the values read back from the file.
CQrvlDevice* live_record(CQrvlDevice& from) {
  const dev_char_t& i = from.info();
  const fw_det_t& f = i.fw_dev;
  std::string index;
  from.get_index(index);
  CQrvlDevice* rec = new CQrvlDevice(index);
  rec->SetDeviceValue(DEV_CHAR_CONST_DEVICE_ID_VALUE, i.dev_desc);
  rec->SetDeviceValue(DEV_CHAR_CONST_DEVID_VALUE, i.dev_id);
  rec->SetDeviceValue(DEV_CHAR_CONST_VENID_VALUE, i.ven_id);
  rec->SetDeviceValue(DEV_CHAR_CONST_SUBDEVID_VALUE, i.sub_dev_id);
  rec->SetDeviceValue(DEV_CHAR_CONST_SUBVENID_VALUE, i.sub_ven_id);
  rec->SetDeviceValue(DEV_CHAR_CONST_PRODUCT_ID_VALUE, i.prod_id);
  rec->SetDeviceValue(DEV_CHAR_CONST_TYPE_VALUE, i.dev_type);
  rec->SetDeviceValue(DEV_CHAR_CONST_MAC_ADDR_VALUE, i.mac_or_wwn);
  rec->SetDeviceValue(DEV_CHAR_CONST_BUS_NUM_VALUE, i.bus_num);
  rec->SetDeviceValue(DEV_CHAR_CONST_DEV_NUM_VALUE, i.dev_num);
  rec->SetDeviceValue(DEV_CHAR_CONST_FUNC_NUM_VALUE, i.fn_num);
  rec->SetDeviceValue(DEV_CHAR_CONST_FW_ID_VALUE, f.fw_id);
  rec->SetDeviceValue(DEV_CHAR_CONST_FW_VERSION_VALUE, f.fw_version);
  rec->SetDeviceValue(DEV_CHAR_CONST_FW_FILE_VALUE, f.fw_file);
  rec->SetDeviceValue(DEV_CHAR_CONST_ACTIVE_VERSION_VALUE, f.active_version);
  rec->SetDeviceValue(DEV_CHAR_CONST_ACTION_VALUE, f.action);
  rec->SetDeviceValue(DEV_CHAR_CONST_ACTION_STATUS_VALUE, f.action_st);
  rec->SetDeviceValue(DEV_CHAR_CONST_DURATION_VALUE, f.duration);
  rec->SetDeviceValue(DEV_CHAR_CONST_MSG_VALUE, f.msg);
  rec->SetDeviceValue(DEV_CHAR_CONST_SHARED_VALUE, f.shared_val);
  return rec;
}

// Each line of the file is handed to at most one device element, so reading (and its trace
// log, several lines per line handed over) stays linear in the size of the file.
void check_lines_handed_out(const uint8_t* data, size_t size) {
  size_t lines = 0;
  for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
  if (size > 0 && data[size - 1] != '\n') ++lines;
  CXmlParser parser(g_input);
  parser.read_XML_file();
  unsigned int count = 0;
  parser.get_number_of_tags("device", count);
  size_t handed = 0;
  for (unsigned int k = 1; k <= count; ++k) {
    std::vector<std::string> dev, fw;
    parser.get_device_xml_strings(dev, fw, k);
    handed += dev.size() + fw.size();
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

  std::vector<CQrvlDevice*> records;
  int rc = read_from_xmlfile(g_input, records);
  if (rc != 0 && rc != 1001) vxfuzz::fail("read_from_xmlfile returned " + std::to_string(rc));
  if (rc == 1001) {  // refused: nothing to flash or rewrite
    for (CQrvlDevice* dev : records) delete dev;
    return 0;
  }

  // Every accessor the flash call uses, on every record.
  std::string text;
  for (CQrvlDevice* dev : records) {
    if (dev == nullptr) vxfuzz::fail("the reader appended a null record");
    dev->getMacOrWWN(text);
    dev->get_index(text);
    dev->get_firmware_file(text);
    dev->get_fw_ver_val(text);
    dev->get_active_ver_val(text);
    dev->get_action_val(text);
    (void)dev->IsDeviceActionSetToSkip();
    (void)dev->action_value();
    (void)dev->IsDevice(1, 2, 3);
    std::vector<dev_tag_val_pair_t> pairs;
    dev->getDeviceAttribs(pairs);
    dev->DisplayDeviceAttribs();
  }

  // The flash call's rewrite: the first record's values for the whole file, skips by identifier.
  std::vector<CQrvlDevice*> live;
  for (CQrvlDevice* dev : records) live.push_back(live_record(*dev));
  vxfuzz::Outcome outcome;
  outcome.action_status = "1";
  if (!records.empty()) {
    records[0]->get_fw_ver_val(outcome.fw_ver);
    records[0]->get_firmware_file(outcome.fw_file);
    records[0]->get_active_ver_val(outcome.active_ver);
  }
  for (CQrvlDevice* dev : records) {
    std::string mac_or_wwn;
    dev->getMacOrWWN(mac_or_wwn);
    if (dev->IsDeviceActionSetToSkip()) outcome.skipped_ids.insert(mac_or_wwn);
  }
  modify_and_write_to_xmlfile(g_output, live, 1, outcome.fw_ver, outcome.fw_file,
                              outcome.active_ver, outcome.skipped_ids);
  vxfuzz::check_discovery_file(g_output, live, &outcome);

  for (CQrvlDevice* dev : live) delete dev;
  for (CQrvlDevice* dev : records) delete dev;
  return 0;
}
