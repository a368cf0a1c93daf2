// The discovery file's own XML writer and reader (see xml_parser.h). Writing puts each item on
// a line of its own after a line feed and one tab per open element; reading keeps the file as
// a list of lines and looks for literal tag strings in them.
#include "discovery/xml_parser.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vxins_log.h"

namespace {

const char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const char kRootVersionTag[] = "vx_rom_discovery version";
const size_t kRootVersionLen = 7;
const size_t kMsgBufSize = 300;
const char kReplacementChar[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

void log_error(const char* text) { VXINS_LOG_TRACE(LOG_ERROR, text); }

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

std::string xml_escape_value(const std::string& value) {
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

std::string xml_unescape_value(const std::string& text) {
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

bool xml_split_tag_value(const std::string& line, std::string& tag_name, std::string& tag_val,
                         char* log_buf, size_t log_buf_size) {
  const std::string::size_type npos = std::string::npos;
  std::string::size_type start = line.find(XML_TAG_START_STR);
  if (start != npos) {
    snprintf(log_buf, log_buf_size, "first XML_TAG_START_STR found at:%d", static_cast<int>(start));
    VXINS_LOG_TRACE(LOG_INFO, log_buf);
  }
  std::string::size_type eq = start == npos ? npos : line.find(XML_TAG_EQ_STR, start);
  if (eq != npos) {
    snprintf(log_buf, log_buf_size, "first XML_TAG_EQ_STR found at:%d", static_cast<int>(eq));
    VXINS_LOG_TRACE(LOG_INFO, log_buf);
  }
  std::string::size_type qstart = eq == npos ? npos : line.find(XML_TAG_Quote_START_STR, eq);
  if (qstart != npos) {
    snprintf(log_buf, log_buf_size, "first XML_TAG_Quote_START_STR found at:%d",
             static_cast<int>(qstart));
    VXINS_LOG_TRACE(LOG_INFO, log_buf);
  }
  std::string::size_type qend =
      qstart == npos ? npos : line.find(XML_TAG_Quote_end_STR, qstart + 1);
  if (qend != npos) {
    snprintf(log_buf, log_buf_size, "first XML_TAG_Quote_end_STR found at:%d",
             static_cast<int>(qend));
    VXINS_LOG_TRACE(LOG_INFO, log_buf);
  }
  if (start == npos || eq == npos) return false;

  std::string name = line.substr(start + 1, eq - start - 1);
  if (name == kRootVersionTag) {
    // The root's version is read at a fixed offset, as the root line is written in column 0.
    size_t offset = name.size() + 3;
    tag_val = offset <= line.size() ? line.substr(offset, kRootVersionLen) : std::string();
    tag_name = name;
    return true;
  }
  // The value begins right after '="'; a line without its closing quote has no value at all.
  if (qend == npos) return false;
  tag_name = name;
  tag_val = xml_unescape_value(line.substr(eq + 2, qend - (eq + 2)));
  return true;
}

namespace {

bool is_xml_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool ends_name(char c) {
  return is_xml_blank(c) || c == '/' || c == '>' || c == '=' || c == '<' || c == '"' || c == '\'';
}

size_t skip_blanks(const std::string& line, size_t i) {
  while (i < line.size() && is_xml_blank(line[i])) ++i;
  return i;
}

std::string read_name(const std::string& line, size_t& i) {
  size_t start = i;
  while (i < line.size() && !ends_name(line[i])) ++i;
  return line.substr(start, i - start);
}

// Reads the attributes and the end of a start tag whose name ends at i; returns the position
// after the tag, or where reading stopped when the tag is broken (tag.problem says why).
size_t read_start_tag_rest(const std::string& line, size_t i, XmlTag& tag) {
  for (;;) {
    size_t after_blanks = skip_blanks(line, i);
    bool blank_before = after_blanks > i;
    i = after_blanks;
    if (i >= line.size()) {
      tag.problem = "the tag does not end on its line";
      return i;
    }
    if (line[i] == '>') {
      tag.complete = true;
      return i + 1;
    }
    if (line[i] == '/') {
      if (i + 1 < line.size() && line[i + 1] == '>') {
        tag.complete = true;
        tag.empty_element = true;
        return i + 2;
      }
      tag.problem = "a \"/\" that does not end the tag";
      return i + 1;
    }
    if (!blank_before) {
      tag.problem = "no blank before an attribute";
      return i;
    }
    std::string attr = read_name(line, i);
    if (attr.empty()) {
      tag.problem = "an attribute without a name";
      return i;
    }
    i = skip_blanks(line, i);
    if (i >= line.size() || line[i] != '=') {
      tag.problem = "the attribute " + attr + " has no value";
      return i;
    }
    i = skip_blanks(line, i + 1);
    if (i >= line.size() || (line[i] != '"' && line[i] != '\'')) {
      tag.problem = "the value of " + attr + " is not quoted";
      return i;
    }
    const char quote = line[i];
    size_t close = line.find(quote, i + 1);
    if (close == std::string::npos) {
      tag.problem = "the value of " + attr + " does not end on its line";
      return i + 1;
    }
    std::string raw = line.substr(i + 1, close - i - 1);
    if (raw.find('<') != std::string::npos) {
      tag.problem = "the value of " + attr + " holds a \"<\"";
      return i + 1;
    }
    for (const auto& seen : tag.attributes) {
      if (seen.first == attr) {
        tag.problem = "the attribute " + attr + " comes twice";
        return close + 1;
      }
    }
    tag.attributes.emplace_back(attr, xml_unescape_value(raw));
    i = close + 1;
  }
}

}  // namespace

XmlLineMarkup xml_scan_line(const std::string& line) {
  XmlLineMarkup out;
  bool text = false;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] != '<') {
      if (!is_xml_blank(line[i])) text = true;
      ++i;
      continue;
    }
    XmlTag tag;
    tag.text_before = text;
    text = false;
    size_t next;
    if (i + 1 < line.size() && (line[i + 1] == '?' || line[i + 1] == '!')) {
      tag.kind = XmlTag::kOther;
      size_t close = line.find('>', i + 2);
      tag.complete = close != std::string::npos;
      if (!tag.complete) tag.problem = "the markup does not end on its line";
      next = tag.complete ? close + 1 : line.size();
    } else {
      bool end_tag = i + 1 < line.size() && line[i + 1] == '/';
      tag.kind = end_tag ? XmlTag::kEnd : XmlTag::kStart;
      size_t j = i + (end_tag ? 2 : 1);
      tag.name = read_name(line, j);
      if (tag.name.empty()) {
        tag.problem = "a \"<\" without a name";
        next = j;
      } else if (end_tag) {
        j = skip_blanks(line, j);
        tag.complete = j < line.size() && line[j] == '>';
        if (!tag.complete) tag.problem = "the end tag does not end where it should";
        next = tag.complete ? j + 1 : j;
      } else {
        next = read_start_tag_rest(line, j, tag);
      }
    }
    out.tags.push_back(tag);
    i = std::max(next, i + 1);
  }
  out.text_after = text;
  return out;
}

CXmlParser::CXmlParser(std::string xml_file)
    : m_binit(false),
      m_xml_discovery_fp(nullptr),
      m_level(0),
      m_fp_borrowed(false),
      m_write_failed(false),
      m_write_errno(0),
      m_lines_indexed(0),
      m_read_fault_line(0) {
  if (!xml_file.empty()) {
    m_xml_file = xml_file;
    m_binit = true;
  }
}

CXmlParser::~CXmlParser() { release_XML_stream(); }

void CXmlParser::release_XML_stream() {
  if (m_xml_discovery_fp != nullptr && !m_fp_borrowed) fclose(m_xml_discovery_fp);
  m_xml_discovery_fp = nullptr;
  m_fp_borrowed = false;
}

int CXmlParser::open_XML_file_to_write(std::string file_name) {
  if (!m_binit) {
    log_error("XML file not initialized to write");
    log_error("<--open_XML_file_to_write()");
    return XML_PARSER_FAILED;
  }
  release_XML_stream();
  m_xml_discovery_fp = fopen(file_name.c_str(), "a+");
  if (m_xml_discovery_fp == nullptr) {
    log_error("<-- Unable to open discovery file");
    return XML_PARSER_FAILED;
  }
  m_write_failed = false;
  m_write_errno = 0;
  put(kXmlDeclaration);
  return 0;
}

int CXmlParser::open_XML_stream_to_write(FILE* fp) {
  if (!m_binit) {
    log_error("XML file not initialized to write");
    log_error("<--open_XML_stream_to_write()");
    return XML_PARSER_FAILED;
  }
  release_XML_stream();
  if (fp == nullptr) {
    log_error("<-- Unable to open discovery file");
    return XML_PARSER_FAILED;
  }
  m_xml_discovery_fp = fp;
  m_fp_borrowed = true;
  m_write_failed = false;
  m_write_errno = 0;
  put(kXmlDeclaration);
  return 0;
}

bool CXmlParser::writable(const char* op_name) {
  if (m_binit) return true;
  char buf[kMsgBufSize];
  log_error("XML file not initialized to display");
  snprintf(buf, sizeof buf, "<--%s()", op_name);
  log_error(buf);
  return false;
}

// Every write goes through here: nothing is written while no stream is open (a failed open is
// not fatal to the caller), and a failed write is remembered for write_failed().
void CXmlParser::put(const char* text) {
  if (m_xml_discovery_fp == nullptr) return;
  size_t len = strlen(text);
  if (len == 0 || fwrite(text, 1, len, m_xml_discovery_fp) == len) return;
  if (!m_write_failed) m_write_errno = errno;
  m_write_failed = true;
}

void CXmlParser::put_line_start() {
  put("\n");
  for (int i = 0; i < m_level; ++i) put("\t");
}

// Pending attributes are taken from the end of the list: the last string is the name, the one
// before it the value. An unpaired first string is dropped.
void CXmlParser::put_pending_attributes() {
  while (m_text_write_file_vector.size() > 1) {
    std::string name = m_text_write_file_vector.back();
    m_text_write_file_vector.pop_back();
    std::string value = m_text_write_file_vector.back();
    m_text_write_file_vector.pop_back();
    put(" ");
    put(name.c_str());
    put("=\"");
    put(xml_escape_value(value).c_str());
    put("\"");
  }
  m_text_write_file_vector.clear();
}

void CXmlParser::add_attributes(std::string attr_val, std::string attr_name) {
  m_text_write_file_vector.push_back(attr_val);
  m_text_write_file_vector.push_back(attr_name);
}

void CXmlParser::create_xml_tag(std::string tag_name) {
  if (!writable("create_xml_tag")) return;
  put_line_start();
  put("<");
  put(tag_name.c_str());
  put_pending_attributes();
  put(">");
  m_xml_tag_stack.push(tag_name);
  ++m_level;
}

void CXmlParser::create_child_tag(std::string tag_str, std::string tag_val) {
  if (!writable("create_child_tag")) return;
  put_line_start();
  put("<");
  put(tag_str.c_str());
  put_pending_attributes();
  put("=\"");
  put(xml_escape_value(tag_val).c_str());
  put("\"/>");
}

void CXmlParser::add_xml_comment(std::string comment) {
  if (!writable("add_xml_comment")) return;
  put_line_start();
  put("<!--");
  put(comment.c_str());
  put("-->");
}

// Closing with no open element writes nothing: there is no name to close.
void CXmlParser::pop_one_tag() {
  if (m_xml_tag_stack.empty()) return;
  put("\n");
  --m_level;
  for (int i = 0; i < m_level; ++i) put("\t");
  put("</");
  put(m_xml_tag_stack.top().c_str());
  put(">");
  m_xml_tag_stack.pop();
}

void CXmlParser::close_xml_tag() {
  if (!writable("close_xml_tag")) return;
  pop_one_tag();
}

void CXmlParser::close_all_xml_tags() {
  if (!writable("close_all_xml_tags")) return;
  while (!m_xml_tag_stack.empty()) pop_one_tag();
}

// The file is read through a non-blocking descriptor and must be a regular file: a FIFO or a
// device planted under the discovery file's name must not hang the host's thread. Lines are
// split at line feeds (a carriage return stays in its line); a last line without a line feed
// counts too.
int CXmlParser::read_XML_file() {
  if (!m_binit) {
    log_error("XML_file not initialzied");
    log_error("read_XML_file()");
    return XML_PARSER_FAILED;
  }
  int fd = open(m_xml_file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) close(fd);
    log_error("XML file open failed");
    log_error("<--read_XML_file()");
    return XML_PARSER_FAILED;
  }
  const size_t first_line = m_text_file.size();
  std::string line;
  bool have_line = false;
  char chunk[8192];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of file, or a read error: keep what was read
    for (ssize_t i = 0; i < n; ++i) {
      if (chunk[i] == '\n') {
        m_text_file.push_back(line);
        line.clear();
        have_line = false;
      } else {
        line += chunk[i];
        have_line = true;
      }
    }
  }
  if (have_line) m_text_file.push_back(line);
  close(fd);
  blank_out_comments(first_line);
  return 0;
}

// A comment is replaced by nothing where it stands, so that no tag inside it counts and every
// line keeps its number. Each line is searched once, whatever the comments span.
void CXmlParser::blank_out_comments(size_t first_line) {
  bool in_comment = false;
  size_t opened_at = 0;
  for (size_t n = first_line; n < m_text_file.size(); ++n) {
    std::string& line = m_text_file[n];
    std::string kept;
    size_t i = 0;
    for (;;) {
      if (in_comment) {
        size_t close = line.find("-->", i);
        if (close == std::string::npos) break;
        in_comment = false;
        i = close + 3;
      } else {
        size_t open = line.find("<!--", i);
        if (open == std::string::npos) {
          kept.append(line, i, std::string::npos);
          break;
        }
        kept.append(line, i, open - i);
        in_comment = true;
        opened_at = n;
        i = open + 4;
      }
    }
    line.swap(kept);
  }
  if (in_comment && m_read_fault.empty()) {
    m_read_fault = "a comment is not closed";
    m_read_fault_line = opened_at + 1;
  }
}

int CXmlParser::display_XML_file() {
  if (!m_binit) {
    log_error("XML file not initialized to display");
    log_error("<--display_XML_file()");
    return XML_PARSER_FAILED;
  }
  char buf[kMsgBufSize];
  snprintf(buf, sizeof buf, "Num of Lines in XML_file is %d", static_cast<int>(m_text_file.size()));
  VXINS_LOG_TRACE(LOG_INFO, buf);
  for (const std::string& line : m_text_file) {
    snprintf(buf, sizeof buf, "Line Read is %s", line.c_str());
    VXINS_LOG_TRACE(LOG_INFO, buf);
  }
  VXINS_LOG_TRACE(LOG_INFO, "<-- display_XML_file()");
  return 0;
}

// A start line counts only when some line without the start string came before it since the
// last counted one; a line that also holds the end string does not count.
int CXmlParser::get_number_of_tags(std::string tag_name, unsigned int& count) {
  if (!m_binit) {
    log_error("XML file not initialized to display");
    log_error("<--get_number_of_tags()");
    return XML_PARSER_FAILED;
  }
  const std::string start_str = "<" + tag_name + ">";
  const std::string end_str = "</" + tag_name + ">";
  unsigned int found = 0;
  bool start_pending = false;
  bool end_pending = false;
  for (const std::string& line : m_text_file) {
    if (line.find(start_str) == std::string::npos) {
      start_pending = true;
      continue;
    }
    if (line.find(end_str) == std::string::npos) end_pending = true;
    if (start_pending && end_pending) {
      ++found;
      start_pending = false;
      end_pending = false;
    }
  }
  count = found;
  return 0;
}

// Records where the "<device>" lines are, for the lines read since the last call: each line is
// searched once, however many device elements are asked for afterwards.
void CXmlParser::index_device_lines() {
  for (; m_lines_indexed < m_text_file.size(); ++m_lines_indexed) {
    if (m_text_file[m_lines_indexed].find("<device>") != std::string::npos)
      m_device_line_pos.push_back(m_lines_indexed);
  }
}

// Position k (from 1) names the k-th line holding "<device>"; 0 or a position past the last one
// starts from the first line of the file. Lines are collected from there up to "</device>", or
// up to the next "<device>" line when the element lacks its closing line.
int CXmlParser::get_device_xml_strings(std::vector<std::string>& dev_char_in_xml_fmt,
                                       std::vector<std::string>& dev_fw_info_in_xml_fmt,
                                       unsigned int dev_pos, std::vector<size_t>* dev_line_nos,
                                       std::vector<size_t>* fw_line_nos) {
  if (!m_binit) {
    log_error("XML file not initialized to display");
    log_error("<--get_device_xml_strings()");
    return XML_PARSER_FAILED;
  }
  index_device_lines();
  size_t first = 0;
  if (dev_pos >= 1 && dev_pos <= m_device_line_pos.size()) first = m_device_line_pos[dev_pos - 1];

  bool dev_started = false;
  bool fw_started = false;
  bool fw_ended = false;
  for (size_t i = first; i < m_text_file.size(); ++i) {
    const std::string& line = m_text_file[i];
    if (line.find("</device>") != std::string::npos) break;
    if (line.find("<device>") != std::string::npos) {
      // Another element begins: the one being collected has no "</device>" line. Running on
      // would give it the values of every later device and make reading a damaged file
      // quadratic in time and in trace-log size.
      if (dev_started) break;
      dev_started = true;
    } else if (line.find("<fw_item>") != std::string::npos) {
      fw_started = true;
    } else if (line.find("</fw_item>") != std::string::npos) {
      fw_ended = true;
    } else if (dev_started) {
      bool fw = fw_started && !fw_ended;
      (fw ? dev_fw_info_in_xml_fmt : dev_char_in_xml_fmt).push_back(line);
      std::vector<size_t>* numbers = fw ? fw_line_nos : dev_line_nos;
      if (numbers != nullptr) numbers->push_back(i + 1);
    }
  }
  return 0;
}

void CXmlParser::get_string_in_tag_val_fmt(std::string line, std::string& tag_name,
                                           std::string& tag_val) {
  char buf[kMsgBufSize];
  xml_split_tag_value(line, tag_name, tag_val, buf, sizeof buf);
}
