// The history's body codec against the real tools: what it compresses gzip inflates, what gzip
// compresses it inflates, byte for byte at sizes around its chunks, and what is not one whole
// gzip member (cut, followed by other bytes, another format, too large) it refuses.
#include "gzip_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "test_support.h"

namespace {

using vxtest::shell_quote;

// Bytes that a compressor cannot shrink (a linear congruential generator), or that it can.
std::string noise(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  return bytes;
}

std::string tool(const std::string& command, const std::string& input) {
  vxtest::TempDir dir;
  vxtest::write_file(dir.file("in"), input);
  if (vxtest::run(command + " <" + shell_quote(dir.file("in")) + " >" +
                  shell_quote(dir.file("out"))) != 0)
    return "the tool failed";
  return vxtest::read_file(dir.file("out"));
}

TEST(GzipCodecTest, RoundTripsWithTheGzipTool) {
  std::string lines;
  for (int i = 0; i < 40000; ++i) lines += "LOG_DEBUG : macaddress value:00:0e:1e:d2:7a:40\n";
  const std::string rows[] = {"", std::string("\0\x01\xff", 3), noise(256 * 1024, 1),
                              noise(256 * 1024 + 1, 2), noise(700000, 3), lines};
  for (const std::string& bytes : rows) {
    SCOPED_TRACE(bytes.size());
    std::string gz, back, error;
    ASSERT_TRUE(vxhost::gzip_bytes(bytes, gz, error)) << error;
    EXPECT_TRUE(tool("gzip -dc", gz) == bytes);
    ASSERT_TRUE(vxhost::gunzip_bytes(tool("gzip -c", bytes), bytes.size(), back, error)) << error;
    EXPECT_TRUE(back == bytes);
    // The same bytes written piece by piece, as a trace comes: small pieces gathered, then one
    // larger than a chunk taken as it is.
    vxhost::GzipWriter writer;
    const size_t half = bytes.size() / 2;
    for (size_t at = 0; at < half; at += 4099)
      writer.add(bytes.substr(at, std::min<size_t>(4099, half - at)));
    writer.add(bytes.data() + half, bytes.size() - half);
    std::string pieces;
    ASSERT_TRUE(writer.finish(pieces, error)) << error;
    EXPECT_TRUE(tool("gzip -dc", pieces) == bytes);
  }
}

TEST(GzipCodecTest, WhatIsNotOneWholeMemberIsRefused) {
  const std::string body = noise(300000, 4);
  const std::string gz = tool("gzip -c", body);
  const struct {
    const char* name;
    std::string gz;
    size_t limit;
    const char* reason;
  } rows[] = {
      {"empty", "", 1 << 20, "cut short"},
      {"cut in the middle", gz.substr(0, gz.size() / 2), 1 << 20, "cut short"},
      {"cut before its trailer", gz.substr(0, gz.size() - 4), 1 << 20, "cut short"},
      {"bytes after it", gz + "tail", 1 << 20, "bytes follow the compressed data"},
      {"two members", gz + gz, 1 << 20, "bytes follow the compressed data"},
      {"plain text", "LOG_INFO : not compressed\n", 1 << 20, "not gzip data"},
      {"zlib, not gzip", tool("python3 -c 'import sys,zlib; sys.stdout.buffer.write("
                              "zlib.compress(sys.stdin.buffer.read()))'",
                              body),
       1 << 20, "not gzip data"},
      {"larger than allowed", gz, body.size() - 1, "inflates to more than 299999 bytes"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::string bytes = "left over", error;
    EXPECT_FALSE(vxhost::gunzip_bytes(row.gz, row.limit, bytes, error));
    EXPECT_NE(error.find(row.reason), std::string::npos) << error;
    EXPECT_EQ(bytes, "");
  }
}

}  // namespace
