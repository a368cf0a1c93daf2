// A file opened and read only when it is a regular file, checked on the descriptor then used,
// never blocking on a FIFO or device under its name. Used by the plug-in's readers and by
// vxins-host; it never logs (the caller's trace says what it must) and never throws.
#ifndef VXINS_FILES_REGULAR_FILE_H
#define VXINS_FILES_REGULAR_FILE_H

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace vxins {
namespace files {

// "a regular file", "a folder", "a FIFO", "a socket", "a device", "a link", else "not a
// regular file", for the file type bits of a mode.
const char* file_kind(mode_t mode);

// Why a file could not be had: the step that failed and its errno, the kind of file found in
// a regular file's place, or the limit a read went past.
struct FileFailure {
  enum Step { kNone, kOpen, kExamine, kNotRegular, kRead, kTooLarge };
  Step step = kNone;
  int err = 0;       // kOpen, kExamine, kRead
  mode_t mode = 0;   // kNotRegular: what was found
  size_t limit = 0;  // kTooLarge

  // One line naming the path: "cannot open P: why", "P is a FIFO, not a regular file", ...
  std::string text(const std::string& path) const;
};

// A regular file open for reading (or as `flags` say), closed with the object.
class RegularFile {
 public:
  RegularFile() = default;
  ~RegularFile() { close(); }
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // Opens path with flags (plus O_NONBLOCK, O_CLOEXEC and O_NOCTTY; create_mode with O_CREAT)
  // and keeps it only when fstat finds a regular file. False, with failure() filled, else.
  bool open(const std::string& path, int flags = O_RDONLY, mode_t create_mode = 0);
  void close();
  // Hands the descriptor over (to fdopen, say): the object no longer closes it.
  int release();

  int fd() const { return fd_; }
  const struct stat& status() const { return status_; }
  const FileFailure& failure() const { return failure_; }

 private:
  int fd_ = -1;
  struct stat status_ = {};
  FileFailure failure_;
};

// The whole content of a regular file from offset `from` on (past the end: nothing). False,
// with failure filled, when it cannot be opened as one, reading fails (bytes then holds what
// was read before) or it holds more than max_bytes (bytes holds the first max_bytes).
bool read_regular_file(const std::string& path, size_t max_bytes, std::string& bytes,
                       FileFailure& failure, off_t from = 0);

}  // namespace files
}  // namespace vxins

#endif
