// The XML writer (see xml_writer.h).
#include "xml_writer.h"

#include <cerrno>

#include "xml_text.h"
#include "log/log.h"

namespace vxins {
namespace discovery {

namespace {

const char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

}  // namespace

XmlWriter::XmlWriter(FILE* fp) : XmlWriter(fp, true) {}

XmlWriter::XmlWriter(FILE* fp, bool named) : fp_(fp), named_(named) {}

XmlWriter XmlWriter::unnamed() {
  log::entry.error("XML file not initialized to write");
  log::entry.error("<--open_XML_file_to_write()");
  return XmlWriter(nullptr, false);
}

bool XmlWriter::writable(const char* operation) const {
  if (named_) return true;
  log::entry.error("XML file not initialized to display");
  log::entry.error("<--%s()", operation);
  return false;
}

// Every write goes through here: nothing is written without a stream, and a failed write is
// remembered for write_failed().
void XmlWriter::put(const std::string& text) {
  if (fp_ == nullptr || text.empty()) return;
  if (fwrite(text.data(), 1, text.size(), fp_) == text.size()) return;
  if (!write_failed_) write_errno_ = errno;
  write_failed_ = true;
}

void XmlWriter::put_line_start() {
  put("\n" + std::string(open_elements_.size(), '\t'));
}

void XmlWriter::declaration() { put(kXmlDeclaration); }

void XmlWriter::start_element(const std::string& name, const char* attribute,
                              const std::string& value) {
  if (!writable("create_xml_tag")) return;
  put_line_start();
  std::string text = "<" + name;
  if (attribute != nullptr) text += std::string(" ") + attribute + "=\"" + escape_value(value) + "\"";
  put(text + ">");
  open_elements_.push_back(name);
}

void XmlWriter::leaf(const std::string& tag, const std::string& value) {
  if (!writable("create_child_tag")) return;
  put_line_start();
  put("<" + tag + "=\"" + escape_value(value) + "\"/>");
}

// Closing with no open element writes nothing: there is no name to close.
void XmlWriter::pop_element() {
  if (open_elements_.empty()) return;
  std::string name = open_elements_.back();
  open_elements_.pop_back();
  put_line_start();
  put("</" + name + ">");
}

void XmlWriter::end_element() {
  if (writable("close_xml_tag")) pop_element();
}

void XmlWriter::end_all_elements() {
  if (!writable("close_all_xml_tags")) return;
  while (!open_elements_.empty()) pop_element();
}

}  // namespace discovery
}  // namespace vxins
