// XML character data of the discovery file's values: escaping on writing, references decoded
// on reading (see xml_text.h).
#include "xml_text.h"

#include <algorithm>

namespace vxins {
namespace discovery {

namespace {

const char kReplacementChar[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

void append_utf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes the reference whose body (between "&" and ";") is `body`. False when it is not one
// this reader knows or it names no character that can be held.
bool decode_reference(const std::string& body, std::string& out) {
  if (body == "amp") { out += '&'; return true; }
  if (body == "lt") { out += '<'; return true; }
  if (body == "gt") { out += '>'; return true; }
  if (body == "quot") { out += '"'; return true; }
  if (body == "apos") { out += '\''; return true; }
  if (body.size() < 2 || body[0] != '#') return false;
  bool hex = body[1] == 'x';
  size_t first = hex ? 2 : 1;
  if (first >= body.size()) return false;
  unsigned long cp = 0;
  for (size_t i = first; i < body.size(); ++i) {
    int d = hex ? hex_digit(body[i]) : (body[i] >= '0' && body[i] <= '9' ? body[i] - '0' : -1);
    if (d < 0) return false;
    cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(d);
    if (cp > 0x10FFFF) return false;  // also stops the sum from overflowing
  }
  // NUL cannot live in the C strings the values end up in; surrogates are not characters.
  if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  append_utf8(out, cp);
  return true;
}

}  // namespace

std::string escape_value(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char ch : value) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t': out += "&#x9;"; break;
      case '\n': out += "&#xA;"; break;
      case '\r': out += "&#xD;"; break;
      case 0x7F: out += "&#x7F;"; break;
      default:
        if (c < 0x20)
          out += kReplacementChar;
        else
          out += ch;
    }
  }
  return out;
}

std::string unescape_value(const std::string& text) {
  // The longest reference worth decoding: "&#x10FFFF;" or "&#1114111;" plus leading zeros.
  const size_t kMaxRefBody = 32;
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    // The ";" is looked for only as far as a reference can reach: searching the whole rest of
    // the value at every "&" made a value of many "&" quadratic to read.
    size_t limit = std::min(text.size(), i + 2 + kMaxRefBody);
    size_t semi = i + 1;
    while (semi < limit && text[semi] != ';') ++semi;
    if (semi < limit && decode_reference(text.substr(i + 1, semi - i - 1), out)) {
      i = semi + 1;
    } else {
      out += text[i++];  // not a reference we know: kept as it stands
    }
  }
  return out;
}

}  // namespace discovery
}  // namespace vxins
