// The atomic replacement of the discovery file (see atomic_output.h).
#include "discovery/atomic_output.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "log/log.h"

namespace vxins {
namespace discovery {

namespace {

const char kTmpPrefix[] = ".vxins-discovery-";
const char kTmpSuffix[] = ".tmp";
unsigned int g_tmp_sequence = 0;  // the <n> of the names, counting this process's attempts


unsigned int random_word() {
  unsigned int word = 0;
  if (getrandom(&word, sizeof word, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof word)) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    word = static_cast<unsigned int>(ts.tv_nsec) ^ static_cast<unsigned int>(ts.tv_sec);
  }
  return word;
}

// Tries fresh temporary names in the folder until make(name) succeeds (returns 0) or fails for
// another reason than a name already taken; path is left holding the last name tried.
template <typename Make>
int with_fresh_name(const std::string& dir_prefix, std::string& path, Make make) {
  int err = EEXIST;
  for (int attempt = 0; attempt < 100 && (err == EEXIST || err == EINTR); ++attempt) {
    char leaf[96];
    snprintf(leaf, sizeof leaf, "%s%ld-%u-%08x%s", kTmpPrefix, static_cast<long>(getpid()),
             ++g_tmp_sequence, random_word(), kTmpSuffix);
    path = dir_prefix + leaf;
    err = make(path.c_str());
  }
  return err;
}

// Reads a decimal number as %u and %ld print it (no sign, no leading zero) up to max.
bool read_decimal(const char*& p, unsigned long max, unsigned long& value) {
  if (*p < '0' || *p > '9' || (p[0] == '0' && p[1] >= '0' && p[1] <= '9')) return false;
  value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value > (max - static_cast<unsigned long>(*p - '0')) / 10) return false;
    value = value * 10 + static_cast<unsigned long>(*p - '0');
  }
  return true;
}

// The writer's process id when name is exactly one of our temporaries' names, else 0.
pid_t temporary_owner(const char* name) {
  if (strncmp(name, kTmpPrefix, sizeof kTmpPrefix - 1) != 0) return 0;
  const char* p = name + sizeof kTmpPrefix - 1;
  unsigned long pid = 0;
  unsigned long sequence = 0;
  if (!read_decimal(p, INT_MAX, pid) || pid == 0 || *p++ != '-') return 0;
  if (!read_decimal(p, UINT_MAX, sequence) || *p++ != '-') return 0;
  for (int i = 0; i < 8; ++i, ++p) {
    if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f'))) return 0;
  }
  return strcmp(p, kTmpSuffix) == 0 ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

int remove_stale_discovery_temporaries(const std::string& folder) {
  int dir_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) return 0;
  DIR* dir = fdopendir(dir_fd);
  if (dir == nullptr) {
    close(dir_fd);
    return 0;
  }
  const pid_t self = getpid();
  int removed = 0;
  for (struct dirent* e = readdir(dir); e != nullptr; e = readdir(dir)) {
    pid_t owner = temporary_owner(e->d_name);
    if (owner == 0 || owner == self) continue;
    // Only a writer that is gone for certain: EPERM means someone else's live process.
    if (kill(owner, 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (fstatat(dir_fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    if (unlinkat(dir_fd, e->d_name, 0) != 0) continue;
    ++removed;
    log::utility.info("Removed %s%s%s, left by process %ld", folder.c_str(),
                      folder.back() == '/' ? "" : "/", e->d_name, static_cast<long>(owner));
  }
  closedir(dir);
  return removed;
}

bool AtomicOutput::create(const std::string& target) {
  m_target = target;
  std::string::size_type slash = target.rfind('/');
  m_dir_prefix = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  // Every write sweeps, so that what a killed writer left goes with the next file written.
  remove_stale_discovery_temporaries(folder());
  if (create_unnamed()) return true;
  int fd = -1;
  int err = 0;
  if (create_named(fd, err)) {
    m_fp = fdopen(fd, "w");
    if (m_fp != nullptr) return true;
    err = errno;
    close(fd);
    unlink(m_tmp_path.c_str());
  }
  log::utility.error("Discovery file %s not written: cannot create temporary file %s: %s",
                     target.c_str(), m_tmp_path.c_str(), strerror(err));
  log::utility.error("<-- Unable to open discovery file");
  m_tmp_path.clear();
  return false;
}

// An O_TMPFILE file has no name while it is written: a writer killed half way leaves nothing.
// Kernels and file systems without it refuse (EOPNOTSUPP, EISDIR, EINVAL...); any refusal falls
// back to a named temporary, whose own attempt reports what is not about O_TMPFILE.
bool AtomicOutput::create_unnamed() {
  // Readable too: the copy in copy_to_named reads it back.
  int fd = open(folder().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  m_fp = fdopen(fd, "w");
  if (m_fp == nullptr) {
    close(fd);
    return false;
  }
  m_unnamed = true;
  return true;
}

bool AtomicOutput::create_named(int& fd, int& err) {
  err = with_fresh_name(m_dir_prefix, m_tmp_path, [&fd](const char* path) {
    fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return fd < 0 ? errno : 0;
  });
  return err == 0;
}

// Links the complete unnamed file into the folder under a temporary name: by its descriptor
// where the process may (CAP_DAC_READ_SEARCH), else through /proc. Where neither works (no
// /proc, no capability) it is copied into a named temporary. 0, or the error of that copy.
int AtomicOutput::name_unnamed(int fd) {
  char via_proc[32];
  snprintf(via_proc, sizeof via_proc, "/proc/self/fd/%d", fd);
  int err = with_fresh_name(m_dir_prefix, m_tmp_path, [fd, &via_proc](const char* path) {
    if (linkat(fd, "", AT_FDCWD, path, AT_EMPTY_PATH) == 0) return 0;
    if (errno == EEXIST) return EEXIST;
    return linkat(AT_FDCWD, via_proc, AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
  });
  if (err == 0) return 0;
  m_tmp_path.clear();
  return copy_to_named(fd);
}

int AtomicOutput::copy_to_named(int from_fd) {
  int to_fd = -1;
  int err = 0;
  if (!create_named(to_fd, err)) {
    m_tmp_path.clear();
    return err;
  }
  struct stat st;
  off_t offset = 0;
  if (fstat(from_fd, &st) != 0) err = errno;
  while (err == 0 && offset < st.st_size) {
    ssize_t n = sendfile(to_fd, from_fd, &offset, 1 << 20);
    if (n < 0 && errno != EINTR) err = errno;
    if (n == 0) err = EIO;  // the file shrank under us
  }
  if (err == 0 && fsync(to_fd) != 0) err = errno;
  if (close(to_fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    unlink(m_tmp_path.c_str());
    m_tmp_path.clear();
  }
  return err;
}

bool AtomicOutput::commit(bool write_failed, int write_errno) {
  if (m_fp == nullptr) return false;
  const char* step = nullptr;
  int err = 0;
  if (write_failed || ferror(m_fp)) {
    step = "write";
    err = write_errno;
  } else if (fflush(m_fp) != 0) {
    step = "flush";
    err = errno;
  } else if (fsync(fileno(m_fp)) != 0) {
    step = "sync";
    err = errno;
  } else if (m_unnamed && (err = name_unnamed(fileno(m_fp))) != 0) {
    step = "copy";
  }
  if (fclose(m_fp) != 0 && step == nullptr) {
    step = "close";
    err = errno;
  }
  m_fp = nullptr;
  m_unnamed = false;
  if (step == nullptr && rename(m_tmp_path.c_str(), m_target.c_str()) != 0) {
    step = "rename";
    err = errno;
  }
  if (step != nullptr) {
    if (!m_tmp_path.empty()) unlink(m_tmp_path.c_str());
    m_tmp_path.clear();
    log::utility.error("Discovery file %s not written: %s failed: %s", m_target.c_str(), step,
                       err != 0 ? strerror(err) : "I/O error");
    return false;
  }
  m_tmp_path.clear();
  sync_directory();
  return true;
}

std::string AtomicOutput::folder() const {
  return m_dir_prefix.empty() ? std::string(".") : m_dir_prefix;
}

// The link and the rename reach the disk with the directory; a failure here loses nothing that
// is not already in place, so it is not reported.
void AtomicOutput::sync_directory() {
  int fd = open(folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// An unnamed file vanishes with its descriptor; a named one is removed.
void AtomicOutput::discard() {
  if (m_fp != nullptr) {
    fclose(m_fp);
    m_fp = nullptr;
    m_unnamed = false;
  }
  if (!m_tmp_path.empty()) {
    unlink(m_tmp_path.c_str());
    m_tmp_path.clear();
  }
}

}  // namespace discovery
}  // namespace vxins
