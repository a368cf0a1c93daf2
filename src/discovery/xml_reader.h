// The discovery file's line reader: keeps the file's text as a list of lines, with comments
// blanked out where they stand, and finds device elements by their literal tag lines. Used
// only by the discovery reader; it never touches a file, never logs and never throws.
#ifndef VXINS_DISCOVERY_XML_READER_H
#define VXINS_DISCOVERY_XML_READER_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace vxins {
namespace discovery {

// The lines of one device element, by section, with their 1-based line numbers.
struct ElementLines {
  std::vector<std::string> device;
  std::vector<std::string> firmware;
  std::vector<size_t> device_line_numbers;
  std::vector<size_t> firmware_line_numbers;
};

class XmlLines {
 public:
  // Takes the text, split at line feeds (a carriage return stays in its line; a last line
  // without a line feed counts).
  void parse(const std::string& text);

  const std::vector<std::string>& lines() const { return lines_; }
  // The offset in the text of the character at `at` of line `index` (0-based) as lines() holds
  // it, comments taken out: what an editor of the text changes to change that character.
  size_t text_offset(size_t index, size_t at) const;
  // Why the lines cannot be trusted (a comment never closed), with its 1-based line number;
  // empty when they can.
  const std::string& fault() const { return fault_; }
  size_t fault_line() const { return fault_line_; }

  // The number of "<device>" elements as the line rule counts them: a line holding "<device>"
  // (and not "</device>") counts when some line without "<device>" came before it since the
  // last counted one.
  unsigned int count_devices() const;
  // The lines of the position-th "<device>" line's element (from 1; 0 or a position past the
  // last one reads from the first line), up to "</device>", or up to the next "<device>" line
  // when the element lacks its closing line. Marker lines are not handed out.
  void device_lines(unsigned int position, ElementLines& out) const;

 private:
  void blank_out_comments();

  std::vector<std::string> lines_;
  std::vector<size_t> line_offsets_;  // where each line starts in the text
  // Per line: each comment (or its part) taken out, as (the position in the line as kept where
  // it stood, the characters taken out there), in order.
  std::vector<std::vector<std::pair<size_t, size_t>>> cuts_;
  std::vector<size_t> device_starts_;  // positions of the lines holding "<device>"
  std::string fault_;
  size_t fault_line_ = 0;
};

}  // namespace discovery
}  // namespace vxins

#endif
