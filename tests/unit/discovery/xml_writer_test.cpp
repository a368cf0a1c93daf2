// The XML writer: its exact bytes, escaped values that any XML parser reads back, the caller's
// stream left open, and the trace of a writer that has no file name.
#include "discovery/xml_writer.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <cstdio>
#include <string>
#include <vector>

#include "log_capture.h"

namespace {

using vxins::discovery::XmlWriter;
using vxtest::LogCapture;
using vxtest::read_file;
using vxtest::TempDir;

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

void expect_well_formed(const std::string& path) {
  tinyxml2::XMLDocument doc;
  EXPECT_EQ(doc.LoadFile(path.c_str()), tinyxml2::XML_SUCCESS) << path << ": " << doc.ErrorStr();
}

// Writes a document through `write` into a new file; returns its bytes.
template <typename Write>
std::string written(const std::string& path, Write write) {
  FILE* fp = fopen(path.c_str(), "w");
  EXPECT_NE(fp, nullptr);
  if (fp == nullptr) return std::string();
  XmlWriter xml(fp);
  write(xml);
  EXPECT_FALSE(xml.write_failed());
  EXPECT_EQ(fclose(fp), 0);
  return read_file(path);
}

void every_operation(XmlWriter& xml) {
  xml.declaration();
  xml.start_element("root", "version", "2.0.0.0");
  xml.leaf("leaf value", "1");
  xml.end_element();
  xml.end_all_elements();
}

TEST(XmlWriterTest, WritesOneItemPerLineByteForByte) {
  LogCapture log;
  TempDir dir;
  const std::string path = dir.file("out.xml");
  EXPECT_EQ(written(path,
                    [](XmlWriter& xml) {
                      xml.declaration();
                      xml.start_element("vx_rom_discovery", "version", "2.0.0.0");
                      xml.leaf("type value", " ");
                      xml.start_element("devices");
                      xml.leaf("busnumber value", "5");
                      xml.leaf("action_status value", "");
                      xml.end_element();
                      xml.end_all_elements();
                    }),
            kDecl +
                "\n<vx_rom_discovery version=\"2.0.0.0\">"
                "\n\t<type value=\" \"/>"
                "\n\t<devices>"
                "\n\t\t<busnumber value=\"5\"/>"
                "\n\t\t<action_status value=\"\"/>"
                "\n\t</devices>"
                "\n</vx_rom_discovery>");
  expect_well_formed(path);
  // A document without elements is the declaration alone; closing with nothing open writes
  // nothing.
  EXPECT_EQ(written(path,
                    [](XmlWriter& xml) {
                      xml.declaration();
                      xml.end_all_elements();
                      xml.end_element();
                    }),
            kDecl);
  EXPECT_EQ(read_file(path).size(), 38u);
  EXPECT_EQ(log.text(), "");
}

// Values were written unescaped: a quote, "<" or "&" in a value broke the file for XML parsers.
TEST(XmlWriterTest, EscapesValuesSoAnyTextStaysWellFormed) {
  LogCapture log;
  TempDir dir;
  const std::string path = dir.file("esc.xml");
  const std::string nasty = "a&b<c>\"d'e\tf\ng\rh\x7f" "i";
  const std::string escaped = "a&amp;b&lt;c&gt;&quot;d&apos;e&#x9;f&#xA;g&#xD;h&#x7F;i";
  EXPECT_EQ(written(path,
                    [&](XmlWriter& xml) {
                      xml.declaration();
                      xml.start_element("root", "version", nasty);
                      xml.leaf("leaf value", nasty);
                      xml.leaf("ctl value", std::string("x\x01y\x1f" "z", 5));
                      xml.end_all_elements();
                    }),
            kDecl + "\n<root version=\"" + escaped + "\">" + "\n\t<leaf value=\"" + escaped +
                "\"/>" + "\n\t<ctl value=\"x\xEF\xBF\xBDy\xEF\xBF\xBDz\"/>" + "\n</root>");
  tinyxml2::XMLDocument doc;
  ASSERT_EQ(doc.LoadFile(path.c_str()), tinyxml2::XML_SUCCESS) << doc.ErrorStr();
  EXPECT_EQ(std::string(doc.RootElement()->Attribute("version")), nasty);
  EXPECT_EQ(std::string(doc.RootElement()->FirstChildElement("leaf")->Attribute("value")), nasty);
  EXPECT_EQ(std::string(doc.RootElement()->FirstChildElement("ctl")->Attribute("value")),
            "x\xEF\xBF\xBDy\xEF\xBF\xBDz");
}

TEST(XmlWriterTest, WritesThroughTheCallersStreamWithoutClosingIt) {
  LogCapture log;
  TempDir dir;
  const std::string path = dir.file("stream.xml");
  FILE* fp = fopen(path.c_str(), "w");
  ASSERT_NE(fp, nullptr);
  {
    XmlWriter xml(fp);
    xml.declaration();
    xml.start_element("a");
    xml.end_all_elements();
  }
  // Still open: the caller owns it and may go on writing.
  EXPECT_GE(fputs("\n<!-- caller -->", fp), 0);
  EXPECT_EQ(fclose(fp), 0);
  EXPECT_EQ(read_file(path), kDecl + "\n<a>\n</a>\n<!-- caller -->");
  expect_well_formed(path);

  // No stream (the file could not be made): nothing is written, and the writer goes on.
  XmlWriter none(nullptr);
  every_operation(none);
  EXPECT_FALSE(none.write_failed());
  EXPECT_EQ(log.text(), "");
}

TEST(XmlWriterTest, EveryOperationOfAWriterWithoutNameLogs) {
  LogCapture log;
  XmlWriter xml = XmlWriter::unnamed();
  every_operation(xml);
  EXPECT_FALSE(xml.write_failed());
  const std::string e = "LOG_ERROR : ";
  const std::string nd = e + "XML file not initialized to display";
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             e + "XML file not initialized to write",
                             e + "<--open_XML_file_to_write()", nd, e + "<--create_xml_tag()", nd,
                             e + "<--create_child_tag()", nd, e + "<--close_xml_tag()", nd,
                             e + "<--close_all_xml_tags()"}));
}

}  // namespace
