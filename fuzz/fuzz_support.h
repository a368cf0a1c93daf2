// Shared set-up of the fuzz targets: a scratch folder on a memory file system, the trace log
// pointed at /dev/null, and a check that stops the run with a message when an oracle fails.
// Only the fuzz targets include it; it is never part of the plug-in.
#ifndef VXINS_FUZZ_SUPPORT_H
#define VXINS_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace vxfuzz {

// Makes a private scratch folder (under /dev/shm when it exists: the discovery writer syncs
// every file, which a disk-backed folder would turn into the bottleneck), makes it the working
// directory (the package reader creates its scratch file there) and sends the trace log to
// /dev/null. Idempotent.
void init();
// A path inside the scratch folder.
std::string scratch(const char* name);
// Replaces the file at path with the given bytes; aborts when it cannot.
void write_bytes(const std::string& path, const uint8_t* data, size_t size);
// Reports a broken oracle and aborts, so that libFuzzer keeps the input as a crash.
[[noreturn]] void fail(const std::string& what);

}  // namespace vxfuzz

#endif
