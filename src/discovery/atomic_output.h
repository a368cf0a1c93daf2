// AtomicOutput: the discovery file written through the atomic replacement (files/atomic_file.h:
// nobody ever finds half of it, a killed host leaves nothing behind, a link at its name is
// replaced), with the trace the plug-in leaves of it: each dead writer's temporary swept, and
// why a file was not written. Used only by discovery_writer.cpp.
#ifndef VXINS_DISCOVERY_ATOMIC_OUTPUT_H
#define VXINS_DISCOVERY_ATOMIC_OUTPUT_H

#include <cstdio>
#include <string>

#include "files/atomic_file.h"

namespace vxins {
namespace discovery {

class AtomicOutput {
 public:
  FILE* fp() const { return file_.fp(); }

  // Sweeps the target's folder of temporaries that killed writers left, then creates the new
  // file there (never through a link someone planted), with the permissions fopen would give
  // it. False, logged, when it cannot be made.
  bool create(const std::string& target);

  // Finishes the new file and puts it in place of the target, or drops it and keeps the target
  // as it was. write_errno is the error of the first failed write, 0 if none failed. True when
  // the target now holds the new document.
  bool commit(bool write_failed, int write_errno);

 private:
  files::AtomicFile file_;
  std::string target_;
};

// Removes from `folder` every temporary of a writer that is gone (files::remove_stale_
// temporaries), logging each; returns how many.
int remove_stale_discovery_temporaries(const std::string& folder);

}  // namespace discovery
}  // namespace vxins

#endif
