#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <cstring>
#include <sys/personality.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vxtest {

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/vxins-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() {
  // chmod first: tests may leave read-only folders behind.
  run("chmod -R u+rwx " + shell_quote(path_) + " 2>/dev/null; rm -rf " + shell_quote(path_));
}

ScopedCwd::ScopedCwd(const std::string& dir) {
  char buf[4096];
  if (getcwd(buf, sizeof buf) != nullptr) saved_ = buf;
  EXPECT_EQ(0, chdir(dir.c_str())) << dir;
}

ScopedCwd::~ScopedCwd() {
  if (!saved_.empty() && chdir(saved_.c_str()) != 0) ADD_FAILURE() << "cannot restore " << saved_;
}

std::string emulation_reason() {
#if defined(__i386__)
  // The x86-64 kernel tells a 32-bit process it runs on x86_64; the emulator says i686. A
  // process under linux32's personality hears i686 from the kernel too.
  struct utsname u;
  if (uname(&u) == 0 && strcmp(u.machine, "x86_64") != 0 &&
      (personality(0xffffffff) & PER_MASK) != PER_LINUX32)
    return std::string("this 32-bit process runs under a user-mode emulator (uname says ") +
           u.machine + ")";
#endif
  return "";
}

pid_t dead_pid() {
  pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

std::string tmp_name(long pid, const std::string& rest) {
  return ".vxins-discovery-" + std::to_string(pid) + rest;
}

bool file_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

int run(const std::string& command) {
  int rc = system(command.c_str());
  if (rc == -1) return -1;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to,
                     size_t at) {
  at = text.find(from, at);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string shell_quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

bool make_package(const std::string& package_path, const std::string& version_member_text,
                  TarTool tool) {
  bool long_names = tool != TarTool::Gnu && tool != TarTool::Bsd;
  std::string folder = long_names ? "fw_" + std::string(100, 'l') : "fw";
  std::string file = folder + "/" + (long_names ? std::string(100, 'v') + "_boot.txt" : "boot.txt");
  TempDir staging;
  if (run("mkdir -p " + shell_quote(staging.file(folder))) != 0) return false;
  write_file(staging.file(file), version_member_text);
  std::string members = shell_quote(folder) + " " + shell_quote(file);
  std::string in = " -C " + shell_quote(staging.path()) + " -cf " + shell_quote(package_path);
  std::string cmd;
  switch (tool) {
    case TarTool::Gnu: cmd = "tar --format=ustar --no-recursion" + in + " " + members; break;
    case TarTool::GnuPax: cmd = "tar --format=pax --no-recursion" + in + " " + members; break;
    case TarTool::GnuLongNames: cmd = "tar --format=gnu --no-recursion" + in + " " + members; break;
    case TarTool::Bsd: cmd = "bsdtar --format=ustar" + in + " -n " + members; break;
    case TarTool::BsdPax: cmd = "bsdtar --format=pax" + in + " -n " + members; break;
    case TarTool::PythonTarfile:
      cmd = "cd " + shell_quote(staging.path()) + " && python3 -c " +
            shell_quote("import sys, tarfile\n"
                        "with tarfile.open(sys.argv[1], 'w') as t:\n"
                        "    for name in sys.argv[2:]: t.add(name, recursive=False)\n") +
            " " + shell_quote(package_path) + " " + members;
      break;
  }
  return run(cmd + " 2>/dev/null") == 0;
}

bool make_package_with_version(const std::string& package_path, const std::string& version,
                               TarTool tool) {
  return make_package(package_path, "<version>" + version + "</version>\n", tool);
}

std::string trace_log_path() { return "/var/log/libqrvlvxins.log"; }

std::vector<std::string> trace_log_lines() { return split_lines(read_file(trace_log_path())); }

}  // namespace vxtest
