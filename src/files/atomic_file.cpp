// The atomic replacement of a file (see atomic_file.h).
#include "files/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

namespace vxins {
namespace files {

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

bool write_all(FILE* fp, const std::string& bytes, int& err) {
  if (bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size()) return true;
  err = errno;
  return false;
}

}  // namespace

std::vector<StaleTemporary> remove_stale_temporaries(const std::string& folder) {
  std::vector<StaleTemporary> removed;
  int dir_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) return removed;
  DIR* dir = fdopendir(dir_fd);
  if (dir == nullptr) {
    close(dir_fd);
    return removed;
  }
  const pid_t self = getpid();
  for (struct dirent* e = readdir(dir); e != nullptr; e = readdir(dir)) {
    pid_t owner = temporary_owner(e->d_name);
    if (owner == 0 || owner == self) continue;
    // Only a writer that is gone for certain: EPERM means someone else's live process.
    if (kill(owner, 0) == 0 || errno != ESRCH) continue;
    struct stat st;
    if (fstatat(dir_fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    if (unlinkat(dir_fd, e->d_name, 0) != 0) continue;
    removed.push_back({e->d_name, owner});
  }
  closedir(dir);
  return removed;
}

bool AtomicFile::create(const std::string& target, const mode_t* permissions) {
  target_ = target;
  failure_ = ReplaceFailure();
  std::string::size_type slash = target.rfind('/');
  dir_prefix_ = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  // Every write sweeps, so that what a killed writer left goes with the next file written.
  swept_ = remove_stale_temporaries(folder());
  int err = 0;
  if (!create_unnamed()) {
    int fd = -1;
    if (create_named(fd, err)) {
      fp_ = fdopen(fd, "w");
      if (fp_ == nullptr) {
        err = errno;
        close(fd);
        unlink(tmp_path_.c_str());
      }
    }
  }
  if (fp_ != nullptr && permissions != nullptr && fchmod(fileno(fp_), *permissions) != 0) {
    err = errno;
    discard();
  }
  if (fp_ != nullptr) return true;
  failure_.temporary = tmp_path_;
  fail("create", err);
  tmp_path_.clear();
  return false;
}

// An O_TMPFILE file has no name while it is written: a writer killed half way leaves nothing.
// Kernels and file systems without it refuse (EOPNOTSUPP, EISDIR, EINVAL...); any refusal falls
// back to a named temporary, whose own attempt reports what is not about O_TMPFILE.
bool AtomicFile::create_unnamed() {
  // Readable too: the copy in copy_to_named reads it back.
  int fd = open(folder().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  fp_ = fdopen(fd, "w");
  if (fp_ == nullptr) {
    close(fd);
    return false;
  }
  unnamed_ = true;
  return true;
}

bool AtomicFile::create_named(int& fd, int& err) {
  err = with_fresh_name(dir_prefix_, tmp_path_, [&fd](const char* path) {
    fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return fd < 0 ? errno : 0;
  });
  return err == 0;
}

// Links the complete unnamed file into the folder under a temporary name: by its descriptor
// where the process may (CAP_DAC_READ_SEARCH), else through /proc. Where neither works (no
// /proc, no capability) it is copied into a named temporary. 0, or the error of that copy.
int AtomicFile::name_unnamed(int fd) {
  char via_proc[32];
  snprintf(via_proc, sizeof via_proc, "/proc/self/fd/%d", fd);
  int err = with_fresh_name(dir_prefix_, tmp_path_, [fd, &via_proc](const char* path) {
    if (linkat(fd, "", AT_FDCWD, path, AT_EMPTY_PATH) == 0) return 0;
    if (errno == EEXIST) return EEXIST;
    return linkat(AT_FDCWD, via_proc, AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
  });
  if (err == 0) return 0;
  tmp_path_.clear();
  return copy_to_named(fd);
}

int AtomicFile::copy_to_named(int from_fd) {
  int to_fd = -1;
  int err = 0;
  if (!create_named(to_fd, err)) {
    tmp_path_.clear();
    return err;
  }
  struct stat st;
  off_t offset = 0;
  if (fstat(from_fd, &st) != 0) err = errno;
  // The copy keeps the unnamed file's permission bits (set by create when asked for).
  if (err == 0 && fchmod(to_fd, st.st_mode & 07777) != 0) err = errno;
  while (err == 0 && offset < st.st_size) {
    ssize_t n = sendfile(to_fd, from_fd, &offset, 1 << 20);
    if (n < 0 && errno != EINTR) err = errno;
    if (n == 0) err = EIO;  // the file shrank under us
  }
  if (err == 0 && fsync(to_fd) != 0) err = errno;
  if (close(to_fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    unlink(tmp_path_.c_str());
    tmp_path_.clear();
  }
  return err;
}

bool AtomicFile::fail(const char* step, int err) {
  failure_.step = step;
  failure_.err = err;
  return false;
}

bool AtomicFile::commit(bool write_failed, int write_errno) {
  if (fp_ == nullptr) return false;
  const char* step = nullptr;
  int err = 0;
  if (write_failed || ferror(fp_)) {
    step = "write";
    err = write_errno;
  } else if (fflush(fp_) != 0) {
    step = "flush";
    err = errno;
  } else if (fsync(fileno(fp_)) != 0) {
    step = "sync";
    err = errno;
  } else if (unnamed_ && (err = name_unnamed(fileno(fp_))) != 0) {
    step = "copy";
  }
  if (fclose(fp_) != 0 && step == nullptr) {
    step = "close";
    err = errno;
  }
  fp_ = nullptr;
  unnamed_ = false;
  // rename() replaces the name itself: a link there goes, what it pointed to stays untouched.
  if (step == nullptr && rename(tmp_path_.c_str(), target_.c_str()) != 0) {
    step = "rename";
    err = errno;
  }
  if (step != nullptr) {
    if (!tmp_path_.empty()) unlink(tmp_path_.c_str());
    tmp_path_.clear();
    return fail(step, err);
  }
  tmp_path_.clear();
  sync_folder();
  return true;
}

std::string AtomicFile::folder() const {
  return dir_prefix_.empty() ? std::string(".") : dir_prefix_;
}

// The link and the rename reach the disk with the folder; a failure here loses nothing that is
// not already in place, so it is not reported.
void AtomicFile::sync_folder() {
  int fd = open(folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// An unnamed file vanishes with its descriptor; a named one is removed.
void AtomicFile::discard() {
  if (fp_ != nullptr) {
    fclose(fp_);
    fp_ = nullptr;
    unnamed_ = false;
  }
  if (!tmp_path_.empty()) {
    unlink(tmp_path_.c_str());
    tmp_path_.clear();
  }
}

bool replace_file(const std::string& path, const std::string& bytes, std::string& error) {
  struct stat st;
  const bool keep = lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  const mode_t permissions = st.st_mode & 07777;
  AtomicFile out;
  if (!out.create(path, keep ? &permissions : nullptr)) {
    error = "cannot create a temporary file beside " + path + ": " + strerror(out.failure().err);
    return false;
  }
  int err = 0;
  const bool written = write_all(out.fp(), bytes, err);
  if (out.commit(!written, err)) return true;
  const ReplaceFailure& f = out.failure();
  error = "cannot replace " + path + ": " + f.step + " failed: " +
          (f.err != 0 ? strerror(f.err) : "I/O error");
  return false;
}

}  // namespace files
}  // namespace vxins
