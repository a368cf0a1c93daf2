// The values of the discovery file as XML character data: escaped on writing so that any text
// stays well-formed, references decoded on reading. Used by the XML writer and line scanner;
// pure functions, linear in the text.
#ifndef VXINS_DISCOVERY_XML_TEXT_H
#define VXINS_DISCOVERY_XML_TEXT_H

#include <string>

namespace vxins {
namespace discovery {

// & < > " ' become the five named entities; tab, line feed, carriage return and DEL become
// &#x9; &#xA; &#xD; &#x7F;. The other control bytes (0x00-0x1F but those three) cannot appear
// in an XML 1.0 document at all, not even as references, so each is written as U+FFFD: the file
// stays well-formed for any parser, at the price of not reading those bytes back.
std::string escape_value(const std::string& value);
// Undoes escape_value: the five named entities and decimal/hexadecimal character references
// (as UTF-8). A reference that is unknown, malformed, zero, a surrogate or beyond U+10FFFF is
// kept as it stands; the ";" of a reference is looked for only as far as a reference can reach.
std::string unescape_value(const std::string& text);

}  // namespace discovery
}  // namespace vxins

#endif
