// The line scanner of the discovery-file reader: finds every tag of one line as XML spells it,
// and traces where a leaf line's markers stand. Used by the XML reader and the discovery
// reader; linear in the line, never throws.
#ifndef VXINS_DISCOVERY_XML_SCAN_H
#define VXINS_DISCOVERY_XML_SCAN_H

#include <string>
#include <utility>
#include <vector>

namespace vxins {
namespace discovery {

// One piece of markup on a line: a start tag with its attributes (values decoded, either quote,
// blanks and tabs allowed wherever XML allows them), an end tag, or anything else ("<?...?>",
// "<!...>"). A tag that does not end on its line, or breaks the XML rules for tags, is kept with
// complete false and the reason in problem.
struct XmlTag {
  enum Kind { kStart, kEnd, kOther };
  Kind kind = kOther;
  std::string name;
  bool complete = false;
  bool empty_element = false;  // ends in "/>"
  bool text_before = false;    // character data other than blanks since the previous tag
  std::vector<std::pair<std::string, std::string>> attributes;
  // Per attribute: where its value stands on the line, between the quotes, as written (before
  // its references are decoded): [first, second).
  std::vector<std::pair<size_t, size_t>> value_spans;
  std::string problem;
};

// Every tag of one line, in order. text_after is true when character data other than blanks
// follows the last tag (or fills a line without tags).
struct XmlLineMarkup {
  std::vector<XmlTag> tags;
  bool text_after = false;
};
XmlLineMarkup scan_line(const std::string& line);

// Logs, at LOG_INFO, the positions of the first "<", the first "=" after it, and the double
// quotes after that, each only when found: the trace the reader has always left for every line
// of a device element.
void log_split_positions(const std::string& line);

}  // namespace discovery
}  // namespace vxins

#endif
