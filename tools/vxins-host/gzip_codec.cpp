// zlib's deflate and inflate with the gzip wrapper (window bits 15 + 16), in chunks, so that a
// body of any size is handled whatever zlib's 32-bit counters on this platform can hold at once.
#include "gzip_codec.h"

#include <zlib.h>

#include <algorithm>

namespace vxhost {

namespace {

const size_t kChunk = 256 * 1024;
const int kGzipWindow = 15 + 16;

std::string zlib_reason(const z_stream& z, int rc) {
  if (z.msg != nullptr) return z.msg;
  return rc == Z_MEM_ERROR ? "out of memory" : "zlib error " + std::to_string(rc);
}

}  // namespace

bool gzip_bytes(const std::string& bytes, std::string& gz, std::string& error) {
  z_stream z = {};
  int rc = deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) {
    error = "cannot compress: " + zlib_reason(z, rc);
    return false;
  }
  gz.clear();
  std::string out(kChunk, '\0');
  size_t at = 0;
  do {
    const size_t in = std::min(kChunk, bytes.size() - at);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + at));
    z.avail_in = static_cast<uInt>(in);
    at += in;
    const int flush = at == bytes.size() ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = reinterpret_cast<Bytef*>(&out[0]);
      z.avail_out = static_cast<uInt>(out.size());
      rc = deflate(&z, flush);
      gz.append(out, 0, out.size() - z.avail_out);
    } while (z.avail_out == 0);
  } while (rc != Z_STREAM_END && rc >= 0);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) {
    error = "cannot compress: " + zlib_reason(z, rc);
    return false;
  }
  return true;
}

bool gunzip_bytes(const std::string& gz, size_t max_bytes, std::string& bytes,
                  std::string& error) {
  z_stream z = {};
  int rc = inflateInit2(&z, kGzipWindow);
  if (rc != Z_OK) {
    error = "cannot inflate: " + zlib_reason(z, rc);
    return false;
  }
  bytes.clear();
  std::string out(kChunk, '\0');
  size_t at = 0;
  bool too_large = false;
  rc = Z_OK;
  while (rc == Z_OK && !too_large) {
    const size_t in = std::min(kChunk, gz.size() - at);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data() + at));
    z.avail_in = static_cast<uInt>(in);
    at += in;
    do {
      z.next_out = reinterpret_cast<Bytef*>(&out[0]);
      z.avail_out = static_cast<uInt>(out.size());
      rc = inflate(&z, Z_NO_FLUSH);
      const size_t got = out.size() - z.avail_out;
      too_large = bytes.size() + got > max_bytes;
      if (!too_large) bytes.append(out, 0, got);
    } while (rc == Z_OK && z.avail_out == 0 && !too_large);
    // No input left and inflate still wants some: the member is cut short.
    if (rc == Z_OK && at == gz.size() && z.avail_in == 0 && z.avail_out != 0) rc = Z_BUF_ERROR;
  }
  const bool trailing = rc == Z_STREAM_END && (z.avail_in != 0 || at != gz.size());
  std::string reason = zlib_reason(z, rc);
  inflateEnd(&z);
  if (too_large) {
    error = "inflates to more than " + std::to_string(max_bytes) + " bytes";
  } else if (rc == Z_BUF_ERROR) {
    error = "the compressed data is cut short";
  } else if (rc != Z_STREAM_END) {
    error = "not gzip data: " + reason;
  } else if (trailing) {
    error = "bytes follow the compressed data";
  } else {
    return true;
  }
  bytes.clear();
  return false;
}

}  // namespace vxhost
