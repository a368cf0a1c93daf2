// The follower polls (about every 50 ms): a regular file under the path that is not the one it
// reads is the call's fresh log, read from its first byte once the old one is read to its end.
// The file it reads stays open, so its inode cannot be reused by the fresh log.
#include "trace_follower.h"

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/regular_file.h"
#include "trace_texts.h"

namespace vxhost {

namespace {

const std::chrono::milliseconds kPollPeriod(50);
// A "line" longer than this without a line feed is handed over in pieces; the plug-in's lines
// are far shorter, so only a foreign file can have them.
const size_t kMaxLine = 64 * 1024;

// The last line of the open file that is not empty (a trace line ending a message with a line
// feed is followed by an empty one), read from its end; the descriptor is left at the end.
std::string last_line(int fd) {
  const off_t end = lseek(fd, 0, SEEK_END);
  if (end <= 0) return "";
  const off_t from = end > static_cast<off_t>(kMaxLine) ? end - static_cast<off_t>(kMaxLine) : 0;
  std::string tail(static_cast<size_t>(end - from), '\0');
  ssize_t n = pread(fd, &tail[0], tail.size(), from);
  tail.resize(n > 0 ? static_cast<size_t>(n) : 0);
  while (!tail.empty() && tail.back() == '\n') tail.pop_back();
  const size_t nl = tail.rfind('\n');
  return nl == std::string::npos ? tail : tail.substr(nl + 1);
}

}  // namespace

TimedLine::TimedLine(std::string line, double when, unsigned from_file)
    : text(std::move(line)), at(when), file(from_file), message_at(message_start(text)) {}

std::string TimedLine::message() const {
  return is_message() ? text.substr(message_at) : std::string();
}

std::vector<TimedLine> lines_of(const std::string& trace) {
  std::vector<TimedLine> lines;
  for (size_t at = 0; at < trace.size();) {
    size_t end = trace.find('\n', at);
    if (end == std::string::npos) end = trace.size();
    lines.emplace_back(trace.substr(at, end - at), 0.0);
    at = end + 1;
  }
  return lines;
}

// The file being read: open, its identity, and the start of a line not yet complete.
struct TraceFollower::Source {
  Source() = default;
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  int fd = -1;
  dev_t dev = 0;
  ino_t ino = 0;
  std::string partial;

  ~Source() { close_file(); }
  void close_file() {
    if (fd >= 0) close(fd);
    fd = -1;
    partial.clear();
  }
  bool is(const struct stat& st) const { return fd >= 0 && st.st_dev == dev && st.st_ino == ino; }
  // Opens path when it is a regular file (lstat first: a FIFO is never opened, a symbolic link
  // never followed, as the plug-in never writes through one). False when it is not.
  bool open_file(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    vxins::files::RegularFile file;
    if (!file.open(path, O_RDONLY | O_NOFOLLOW)) return false;
    close_file();
    dev = file.status().st_dev;
    ino = file.status().st_ino;
    fd = file.release();
    return true;
  }
};

TraceFollower::TraceFollower(std::string path)
    : path_(std::move(path)), source_(new Source) {}

TraceFollower::~TraceFollower() { stop(); }

double TraceFollower::elapsed() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

void TraceFollower::start(std::function<void(const TimedLine&)> on_line,
                          std::function<void(double)> on_tick) {
  on_line_ = std::move(on_line);
  on_tick_ = std::move(on_tick);
  started_ = std::chrono::steady_clock::now();
  // Taken here, before the call can restart the log: the file there now is the earlier call's.
  if (source_->open_file(path_)) line_before_ = last_line(source_->fd);
  thread_ = std::thread(&TraceFollower::run, this);
}

void TraceFollower::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
  source_->close_file();
}

void TraceFollower::run() {
  // The thread's boundary: what a callback throws ends the following, not the host.
  try {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      const bool last = stopping_;
      lock.unlock();
      poll(last);
      if (!last && on_tick_) on_tick_(elapsed());
      lock.lock();
      if (last) return;
      wake_.wait_for(lock, kPollPeriod, [this] { return stopping_; });
    }
  } catch (const std::exception& e) {
    error_ = e.what();
  } catch (...) {
    error_ = "unexpected exception";
  }
}

void TraceFollower::poll(bool final_pass) {
  struct stat st;
  if (lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !source_->is(st)) {
    // A fresh log: the old file's last lines first (its unfinished line too: nothing more will
    // be appended to a file that has been replaced).
    if (source_->fd >= 0) drain(true);
    // Keeps the old one when the fresh one cannot be opened yet.
    if (source_->open_file(path_)) ++file_;
  }
  if (source_->fd >= 0) drain(final_pass);
}

void TraceFollower::drain(bool final_pass) {
  Source& s = *source_;
  char buf[16384];
  for (;;) {
    ssize_t n = read(s.fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of the file for now (or a read error: tried again next poll)
    s.partial.append(buf, static_cast<size_t>(n));
    size_t begin = 0;
    for (size_t nl; (nl = s.partial.find('\n', begin)) != std::string::npos; begin = nl + 1)
      deliver(s.partial.substr(begin, nl - begin));
    s.partial.erase(0, begin);
    while (s.partial.size() > kMaxLine) {
      deliver(s.partial.substr(0, kMaxLine));
      s.partial.erase(0, kMaxLine);
    }
  }
  if (final_pass && !s.partial.empty()) {
    deliver(s.partial);
    s.partial.clear();
  }
}

void TraceFollower::deliver(std::string text) {
  lines_.emplace_back(std::move(text), elapsed(), file_);
  if (on_line_) on_line_(lines_.back());
}

}  // namespace vxhost
