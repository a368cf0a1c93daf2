// The discovery file on a file system that cannot take it: a small tmpfs, mounted by the test
// (root only), filled up or remounted read-only between the calls. No call may report success
// it did not have, and no file may be left half written. Nor may a host killed at any moment of
// a call leave one, or a temporary file that outlives its next call.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#if defined(__has_include)
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif
#endif

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

namespace {

// 64 CNAs with an Ethernet and an FCoE port each: 128 devices, a file of some 170 KB.
const size_t kManyDevices = 128;
std::vector<Json::Value> ManyAdapters() {
  std::vector<Json::Value> out;
  for (int i = 0; i < 64; ++i) {
    char wwn[32], mac[32], port_wwn[32], eth_path[16], fc_path[16];
    snprintf(wwn, sizeof wwn, "20:00:00:0e:1e:c4:%02x:10", i);
    snprintf(port_wwn, sizeof port_wwn, "21:00:00:0e:1e:c4:%02x:10", i);
    snprintf(mac, sizeof mac, "00:0e:1e:c4:%02x:20", i);
    snprintf(eth_path, sizeof eth_path, "0000:%02x:00.0", i + 1);
    snprintf(fc_path, sizeof fc_path, "0000:%02x:00.2", i + 1);
    Json::Value cna = vxe2e::sim_adapter(wwn, "Quorvel-QC8442", 2, "3.0.2.1");
    vxe2e::add_eth_port(cna, mac, eth_path);
    vxe2e::add_fc_port(cna, port_wwn, wwn, fc_path, "CNA");
    out.push_back(cna);
  }
  return out;
}

// Each round a child process and, mostly, a call to sweep up: under valgrind a few suffice.
int KillRounds() {
#if defined(RUNNING_ON_VALGRIND)
  if (RUNNING_ON_VALGRIND != 0) return 4;
#endif
  return 60;
}

// Runs one host call in a child process and returns its id; the child exits when it is done.
pid_t StartCall(bool flash, const std::string& disc, const std::string& fw_dir) {
  pid_t pid = fork();
  if (pid == 0) {
    // A kill during the package read leaves the reader's scratch file in the current folder:
    // keep it in the test's folder, not in the one every other suite runs in.
    if (chdir(disc.substr(0, disc.rfind('/')).c_str()) != 0) _exit(2);
    if (flash) {
      Plugin::get().flash(disc.c_str(), fw_dir.c_str());
    } else {
      Plugin::get().discover(disc.c_str(), fw_dir.c_str());
    }
    _exit(0);
  }
  return pid;
}

long MicrosSince(std::chrono::steady_clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

// A host killed at any moment of discovery or flash leaves either no discovery file or a whole
// one, and no temporary file that outlives the next call: a killed writer's temporary used to
// stay in the host's folder for good.
TEST(KilledHostTest, LeavesNoPartialFileAndNoTemporaryBehind) {
  vxtest::TempDir tmp;
  SimMachine sim(vxe2e::inventory_text(ManyAdapters()));
  unsetenv("DZNAJ_SIM_JOURNAL");  // not looked at here; it would double the time of a flash
  std::string fw_dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = tmp.file("discovery.xml");
  ASSERT_EQ(Plugin::get().discover(disc.c_str(), fw_dir.c_str()), 0);
  const std::vector<std::string> leaves = vxe2e::device_leaves(disc);
  ASSERT_FALSE(leaves.empty());

  // How long each call takes when nobody interrupts it, the fastest of three (a first, cold call
  // is slower, and kills spread past the end of a warm one would interrupt nothing): the kills
  // are spread over that time.
  long duration[2];
  for (int flash = 0; flash < 2; ++flash) {
    for (int run = 0; run < 3; ++run) {
      auto start = std::chrono::steady_clock::now();
      pid_t pid = StartCall(flash != 0, disc, fw_dir);
      ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
      const long took = MicrosSince(start);
      duration[flash] = run == 0 ? took : std::min(duration[flash], took);
    }
  }
  const unsigned seed = static_cast<unsigned>(time(nullptr));
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const int rounds = KillRounds();
  int killed = 0;
  int temporaries = 0;
  for (int round = 0; round < rounds; ++round) {
    const bool flash = round % 2 == 1;
    SCOPED_TRACE(std::string(flash ? "flash" : "discovery") + " round " + std::to_string(round));
    const std::string before = vxtest::read_file(disc);
    pid_t pid = StartCall(flash, disc, fw_dir);
    usleep(static_cast<useconds_t>(rng() % (duration[flash] + 1)));
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    killed += WIFSIGNALED(status) ? 1 : 0;

    std::string why;
    vxe2e::FileOutcome outcome = vxe2e::discovery_file_outcome(disc, before, leaves, why);
    ASSERT_NE(outcome, vxe2e::FileOutcome::Broken) << why;
    // Flash never removes the file before its new one is complete.
    ASSERT_FALSE(flash && outcome == vxe2e::FileOutcome::Absent);
    std::vector<std::string> left = vxe2e::files_with_prefix(tmp.path(), ".vxins-discovery-");
    left.push_back("discovery.xml");
    for (const std::string& name : left) {
      if (!vxtest::file_exists(tmp.file(name))) continue;
      vxe2e::XmlDiscovery doc;
      ASSERT_TRUE(vxe2e::parse_discovery(tmp.file(name), doc, why)) << name << ": " << why;
      ASSERT_EQ(doc.devices.size(), kManyDevices) << name;
    }
    temporaries += static_cast<int>(left.size()) - 1;

    // The next call that writes sweeps what the killed one left. One runs now when there is
    // something to sweep, or no file for the next flash to read.
    if (left.size() > 1 || !vxtest::file_exists(disc)) {
      ASSERT_EQ(Plugin::get().discover(disc.c_str(), fw_dir.c_str()), 0);
      ASSERT_EQ(vxe2e::files_with_prefix(tmp.path(), ".vxins-discovery-"),
                std::vector<std::string>{});
    }
  }
  // Most calls must really have been interrupted, or the test proves nothing.
  EXPECT_GE(killed, rounds / 2) << "discovery takes " << duration[0] << " us, flash " << duration[1];
  RecordProperty("killed", killed);
  RecordProperty("temporaries_found", temporaries);
}

}  // namespace
