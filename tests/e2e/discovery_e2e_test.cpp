// Discovery through the shipped plug-in: argument and package checks, the agent session, the
// discovery file, and the trace log the host's support staff read afterwards.
#include <gtest/gtest.h>

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

struct PackageCase {
  const char* name;
  const char* content;  // written as the only file of the firmware folder (not a tar when set)
  const char* version_member;  // else: a real tar whose version member holds this text
  int expected;
  const char* last_message;
};

class DiscoveryPackageTest : public ::testing::TestWithParam<PackageCase> {};

TEST_P(DiscoveryPackageTest, BadPackageFailsBeforeTheOldDiscoveryFileIsTouched) {
  const PackageCase& c = GetParam();
  TempDir tmp;
  std::string dir = tmp.file("fw");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  if (c.content)
    vxtest::write_file(dir + "/boot.tar", c.content);
  else
    ASSERT_TRUE(vxtest::make_package(dir + "/boot.tar", c.version_member));
  std::string disc = tmp.file("discovery.xml");
  vxtest::write_file(disc, "previous discovery");
  SimMachine sim;
  EXPECT_EQ(Plugin::get().discover(disc.c_str(), dir.c_str()), c.expected);
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
                                  "strstr of Version Failed"}),
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
  struct Case {
    const char* init;
    int expected;
    const char* line;
  } cases[] = {{"null", 1001, "LOG_ERROR : libInitHbaLib returns NULL"},
               {"{\"result\": 7}", 7, "LOG_ERROR : libInitHbaLib is failed with - 7"}};
  for (const Case& c : cases) {
    TempDir tmp;
    std::string dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
    std::string disc = tmp.file("discovery.xml");
    vxtest::write_file(disc, "previous discovery");
    SimMachine sim(std::string("{\"init\": ") + c.init + ", \"adapters\": []}");
    EXPECT_EQ(Plugin::get().discover(disc.c_str(), dir.c_str()), c.expected) << c.init;
    EXPECT_EQ(vxtest::read_file(disc), "previous discovery") << c.init;
    EXPECT_EQ(vxe2e::log_lines_containing("libInitHbaLib"), std::vector<std::string>{c.line});
    EXPECT_EQ(sim.calls("init_hba_lib").size(), 1u);
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

}  // namespace
