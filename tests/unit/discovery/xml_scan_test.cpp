// The trace the reader leaves for every line of a device element: where the first "<", the
// first "=" after it and the quotes after that stand, each only when found.
#include "discovery/xml_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_capture.h"

namespace {

TEST(XmlScanTest, LogsEachPositionFound) {
  vxtest::LogCapture log;
  for (const char* line : {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "x <a=b", "a = \"b\"",
                           "no tag here", ""})
    vxins::discovery::log_split_positions(line);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "LOG_INFO : first XML_TAG_START_STR found at:0",
                             "LOG_INFO : first XML_TAG_EQ_STR found at:13",
                             "LOG_INFO : first XML_TAG_Quote_START_STR found at:14",
                             "LOG_INFO : first XML_TAG_Quote_end_STR found at:18",
                             "LOG_INFO : first XML_TAG_START_STR found at:2",
                             "LOG_INFO : first XML_TAG_EQ_STR found at:4"}));
}

}  // namespace
