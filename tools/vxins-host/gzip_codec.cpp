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

struct GzipWriter::Stream {
  z_stream z = {};
  bool open = false;
  std::string out = std::string(kChunk, '\0');  // deflate's output, a chunk at a time
};

GzipWriter::GzipWriter() : stream_(new Stream) {
  const int rc = deflateInit2(&stream_->z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindow, 8,
                              Z_DEFAULT_STRATEGY);
  stream_->open = rc == Z_OK;
  if (!stream_->open) error_ = "cannot compress: " + zlib_reason(stream_->z, rc);
}

GzipWriter::~GzipWriter() {
  if (stream_->open) deflateEnd(&stream_->z);
}

void GzipWriter::add(const char* data, size_t size) {
  if (!error_.empty()) return;
  // A large body is taken as it is; small pieces (a trace's lines) are gathered first, as a
  // deflate call per line costs more.
  if (pending_.empty() && size >= kChunk) return deflate_from(data, size, false);
  pending_.append(data, size);
  if (pending_.size() < kChunk) return;
  deflate_from(pending_.data(), pending_.size(), false);
  pending_.clear();
}

void GzipWriter::deflate_from(const char* data, size_t size, bool last) {
  if (!error_.empty()) return;
  z_stream& z = stream_->z;
  std::string& out = stream_->out;
  int rc = Z_OK;
  size_t at = 0;
  // A chunk at a time: zlib's counters are 32-bit.
  do {
    const size_t in = std::min(kChunk, size - at);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data + at));
    z.avail_in = static_cast<uInt>(in);
    at += in;
    const int flush = last && at == size ? Z_FINISH : Z_NO_FLUSH;
    do {
      z.next_out = reinterpret_cast<Bytef*>(&out[0]);
      z.avail_out = static_cast<uInt>(out.size());
      rc = deflate(&z, flush);
      gz_.append(out, 0, out.size() - z.avail_out);
    } while (z.avail_out == 0 && rc == Z_OK);
    // Z_BUF_ERROR: nothing left to do with this input (it is all taken, the output is out).
  } while (at < size && (rc == Z_OK || rc == Z_BUF_ERROR));
  const bool failed = last ? rc != Z_STREAM_END : rc != Z_OK && rc != Z_BUF_ERROR;
  if (failed) error_ = "cannot compress: " + zlib_reason(z, rc);
}

bool GzipWriter::finish(std::string& gz, std::string& error) {
  deflate_from(pending_.data(), pending_.size(), true);
  pending_.clear();
  if (!error_.empty()) {
    error = error_;
    return false;
  }
  gz = std::move(gz_);
  return true;
}

bool gzip_bytes(const std::string& bytes, std::string& gz, std::string& error) {
  GzipWriter writer;
  writer.add(bytes);
  return writer.finish(gz, error);
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
