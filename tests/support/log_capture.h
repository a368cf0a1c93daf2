// The one log capture of the in-process tests: points the trace log at a fresh temporary file
// for the life of the object and reads its lines back.
#ifndef VXINS_TEST_SUPPORT_LOG_CAPTURE_H
#define VXINS_TEST_SUPPORT_LOG_CAPTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "vxins_log.h"

namespace vxtest {

class LogCapture {
 public:
  LogCapture() : path_(dir_.file("trace.log")) { EXPECT_TRUE(vxins_log_set_path(path_.c_str())); }
  ~LogCapture() { vxins_log_set_path("/dev/null"); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const { return file_exists(path_) ? read_file(path_) : std::string(); }
  std::vector<std::string> lines() const { return split_lines(text()); }
  // Empties the log; returns what it held.
  std::string take() {
    std::string held = text();
    write_file(path_, "");
    return held;
  }
  void clear() { write_file(path_, ""); }
  size_t count(const std::string& line) const {
    size_t n = 0;
    for (const std::string& l : lines()) n += l == line;
    return n;
  }

 private:
  TempDir dir_;
  std::string path_;
};

// Every expected line appears, in this order (other lines may come between).
inline ::testing::AssertionResult ContainsInOrder(const std::vector<std::string>& lines,
                                                  const std::vector<std::string>& expected) {
  size_t pos = 0;
  for (const std::string& want : expected) {
    while (pos < lines.size() && lines[pos] != want) ++pos;
    if (pos == lines.size()) {
      std::string dump;
      for (const std::string& l : lines) dump += "  |" + l + "\n";
      return ::testing::AssertionFailure() << "missing (in order): \"" << want << "\"\nlog:\n"
                                           << dump;
    }
    ++pos;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace vxtest

#endif
