// The plug-in's discovery reader run inside the host, quietly, over the bytes the host read.
#include "discovery_view.h"

#include "files/regular_file.h"

namespace vxhost {

namespace {

using vxins::discovery::Refusal;

// "line N (device K, ID): why": where the reader refused the file, with the device's identifier
// when its lines hold one.
std::string refusal_text(const Refusal& r) {
  std::string where = "line " + std::to_string(r.line);
  if (r.device != 0)
    where += " (device " + std::to_string(r.device) +
             (r.device_id.empty() ? "" : ", " + r.device_id) + ")";
  return where + ": " + r.why;
}

ViewDevice view_device(const vxins::inventory::DeviceRecord& record, int position,
                       const vxins::discovery::ValueSpan& action_value) {
  const vxins::inventory::DeviceInfo& info = record.info();
  ViewDevice d;
  d.file.position = position;
  d.file.mac_or_wwn = info.mac_or_wwn;
  d.file.bus = info.bus_num;
  d.file.dev = info.dev_num;
  d.file.fn = info.fn_num;
  d.file.product = info.prod_id;
  d.file.active_version = info.fw_dev.active_version;
  d.file.offered_version = info.fw_dev.fw_version;
  d.file.action = info.fw_dev.action;
  d.file.skipped = record.skipped();
  d.firmware_file = info.fw_dev.fw_file;
  d.action_status = info.fw_dev.action_st;
  d.action_value = action_value;
  return d;
}

}  // namespace

std::vector<FileDevice> DiscoveryView::file_devices() const {
  std::vector<FileDevice> out;
  for (const ViewDevice& d : devices) out.push_back(d.file);
  return out;
}

bool DiscoveryView::rewritten_by_flash() const {
  for (const ViewDevice& d : devices)
    if (!d.action_status.empty()) return true;
  return false;
}

ViewResult view_of_bytes(const std::string& bytes, DiscoveryView& view, std::string& error,
                         Refusal* refusal) {
  view = DiscoveryView();
  view.bytes = bytes;
  vxins::inventory::DeviceList records;
  vxins::discovery::ReadReport report;
  if (vxins::discovery::read_discovery_text("", bytes, records, vxins::log::Trace::kQuiet,
                                            &report) != 0) {
    error = refusal_text(report.refusal);
    if (refusal != nullptr) *refusal = report.refusal;
    return ViewResult::kRefused;
  }
  for (size_t i = 0; i < records.size(); ++i)
    view.devices.push_back(view_device(*records[i], static_cast<int>(i), report.action_values[i]));
  view.takes_effect = report.takes_effect;
  return ViewResult::kRead;
}

ViewResult read_discovery_view(const std::string& path, DiscoveryView& view, std::string& error) {
  std::string bytes;
  vxins::files::FileFailure failure;
  if (!vxins::files::read_regular_file(path, kMaxDiscoveryFileBytes, bytes, failure)) {
    error = failure.text(path);
    return ViewResult::kCannotRead;
  }
  ViewResult result = view_of_bytes(bytes, view, error);
  if (result == ViewResult::kRefused) error = path + " " + error;
  return result;
}

}  // namespace vxhost
