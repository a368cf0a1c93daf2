// The trace log. Each line is assembled from the level's prefix row, the message and a newline
// and handed to the kernel in one append (writev on an O_APPEND descriptor), so a reader that
// follows the file never sees half a line and a line is on disk when the call returns.
#include "vxins_log.h"
#include "vxins_trace.h"

#include "log/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

const char gerr_log_str[VXINS_LOG_ROWS][VXINS_LOG_ROW_WIDTH] = {
    "LOG_DEFAULT : ", "LOG_DEBUG : ", "LOG_INFO : ",  "LOG_WARN : ",
    "LOG_ERROR : ",   "LOG_CRITICAL : ", "NULL : "};

char vxlogfname[VXINS_LOGFNAME_SIZE] = VXINS_TRACE_LOG_PATH;

namespace {

// Row 6 ("NULL : ") stands for any level outside the table, so no row past it is read.
const char* prefix_for(int level) {
  if (level < LOG_DEFAULT || level > LOG_CRITICAL) return gerr_log_str[VXINS_LOG_ROWS - 1];
  return gerr_log_str[level];
}

void append_line(int level, const char* text, size_t len) {
  // The plug-in runs as root and the restart has just removed the file: a link planted under
  // the name must not make root append to another file (O_NOFOLLOW), and a FIFO must not block
  // the host's thread (O_NONBLOCK; no effect on a regular file).
  int fd = open(vxlogfname, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                0644);
  if (fd < 0) return;  // no log directory, no permission, a link or a FIFO: the message is dropped
  const char* prefix = prefix_for(level);
  char newline = '\n';
  struct iovec iov[3];
  iov[0].iov_base = const_cast<char*>(prefix);
  iov[0].iov_len = strlen(prefix);
  iov[1].iov_base = const_cast<char*>(text);
  iov[1].iov_len = len;
  iov[2].iov_base = &newline;
  iov[2].iov_len = 1;
  struct iovec* cur = iov;
  int count = 3;
  while (count > 0) {
    ssize_t n = writev(fd, cur, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    // A short write (disk full, signal) leaves the rest to a second append.
    size_t done = static_cast<size_t>(n);
    while (count > 0 && done >= cur->iov_len) {
      done -= cur->iov_len;
      ++cur;
      --count;
    }
    if (count > 0) {
      cur->iov_base = static_cast<char*>(cur->iov_base) + done;
      cur->iov_len -= done;
      if (n == 0) break;
    }
  }
  close(fd);
}

}  // namespace

void vxins_log_write(int level, const char* text, size_t len) { append_line(level, text, len); }

extern "C" void VXINS_LOG_TRACE(int level, const char* msg, ...) {
  if (msg == nullptr) return;
  char local[1024];
  va_list ap;
  va_start(ap, msg);
  va_list again;
  va_copy(again, ap);
  int n = vsnprintf(local, sizeof local, msg, ap);
  va_end(ap);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(n) < sizeof local) {
    va_end(again);
    append_line(level, local, static_cast<size_t>(n));
    return;
  }
  char* big = static_cast<char*>(malloc(static_cast<size_t>(n) + 1));
  if (big == nullptr) {
    va_end(again);
    append_line(level, local, sizeof local - 1);  // out of memory: keep what fits
    return;
  }
  vsnprintf(big, static_cast<size_t>(n) + 1, msg, again);
  va_end(again);
  append_line(level, big, static_cast<size_t>(n));
  free(big);
}

extern "C" void delete_file_if_exists(char* fname) {
  if (fname == nullptr) return;
  // O_NONBLOCK: a FIFO planted under the name must not hang the host's thread.
  int fd = open(fname, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;
  close(fd);
  // unlink, not remove: a folder named where a file is expected is the host's, never ours to
  // delete (remove() would rmdir an empty one).
  unlink(fname);
}

void vxins_log_restart() {
  delete_file_if_exists(vxlogfname);
  char when[64] = "";
  time_t now = time(nullptr);
  struct tm local_tm;
  if (localtime_r(&now, &local_tm) == nullptr || asctime_r(&local_tm, when) == nullptr) {
    snprintf(when, sizeof when, "(unknown time)\n");
  }
  vxins::log::entry.info("%s", vxins::trace::kBannerRule);
  vxins::log::entry.info(vxins::trace::kBannerStarted, when);
  vxins::log::entry.info(vxins::trace::kBannerFile, vxlogfname);
  vxins::log::entry.info("%s", vxins::trace::kBannerRule);
}

bool vxins_log_set_path(const char* path) {
  if (path == nullptr || strlen(path) >= sizeof vxlogfname) return false;
  snprintf(vxlogfname, sizeof vxlogfname, "%s", path);
  return true;
}
