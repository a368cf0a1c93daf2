// The plug-in's discovery reader run inside the host, over a private copy of the file's bytes.
#include "discovery_view.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "discovery/discovery_reader.h"
#include "discovery/xml_reader.h"
#include "discovery/xml_scan.h"
#include "files/regular_file.h"
#include "vxins_log.h"

namespace vxhost {

namespace {

using vxins::discovery::ElementLines;
using vxins::discovery::XmlLines;

// The reader traces every line it reads. Run by the host, those lines must not land in the
// plug-in's trace log, which holds exactly the last call's trace: they go nowhere meanwhile.
class TraceAside {
 public:
  TraceAside() : saved_(vxlogfname) { vxins_log_set_path("/dev/null"); }
  ~TraceAside() { vxins_log_set_path(saved_.c_str()); }
  TraceAside(const TraceAside&) = delete;
  TraceAside& operator=(const TraceAside&) = delete;

 private:
  std::string saved_;
};

// The bytes as a file the reader opens by name: an anonymous memory file, so the reader and the
// host's own line numbers see the same bytes whatever happens to the file on disk meanwhile.
class MemoryFile {
 public:
  explicit MemoryFile(const std::string& bytes) : fd_(memfd_create("vxins-discovery", MFD_CLOEXEC)) {
    if (fd_ < 0) return;
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    struct stat st;
    std::string name = "/proc/self/fd/" + std::to_string(fd_);
    if (done == bytes.size() && stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) path_ = name;
  }
  ~MemoryFile() {
    if (fd_ >= 0) close(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  // "" when the copy could not be made (no memfd_create, no /proc).
  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

// The start tag of a `name` leaf on the line, or null.
const vxins::discovery::XmlTag* leaf_tag(const vxins::discovery::XmlLineMarkup& markup,
                                         const std::string& name) {
  for (const vxins::discovery::XmlTag& tag : markup.tags)
    if (tag.kind == vxins::discovery::XmlTag::kStart && tag.name == name) return &tag;
  return nullptr;
}

// The value of the first `name` leaf among the lines, "" when none.
std::string leaf_value(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& line : lines) {
    vxins::discovery::XmlLineMarkup markup = vxins::discovery::scan_line(line);
    const vxins::discovery::XmlTag* tag = leaf_tag(markup, name);
    if (tag != nullptr) return tag->attributes.empty() ? "" : tag->attributes[0].second;
  }
  return "";
}

// The reader's "line N (device K): why" with the device's identifier added, when it has one.
std::string with_identifier(const std::string& refusal, const XmlLines& xml) {
  const std::string marker = "(device ";
  size_t at = refusal.find(marker);
  if (at == std::string::npos) return refusal;
  unsigned long k = strtoul(refusal.c_str() + at + marker.size(), nullptr, 10);
  ElementLines lines;
  xml.device_lines(static_cast<unsigned int>(k), lines);
  std::string id = leaf_value(lines.device, "macaddress");
  size_t close = refusal.find(')', at);
  if (id.empty() || close == std::string::npos) return refusal;
  return refusal.substr(0, close) + ", " + id + refusal.substr(close);
}

ViewDevice view_device(const vxins::inventory::DeviceRecord& record, int position) {
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
  return d;
}

// The action leaf's line of each device, found in the elements exactly as the reader cut them
// (the reader has made sure a device holds at most one).
void find_action_lines(const XmlLines& xml, std::vector<ViewDevice>& devices) {
  for (size_t k = 1; k <= devices.size(); ++k) {
    ElementLines lines;
    xml.device_lines(static_cast<unsigned int>(k), lines);
    for (size_t i = 0; i < lines.firmware.size(); ++i) {
      if (leaf_tag(vxins::discovery::scan_line(lines.firmware[i]), "action") != nullptr)
        devices[k - 1].action_line = lines.firmware_line_numbers[i];
    }
  }
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

ViewResult view_of_bytes(const std::string& bytes, DiscoveryView& view, std::string& error) {
  view = DiscoveryView();
  view.bytes = bytes;
  MemoryFile copy(bytes);
  if (copy.path().empty()) {
    error = "cannot hand the file to the plug-in's reader (no memory file or no /proc)";
    return ViewResult::kCannotRead;
  }
  TraceAside aside;
  XmlLines xml;
  xml.read(copy.path());
  vxins::inventory::DeviceList records;
  std::string refusal;
  if (vxins::discovery::read_discovery_file(copy.path(), records, &refusal) != 0) {
    error = with_identifier(refusal, xml);
    return ViewResult::kRefused;
  }
  for (size_t i = 0; i < records.size(); ++i)
    view.devices.push_back(view_device(*records[i], static_cast<int>(i)));
  find_action_lines(xml, view.devices);
  view.takes_effect = leaf_value(xml.lines(), "takes_effect");
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
