// The SHA-256 the history keeps of each discovery file is the one sha256sum prints, at the lengths
// where the padding takes one block or two.
#include "sha256.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "test_support.h"

namespace {

TEST(Sha256Test, IsWhatSha256sumPrints) {
  vxtest::TempDir dir;
  uint32_t seed = 7;
  for (size_t size : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 1000003}) {
    SCOPED_TRACE(size);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    vxtest::write_file(dir.file("in"), bytes);
    ASSERT_EQ(vxtest::run("sha256sum " + vxtest::shell_quote(dir.file("in")) + " >" +
                          vxtest::shell_quote(dir.file("out"))),
              0);
    EXPECT_EQ(vxhost::sha256_hex(bytes), vxtest::read_file(dir.file("out")).substr(0, 64));
  }
}

}  // namespace
