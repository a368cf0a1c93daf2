// Values as XML character data: escaping keeps any text well-formed, and references decode back
// to what was written, or stay as they stand when they are no valid reference.
#include "discovery/xml_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vxins::discovery::escape_value;
using vxins::discovery::unescape_value;

TEST(XmlTextTest, EscapeAndUnescapeRoundTrip) {
  std::string all;
  for (int c = 1; c < 256; ++c) {
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;  // not representable
    all += static_cast<char>(c);
  }
  all += "&amp; &#38; &lt;";  // text that looks escaped already comes back as it was
  EXPECT_EQ(unescape_value(escape_value(all)), all);
  EXPECT_EQ(escape_value("plain 1.0-A_b:c/d"), "plain 1.0-A_b:c/d");
  EXPECT_EQ(escape_value(std::string("\0\x08\x0b\x0c\x1f", 5)),
            "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(XmlTextTest, UnescapeDecodesOnlyValidReferences) {
  EXPECT_EQ(unescape_value("a &amp; b &lt;c&gt; &quot;q&quot; &apos;s&apos;&#x9;&#10;&#xD;"),
            "a & b <c> \"q\" 's'\t\n\r");
  EXPECT_EQ(unescape_value("&bogus; &amp &#xZZ; &#0; &#xD800; &#1114112; &#233;"),
            "&bogus; &amp &#xZZ; &#0; &#xD800; &#1114112; \xC3\xA9");
  EXPECT_EQ(unescape_value("&#x1F600;&#x41;&#65;&#x;&#;&#X41;&lt"),
            "\xF0\x9F\x98\x80" "AA&#x;&#;&#X41;&lt");
}

}  // namespace
