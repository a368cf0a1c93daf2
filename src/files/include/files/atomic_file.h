// Replacing a file atomically: written beside it unnamed, synced, then renamed over the name
// given (a link there is replaced, never written through). Used by the discovery-file writer
// and vxins-host; it never logs (callers report failure() and swept()) and never throws.
#ifndef VXINS_FILES_ATOMIC_FILE_H
#define VXINS_FILES_ATOMIC_FILE_H

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vxins {
namespace files {

// A temporary that a writer no longer alive left in a folder, removed by the sweep.
struct StaleTemporary {
  std::string name;  // its name in the folder
  pid_t owner;       // the process that wrote it
};

// Removes from `folder` every regular file named exactly as AtomicFile names its temporaries
// (".vxins-discovery-<pid>-<n>-<random>.tmp") whose process no longer exists, and lists them.
// Never follows a link and touches nothing else: other names, links, folders, live writers.
std::vector<StaleTemporary> remove_stale_temporaries(const std::string& folder);

// Why a replacement failed: the step ("create", "write", "flush", "sync", "copy", "close",
// "rename") and its errno (0 when the step gave none), and for "create" the temporary's name.
struct ReplaceFailure {
  const char* step = nullptr;
  int err = 0;
  std::string temporary;
};

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile() { discard(); }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Sweeps the target's folder (what was removed is in swept()), then creates the new file
  // there, with the permissions fopen would give it or, when `permissions` is given, those.
  // False, with failure(), when it cannot be made.
  bool create(const std::string& target, const mode_t* permissions = nullptr);
  FILE* fp() const { return fp_; }

  // Finishes the new file and puts it in place of the target, or drops it and keeps the target
  // as it was. write_errno is the error of the first failed write, 0 if none failed. True when
  // the target now holds the new content; false with failure().
  bool commit(bool write_failed, int write_errno);

  const ReplaceFailure& failure() const { return failure_; }
  const std::vector<StaleTemporary>& swept() const { return swept_; }
  // The folder the new file is written in ("." for a bare name).
  std::string folder() const;

 private:
  bool create_unnamed();
  bool create_named(int& fd, int& err);
  int name_unnamed(int fd);
  int copy_to_named(int from_fd);
  bool fail(const char* step, int err);
  void sync_folder();
  void discard();

  FILE* fp_ = nullptr;
  bool unnamed_ = false;  // fp_ writes an O_TMPFILE file that has no name yet
  std::string target_;
  std::string dir_prefix_;
  std::string tmp_path_;  // the temporary's name once it has one
  ReplaceFailure failure_;
  std::vector<StaleTemporary> swept_;
};

// The whole replacement of `path` by `bytes` through AtomicFile. The new file keeps the
// permission bits of the regular file it replaces (a link's target is not looked at), else
// gets fopen's. False with one line naming the path and the failed step otherwise.
bool replace_file(const std::string& path, const std::string& bytes, std::string& error);

}  // namespace files
}  // namespace vxins

#endif
