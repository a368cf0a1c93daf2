// The flash call rewrites the discovery file it was given. On a file system with no room left the
// rewrite cannot complete, and the host must still find the previous file whole: a small tmpfs,
// mounted by the test (root only), is filled up before the flash call.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "process_probe.h"

using vxe2e::Plugin;
using vxe2e::SimMachine;

namespace {

// A tmpfs of `kib` KiB mounted on a fresh folder, unmounted (lazily, so that a failing test
// cannot leave it behind busy) when the object goes.
class SmallTmpfs {
 public:
  explicit SmallTmpfs(const vxtest::TempDir& base, int kib) : dir_(base.file("small-fs")) {
    if (mkdir(dir_.c_str(), 0755) != 0) {
      error_ = std::string("mkdir: ") + strerror(errno);
      return;
    }
    std::string options = "size=" + std::to_string(kib) + "k,mode=0755";
    if (mount("vxins-disk-full", dir_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) !=
        0) {
      error_ = std::string("mount -t tmpfs: ") + strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~SmallTmpfs() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& path() const { return dir_; }

 private:
  std::string dir_;
  std::string error_;
  bool mounted_ = false;
};

// Writes into `path` until the file system refuses; returns the errno that stopped it.
int FillUp(const std::string& path) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return errno;
  setvbuf(f, nullptr, _IONBF, 0);
  std::vector<char> block(4096, 'F');
  int err = 0;
  // Whole pages first, then single bytes for whatever is left of a page.
  for (size_t chunk : {block.size(), static_cast<size_t>(1)}) {
    while (fwrite(block.data(), 1, chunk, f) == chunk) {
    }
    err = errno;
    clearerr(f);
  }
  fclose(f);
  return err;
}

std::vector<Json::Value> Adapters() {
  Json::Value cna = vxe2e::sim_adapter("20:00:00:0e:1e:c4:51:10", "Quorvel-QC8442", 2, "3.0.2.1");
  vxe2e::add_eth_port(cna, "00:0e:1e:c4:51:20", "0000:0a:00.0");
  vxe2e::add_fc_port(cna, "21:00:00:0e:1e:c4:51:10", "20:00:00:0e:1e:c4:51:10", "0000:0a:00.2",
                     "CNA");
  Json::Value hba = vxe2e::sim_adapter("20:00:00:0e:1e:d7:00:40", "Quorvel-QF2742", 2, "3.2.0.0");
  vxe2e::add_fc_port(hba, "21:00:00:0e:1e:d7:00:40", "20:00:00:0e:1e:d7:00:40", "0000:81:00.0");
  vxe2e::add_fc_port(hba, "21:00:00:0e:1e:d7:00:41", "20:00:00:0e:1e:d7:00:41", "0000:81:00.1");
  return {cna, hba};
}

TEST(DiskFullTest, FlashRewriteOnAFullFileSystemKeepsThePreviousFileWhole) {
  vxtest::TempDir tmp;
  SmallTmpfs fs(tmp, 256);
  if (!fs.mounted()) {
    GTEST_SKIP() << "cannot mount a tmpfs here (" << fs.error()
                 << "): the disk-full test needs root and permission to mount";
  }
  SimMachine sim(vxe2e::inventory_text(Adapters()));
  std::string fw_dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = fs.file("discovery.xml");
  ASSERT_EQ(Plugin::get().discover(disc.c_str(), fw_dir.c_str()), 0);
  const std::string before = vxtest::read_file(disc);
  ASSERT_NE(before.find("</vx_rom_discovery>"), std::string::npos);

  ASSERT_EQ(FillUp(fs.file("filler")), ENOSPC);
  sim.clear_journal();
  EXPECT_EQ(Plugin::get().flash(disc.c_str(), fw_dir.c_str()), 1);

  // The adapters were flashed; only the rewrite failed, and it took nothing with it.
  EXPECT_EQ(sim.calls("hba_flashUpgrade").size(), 2u);
  EXPECT_EQ(vxtest::read_file(disc), before);
  vxe2e::XmlDiscovery doc;
  std::string why;
  EXPECT_TRUE(vxe2e::parse_discovery(disc, doc, why)) << why;
  EXPECT_EQ(doc.devices.size(), 4u);
  EXPECT_TRUE(vxe2e::files_with_prefix(fs.path(), ".vxins-discovery-").empty())
      << "the failed rewrite left its temporary file";
  std::vector<std::string> lines = vxe2e::log_lines_containing("Discovery file " + disc +
                                                               " not written: ");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("No space left on device"), std::string::npos) << lines[0];

  // With room again, the same call rewrites the file.
  ASSERT_EQ(remove(fs.file("filler").c_str()), 0);
  EXPECT_EQ(Plugin::get().flash(disc.c_str(), fw_dir.c_str()), 1);
  EXPECT_NE(vxtest::read_file(disc), before);
  EXPECT_TRUE(vxe2e::parse_discovery(disc, doc, why)) << why;
  EXPECT_EQ(doc.devices.size(), 4u);
}

}  // namespace

namespace {

// Regression: when the earlier discovery file could not be removed and the new one not
// written (a file system remounted read-only), discovery took the old file for the new one
// and returned 0.
TEST(DiskFullTest, DiscoveryOnAReadOnlyFileSystemFailsAndKeepsTheOldFile) {
  vxtest::TempDir tmp;
  SmallTmpfs fs(tmp, 256);
  if (!fs.mounted()) {
    GTEST_SKIP() << "cannot mount a tmpfs here (" << fs.error()
                 << "): this test needs root and permission to mount";
  }
  SimMachine sim(vxe2e::inventory_text(Adapters()));
  std::string fw_dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = fs.file("discovery.xml");
  ASSERT_EQ(Plugin::get().discover(disc.c_str(), fw_dir.c_str()), 0);
  const std::string before = vxtest::read_file(disc);
  // Every pointer given: valgrind reads a null type as an unaddressable argument.
  ASSERT_EQ(mount("vxins-disk-full", fs.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, ""), 0)
      << strerror(errno);
  EXPECT_EQ(Plugin::get().discover(disc.c_str(), fw_dir.c_str()), 1001);
  EXPECT_EQ(vxtest::read_file(disc), before);
  EXPECT_EQ(vxe2e::log_lines_containing("could not be written").size(), 1u);
}

}  // namespace
