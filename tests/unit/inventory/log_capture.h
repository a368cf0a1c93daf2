// Points the trace log at a fresh temporary file for one test and reads its lines back.
#ifndef VXINS_TEST_INVENTORY_LOG_CAPTURE_H
#define VXINS_TEST_INVENTORY_LOG_CAPTURE_H

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"
#include "vxins_log.h"

class LogCapture {
 public:
  LogCapture() : path_(dir_.file("trace.log")) {
    EXPECT_TRUE(vxins_log_set_path(path_.c_str()));
  }
  std::vector<std::string> lines() const {
    if (!vxtest::file_exists(path_)) return {};
    return vxtest::split_lines(vxtest::read_file(path_));
  }
  std::string text() const { return vxtest::file_exists(path_) ? vxtest::read_file(path_) : ""; }
  void clear() { vxtest::write_file(path_, ""); }
  size_t count(const std::string& line) const {
    size_t n = 0;
    for (const auto& l : lines()) n += (l == line);
    return n;
  }

 private:
  vxtest::TempDir dir_;
  std::string path_;
};

// Every expected line appears, in this order (other lines may come between).
inline ::testing::AssertionResult ContainsInOrder(const std::vector<std::string>& lines,
                                                  const std::vector<std::string>& expected) {
  size_t pos = 0;
  for (const auto& want : expected) {
    while (pos < lines.size() && lines[pos] != want) ++pos;
    if (pos == lines.size()) {
      std::string dump;
      for (const auto& l : lines) dump += "  |" + l + "\n";
      return ::testing::AssertionFailure() << "missing (in order): \"" << want << "\"\nlog:\n"
                                           << dump;
    }
    ++pos;
  }
  return ::testing::AssertionSuccess();
}

#endif
