// CXmlParser: the small line-oriented XML writer and reader behind the discovery file; used
// only by discovery/discovery_file.cpp. It is not a general XML parser: it writes one element
// per line and reads back by searching lines for literal tags. It never throws.
#ifndef VXINS_DISCOVERY_XML_PARSER_H
#define VXINS_DISCOVERY_XML_PARSER_H

#include <cstddef>
#include <cstdio>
#include <stack>
#include <string>
#include <utility>
#include <vector>

#define XML_TAG_START_STR "<"
#define XML_TAG_EQ_STR "="
#define XML_TAG_Quote_START_STR "\""
#define XML_TAG_Quote_end_STR "\""

enum { XML_PARSER_FAILED = 1001 };

// Attribute values are written as XML character data: & < > " ' become the five named entities,
// tab, line feed, carriage return and DEL become &#x9; &#xA; &#xD; &#x7F;. The other control
// bytes (0x00-0x1F except those three) cannot appear in an XML 1.0 document at all, not even
// as references, so each is written as U+FFFD (the replacement character): the file stays
// well-formed for any parser, at the price of not reading those bytes back.
std::string xml_escape_value(const std::string& value);
// Undoes xml_escape_value: the five named entities and decimal/hexadecimal character
// references (as UTF-8). A reference that is unknown, malformed, zero, a surrogate or beyond
// U+10FFFF is kept as it stands.
std::string xml_unescape_value(const std::string& text);

// The tag/value split of one line: the tag is the text between the first "<" and the next
// "=", the value runs from two characters after the "=" to the next double quote after the
// opening one (decoded with xml_unescape_value). For the root tag "vx_rom_discovery version"
// the value is the 7 characters at offset tag length + 3. Every position found is logged at
// LOG_INFO, formatted into log_buf. Without "<", "=" or the closing quote the outputs are left
// unchanged and false is returned.
bool xml_split_tag_value(const std::string& line, std::string& tag_name, std::string& tag_val,
                         char* log_buf, size_t log_buf_size);

// One piece of markup on a line, as xml_scan_line finds it: a start tag with its attributes
// (values decoded, either quote, blanks and tabs allowed wherever XML allows them), an end
// tag, or anything else ("<?...?>", "<!...>"). A tag that does not end on its line, or breaks
// the XML rules for tags, is kept with complete false and the reason in problem.
struct XmlTag {
  enum Kind { kStart, kEnd, kOther };
  Kind kind = kOther;
  std::string name;
  bool complete = false;
  bool empty_element = false;  // ends in "/>"
  bool text_before = false;    // character data other than blanks since the previous tag
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string problem;
};
// Every tag of one line, in order, in time linear in the line's length. text_after is true
// when character data other than blanks follows the last tag (or fills a line without tags).
struct XmlLineMarkup {
  std::vector<XmlTag> tags;
  bool text_after = false;
};
XmlLineMarkup xml_scan_line(const std::string& line);

class CXmlParserTestPeer;

class CXmlParser {
 public:
  explicit CXmlParser(std::string xml_file);
  ~CXmlParser();

  // Opens file_name in append mode ("a+") and writes the XML declaration. 0, or 1001 when the
  // object has no name or the file cannot be opened.
  int open_XML_file_to_write(std::string file_name);
  // Writes the document to a stream the caller opened and still owns (the discovery writer's
  // temporary file): writes the declaration, never closes the stream. 0, or 1001 when the
  // object has no name or fp is null.
  int open_XML_stream_to_write(FILE* fp);
  // Forgets the output stream without closing it when the caller owns it (closes it otherwise),
  // so that the caller may flush, sync and close it itself.
  void release_XML_stream();
  // True once any write to the output stream has failed.
  bool write_failed() const { return m_write_failed; }
  // errno of the first failed write, 0 when none failed.
  int write_errno() const { return m_write_errno; }

  void add_attributes(std::string attr_val, std::string attr_name);
  void create_xml_tag(std::string tag_name);
  void create_child_tag(std::string tag_str, std::string tag_val);
  void add_xml_comment(std::string comment);
  void close_xml_tag();
  void close_all_xml_tags();

  // Reads the file as lines. XML comments are blanked out where they stand (also across
  // lines, so line numbers stay those of the file): what is commented out is not content.
  // An unterminated comment is a read fault (read_fault), not a failure of this call.
  int read_XML_file();
  // Why the lines read cannot be trusted, with the 1-based line number; empty when they can.
  const std::string& read_fault() const { return m_read_fault; }
  size_t read_fault_line() const { return m_read_fault_line; }
  const std::vector<std::string>& lines() const { return m_text_file; }
  int display_XML_file();
  int get_number_of_tags(std::string tag_name, unsigned int& count);
  // dev_line_nos and fw_line_nos, when given, receive the 1-based line number of each line
  // appended to the two outputs.
  int get_device_xml_strings(std::vector<std::string>& dev_char_in_xml_fmt,
                             std::vector<std::string>& dev_fw_info_in_xml_fmt,
                             unsigned int dev_pos, std::vector<size_t>* dev_line_nos = nullptr,
                             std::vector<size_t>* fw_line_nos = nullptr);

 private:
  CXmlParser();
  CXmlParser(const CXmlParser&);
  CXmlParser& operator=(const CXmlParser&);

  friend class CXmlParserTestPeer;

  void get_string_in_tag_val_fmt(std::string line, std::string& tag_name, std::string& tag_val);

  bool writable(const char* op_name);
  void put(const char* text);
  void put_line_start();
  void put_pending_attributes();
  void pop_one_tag();
  void index_device_lines();
  void blank_out_comments(size_t first_line);

  bool m_binit;
  std::string m_xml_file;
  std::vector<std::string> m_text_file;
  std::vector<std::string> m_text_write_file_vector;
  std::stack<std::string> m_xml_tag_stack;
  FILE* m_xml_discovery_fp;
  int m_level;

  // The output stream belongs to the caller (open_XML_stream_to_write): never closed here.
  bool m_fp_borrowed;
  bool m_write_failed;
  int m_write_errno;
  // Positions in m_text_file of the lines holding "<device>", built once over the lines read
  // so far, so that each device element is found without rescanning the file.
  std::vector<size_t> m_device_line_pos;
  size_t m_lines_indexed;
  std::string m_read_fault;
  size_t m_read_fault_line;
};

#endif
