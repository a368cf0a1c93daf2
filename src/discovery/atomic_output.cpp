// The atomic replacement of the discovery file (see atomic_output.h).
#include "discovery/atomic_output.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "vxins_log.h"

namespace {
void log_buf(vxins_log_level_t level) { VXINS_LOG_TRACE(level, gLogBuf); }
}  // namespace

bool AtomicOutput::create(const std::string& target) {
  m_target = target;
  std::string::size_type slash = target.rfind('/');
  m_dir_prefix = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  static unsigned int sequence = 0;
  int err = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char leaf[96];
    snprintf(leaf, sizeof leaf, ".vxins-discovery-%ld-%u-%08x.tmp", static_cast<long>(getpid()),
             ++sequence, random_word());
    m_tmp_path = m_dir_prefix + leaf;
    int fd = open(m_tmp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  0666);
    if (fd < 0) {
      err = errno;
      if (err == EEXIST || err == EINTR) continue;
      break;
    }
    m_fp = fdopen(fd, "w");
    if (m_fp == nullptr) {
      err = errno;
      close(fd);
      unlink(m_tmp_path.c_str());
      break;
    }
    return true;
  }
  snprintf(gLogBuf, sizeof gLogBuf,
           "Discovery file %s not written: cannot create temporary file %s: %s", target.c_str(),
           m_tmp_path.c_str(), strerror(err));
  log_buf(LOG_ERROR);
  VXINS_LOG_TRACE(LOG_ERROR, "<-- Unable to open discovery file");
  m_tmp_path.clear();
  return false;
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
  }
  if (fclose(m_fp) != 0 && step == nullptr) {
    step = "close";
    err = errno;
  }
  m_fp = nullptr;
  if (step == nullptr && rename(m_tmp_path.c_str(), m_target.c_str()) != 0) {
    step = "rename";
    err = errno;
  }
  if (step != nullptr) {
    unlink(m_tmp_path.c_str());
    m_tmp_path.clear();
    snprintf(gLogBuf, sizeof gLogBuf, "Discovery file %s not written: %s failed: %s",
             m_target.c_str(), step, err != 0 ? strerror(err) : "I/O error");
    log_buf(LOG_ERROR);
    return false;
  }
  m_tmp_path.clear();
  sync_directory();
  return true;
}

unsigned int AtomicOutput::random_word() {
  unsigned int word = 0;
  if (getrandom(&word, sizeof word, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof word)) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    word = static_cast<unsigned int>(ts.tv_nsec) ^ static_cast<unsigned int>(ts.tv_sec);
  }
  return word;
}

// The rename itself reaches the disk with the directory; a failure here loses nothing that
// is not already in place, so it is not reported.
void AtomicOutput::sync_directory() {
  std::string dir = m_dir_prefix.empty() ? std::string(".") : m_dir_prefix;
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

void AtomicOutput::discard() {
  if (m_fp != nullptr) {
    fclose(m_fp);
    m_fp = nullptr;
  }
  if (!m_tmp_path.empty()) {
    unlink(m_tmp_path.c_str());
    m_tmp_path.clear();
  }
}
