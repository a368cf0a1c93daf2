// The history's bodies (discovery files, traces) in the gzip format, so that one taken out of
// the database with sqlite3 reads with zcat: compressed when a run is recorded (a trace as its
// lines come), inflated when it is shown. Used by the history and the runs that feed it; no
// files, no throw (false with a reason instead).
#ifndef VXINS_HOST_GZIP_CODEC_H
#define VXINS_HOST_GZIP_CODEC_H

#include <cstddef>
#include <memory>
#include <string>

namespace vxhost {

// One gzip member written piece by piece: a trace compressed as its lines come in, while the
// call that writes them runs.
class GzipWriter {
 public:
  GzipWriter();
  ~GzipWriter();
  GzipWriter(const GzipWriter&) = delete;
  GzipWriter& operator=(const GzipWriter&) = delete;

  // Adds bytes to the member. Once zlib has failed the rest is ignored and finish() says why.
  void add(const char* data, size_t size);
  void add(const std::string& text) { add(text.data(), text.size()); }
  // Ends the member and hands it over; false with the reason when zlib failed. Called once.
  bool finish(std::string& gz, std::string& error);

 private:
  struct Stream;
  void deflate_from(const char* data, size_t size, bool last);

  std::unique_ptr<Stream> stream_;
  std::string pending_;  // bytes added and not yet compressed
  std::string gz_;
  std::string error_;    // why zlib failed; "" while it has not
};

// `bytes` as one gzip member.
bool gzip_bytes(const std::string& bytes, std::string& gz, std::string& error);
// The bytes of one gzip member; false when `gz` is not one, is cut short, has bytes after it,
// or inflates to more than max_bytes.
bool gunzip_bytes(const std::string& gz, size_t max_bytes, std::string& bytes, std::string& error);

}  // namespace vxhost

#endif
