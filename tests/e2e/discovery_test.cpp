// Discovery through the shipped plug-in: argument and package checks, the agent session, the
// discovery file, and the trace log the host's support staff read afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e_support.h"

using vxe2e::Plugin;
using vxe2e::SimMachine;
using vxtest::TempDir;

namespace {

const char kExit[] = "<--oem_do_discovery_with_files()";

// The four banner lines of a restarted log and the two empty lines after the second one.
void ExpectBanner(const std::vector<std::string>& lines) {
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], "LOG_INFO : ************************************");
  EXPECT_EQ(lines[1].rfind("LOG_INFO : \tLog started on ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "");
  EXPECT_EQ(lines[4], "LOG_INFO : Log file (/var/log/libqrvlvxins.log) is successfully opened for writing.");
  EXPECT_EQ(lines[5], "LOG_INFO : ************************************");
}

// The log after the banner.
std::vector<std::string> LogAfterBanner() {
  std::vector<std::string> lines = vxtest::trace_log_lines();
  ExpectBanner(lines);
  if (lines.size() < 6) return {};
  return std::vector<std::string>(lines.begin() + 6, lines.end());
}

// The last n lines of v.
std::vector<std::string> Tail(const std::vector<std::string>& v, size_t n) {
  if (v.size() < n) return v;
  return std::vector<std::string>(v.end() - static_cast<long>(n), v.end());
}

TEST(DiscoveryArgumentsTest, NullDiscoveryFileIsRefusedWithOneErrorLine) {
  TempDir tmp;
  EXPECT_EQ(Plugin::get().discover(nullptr, tmp.path().c_str()), 1002);
  EXPECT_EQ(LogAfterBanner(), (std::vector<std::string>{
                                  "LOG_ERROR : Discovery File Name is NULL", kExit, ""}));
}

TEST(DiscoveryArgumentsTest, NullFirmwarePathIsRefused) {
  TempDir tmp;
  EXPECT_EQ(Plugin::get().discover(tmp.file("d.xml").c_str(), nullptr), 1002);
  EXPECT_EQ(LogAfterBanner(),
            (std::vector<std::string>{"LOG_ERROR : FW File path is NULL", kExit, ""}));
}

TEST(DiscoveryArgumentsTest, MissingFirmwarePathReturnsStatusResult) {
  TempDir tmp;
  EXPECT_EQ(Plugin::get().discover(tmp.file("d.xml").c_str(), tmp.file("nope").c_str()), -1);
  EXPECT_EQ(LogAfterBanner(),
            (std::vector<std::string>{"LOG_ERROR : Error(-1)-stat in getting the FW Folder path", "",
                                      std::string("LOG_ERROR : ") + kExit, ""}));
}

TEST(DiscoveryArgumentsTest, PackageFileInsteadOfDirectoryIsRefused) {
  TempDir tmp;
  std::string fw = vxe2e::make_fw_dir(tmp, "3.1.0.0") + "/qrvl_boot_3100.tar";
  EXPECT_EQ(Plugin::get().discover(tmp.file("d.xml").c_str(), fw.c_str()), 1002);
  EXPECT_EQ(LogAfterBanner(),
            (std::vector<std::string>{"LOG_INFO : Given path(" + fw + ") is Not a valid directory",
                                      "LOG_ERROR : Error(0) in getting the FW File", "",
                                      std::string("LOG_ERROR : ") + kExit, ""}));
}

TEST(DiscoveryArgumentsTest, EmptyOrCrowdedFirmwareDirectoryIsRefused) {
  TempDir tmp;
  for (int files : {0, 2}) {
    std::string dir = tmp.file("fw" + std::to_string(files));
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    for (int i = 0; i < files; ++i)
      ASSERT_TRUE(vxtest::make_package_with_version(dir + "/p" + std::to_string(i) + ".tar", "1.0.0.0"));
    EXPECT_EQ(Plugin::get().discover(tmp.file("d.xml").c_str(), dir.c_str()), 1002) << files;
    std::vector<std::string> tail = Tail(vxtest::trace_log_lines(), 7);
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "LOG_ERROR : ERROR: There are zero or more than 1 file present in the given directory(" + dir + ")",
                        "LOG_ERROR : Which one is the firmware file?, got confused and returning error=1002",
                        "LOG_ERROR : <-- get_fwfile_from_path()",
                        "LOG_ERROR : Error(1002) in getting the FW File", "",
                        std::string("LOG_ERROR : ") + kExit, ""}));
  }
}

TEST(DiscoveryArgumentsTest, UnopenablePackageReturns9) {
  TempDir tmp;
  std::string dir = tmp.file("fw");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  // A dangling link counts as the one entry but cannot be opened, even by root.
  ASSERT_EQ(symlink("/nonexistent/package.tar", (dir + "/boot.tar").c_str()), 0);
  EXPECT_EQ(Plugin::get().discover(tmp.file("d.xml").c_str(), dir.c_str()), 9);
  EXPECT_EQ(Tail(vxtest::trace_log_lines(), 3),
            (std::vector<std::string>{"LOG_ERROR : FW FILE (" + dir + "/boot.tar)Open Failed.",
                                      std::string("LOG_ERROR : ") + kExit, ""}));
}

// Files past 2 GiB are made sparse, so their holes cost no disk. False where the file system
// stores holes as data (checked on a small probe before any large file is made).
bool HoldsSparseFiles(const std::string& dir) {
  std::string probe = dir + "/.vxins-sparse-probe";
  int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat st;
  bool sparse = ftruncate(fd, 64 << 20) == 0 && fstat(fd, &st) == 0 && st.st_blocks < 2048;
  close(fd);
  unlink(probe.c_str());
  return sparse;
}

const long long kPast2GiB = (1LL << 31) + 1000;

// A ustar package whose first member is a sparse file of kPast2GiB bytes, without writing them:
// GNU tar's header of that member, a hole for its data and fill (all zeros, as tar would write
// them), then GNU tar's archive of the version member.
bool MakePackageAfterHugeMember(const std::string& package, const std::string& version_member) {
  TempDir staging;
  if (mkdir(staging.file("fw").c_str(), 0755) != 0) return false;
  vxtest::write_file(staging.file("fw/boot.bin"), "");
  if (truncate(staging.file("fw/boot.bin").c_str(), kPast2GiB) != 0) return false;
  vxtest::write_file(staging.file("fw/boot.txt"), version_member);
  long long padded = (kPast2GiB + 511) / 512 * 512;
  std::string q = vxtest::shell_quote(package);
  return vxtest::run("cd " + vxtest::shell_quote(staging.path()) +
                     " && { tar --format=ustar -cf - fw/boot.bin 2>/dev/null | head -c 512 >" + q +
                     "; } && truncate -s " + std::to_string(512 + padded) + " " + q +
                     " && tar --format=ustar -cf - fw/boot.txt >>" + q) == 0;
}

struct PackageCase {
  const char* name;
  const char* content;  // written as the only file of the firmware folder (not a tar when set)
  const char* version_member;  // else: a real tar whose version member holds this text
  int expected;
  const char* last_message;  // on success: the version every device is offered
  vxtest::TarTool tool = vxtest::TarTool::Gnu;
  bool huge_first_member = false;  // made by MakePackageAfterHugeMember
};

void PrintTo(const PackageCase& c, std::ostream* os) { *os << c.name; }

class DiscoveryPackageTest : public ::testing::TestWithParam<PackageCase> {};

TEST_P(DiscoveryPackageTest, PackageIsReadOrFailsBeforeTheOldDiscoveryFileIsTouched) {
  const PackageCase& c = GetParam();
  TempDir tmp;
  std::string dir = tmp.file("fw");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  if (c.content) {
    vxtest::write_file(dir + "/boot.tar", c.content);
  } else if (c.huge_first_member) {
    if (!HoldsSparseFiles(tmp.path()))
      GTEST_SKIP() << "the file system under " << tmp.path() << " does not keep sparse files";
    ASSERT_TRUE(MakePackageAfterHugeMember(dir + "/boot.tar", c.version_member));
    struct stat st;
    ASSERT_EQ(stat((dir + "/boot.tar").c_str(), &st), 0);
    ASSERT_GT(st.st_size, kPast2GiB);
    ASSERT_LT(st.st_blocks, 2048) << "the package took real disk space";
  } else {
    ASSERT_TRUE(vxtest::make_package(dir + "/boot.tar", c.version_member, c.tool));
  }
  std::string disc = tmp.file("discovery.xml");
  vxtest::write_file(disc, "previous discovery");
  SimMachine sim;
  EXPECT_EQ(Plugin::get().discover(disc.c_str(), dir.c_str()), c.expected);
  if (c.expected == 0) {
    vxe2e::XmlDiscovery d;
    std::string err;
    ASSERT_TRUE(vxe2e::parse_discovery(disc, d, err)) << err;
    ASSERT_FALSE(d.devices.empty());
    for (const vxe2e::XmlDevice& dev : d.devices) EXPECT_EQ(dev.fw.at("version"), c.last_message);
    return;
  }
  EXPECT_EQ(vxtest::read_file(disc), "previous discovery");
  std::vector<std::string> tail = Tail(vxtest::trace_log_lines(), 5);
  ASSERT_EQ(tail.size(), 5u);
  EXPECT_EQ(tail[0], std::string("LOG_INFO : ") + c.last_message);
  EXPECT_EQ(tail[1], "LOG_INFO : <-- getFwVersionFromFwFile()");
  EXPECT_EQ(tail[2], "LOG_ERROR : Getting Fw Version from boot file failed");
  EXPECT_EQ(tail[3], std::string("\t\t\t") + kExit);
  EXPECT_EQ(tail[4], "");
  EXPECT_TRUE(sim.journal().empty()) << "the agent must not be loaded";
}

INSTANTIATE_TEST_SUITE_P(
    Packages, DiscoveryPackageTest,
    ::testing::Values(PackageCase{"NotATar", "just some text, not an archive\n", nullptr, 1006,
                                  "sizeof(fw_tar_hdr_t) = 512, fread_size=31"},
                      PackageCase{"NoVersionElement", nullptr, "release notes only\n", 1007,
                                  "strstr of Version Failed"},
                      // Used to fail the open test with EOVERFLOW (9) in the 32-bit plug-in.
                      PackageCase{"FirstMemberPast2GiB", nullptr, "<version>3.1.0.0</version>\n",
                                  0, "3.1.0.0", vxtest::TarTool::Gnu, true},
                      // pax headers used to be taken for members (1007).
                      PackageCase{"PythonTarfile", nullptr, "<version>3.1.0.0</version>\n", 0,
                                  "3.1.0.0", vxtest::TarTool::PythonTarfile},
                      PackageCase{"GnuLongNames", nullptr, "<version>3.1.0.0</version>\n", 0,
                                  "3.1.0.0", vxtest::TarTool::GnuLongNames}),
    [](const ::testing::TestParamInfo<PackageCase>& info) { return std::string(info.param.name); });

TEST(DiscoveryAgentTest, MissingAgentLibraryReturns6AndKeepsTheOldFile) {
  TempDir tmp;
  std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = tmp.file("discovery.xml");
  vxtest::write_file(disc, "previous discovery");
  EXPECT_EQ(vxe2e::run_driver(tmp.file("no-agent-here"), {"discover", disc, dir}), 6);
  EXPECT_EQ(vxtest::read_file(disc), "previous discovery");
  std::vector<std::string> tail = Tail(vxtest::trace_log_lines(), 3);
  ASSERT_EQ(tail.size(), 3u);
  EXPECT_EQ(tail[0].rfind("LOG_ERROR : ERROR:DLL Load Failed:libdznaj.so: cannot open shared object file", 0), 0u)
      << tail[0];
  EXPECT_EQ(tail[1], "LOG_ERROR : <-- setup_znaj_entry_points failed");
  EXPECT_EQ(tail[2], "LOG_ERROR : <-- qrvl_vxinslib_init(): znaj_entry point failed");
  EXPECT_TRUE(vxe2e::log_lines_containing("fetching for").empty());
}

TEST(DiscoveryAgentTest, MissingSymbolStopsResolutionAfterThirteenLookups) {
  TempDir tmp;
  std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = tmp.file("discovery.xml");
  EXPECT_EQ(vxe2e::run_driver(std::string(VXINS_SIM_DIR) + "/missing-getFcoeByPort",
                              {"discover", disc, dir}),
            -1);
  const char* expected[] = {"getRequestID", "init_hba_lib", "get_agt_version", "free_hba_lib",
                            "getHbaByWwn", "getNumberOfAdapters", "getAllAdaptersIndexString",
                            "getEthPhyPortIndicesByAdapter", "getEthPortByEthMac", "getPortByWwn",
                            "getFcByFcWwn", "setPortByWwn", "getFcoeByPort"};
  std::vector<std::string> fetching = vxe2e::log_lines_containing("fetching for");
  ASSERT_EQ(fetching.size(), 13u);
  for (size_t i = 0; i < 13; ++i)
    EXPECT_EQ(fetching[i], std::string("LOG_INFO : fetching for ") + expected[i]);
  std::vector<std::string> tail = Tail(vxtest::trace_log_lines(), 3);
  EXPECT_EQ(tail[0], "LOG_ERROR : inside Error ");
  EXPECT_EQ(tail[1].rfind("LOG_ERROR : getFcoeByPort not found. ", 0), 0u) << tail[1];
  EXPECT_EQ(tail[2], "LOG_ERROR : <-- qrvl_vxinslib_init(): znaj_entry point failed");
  EXPECT_FALSE(vxtest::file_exists(disc));
}

TEST(DiscoveryAgentTest, InitialisationAnswersDecideTheResult) {
  auto result = [](const Json::Value& value) {
    Json::Value answer(Json::objectValue);
    answer["result"] = value;
    return answer;
  };
  struct Case {
    const char* name;
    Json::Value init;
    int expected;
    const char* line;  // nullptr: the session opens and the discovery completes
  } cases[] = {{"null answer", Json::Value(), 1001, "LOG_ERROR : libInitHbaLib returns NULL"},
               {"result 7", result(7), 7, "LOG_ERROR : libInitHbaLib is failed with - 7"},
               // Only the flash call must not pass 1 on (it would read as "the pass ran").
               {"result 1", result(1), 1, "LOG_ERROR : libInitHbaLib is failed with - 1"},
               // "result" is read as JsonCpp's asInt reads it.
               {"result null", result(Json::Value()), 0, nullptr},
               {"result 7.0", result(7.0), 7, "LOG_ERROR : libInitHbaLib is failed with - 7"},
               {"result \"0\"", result("0"), 1001,
                "LOG_ERROR : libInitHbaLib returned a malformed answer (result not an int)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
    std::string disc = tmp.file("discovery.xml");
    vxtest::write_file(disc, "previous discovery");
    Json::Value adapter =
        vxe2e::sim_adapter("20:00:00:0e:1e:a0:00:01", "Quorvel-QF2742", 1, "3.0.0.0");
    vxe2e::add_fc_port(adapter, "21:00:00:0e:1e:a0:00:01", "20:00:00:0e:1e:a0:00:01",
                       "0000:0a:00.0");
    Json::Value extra(Json::objectValue);
    extra["init"] = c.init;
    SimMachine sim(vxe2e::inventory_text({adapter}, extra));
    EXPECT_EQ(Plugin::get().discover(disc.c_str(), dir.c_str()), c.expected);
    EXPECT_EQ(sim.calls("init_hba_lib").size(), 1u);
    if (c.line == nullptr) {
      vxe2e::XmlDiscovery d;
      std::string err;
      ASSERT_TRUE(vxe2e::parse_discovery(disc, d, err)) << err;
      EXPECT_EQ(d.devices.size(), 1u);
      EXPECT_TRUE(vxe2e::log_lines_containing("libInitHbaLib").empty());
      EXPECT_EQ(sim.calls("free_hba_lib").size(), 1u);
    } else {
      EXPECT_EQ(vxtest::read_file(disc), "previous discovery");
      EXPECT_EQ(vxe2e::log_lines_containing("libInitHbaLib"), std::vector<std::string>{c.line});
      EXPECT_TRUE(sim.calls("free_hba_lib").empty());
    }
  }
}

TEST(PciEntryPointTest, ReturnsNotSupportedAndAppendsOneWarning) {
  TempDir tmp;
  std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  Plugin::get().discover(nullptr, dir.c_str());
  std::string before = vxtest::read_file(vxtest::trace_log_path());
  EXPECT_EQ(Plugin::get().pci("/any/file", true, 3, 0, 1), 1000);
  EXPECT_EQ(Plugin::get().pci(nullptr, false, -1, -1, -1), 1000);
  std::string after = vxtest::read_file(vxtest::trace_log_path());
  EXPECT_EQ(after, before + "LOG_WARN : <--> oem_do_full_flash_PCI()\n\n" +
                       "LOG_WARN : <--> oem_do_full_flash_PCI()\n\n");
}

// The 32-bit plug-in used to drop every line once the log had grown past 2 GiB (EOVERFLOW), and
// could not restart it either.
TEST(PciEntryPointTest, AppendsToALogPast2GiBThatTheNextCallRestarts) {
  std::string log = vxtest::trace_log_path();
  if (!HoldsSparseFiles("/var/log")) GTEST_SKIP() << "/var/log does not keep sparse files";
  struct RemoveLog {
    std::string path;
    ~RemoveLog() { unlink(path.c_str()); }
  } remove_log{log};
  int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  bool grown = ftruncate(fd, kPast2GiB) == 0;
  close(fd);
  ASSERT_TRUE(grown);
  EXPECT_EQ(Plugin::get().pci("/any/file", true, 3, 0, 1), 1000);
  const std::string line = "LOG_WARN : <--> oem_do_full_flash_PCI()\n\n";
  struct stat st;
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  ASSERT_EQ(st.st_size, kPast2GiB + static_cast<long long>(line.size()));
  std::string tail(line.size(), '\0');
  fd = open(log.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ssize_t got = pread(fd, &tail[0], tail.size(), kPast2GiB);
  close(fd);
  EXPECT_EQ(got, static_cast<ssize_t>(line.size()));
  EXPECT_EQ(tail, line);

  EXPECT_EQ(Plugin::get().discover(nullptr, "/nonexistent"), 1002);
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  ASSERT_LT(st.st_size, 4096);
  LogAfterBanner();
}

}  // namespace

namespace {

// Compares a produced discovery file with its golden copy byte for byte. With
// VXINS_UPDATE_GOLDEN=1 the golden copy is rewritten instead (review the diff before committing).
void ExpectGolden(const std::string& produced, const std::string& golden_name) {
  std::string golden = std::string(VXINS_FIXTURES_DIR) + "/golden/" + golden_name;
  if (getenv("VXINS_UPDATE_GOLDEN") != nullptr) vxtest::write_file(golden, vxtest::read_file(produced));
  EXPECT_EQ(vxtest::read_file(produced), vxtest::read_file(golden)) << golden_name;
}

std::string Fixture(const std::string& name) {
  return vxtest::read_file(std::string(VXINS_FIXTURES_DIR) + "/inventories/" + name);
}

TEST(DiscoveryFileTest, BuiltInInventoryGivesTheGoldenFile) {
  TempDir tmp;
  SimMachine sim;  // the simulator's built-in three adapters
  std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = tmp.file("discovery.xml");
  ASSERT_EQ(Plugin::get().discover(disc.c_str(), dir.c_str()), 0);
  ExpectGolden(disc, "default_inventory.xml");
  vxe2e::XmlDiscovery d;
  std::string err;
  ASSERT_TRUE(vxe2e::parse_discovery(disc, d, err)) << err;
  EXPECT_EQ(d.root_version, "2.0.0.0");
  EXPECT_EQ(d.header.at("takes_effect"), "deferred");
  std::set<std::string> actions;
  for (const vxe2e::XmlDevice& dev : d.devices) actions.insert(dev.fw.at("action"));
  EXPECT_EQ(actions, (std::set<std::string>{"Upgrade", "Downgrade", "Rewrite"}));
}

TEST(DiscoveryFileTest, CoverageInventoryGivesTheGoldenFile) {
  TempDir tmp;
  SimMachine sim(Fixture("coverage.json"));
  std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = tmp.file("discovery.xml");
  ASSERT_EQ(Plugin::get().discover(disc.c_str(), dir.c_str()), 0);
  ExpectGolden(disc, "coverage_inventory.xml");
  vxe2e::XmlDiscovery d;
  std::string err;
  ASSERT_TRUE(vxe2e::parse_discovery(disc, d, err)) << err;
  // Adapters whose queries fail or throw are left out; the others are all there.
  ASSERT_EQ(d.devices.size(), 8u);
  const vxe2e::XmlDevice& eth1 = d.devices[1];
  EXPECT_EQ(eth1.dev.at("busnumber"), "a");
  EXPECT_EQ(eth1.dev.at("funcnumber"), "1");
  EXPECT_EQ(eth1.dev.at("venid"), "ab");
  EXPECT_EQ(eth1.dev.at("device_id"), "ab.2071.1077.2");
  EXPECT_EQ(eth1.fw.at("firmware_id"), "8.74.3.0");
  EXPECT_EQ(d.devices[2].fw.at("firmware_id"), "10.02.09.00-k");
  EXPECT_EQ(d.devices[4].dev.at("busnumber"), "81");
  const vxe2e::XmlDevice& fcoe = d.devices[5];
  EXPECT_EQ(fcoe.dev.at("macaddress"), "20:00:00:0e:1e:b0:00:01");  // node WWN of a CNA port
  EXPECT_EQ(fcoe.fw.at("firmware_id"), " 10.01.00.54-k");  // blank at the start: kept whole
  EXPECT_EQ(fcoe.fw.at("active_version"), "3.2.0.0");
  EXPECT_EQ(fcoe.fw.at("action"), "Downgrade");
  EXPECT_EQ(d.devices[6].dev.at("product_id"), "Invalid Model");
  EXPECT_EQ(d.devices[6].dev.at("busnumber"), "0");
  EXPECT_EQ(d.devices[6].dev.at("devicenumber"), "1c");
  EXPECT_EQ(d.devices[6].fw.at("action"), "Rewrite");
  EXPECT_EQ(d.devices[7].fw.at("active_version"), " ");
  EXPECT_EQ(d.devices[7].fw.at("action"), "Upgrade");
  EXPECT_EQ(d.devices[0].fw.at("action"), "Upgrade");
}

TEST(DiscoveryFileTest, SuccessfulDiscoveryLogsEveryRecordTwiceAndReleasesTheAgent) {
  TempDir tmp;
  SimMachine sim;
  std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = tmp.file("discovery.xml");
  ASSERT_EQ(Plugin::get().discover(disc.c_str(), dir.c_str()), 0);
  std::vector<std::string> lines = vxtest::trace_log_lines();
  ExpectBanner(lines);
  vxe2e::XmlDiscovery d;
  std::string err;
  ASSERT_TRUE(vxe2e::parse_discovery(disc, d, err)) << err;
  EXPECT_EQ(vxe2e::log_lines_containing("--> DisplayDeviceAttribs()").size(), 2 * d.devices.size());
  for (const vxe2e::XmlDevice& dev : d.devices)
    EXPECT_EQ(vxe2e::log_lines_containing("LOG_DEBUG : macaddress value:" + dev.dev.at("macaddress")).size(), 2u);
  EXPECT_EQ(vxe2e::log_lines_containing("Number of QuorvelDevices is " + std::to_string(d.devices.size())).size(), 1u);
  EXPECT_EQ(vxe2e::log_lines_containing("FW VERSION FROM TAR FILE IS 3.1.0.0").size(), 1u);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "LOG_INFO : --> ~qrvl_vxinslib_init() Destructor.");
  EXPECT_EQ(lines.back(), "LOG_INFO : <-- ~qrvl_vxinslib_init() Destructor.");
  EXPECT_EQ(sim.calls("free_hba_lib").size(), 1u);
}

TEST(DiscoveryFileTest, NoAdapterReturns4AndRemovesTheOldFile) {
  TempDir tmp;
  SimMachine sim("{\"adapters\": []}");
  std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = tmp.file("discovery.xml");
  vxtest::write_file(disc, "previous discovery");
  EXPECT_EQ(Plugin::get().discover(disc.c_str(), dir.c_str()), 4);
  EXPECT_FALSE(vxtest::file_exists(disc));
  EXPECT_EQ(vxe2e::log_lines_containing("Quorvel Device Enumeration Failed").size(), 1u);
  EXPECT_EQ(sim.calls("free_hba_lib").size(), 1u);
}

// Values in agent answers are read as JsonCpp's asString / asUInt convert them; only a value
// that conversion refuses makes the answer malformed: 1001, the old file gone, the agent
// released. (A refused value used to make JsonCpp throw out of the plug-in into the host's
// process; a number where text is expected used to be refused.)
TEST(DiscoveryFileTest, AgentAnswerValuesDecideTheResult) {
  struct Case {
    const char* name;
    const char* member;  // of the second adapter in the simulator's inventory; "a/b" nests
    Json::Value value;
    int expected;
    const char* leaf;  // 0: a leaf of the second adapter's device, and its value
    const char* want;
  } cases[] = {
      {"StorageDriverVersionIs10", "storageDriverVersion", Json::Value(10), 0, "firmware_id", "10"},
      {"StorageDriverVersionIsNull", "storageDriverVersion", Json::Value(), 0, "firmware_id", ""},
      {"PortCountIs2Point0", "portCount", Json::Value(2.0), 0, "product_id",
       "Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA"},
      {"VendorIdIs4215Point0", "pcie/vendorID", Json::Value(4215.0), 0, "venid", "1077"},
      {"DeviceIdIsNull", "pcie/deviceID", Json::Value(), 0, "devid", "0"},
      {"SubsystemIdIsTrue", "pcie/subSystemID", Json::Value(true), 0, "subdevid", "1"},
      {"ModelIsANumber", "model", Json::Value(42), 0, "product_id", "Invalid Model"},
      {"PortCountIsText", "portCount", Json::Value("two"), 1001, nullptr, nullptr},
      {"PortCountIsNegative", "portCount", Json::Value(-1), 1001, nullptr, nullptr},
      {"PortCountIs1e12", "portCount", Json::Value(1e12), 1001, nullptr, nullptr},
      {"FlashedVersionIsAnObject", "flashedBiosVersion", Json::Value(Json::objectValue), 1001,
       nullptr, nullptr},
      {"StorageDriverVersionIsAnArray", "storageDriverVersion", Json::Value(Json::arrayValue),
       1001, nullptr, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    Json::Value good =
        vxe2e::sim_adapter("20:00:00:0e:1e:a0:00:01", "Quorvel-QF2742", 1, "3.0.0.0");
    vxe2e::add_fc_port(good, "21:00:00:0e:1e:a0:00:01", "20:00:00:0e:1e:a0:00:01",
                       "0000:0a:00.0");
    // The model names the port count: one port is the QF2740, two the QF2742.
    Json::Value bad =
        vxe2e::sim_adapter("20:00:00:0e:1e:b0:00:01", "Quorvel-QF2700", 1, "3.0.0.0");
    vxe2e::add_fc_port(bad, "21:00:00:0e:1e:b0:00:01", "20:00:00:0e:1e:b0:00:01",
                       "0000:0b:00.0");
    const std::string member = c.member;
    const std::string::size_type slash = member.find('/');
    if (slash == std::string::npos)
      bad[member] = c.value;
    else
      bad[member.substr(0, slash)][member.substr(slash + 1)] = c.value;
    SimMachine sim(vxe2e::inventory_text({good, bad}));
    std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
    std::string disc = tmp.file("discovery.xml");
    vxtest::write_file(disc, "previous discovery");
    EXPECT_EQ(Plugin::get().discover(disc.c_str(), dir.c_str()), c.expected);
    EXPECT_EQ(sim.calls("free_hba_lib").size(), 1u);
    if (c.expected != 0) {
      EXPECT_FALSE(vxtest::file_exists(disc));
      // The good adapter's record was made and freed (logged once when freed).
      EXPECT_EQ(vxe2e::log_lines_containing("macaddress value:21:00:00:0e:1e:a0:00:01").size(),
                1u);
      continue;
    }
    vxe2e::XmlDiscovery d;
    std::string err;
    ASSERT_TRUE(vxe2e::parse_discovery(disc, d, err)) << err;
    ASSERT_EQ(d.devices.size(), 2u);
    const vxe2e::XmlDevice& dev = d.devices[1];
    EXPECT_EQ(dev.dev.count(c.leaf) ? dev.dev.at(c.leaf) : dev.fw.at(c.leaf), c.want);
  }
}

}  // namespace

namespace {

// Regression: when the discovery file could not be written the call still returned 0, and the
// host went on to flash from a file that did not exist.
TEST(DiscoveryFileTest, UnwritableDiscoveryFileIsAFailure) {
  TempDir tmp;
  SimMachine sim;
  std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = tmp.file("no-such-folder/discovery.xml");
  EXPECT_EQ(Plugin::get().discover(disc.c_str(), dir.c_str()), 1001);
  EXPECT_FALSE(vxtest::file_exists(disc));
  EXPECT_EQ(vxe2e::log_lines_containing("LOG_ERROR : Discovery file (" + disc + ") could not be written").size(), 1u);
  EXPECT_EQ(sim.calls("free_hba_lib").size(), 1u);
}

}  // namespace
