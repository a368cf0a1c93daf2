// Regular files only, never blocking: what sits under a name instead is refused with its kind,
// on the descriptor that would be used; whole reads with an offset and a limit.
#include "files/regular_file.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "test_support.h"

namespace {

using vxins::files::FileFailure;
using vxins::files::read_regular_file;
using vxins::files::RegularFile;
using vxtest::TempDir;

TEST(RegularFileTest, AnythingButARegularFileIsRefusedWithItsKindWithoutBlocking) {
  TempDir dir;
  vxtest::write_file(dir.file("plain"), "x");
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("plain", dir.file("link").c_str()), 0);
  int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  struct sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  snprintf(addr.sun_path, sizeof addr.sun_path, "%s", dir.file("sock").c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr), 0);
  struct Case {
    std::string path;
    int flags;
    const char* text;  // FileFailure::text's words after the path ("" when it opens)
  };
  const Case cases[] = {
      {dir.file("plain"), O_RDONLY, ""},
      {dir.file("link"), O_RDONLY, ""},  // followed unless the caller says otherwise
      {dir.file("link"), O_RDONLY | O_NOFOLLOW, ": Too many levels of symbolic links"},
      {dir.file("fifo"), O_RDONLY, " is a FIFO, not a regular file"},
      {dir.path(), O_RDONLY, " is a folder, not a regular file"},
      {"/dev/null", O_RDONLY, " is a device, not a regular file"},
      {dir.file("sock"), O_RDONLY, ": No such device or address"},
      {dir.file("missing"), O_RDONLY, ": No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string text;
    EXPECT_TRUE(vxtest::FinishesInAChild([&] {
      RegularFile file;
      return file.open(c.path, c.flags) == (*c.text == '\0');
    }));
    RegularFile file;
    if (file.open(c.path, c.flags)) {
      EXPECT_GE(file.fd(), 0);
      EXPECT_TRUE(S_ISREG(file.status().st_mode));
      continue;
    }
    EXPECT_EQ(file.fd(), -1);
    text = file.failure().text(c.path);
    const std::string opening = "cannot open " + c.path;
    EXPECT_TRUE(text == c.path + c.text || text == opening + c.text) << text;
  }
  close(sock);
}

TEST(RegularFileTest, CreatesWithTheModeGivenAndHandsTheDescriptorOver) {
  TempDir dir;
  const std::string path = dir.file("db");
  mode_t old = umask(022);
  RegularFile file;
  ASSERT_TRUE(file.open(path, O_RDONLY | O_CREAT, 0600));
  umask(old);
  EXPECT_EQ(file.status().st_mode & 0777, 0600u);
  int fd = file.release();
  EXPECT_EQ(file.fd(), -1);
  file.close();  // no longer its descriptor: still open
  EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  EXPECT_EQ(close(fd), 0);
}

TEST(RegularFileTest, ReadsWholeFromAnOffsetUpToALimit) {
  TempDir dir;
  const std::string path = dir.file("f");
  vxtest::write_file(path, std::string(20000, 'a') + "tail");
  struct Case {
    off_t from;
    size_t max;
    bool ok;
    std::string bytes;
  };
  const Case cases[] = {
      {0, 1 << 20, true, std::string(20000, 'a') + "tail"},
      {20000, 1 << 20, true, "tail"},
      {30000, 1 << 20, true, ""},
      {0, 20004, true, std::string(20000, 'a') + "tail"},
      {0, 20003, false, std::string(20000, 'a') + "tai"},
      {19998, 3, false, "aat"},
  };
  for (const Case& c : cases) {
    std::string bytes = "old";
    FileFailure failure;
    EXPECT_EQ(read_regular_file(path, c.max, bytes, failure, c.from), c.ok)
        << c.from << " " << c.max;
    EXPECT_EQ(bytes, c.bytes);
    if (!c.ok) {
      EXPECT_EQ(failure.text(path), path + " is larger than " + std::to_string(c.max) + " bytes");
    }
  }
  std::string bytes = "old";
  FileFailure failure;
  EXPECT_FALSE(read_regular_file(dir.path(), 100, bytes, failure));
  EXPECT_EQ(failure.step, FileFailure::kNotRegular);
  EXPECT_EQ(bytes, "");
}

}  // namespace
