// The history's bodies (discovery files, traces) in the gzip format, so that one taken out of
// the database with sqlite3 reads with zcat: compressed when a run is recorded, inflated when it
// is shown. Used by the history only; no files, no throw (false with a reason instead).
#ifndef VXINS_HOST_GZIP_CODEC_H
#define VXINS_HOST_GZIP_CODEC_H

#include <cstddef>
#include <string>

namespace vxhost {

// `bytes` as one gzip member.
bool gzip_bytes(const std::string& bytes, std::string& gz, std::string& error);
// The bytes of one gzip member; false when `gz` is not one, is cut short, has bytes after it,
// or inflates to more than max_bytes.
bool gunzip_bytes(const std::string& gz, size_t max_bytes, std::string& bytes, std::string& error);

}  // namespace vxhost

#endif
