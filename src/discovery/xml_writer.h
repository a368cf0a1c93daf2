// The discovery file's XML writer: one item per line, after a line feed and one tab per open
// element, values escaped. Used only by the discovery writer, which owns the output stream
// (the atomic replacement); it never opens, closes or throws.
#ifndef VXINS_DISCOVERY_XML_WRITER_H
#define VXINS_DISCOVERY_XML_WRITER_H

#include <cstdio>
#include <string>
#include <vector>

namespace vxins {
namespace discovery {

class XmlWriter {
 public:
  // Writes to fp, owned by the caller; a null fp (the file could not be made) writes nothing.
  explicit XmlWriter(FILE* fp);
  // A writer for a document that has no file name at all: it writes nothing, and every
  // operation logs that it cannot, as the trace has always shown such a call.
  static XmlWriter unnamed();

  // The XML declaration, with no line feed before it.
  void declaration();
  // "<name>", or "<name attribute="value">"; the element stays open.
  void start_element(const std::string& name, const char* attribute = nullptr,
                     const std::string& value = std::string());
  // An empty element from its tag string (name, a space, the attribute): <tag="value"/>.
  void leaf(const std::string& tag, const std::string& value);
  void end_element();
  void end_all_elements();

  // True once a write to the stream failed; write_errno is the first failure's errno.
  bool write_failed() const { return write_failed_; }
  int write_errno() const { return write_errno_; }

 private:
  XmlWriter(FILE* fp, bool named);
  bool writable(const char* operation) const;
  void put(const std::string& text);
  void put_line_start();
  void pop_element();

  FILE* fp_;
  bool named_;
  std::vector<std::string> open_elements_;
  bool write_failed_ = false;
  int write_errno_ = 0;
};

}  // namespace discovery
}  // namespace vxins

#endif
