// Follows the plug-in's trace log from a thread while one plug-in call runs, so the host can show
// progress and keep the call's complete trace. Used by the discover and flash commands; it only
// reads: regular files, never blocking, never the lines an earlier call left behind.
#ifndef VXINS_HOST_TRACE_FOLLOWER_H
#define VXINS_HOST_TRACE_FOLLOWER_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vxhost {

// One line of the trace log, without its line feed, when the follower read it (seconds since
// start(): the host starts the follower right before the call), and from which file: 0 the one
// under the path at start(), 1 the first file created under the path after it, and so on.
// Where its message begins is found once, as the line is read, for every reader after.
struct TimedLine {
  TimedLine(std::string line, double when, unsigned from_file = 0);
  std::string text;
  double at;
  unsigned file;
  size_t message_at;  // where its message begins (see trace_texts.h); npos for a further line

  bool is_message() const { return message_at != std::string::npos; }
  // Its message; "" for a line that continues one.
  std::string message() const;
  bool message_starts_with(const std::string& head) const {
    return is_message() && text.compare(message_at, head.size(), head) == 0;
  }
};

// The lines of a stored trace's text (each ended by a line feed), all read at time 0.
std::vector<TimedLine> lines_of(const std::string& trace);

class TraceFollower {
 public:
  // path: the trace log, vxins::trace::kLogPath for the shipped plug-in.
  explicit TraceFollower(std::string path);
  ~TraceFollower();  // stops
  TraceFollower(const TraceFollower&) = delete;
  TraceFollower& operator=(const TraceFollower&) = delete;

  // Starts the thread (std::system_error when none can be made). The file under the path now, if
  // any, holds an earlier call's trace: only what is appended to it from now on counts. A file
  // created under the path later (each call deletes and recreates the log) is read from its
  // first byte. Each complete line goes to on_line, in order; on_tick, when given, gets the time
  // since start() about every 50 ms (to refresh a live status). Both run on the follower's
  // thread, never at the same time. Called once.
  void start(std::function<void(const TimedLine&)> on_line,
             std::function<void(double)> on_tick = nullptr);
  // Reads what is left, hands it over (a last line without its line feed too), joins the thread.
  void stop();
  // Every line handed over; complete once stop() has returned.
  const std::vector<TimedLine>& lines() const { return lines_; }
  // The same, moved out of the follower (after stop()).
  std::vector<TimedLine> take_lines() { return std::move(lines_); }
  // Why the follower gave up early (a callback threw, or memory ran out); empty when it did not.
  const std::string& error() const { return error_; }
  // The last line the file under the path held at start() (the end of an earlier call's trace),
  // without its line feed; empty when there was no file or no line.
  const std::string& line_before() const { return line_before_; }

 private:
  struct Source;
  void run();
  void poll(bool final_pass);
  void drain(bool final_pass);
  void deliver(std::string text);
  double elapsed() const;

  std::string path_;
  std::function<void(const TimedLine&)> on_line_;
  std::function<void(double)> on_tick_;
  std::unique_ptr<Source> source_;
  std::vector<TimedLine> lines_;
  std::string error_;
  std::string line_before_;
  unsigned file_ = 0;  // the number of the file being read (see TimedLine::file)
  std::chrono::steady_clock::time_point started_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
};

}  // namespace vxhost

#endif
