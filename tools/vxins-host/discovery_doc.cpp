// Discovery files through tinyxml2. The reading rules mirror what the plug-in's own reader
// makes of a file (last repeated leaf wins, only the first fw_item counts, a leaf counts only
// when its first attribute is "value"), so what the host shows is what a flash call will use.
#include "discovery_doc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vxhost {

namespace {

// Discovery files are a few kilobytes; anything near this is not one.
const long kMaxFileBytes = 16L * 1024 * 1024;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// Number of colon-separated two-digit hexadecimal octets, or 0 when the text is not such a list.
size_t octet_count(const std::string& id) {
  if (id.empty() || (id.size() + 1) % 3 != 0) return 0;
  for (size_t i = 0; i < id.size(); ++i) {
    bool colon_place = i % 3 == 2;
    if (colon_place ? id[i] != ':' : !isxdigit(static_cast<unsigned char>(id[i]))) return 0;
  }
  return (id.size() + 1) / 3;
}

bool parse_hex(const std::string& text, unsigned long& out) {
  if (text.empty() || text.size() > 4) return false;
  for (char c : text)
    if (!isxdigit(static_cast<unsigned char>(c))) return false;
  out = strtoul(text.c_str(), nullptr, 16);
  return true;
}

// A leaf as the plug-in sees it: the text between "<" and the first "=" is "name value".
const char* leaf_value(const tinyxml2::XMLElement* e) {
  const tinyxml2::XMLAttribute* a = e->FirstAttribute();
  if (a == nullptr || strcmp(a->Name(), "value") != 0) return nullptr;
  return a->Value();
}

// Text content has no meaning in a discovery file, and tinyxml2's printer would put the
// elements after a text node on the same line, which the plug-in's reader cannot follow.
void drop_text(tinyxml2::XMLNode* node) {
  tinyxml2::XMLNode* child = node->FirstChild();
  while (child != nullptr) {
    tinyxml2::XMLNode* next = child->NextSibling();
    if (child->ToText() != nullptr)
      node->DeleteChild(child);
    else
      drop_text(child);
    child = next;
  }
}

// tinyxml2's printer with tabs for indentation and line breaks inside attribute values written
// as character references: a raw line break would split a leaf over two lines, and the
// plug-in reads one leaf per line. Everything else is tinyxml2's own output.
class LinePrinter : public tinyxml2::XMLPrinter {
 public:
  LinePrinter() : tinyxml2::XMLPrinter(nullptr, false, 0) {}
  using tinyxml2::XMLPrinter::VisitEnter;
  bool VisitEnter(const tinyxml2::XMLElement& element,
                  const tinyxml2::XMLAttribute* attribute) override {
    in_attributes_ = true;
    bool go_on = tinyxml2::XMLPrinter::VisitEnter(element, attribute);
    in_attributes_ = false;
    return go_on;
  }

 protected:
  using tinyxml2::XMLPrinter::Write;
  void PrintSpace(int depth) override {
    for (int i = 0; i < depth; ++i) Putc('\t');
  }
  // While an element's start tag is written, only attribute values can hold these characters.
  void Write(const char* data, size_t size) override {
    if (!in_attributes_) {
      tinyxml2::XMLPrinter::Write(data, size);
      return;
    }
    size_t run = 0;
    for (size_t i = 0; i < size; ++i) {
      const char* ref = data[i] == '\n'   ? "&#xA;"
                        : data[i] == '\r' ? "&#xD;"
                        : data[i] == '\t' ? "&#x9;"
                                          : nullptr;
      if (ref == nullptr) continue;
      if (i > run) tinyxml2::XMLPrinter::Write(data + run, i - run);
      tinyxml2::XMLPrinter::Write(ref, strlen(ref));
      run = i + 1;
    }
    if (size > run) tinyxml2::XMLPrinter::Write(data + run, size - run);
  }

 private:
  bool in_attributes_ = false;
};

bool read_whole_file(const std::string& path, std::string& text, std::string& error) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) {
    error = "cannot open " + path + ": " + strerror(errno);
    return false;
  }
  text.clear();
  char buf[8192];
  size_t n;
  bool ok = true;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
    if (static_cast<long>(text.size() + n) > kMaxFileBytes) {
      error =
          path + " is larger than any discovery file (" + std::to_string(kMaxFileBytes) + " bytes)";
      ok = false;
      break;
    }
    text.append(buf, n);
  }
  if (ok && ferror(f)) {
    error = "cannot read " + path + ": " + strerror(errno);
    ok = false;
  }
  fclose(f);
  return ok;
}

}  // namespace

std::string id_kind(const std::string& mac_or_wwn) {
  switch (octet_count(mac_or_wwn)) {
    case 6:
      return "MAC";
    case 8:
      return "WWN";
    default:
      return "unknown";
  }
}

std::string device_type(const FileDevice& dev) {
  switch (octet_count(dev.mac_or_wwn)) {
    case 6:
      return "Eth";
    case 8:
      return dev.product.find("Converged Network Adapter") != std::string::npos ? "FCoE" : "FC";
    default:
      return "?";
  }
}

std::string pci_address(const FileDevice& dev) {
  unsigned long b, d, f;
  if (parse_hex(dev.bus, b) && parse_hex(dev.device, d) && parse_hex(dev.function, f)) {
    char buf[32];
    snprintf(buf, sizeof buf, "%02lx:%02lx.%lx", b, d, f);
    return buf;
  }
  return dev.bus + ":" + dev.device + "." + dev.function;
}

bool canonical_action(const std::string& word, std::string& canonical) {
  static const char* const kWords[] = {"Skip", "Upgrade", "Downgrade", "Rewrite"};
  for (const char* w : kWords) {
    if (lower(word) == lower(w)) {
      canonical = w;
      return true;
    }
  }
  return false;
}

DiscoveryDoc::DiscoveryDoc() : doc_(new tinyxml2::XMLDocument()) {}
DiscoveryDoc::~DiscoveryDoc() = default;

bool DiscoveryDoc::load(const std::string& path, std::string& error) {
  devices_.clear();
  elements_.clear();
  doc_->Clear();
  std::string text;
  if (!read_whole_file(path, text, error)) return false;
  if (doc_->Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
    error = path + " is not well-formed XML: " + (doc_->ErrorStr() ? doc_->ErrorStr() : "?");
    return false;
  }
  tinyxml2::XMLElement* root = doc_->RootElement();
  if (root == nullptr || strcmp(root->Name(), "vx_rom_discovery") != 0) {
    error = path + " is not a discovery file: its root element is not vx_rom_discovery";
    return false;
  }
  if (root->FirstChildElement("devices") == nullptr) {
    error = path + " is not a discovery file: it has no devices element";
    return false;
  }
  drop_text(doc_.get());
  collect_devices();
  return true;
}

void DiscoveryDoc::collect_devices() {
  devices_.clear();
  elements_.clear();
  tinyxml2::XMLElement* list = doc_->RootElement()->FirstChildElement("devices");
  for (tinyxml2::XMLElement* d = list->FirstChildElement("device"); d != nullptr;
       d = d->NextSiblingElement("device")) {
    FileDevice dev;
    for (const tinyxml2::XMLElement* leaf = d->FirstChildElement(); leaf != nullptr;
         leaf = leaf->NextSiblingElement()) {
      const char* v = leaf_value(leaf);
      if (v == nullptr) continue;
      const std::string name = leaf->Name();
      if (name == "macaddress")
        dev.mac_or_wwn = v;
      else if (name == "busnumber")
        dev.bus = v;
      else if (name == "devicenumber")
        dev.device = v;
      else if (name == "funcnumber")
        dev.function = v;
      else if (name == "product_id")
        dev.product = v;
    }
    if (const tinyxml2::XMLElement* fw = d->FirstChildElement("fw_item")) {
      for (const tinyxml2::XMLElement* leaf = fw->FirstChildElement(); leaf != nullptr;
           leaf = leaf->NextSiblingElement()) {
        const char* v = leaf_value(leaf);
        if (v == nullptr) continue;
        const std::string name = leaf->Name();
        if (name == "version")
          dev.offered_version = v;
        else if (name == "active_version")
          dev.active_version = v;
        else if (name == "firmware_file")
          dev.firmware_file = v;
        else if (name == "action")
          dev.action = v;
        else if (name == "action_status")
          dev.action_status = v;
      }
    }
    devices_.push_back(dev);
    elements_.push_back(d);
  }
}

bool DiscoveryDoc::set_action(const std::string& action, bool all,
                              const std::vector<std::string>& ids,
                              std::vector<std::string>& changed, std::string& error) {
  changed.clear();
  std::vector<bool> chosen(devices_.size(), all);
  std::string unknown;
  for (const std::string& id : ids) {
    bool found = false;
    for (size_t i = 0; i < devices_.size(); ++i) {
      if (lower(devices_[i].mac_or_wwn) == lower(id)) {
        chosen[i] = true;
        found = true;
      }
    }
    if (!found) unknown += (unknown.empty() ? "" : ", ") + id;
  }
  if (!unknown.empty()) {
    error = "no device with MAC address or WWN " + unknown + " in the discovery file";
    return false;
  }
  for (size_t i = 0; i < devices_.size(); ++i) {
    if (!chosen[i]) continue;
    tinyxml2::XMLElement* dev = elements_[i];
    tinyxml2::XMLElement* fw = dev->FirstChildElement("fw_item");
    if (fw == nullptr) fw = dev->InsertNewChildElement("fw_item");
    // One action leaf in place of the first (the plug-in takes the last of several).
    tinyxml2::XMLElement* first = fw->FirstChildElement("action");
    tinyxml2::XMLElement* leaf = doc_->NewElement("action");
    leaf->SetAttribute("value", action.c_str());
    if (first != nullptr) {
      fw->InsertAfterChild(first, leaf);
      tinyxml2::XMLElement* e = fw->FirstChildElement("action");
      while (e != nullptr) {
        tinyxml2::XMLElement* next = e->NextSiblingElement("action");
        if (e != leaf) fw->DeleteChild(e);
        e = next;
      }
    } else {
      fw->InsertEndChild(leaf);
    }
    changed.push_back(devices_[i].mac_or_wwn);
  }
  collect_devices();
  return true;
}

std::string DiscoveryDoc::to_text() const {
  LinePrinter printer;
  doc_->Print(&printer);
  return std::string(printer.CStr(), printer.CStrSize() > 0 ? printer.CStrSize() - 1 : 0);
}

bool DiscoveryDoc::save_atomically(const std::string& path, std::string& error) const {
  // Replace the file a symbolic link points to, not the link.
  char resolved[PATH_MAX];
  std::string target = realpath(path.c_str(), resolved) != nullptr ? resolved : path;
  std::string::size_type slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string tmpl = (slash == std::string::npos ? std::string() : dir) + "." + base + ".XXXXXX";
  std::vector<char> tmp(tmpl.begin(), tmpl.end());
  tmp.push_back('\0');

  int fd = mkstemp(tmp.data());
  if (fd < 0) {
    error = "cannot create a temporary file beside " + target + ": " + strerror(errno);
    return false;
  }
  struct stat st;
  mode_t mode = 0644;
  if (stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;
  std::string text = to_text();
  const char* p = text.data();
  size_t left = text.size();
  bool ok = true;
  while (ok && left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "cannot write " + std::string(tmp.data()) + ": " + strerror(errno);
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (ok && fchmod(fd, mode) != 0) {
    error = "cannot set the permissions of " + std::string(tmp.data()) + ": " + strerror(errno);
    ok = false;
  }
  if (ok && fsync(fd) != 0) {
    error = "cannot sync " + std::string(tmp.data()) + ": " + strerror(errno);
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    error = "cannot close " + std::string(tmp.data()) + ": " + strerror(errno);
    ok = false;
  }
  if (ok && rename(tmp.data(), target.c_str()) != 0) {
    error = "cannot replace " + target + ": " + strerror(errno);
    ok = false;
  }
  if (!ok) unlink(tmp.data());
  return ok;
}

}  // namespace vxhost
