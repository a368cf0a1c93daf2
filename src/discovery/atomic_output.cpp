// The discovery file's atomic replacement and its trace (see atomic_output.h).
#include "atomic_output.h"

#include <cstring>

#include "log/log.h"

namespace vxins {
namespace discovery {

namespace {

void log_swept(const std::string& folder, const std::vector<files::StaleTemporary>& swept) {
  for (const files::StaleTemporary& t : swept)
    log::utility.info("Removed %s%s%s, left by process %ld", folder.c_str(),
                      folder.back() == '/' ? "" : "/", t.name.c_str(),
                      static_cast<long>(t.owner));
}

}  // namespace

int remove_stale_discovery_temporaries(const std::string& folder) {
  std::vector<files::StaleTemporary> swept = files::remove_stale_temporaries(folder);
  log_swept(folder, swept);
  return static_cast<int>(swept.size());
}

bool AtomicOutput::create(const std::string& target) {
  target_ = target;
  bool created = file_.create(target);
  log_swept(file_.folder(), file_.swept());
  if (created) return true;
  const files::ReplaceFailure& f = file_.failure();
  log::utility.error("Discovery file %s not written: cannot create temporary file %s: %s",
                     target.c_str(), f.temporary.c_str(), strerror(f.err));
  log::utility.error("<-- Unable to open discovery file");
  return false;
}

bool AtomicOutput::commit(bool write_failed, int write_errno) {
  if (file_.fp() == nullptr) return false;
  if (file_.commit(write_failed, write_errno)) return true;
  const files::ReplaceFailure& f = file_.failure();
  log::utility.error("Discovery file %s not written: %s failed: %s", target_.c_str(), f.step,
                     f.err != 0 ? strerror(f.err) : "I/O error");
  return false;
}

}  // namespace discovery
}  // namespace vxins
