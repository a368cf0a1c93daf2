// The size field of a tar header as the reader decodes it: GNU tar's NUL-terminated and
// bsdtar's blank-terminated octal, leading blanks, a field filled to its end, sizes past 2 GiB.
#include "package/tar_archive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(DecodeSizeTest, DecodesSizeFields) {
  struct Case {
    std::string field;  // up to 12 bytes; the rest of the field is NUL
    int64_t value;
  };
  const Case cases[] = {
      {std::string("00000001750") + '\0', 1000},
      {"", 0},
      {"7", 7},
      {"00000000000", 0},
      {"17777777777", 2147483647},
      // Used to overflow a signed int: a legal size of 8 GiB - 1.
      {"77777777777", 8589934591LL},
      // bsdtar ends the field with a blank, which used to count as a digit worth -16.
      {"00000000033 ", 27},
      {" ", 0},
      {"0 ", 0},
      {"         32 ", 26},
      // A field without terminator ends with the field.
      {"000000000032", 26},
      // No character is rejected: each adds its code minus '0'.
      {"8", 8},
      {"0000000000!", -15},
      // Only the last eleven digits count.
      {"100000000000", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.field + "\"");
    unsigned char field[12] = {};
    memcpy(field, c.field.data(), c.field.size());
    EXPECT_EQ(c.value, vxins::package::decode_size(field));
  }
}

}  // namespace
