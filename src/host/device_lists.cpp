#include "device_lists.h"

#include "log/log.h"

namespace vxins {
namespace host {

void log_devices(const inventory::DeviceList& devices) {
  for (size_t i = 0; i < devices.size(); ++i) {
    if (devices[i] == nullptr)
      log::utility.info("DeviceListVector[%d]-NOT A Valid object\n", static_cast<int>(i));
    else
      devices[i]->log_fields();
  }
}

void free_devices(inventory::DeviceList& devices) {
  for (const auto& dev : devices) {
    if (dev != nullptr) dev->log_fields();
  }
  devices.clear();
}

FirstDeviceValues first_device_values(const inventory::DeviceList& devices) {
  FirstDeviceValues values;
  for (size_t i = 0; i < devices.size(); ++i) {
    log::utility.info("**********Device %d*******\n", static_cast<int>(i));
    const inventory::DeviceRecord* dev = devices[i].get();
    if (dev == nullptr) continue;
    const inventory::FirmwareInfo& fw = dev->info().fw_dev;
    values.fw_version = fw.fw_version;
    values.fw_file = fw.fw_file;
    break;
  }
  return values;
}

int count_skipped(const inventory::DeviceList& devices) {
  int skipped = 0;
  for (size_t i = 0; i < devices.size(); ++i) {
    log::utility.info("**********Device %d*******\n", static_cast<int>(i));
    const inventory::DeviceRecord* dev = devices[i].get();
    if (dev == nullptr) continue;
    if (dev->skipped())
      ++skipped;
    else
      log::utility.info("Quorvel device(%d) is NOT Set with action!=SKIP", static_cast<int>(i));
  }
  return skipped;
}

std::set<std::string> skipped_identifiers(const inventory::DeviceList& devices) {
  std::set<std::string> ids;
  for (const auto& dev : devices) {
    if (dev != nullptr && dev->skipped()) ids.insert(dev->mac_or_wwn());
  }
  return ids;
}

std::set<std::string> identifiers(const inventory::DeviceList& devices) {
  std::set<std::string> ids;
  for (const auto& dev : devices) {
    if (dev != nullptr) ids.insert(dev->mac_or_wwn());
  }
  return ids;
}

}  // namespace host
}  // namespace vxins
