// AtomicOutput: writes the discovery file so that nobody ever finds half of it, and a killed
// host leaves nothing behind. The document goes to an unnamed file in the target's folder (a
// named temporary where the file system or the process cannot do that) and takes the target's
// name only when it was written, flushed and synced completely. Used only by discovery_file.cpp.
#ifndef VXINS_DISCOVERY_ATOMIC_OUTPUT_H
#define VXINS_DISCOVERY_ATOMIC_OUTPUT_H

#include <cstdio>
#include <string>

namespace vxins {
namespace discovery {

class AtomicOutput {
 public:
  AtomicOutput() : m_fp(nullptr), m_unnamed(false) {}
  ~AtomicOutput() { discard(); }
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  FILE* fp() const { return m_fp; }

  // Sweeps the target's folder of temporaries that killed writers left, then creates the new
  // file there (never through a link someone planted), with the permissions fopen would give
  // it. False, logged, when it cannot be made.
  bool create(const std::string& target);

  // Finishes the new file and puts it in place of the target, or drops it and keeps the target
  // as it was. write_errno is the error of the first failed write, 0 if none failed. True when
  // the target now holds the new document.
  bool commit(bool write_failed, int write_errno);

 private:
  bool create_unnamed();
  bool create_named(int& fd, int& err);
  int name_unnamed(int fd);
  int copy_to_named(int from_fd);
  std::string folder() const;
  void sync_directory();
  void discard();

  FILE* m_fp;
  bool m_unnamed;  // m_fp writes an O_TMPFILE file that has no name yet
  std::string m_target;
  std::string m_dir_prefix;
  std::string m_tmp_path;  // the temporary's name once it has one
};

// Removes from `folder` every regular file named exactly as AtomicOutput names its temporaries
// (".vxins-discovery-<pid>-<n>-<random>.tmp") whose process no longer exists; returns how many.
// Never follows a link and touches nothing else: other names, links, folders, live writers.
int remove_stale_discovery_temporaries(const std::string& folder);

}  // namespace discovery
}  // namespace vxins

#endif
