// The plug-in's formats taken apart as the host recognises their lines: the pieces around the
// conversions, "%%" as "%", and nothing of a format past its first line feed (the rest of such
// a message is on lines of its own, without a level prefix).
#include "trace_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vxhost::format_piece;

TEST(TraceTextsTest, PiecesOfAFormatAsItsFirstLineShowsThem) {
  struct Case {
    const char* format;
    size_t n;
    std::string piece;
  };
  const Case cases[] = {
      {"a%db%sc", 0, "a"},
      {"a%db%sc", 1, "b"},
      {"a%db%sc", 2, "c"},
      {"a%db%sc", 3, ""},
      {"%s", 0, ""},
      {"50%% of %ld-%5.2f%%", 0, "50% of "},
      {"50%% of %ld-%5.2f%%", 1, "-"},
      {"50%% of %ld-%5.2f%%", 2, "%"},
      {"x\n%d", 0, "x"},
      {"x\n%d", 1, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(format_piece(c.format, c.n), c.piece) << c.format << " " << c.n;
}

}  // namespace
