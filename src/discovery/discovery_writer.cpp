// Which leaves go where in the discovery file; the layout itself is the XML writer's.
#include "discovery/discovery_writer.h"

#include "atomic_output.h"
#include "xml_writer.h"
#include "log/log.h"
#include "vxins_log.h"

namespace vxins {
namespace discovery {

namespace {

using inventory::AttributeValue;
using inventory::DeviceList;
using inventory::DeviceRecord;
using inventory::Section;

const char kDiscoveryVersion[] = "2.0.0.0";
const char kSlotNumber[] = "FFFFFFFF";
const char kFwItemType[] = "ROM";

const char* status_text(FlashOutcome outcome) {
  switch (outcome) {
    case FlashOutcome::kSuccess:
      return "1";
    case FlashOutcome::kPackageMismatch:
      return "8";
    default:
      return "";
  }
}

void write_header(XmlWriter& xml) {
  xml.start_element("vx_rom_discovery", "version", kDiscoveryVersion);
  xml.leaf("type value", " ");
  xml.leaf("alt_name value", " ");
  xml.leaf("version value", " ");
  xml.leaf("takes_effect value", "deferred");
}

bool unreviewed(const DeviceRecord& dev, const RewriteValues& values) {
  return values.file_ids.count(dev.mac_or_wwn()) == 0 &&
         values.tried_adapters.count(dev.adapter_index()) == 0;
}

// A firmware value as the rewrite writes it.
std::string rewritten_value(const AttributeValue& v, const DeviceRecord& dev,
                            const RewriteValues& values) {
  switch (v.attribute->id) {
    case DEV_CHAR_CONST_FW_VERSION_VALUE:
      return values.fw_version;
    case DEV_CHAR_CONST_ACTION_STATUS_VALUE:
      return unreviewed(dev, values) ? "" : status_text(values.outcome);
    case DEV_CHAR_CONST_FW_FILE_VALUE:
      return values.fw_file;
    case DEV_CHAR_CONST_ACTION_VALUE:
      // The operator's Skip stays with the device it was set on, and only with that one.
      if (values.skipped_ids.count(dev.mac_or_wwn()) != 0 || unreviewed(dev, values))
        return "Skip";
      return dev.info().fw_dev.action;
    default:
      return v.value;
  }
}

void write_device(XmlWriter& xml, const DeviceRecord& dev, const RewriteValues* rewrite) {
  xml.start_element("device");
  for (const AttributeValue& v : dev.values()) {
    if (v.attribute->section == Section::kDevice) xml.leaf(v.attribute->tag, v.value);
  }
  xml.leaf("slotnumber value", kSlotNumber);
  xml.start_element("fw_item");
  xml.leaf("type value", kFwItemType);
  for (const AttributeValue& v : dev.values()) {
    if (v.attribute->section != Section::kFirmware) continue;
    xml.leaf(v.attribute->tag, rewrite ? rewritten_value(v, dev, *rewrite) : v.value);
  }
  xml.end_element();
  xml.end_element();
}

void write_devices(XmlWriter& xml, const DeviceList& devices, const RewriteValues* rewrite) {
  xml.start_element("devices");
  for (size_t i = 0; i < devices.size(); ++i) {
    const DeviceRecord* dev = devices[i].get();
    if (dev == nullptr) {
      log::utility.error("DeviceListVector[%d]-NOT A Valid object\n", static_cast<int>(i));
      continue;
    }
    if (rewrite == nullptr) log::utility.info("**********************************\n");
    log::utility.info("********Device[%d]****************\n", static_cast<int>(i));
    if (rewrite == nullptr) log::utility.info("MY MAPPED VALUES ARE\n");
    write_device(xml, *dev, rewrite);
  }
}

bool write_document(const std::string& path, const DeviceList& devices,
                    const RewriteValues* rewrite) {
  AtomicOutput out;
  bool named = !path.empty();
  XmlWriter xml = named ? XmlWriter(out.create(path) ? out.fp() : nullptr) : XmlWriter::unnamed();
  xml.declaration();
  write_header(xml);
  if (rewrite == nullptr) {
    log::utility.info("File Name : %s\nNumber of Devices : %d\nDevList:\n", path.c_str(),
                      static_cast<int>(devices.size()));
  }
  write_devices(xml, devices, rewrite);
  xml.end_element();
  xml.end_element();
  xml.end_all_elements();
  return named && out.commit(xml.write_failed(), xml.write_errno());
}

}  // namespace

bool write_discovery_file(const std::string& path, const DeviceList& devices) {
  return write_document(path, devices, nullptr);
}

bool rewrite_discovery_file(const std::string& path, const DeviceList& devices,
                            const RewriteValues& values) {
  if (write_document(path, devices, &values)) return true;
  // The file the host passed in still reports an earlier call's outcome; left in place it would
  // claim one this call did not have.
  if (!path.empty()) {
    std::string name = path;
    delete_file_if_exists(&name[0]);
  }
  return false;
}

}  // namespace discovery
}  // namespace vxins
