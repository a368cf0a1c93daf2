// The discovery file on a file system that cannot take it: a small tmpfs, mounted by the test
// (root only), filled up or remounted read-only between the calls. No call may report success
// it did not have, and no file may be left half written.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
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

// A discovery file on a small tmpfs of its own, written by a first discovery call.
class DiskFullTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs_.mounted()) {
      GTEST_SKIP() << "cannot mount a tmpfs here (" << fs_.error()
                   << "): these tests need root and permission to mount";
    }
    sim_.reset(new SimMachine(vxe2e::inventory_text(adapters_)));
    fw_dir_ = vxe2e::make_fw_dir(tmp_, "3.1.0.0");
    disc_ = fs_.file("discovery.xml");
    ASSERT_EQ(Plugin::get().discover(disc_.c_str(), fw_dir_.c_str()), 0);
  }
  int Discover() { return Plugin::get().discover(disc_.c_str(), fw_dir_.c_str()); }
  int Flash() { return Plugin::get().flash(disc_.c_str(), fw_dir_.c_str()); }
  void RemountReadOnly() {
    // Every pointer given: valgrind reads a null type as an unaddressable argument.
    ASSERT_EQ(mount("vxins-disk-full", fs_.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, ""),
              0)
        << strerror(errno);
  }

  vxtest::TempDir tmp_;
  SmallTmpfs fs_{tmp_, 256};
  std::vector<Json::Value> adapters_ = Adapters();
  std::unique_ptr<SimMachine> sim_;
  std::string fw_dir_, disc_;
};

// The flash call that cannot rewrite its file must not leave a file reporting an earlier
// call's outcome: an earlier successful flash had written "1", and with a full disk this call
// returned 1 and left that file, whatever its own adapters did.
TEST_F(DiskFullTest, FlashWhoseRewriteFailsReturns1001AndLeavesNoFileSayingSuccess) {
  ASSERT_EQ(Flash(), 1);
  ASSERT_NE(vxtest::read_file(disc_).find("<action_status value=\"1\"/>"), std::string::npos);

  // This time the CNA's flash fails, and the disk is full.
  adapters_[0]["flash"]["result"] = 5;
  vxtest::write_file(sim_->path("inventory.json"), vxe2e::inventory_text(adapters_));
  ASSERT_EQ(FillUp(fs_.file("filler")), ENOSPC);
  sim_->clear_journal();
  EXPECT_EQ(Flash(), 1001);
  EXPECT_EQ(sim_->calls("hba_flashUpgrade").size(), 2u);
  EXPECT_FALSE(vxtest::file_exists(disc_)) << "the earlier file, saying \"1\", was left";
  EXPECT_TRUE(vxe2e::files_with_prefix(fs_.path(), ".vxins-discovery-").empty())
      << "the failed rewrite left its temporary file";
  std::vector<std::string> lines = vxe2e::log_lines_containing("Discovery file " + disc_ +
                                                               " not written: ");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("No space left on device"), std::string::npos) << lines[0];
  EXPECT_EQ(vxe2e::log_lines_containing("could not be rewritten with the outcome").size(), 1u);
  EXPECT_FALSE(sim_->calls("free_hba_lib").empty());
}

// On a file system remounted read-only the flash can neither rewrite nor remove the file; it
// says so by its result instead of returning 1.
TEST_F(DiskFullTest, FlashOnAReadOnlyFileSystemReturns1001) {
  const std::string before = vxtest::read_file(disc_);
  RemountReadOnly();
  sim_->clear_journal();
  EXPECT_EQ(Flash(), 1001);
  EXPECT_EQ(sim_->calls("hba_flashUpgrade").size(), 2u);
  EXPECT_EQ(vxtest::read_file(disc_), before);  // discovery's file: no outcome in it
  EXPECT_EQ(before.find("<action_status value=\"1\"/>"), std::string::npos);
}

// Regression: when the earlier discovery file could not be removed and the new one not
// written (a file system remounted read-only), discovery took the old file for the new one
// and returned 0.
TEST_F(DiskFullTest, DiscoveryOnAReadOnlyFileSystemFailsAndKeepsTheOldFile) {
  const std::string before = vxtest::read_file(disc_);
  RemountReadOnly();
  EXPECT_EQ(Discover(), 1001);
  EXPECT_EQ(vxtest::read_file(disc_), before);
  EXPECT_EQ(vxe2e::log_lines_containing("could not be written").size(), 1u);
}

}  // namespace
