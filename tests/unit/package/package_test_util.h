// Helpers of the package tests: a trace log in a temporary folder, a working directory that is
// restored afterwards, and hand-built ustar blocks for archives that no tar tool would write.
#ifndef VXINS_PACKAGE_TEST_UTIL_H
#define VXINS_PACKAGE_TEST_UTIL_H

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"
#include "vxins_log.h"

namespace pkgtest {

// Points the trace log at a file of its own for the life of the object.
class ScopedLog {
 public:
  ScopedLog() : saved_(vxlogfname) {
    path_ = dir_.file("trace.log");
    EXPECT_TRUE(vxins_log_set_path(path_.c_str()));
  }
  ~ScopedLog() { vxins_log_set_path(saved_.c_str()); }
  std::vector<std::string> lines() const {
    return vxtest::split_lines(vxtest::read_file(path_));
  }
  // The log's lines with the empty ones kept (split_lines drops none in the middle).
  std::string text() const { return vxtest::read_file(path_); }
  void clear() const { vxtest::write_file(path_, ""); }

 private:
  std::string saved_;
  vxtest::TempDir dir_;
  std::string path_;
};

// Makes `dir` the working directory until destroyed.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir) {
    char buf[4096];
    if (getcwd(buf, sizeof buf) != nullptr) saved_ = buf;
    EXPECT_EQ(0, chdir(dir.c_str()));
  }
  ~ScopedCwd() {
    if (!saved_.empty() && chdir(saved_.c_str()) != 0) ADD_FAILURE() << "cannot restore cwd";
  }

 private:
  std::string saved_;
};

// Name of the reader's scratch file for the calling thread.
inline std::string scratch_name() {
  char buf[64];
  snprintf(buf, sizeof buf, "tmp_%lx", static_cast<unsigned long>(pthread_self()));
  return buf;
}

// The size field: 11 octal digits and a NUL, as GNU tar writes it.
inline std::string octal_size(long long size) {
  char buf[16];
  snprintf(buf, sizeof buf, "%011llo", size);
  return std::string(buf, 11) + std::string(1, '\0');
}

struct HeaderFields {
  std::string name;
  std::string size_field;   // exactly 12 bytes
  bool ustar = true;        // false: old-style header with an empty magic
  char type = '0';
  std::string mtime_field = std::string("14000000000") + '\0';
};

// One 512-byte header block with a correct checksum.
inline std::string tar_header(const HeaderFields& fields) {
  std::string h(512, '\0');
  h.replace(0, fields.name.size() < 100 ? fields.name.size() : 100, fields.name, 0, 100);
  h.replace(100, 8, std::string("0000644") + '\0');
  h.replace(108, 8, std::string("0000000") + '\0');
  h.replace(116, 8, std::string("0000000") + '\0');
  h.replace(124, 12, fields.size_field.substr(0, 12));
  h.replace(136, 12, fields.mtime_field.substr(0, 12));
  h[156] = fields.type;
  if (fields.ustar) {
    h.replace(257, 6, std::string("ustar") + '\0');
    h.replace(263, 2, "00");
  }
  h.replace(148, 8, "        ");
  unsigned sum = 0;
  for (unsigned char c : h) sum += c;
  char chk[8];
  snprintf(chk, sizeof chk, "%06o", sum);
  h.replace(148, 7, std::string(chk, 6) + '\0');
  return h;
}

inline std::string tar_header(const std::string& name, long long size, char type = '0') {
  HeaderFields fields;
  fields.name = name;
  fields.size_field = octal_size(size);
  fields.type = type;
  return tar_header(fields);
}

inline std::string pad_to_block(const std::string& data) {
  size_t rest = data.size() % 512;
  return rest == 0 ? data : data + std::string(512 - rest, '\0');
}

// Header, data and zero fill of one member.
inline std::string tar_member(const std::string& name, const std::string& data, char type = '0') {
  return tar_header(name, static_cast<long long>(data.size()), type) + pad_to_block(data);
}

// A well-formed package as the tools lay it out: the folder, then the version text, then the
// two zero blocks that end an archive.
inline std::string tar_package(const std::string& version_text) {
  return tar_member("fw/", "", '5') + tar_member("fw/boot.txt", version_text) +
         std::string(1024, '\0');
}

}  // namespace pkgtest

#endif
