// SHA-256 of bytes in memory, as the hexadecimal text sha256sum(1) prints: the history keeps it
// for every run's discovery file before and after. Pure function: no files, no throw.
#ifndef VXINS_HOST_SHA256_H
#define VXINS_HOST_SHA256_H

#include <string>

namespace vxhost {

// 64 lower-case hexadecimal digits.
std::string sha256_hex(const std::string& bytes);

}  // namespace vxhost

#endif
