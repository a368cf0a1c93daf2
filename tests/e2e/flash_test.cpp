// The flash call through the shipped plug-in and the simulator's journal: which adapters the
// agent is asked to flash, with which arguments, and what the rewritten discovery file says.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstring>

#include "e2e_support.h"

using vxe2e::Plugin;
using vxe2e::SimMachine;
using vxtest::TempDir;

namespace {

const char kPackage[] = "qrvl_boot_3100.tar";

// Two adapters: a CNA (two Ethernet, two FCoE functions) and a dual-port FC HBA; plus an
// optional third single-port FC HBA.
std::vector<Json::Value> TwoAdapters(bool third = false) {
  Json::Value cna = vxe2e::sim_adapter("20:00:00:0e:1e:c4:51:10", "Quorvel-QC8442", 2, "3.0.2.1");
  vxe2e::add_eth_port(cna, "00:0e:1e:c4:51:20", "0000:0a:00.0");
  vxe2e::add_eth_port(cna, "00:0e:1e:c4:51:21", "0000:0a:00.1");
  vxe2e::add_fc_port(cna, "21:00:00:0e:1e:c4:51:10", "20:00:00:0e:1e:c4:51:10", "0000:0a:00.2", "CNA");
  vxe2e::add_fc_port(cna, "21:00:00:0e:1e:c4:51:11", "20:00:00:0e:1e:c4:51:11", "0000:0a:00.3", "CNA");
  Json::Value hba = vxe2e::sim_adapter("20:00:00:0e:1e:d7:00:40", "Quorvel-QF2742", 2, "3.2.0.0_b17");
  vxe2e::add_fc_port(hba, "21:00:00:0e:1e:d7:00:40", "20:00:00:0e:1e:d7:00:40", "0000:81:00.0");
  vxe2e::add_fc_port(hba, "21:00:00:0e:1e:d7:00:41", "20:00:00:0e:1e:d7:00:41", "0000:81:00.1");
  std::vector<Json::Value> out = {cna, hba};
  if (third) {
    Json::Value one = vxe2e::sim_adapter("20:00:00:0e:1e:e1:00:07", "Quorvel-QF2742", 1, "3.1.0.0");
    vxe2e::add_fc_port(one, "21:00:00:0e:1e:e1:00:07", "20:00:00:0e:1e:e1:00:07", "0000:c3:00.0");
    out.push_back(one);
  }
  return out;
}

// Replaces every occurrence of `from` in the file by `to`, as a host editing the file would.
void Edit(const std::string& path, const std::string& from, const std::string& to, size_t max = 1000) {
  std::string text = vxtest::read_file(path);
  size_t pos = 0, n = 0;
  while (n < max && (pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
    ++n;
  }
  ASSERT_GT(n, 0u) << "nothing to edit: " << from;
  vxtest::write_file(path, text);
}

// Sets the action of the device element holding `mac_or_wwn`.
void SetAction(const std::string& path, const std::string& mac_or_wwn, const std::string& action) {
  std::string text = vxtest::read_file(path);
  size_t at = text.find("<macaddress value=\"" + mac_or_wwn + "\"/>");
  ASSERT_NE(at, std::string::npos) << mac_or_wwn;
  size_t act = text.find("<action value=\"", at);
  ASSERT_NE(act, std::string::npos);
  act += std::string("<action value=\"").size();
  size_t end = text.find('"', act);
  text.replace(act, end - act, action);
  vxtest::write_file(path, text);
}

// Replaces the whole action leaf of the device element holding `mac_or_wwn` by `leaf`.
void SetActionLeaf(const std::string& path, const std::string& mac_or_wwn, const std::string& leaf) {
  std::string text = vxtest::read_file(path);
  size_t at = text.find("<macaddress value=\"" + mac_or_wwn + "\"/>");
  ASSERT_NE(at, std::string::npos) << mac_or_wwn;
  size_t begin = text.find("<action value=", at);
  ASSERT_NE(begin, std::string::npos);
  size_t end = text.find("/>", begin) + 2;
  text.replace(begin, end - begin, leaf);
  vxtest::write_file(path, text);
}

// The HBA of TwoAdapters(): its two FC functions.
const char* const kHbaPorts[] = {"21:00:00:0e:1e:d7:00:40", "21:00:00:0e:1e:d7:00:41"};
const char kCna[] = "20:00:00:0e:1e:c4:51:10";
const char kHba[] = "20:00:00:0e:1e:d7:00:40";
const char kOne[] = "20:00:00:0e:1e:e1:00:07";  // the third adapter of TwoAdapters(true)

class FlashTest : public ::testing::Test {
 protected:
  // Discovery against `adapters`, leaving the discovery file and the package folder.
  void Discover(const std::vector<Json::Value>& adapters, const Json::Value& extra = Json::Value(Json::objectValue)) {
    sim_.reset();  // the old machine restores the environment before the new one sets it
    sim_.reset(new SimMachine(vxe2e::inventory_text(adapters, extra)));
    fw_dir_ = vxe2e::make_fw_dir(tmp_, "3.1.0.0", kPackage);
    disc_ = tmp_.file("discovery.xml");
    ASSERT_EQ(Plugin::get().discover(disc_.c_str(), fw_dir_.c_str()), 0);
    sim_->clear_journal();
  }
  int Flash(const std::string& fw) { return Plugin::get().flash(disc_.c_str(), fw.c_str()); }
  std::string Package() const { return fw_dir_ + "/" + kPackage; }
  std::vector<std::string> Flashed() const {
    std::vector<std::string> out;
    for (const Json::Value& c : sim_->calls("hba_flashUpgrade")) out.push_back(c["wwn"].asString());
    return out;
  }
  vxe2e::XmlDiscovery Parsed() const {
    vxe2e::XmlDiscovery d;
    std::string err;
    EXPECT_TRUE(vxe2e::parse_discovery(disc_, d, err)) << err;
    return d;
  }
  void ExpectStatusEverywhere(const std::string& status) const {
    vxe2e::XmlDiscovery d = Parsed();
    ASSERT_FALSE(d.devices.empty());
    for (const vxe2e::XmlDevice& dev : d.devices) EXPECT_EQ(dev.fw.at("action_status"), status);
  }
  bool Released() const { return !sim_->calls("free_hba_lib").empty(); }

  TempDir tmp_;
  std::unique_ptr<SimMachine> sim_;
  std::string fw_dir_, disc_;
};

TEST_F(FlashTest, OneFlashPerAdapterWithTheAgentsArguments) {
  Discover(TwoAdapters());
  EXPECT_EQ(Flash(Package()), 1);
  std::vector<Json::Value> calls = sim_->calls("hba_flashUpgrade");
  ASSERT_EQ(calls.size(), 2u);  // six functions, two adapters
  EXPECT_EQ(calls[0]["wwn"].asString(), "20:00:00:0e:1e:c4:51:10");
  EXPECT_EQ(calls[1]["wwn"].asString(), "20:00:00:0e:1e:d7:00:40");
  for (const Json::Value& c : calls) {
    EXPECT_EQ(c["file"].asString(), Package());
    EXPECT_EQ(c["size"].asUInt(), 0u);
    EXPECT_EQ(c["flag"].asInt(), 0);
    EXPECT_EQ(c["len"].asUInt(), 128u);
    EXPECT_TRUE(c["errBufZeroed"].asBool());
  }
  ExpectStatusEverywhere("1");
  EXPECT_TRUE(Released());
  EXPECT_EQ(vxe2e::log_lines_containing("Firmware update success on").size(), 2u);
}

TEST_F(FlashTest, DirectoryFileAndBackslashPathGiveTheSameOutcome) {
  Discover(TwoAdapters());
  std::string saved = vxtest::read_file(disc_);
  // A file literally named "x\<package>": its bare name is the part after the backslash.
  std::string backslash = fw_dir_ + "/x\\" + kPackage;
  ASSERT_EQ(vxtest::run("cp " + vxtest::shell_quote(Package()) + " " + vxtest::shell_quote(backslash)), 0);
  std::string rewritten;
  for (const std::string& fw : {fw_dir_ + "/sub", Package(), backslash}) {
    if (fw == fw_dir_ + "/sub") {
      // The package's folder: it must hold the package alone.
      ASSERT_EQ(mkdir(fw.c_str(), 0755), 0);
      ASSERT_EQ(vxtest::run("cp " + vxtest::shell_quote(Package()) + " " + vxtest::shell_quote(fw)), 0);
    }
    vxtest::write_file(disc_, saved);
    sim_->clear_journal();
    remove(sim_->path("state.json").c_str());  // every run starts from the same flashed versions
    EXPECT_EQ(Flash(fw), 1) << fw;
    EXPECT_EQ(Flashed().size(), 2u) << fw;
    std::string now = vxtest::read_file(disc_);
    if (rewritten.empty()) rewritten = now;
    EXPECT_EQ(now, rewritten) << fw;
  }
}

TEST_F(FlashTest, AllSkipFlashesNothingAndReturns3) {
  Discover(TwoAdapters());
  Edit(disc_, "<action value=\"Upgrade\"/>", "<action value=\"Skip\"/>");
  Edit(disc_, "<action value=\"Downgrade\"/>", "<action value=\"skip\"/>");
  EXPECT_EQ(Flash(Package()), 3);
  EXPECT_TRUE(Flashed().empty());
  ExpectStatusEverywhere("");
  for (const vxe2e::XmlDevice& d : Parsed().devices) EXPECT_EQ(d.fw.at("action"), "Skip");
  EXPECT_TRUE(Released());
  EXPECT_EQ(vxe2e::log_lines_containing("All Action Status Values are Set to Skip").size(), 1u);
}

// A package that is not the one the file was made for: another name, or the same name rebuilt
// with another version (which used to be flashed to every adapter, Upgrade proposals included).
TEST_F(FlashTest, OtherPackageReturns8AndMarksEveryDevice) {
  struct Case {
    const char* name;
    bool same_name;
    const char* version;
    const char* line;  // the one line that names the difference
  } cases[] = {
      {"other name", false, "3.1.0.0",
       "Passed=other_name.tar != DiscoveryFw file=qrvl_boot_3100.tar"},
      {"same name, other version", true, "2.0.0.0",
       "Passed version=2.0.0.0 != DiscoveryFw version=3.1.0.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Discover(TwoAdapters());
    std::string package = c.same_name ? Package() : tmp_.file("other_name.tar");
    ASSERT_TRUE(vxtest::make_package_with_version(package, c.version));
    EXPECT_EQ(Flash(package), 8);
    EXPECT_TRUE(Flashed().empty());
    ExpectStatusEverywhere("8");
    EXPECT_EQ(vxe2e::log_lines_containing(c.line).size(), 1u);
    EXPECT_TRUE(vxe2e::log_lines_containing("PassedFw file(").empty());
    EXPECT_TRUE(Released());
  }
}

// Regression: one device set to Skip used to let its adapter be flashed anyway as soon as any
// other device was not skipped.
TEST_F(FlashTest, SkippedAdapterIsNotFlashedBesideAnotherOne) {
  Discover(TwoAdapters());
  Edit(disc_, "<action value=\"Upgrade\"/>", "<action value=\"Skip\"/>");  // the CNA's four functions
  EXPECT_EQ(Flash(Package()), 1);
  EXPECT_EQ(Flashed(), std::vector<std::string>{"20:00:00:0e:1e:d7:00:40"});
  ExpectStatusEverywhere("1");
}

// Regression: a failed adapter followed by a successful one used to be reported as success.
TEST_F(FlashTest, FailureIsNotHiddenByALaterSuccess) {
  std::vector<Json::Value> adapters = TwoAdapters();
  adapters[0]["flash"]["result"] = 5;
  adapters[0]["flash"]["reason"] = "image rejected";
  Discover(adapters);
  EXPECT_EQ(Flash(Package()), 1);
  EXPECT_EQ(Flashed().size(), 2u);
  ExpectStatusEverywhere("");
  EXPECT_EQ(vxe2e::log_lines_containing("fw update failed:ERROR:BOOT UPDATE FAILED:image rejected").size(), 1u);
}

TEST_F(FlashTest, ThrowingFlashIsAFailedAdapterAndThePassGoesOn) {
  for (const char* kind : {"throwAgent", "throwStd", "throwOther"}) {
    Json::Value extra(Json::objectValue);
    Json::Value fault(Json::objectValue);
    fault["symbol"] = "hba_flashUpgrade";
    fault["key"] = "20:00:00:0e:1e:c4:51:10";
    fault["kind"] = kind;
    fault["code"] = 9;
    fault["message"] = "flash engine crashed";
    extra["faults"].append(fault);
    Discover(TwoAdapters(), extra);
    EXPECT_EQ(Flash(Package()), 1) << kind;
    EXPECT_EQ(Flashed().size(), 2u) << kind;
    ExpectStatusEverywhere("");
    EXPECT_EQ(vxe2e::log_lines_containing("ERROR:(1001)- fw update failed:ERROR:BOOT UPDATE FAILED:").size(), 1u) << kind;
    EXPECT_TRUE(Released()) << kind;
  }
}

TEST_F(FlashTest, UnknownDeviceEndsThePass) {
  Discover(TwoAdapters(true));
  Edit(disc_, "21:00:00:0e:1e:d7:00:40", "21:00:00:0e:1e:ff:ff:ff");  // the HBA's first port
  EXPECT_EQ(Flash(Package()), 1);
  EXPECT_EQ(Flashed(), std::vector<std::string>{"20:00:00:0e:1e:c4:51:10"});
  ExpectStatusEverywhere("");
  EXPECT_EQ(vxe2e::log_lines_containing("ERROR:(1001), upgrade failed.").size(), 1u);
}

TEST_F(FlashTest, SkippedDeviceWhoseAdapterIsGoneDoesNotEndThePass) {
  Discover(TwoAdapters(true));
  Edit(disc_, "21:00:00:0e:1e:d7:00:40", "21:00:00:0e:1e:ff:ff:ff");
  SetAction(disc_, "21:00:00:0e:1e:ff:ff:ff", "Skip");
  EXPECT_EQ(Flash(Package()), 1);
  // The HBA's second port still names it: the HBA is flashed for that device.
  EXPECT_EQ(Flashed(), (std::vector<std::string>{"20:00:00:0e:1e:c4:51:10", "20:00:00:0e:1e:d7:00:40",
                                                 "20:00:00:0e:1e:e1:00:07"}));
  ExpectStatusEverywhere("1");
}

TEST_F(FlashTest, AgentCountingMoreAdaptersThanItListsIsHarmless) {
  Json::Value extra(Json::objectValue);
  extra["adapterCount"] = 40;
  Discover(TwoAdapters(), extra);
  EXPECT_EQ(Flash(Package()), 1);
  EXPECT_EQ(Flashed().size(), 2u);
}

TEST_F(FlashTest, ThrowingCountOrIndexListEndsTheCallWith1001) {
  for (const char* symbol : {"getNumberOfAdapters", "getAllAdaptersIndexString"}) {
    Discover(TwoAdapters());
    std::string before = vxtest::read_file(disc_);
    // Enumeration and the flash call both ask; the fault file is swapped in after discovery.
    Json::Value extra(Json::objectValue);
    Json::Value fault(Json::objectValue);
    fault["symbol"] = symbol;
    fault["kind"] = "throwStd";
    fault["message"] = "agent lost its adapters";
    extra["faults"].append(fault);
    vxtest::write_file(sim_->path("inventory.json"), vxe2e::inventory_text(TwoAdapters(), extra));
    EXPECT_EQ(Flash(Package()), 1001) << symbol;
    EXPECT_TRUE(Flashed().empty());
    EXPECT_EQ(vxtest::read_file(disc_), before) << symbol;
    EXPECT_TRUE(Released()) << symbol;
  }
}

TEST_F(FlashTest, FileWithoutDevicesOrMissingFile) {
  Discover(TwoAdapters());
  std::string empty_doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vx_rom_discovery version=\"2.0.0.0\">\n\t<devices>\n\t</devices>\n</vx_rom_discovery>";
  vxtest::write_file(disc_, empty_doc);
  EXPECT_EQ(Flash(Package()), 4);
  EXPECT_EQ(vxtest::read_file(disc_), empty_doc);
  EXPECT_TRUE(Released());
  remove(disc_.c_str());
  EXPECT_EQ(Flash(Package()), 11);
  EXPECT_FALSE(vxtest::file_exists(disc_));
}

// The rewritten file lists the adapters as enumerated now, each device with its own active
// version (the host's edit of the first device reaches no other); the offered version and the
// file name are the package's. A device the file did not hold (its adapter's query failed at
// discovery, so the operator never saw it) whose adapter this call did not try is written Skip
// with an empty status on every rewrite path: a retry with the file must not flash it unreviewed.
TEST_F(FlashTest, RewrittenFileSaysWhatThisCallDidToEachDevice) {
  const char* const kUpgrade = "3.0.2.1 Upgrade ";  // the CNA's functions, then the status
  const char* const kDowngrade = "3.2.0.0 Downgrade ";
  const char* const kRewrite = "3.1.0.0 Rewrite ";
  struct Case {
    const char* name;
    const char* left_out;  // the adapter whose query fails at discovery
    const char* removed;   // the device element taken out of the file
    const char* action;    // set on every device of the file
    bool other_package;
    int expected;
    std::vector<std::string> flashed;
    std::vector<std::string> devices;  // "active action status", as enumerated now
  };
  const std::string c1 = std::string(kUpgrade) + "1", d1 = std::string(kDowngrade) + "1",
                    r1 = std::string(kRewrite) + "1";
  const Case cases[] = {
      {"each device its own active version", nullptr, nullptr, nullptr, false, 1,
       {kCna, kHba, kOne}, {c1, c1, c1, c1, d1, d1, r1}},
      {"adapter left out at discovery", kHba, nullptr, nullptr, false, 1, {kCna, kOne},
       {c1, c1, c1, c1, "3.2.0.0 Skip ", "3.2.0.0 Skip ", r1}},
      {"function taken out of a tried adapter", nullptr, "00:0e:1e:c4:51:21", nullptr, false, 1,
       {kCna, kHba, kOne}, {c1, c1, c1, c1, d1, d1, r1}},
      {"every device skipped", kHba, nullptr, "Skip", false, 3, {},
       {"3.0.2.1 Skip ", "3.0.2.1 Skip ", "3.0.2.1 Skip ", "3.0.2.1 Skip ", "3.2.0.0 Skip ",
        "3.2.0.0 Skip ", "3.1.0.0 Skip "}},
      {"other package", kHba, nullptr, nullptr, true, 8, {},
       {std::string(kUpgrade) + "8", std::string(kUpgrade) + "8", std::string(kUpgrade) + "8",
        std::string(kUpgrade) + "8", "3.2.0.0 Skip ", "3.2.0.0 Skip ",
        std::string(kRewrite) + "8"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json::Value extra(Json::objectValue);
    if (c.left_out != nullptr) {
      Json::Value fault(Json::objectValue);
      fault["symbol"] = "getAdvAdapterData";
      fault["key"] = c.left_out;
      fault["kind"] = "throwAgent";
      extra["faults"].append(fault);
    }
    Discover(TwoAdapters(true), extra);
    vxtest::write_file(sim_->path("inventory.json"), vxe2e::inventory_text(TwoAdapters(true)));
    Edit(disc_, "<active_version value=\"3.0.2.1\"/>", "<active_version value=\"9.9.9.9\"/>", 1);
    if (c.removed != nullptr) {
      std::string text = vxtest::read_file(disc_);
      size_t at = text.find(c.removed);
      ASSERT_NE(at, std::string::npos);
      size_t begin = text.rfind("\t\t<device>", at);
      size_t end = text.find("</device>", at) + strlen("</device>\n");
      vxtest::write_file(disc_, text.erase(begin, end - begin));
    }
    if (c.action != nullptr) {
      for (const char* word : {"Upgrade", "Downgrade", "Rewrite"}) {
        std::string text = vxtest::read_file(disc_);
        if (text.find(std::string("\"") + word + "\"") != std::string::npos)
          Edit(disc_, std::string("<action value=\"") + word + "\"/>",
               std::string("<action value=\"") + c.action + "\"/>");
      }
    }
    std::string package = Package();
    if (c.other_package) {
      package = tmp_.file("other_name.tar");
      ASSERT_TRUE(vxtest::make_package_with_version(package, "3.1.0.0"));
    }
    EXPECT_EQ(Flash(package), c.expected);
    EXPECT_EQ(Flashed(), c.flashed);
    vxe2e::XmlDiscovery d = Parsed();
    std::vector<std::string> devices;
    for (const vxe2e::XmlDevice& dev : d.devices) {
      devices.push_back(dev.fw.at("active_version") + " " + dev.fw.at("action") + " " +
                        dev.fw.at("action_status"));
      EXPECT_EQ(dev.fw.at("version"), "3.1.0.0");
      EXPECT_EQ(dev.fw.at("firmware_file"), kPackage);
    }
    EXPECT_EQ(devices, c.devices);
  }
}

TEST_F(FlashTest, DiscoveryAfterFlashProposesRewrite) {
  Discover(TwoAdapters());
  SetAction(disc_, "21:00:00:0e:1e:d7:00:40", "Skip");
  SetAction(disc_, "21:00:00:0e:1e:d7:00:41", "Skip");
  EXPECT_EQ(Flash(Package()), 1);
  ASSERT_EQ(Plugin::get().discover(disc_.c_str(), fw_dir_.c_str()), 0);
  vxe2e::XmlDiscovery d = Parsed();
  ASSERT_EQ(d.devices.size(), 6u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(d.devices[i].fw.at("action"), "Rewrite") << i;
    EXPECT_EQ(d.devices[i].fw.at("active_version"), "3.1.0.0") << i;
  }
  EXPECT_EQ(d.devices[4].fw.at("action"), "Downgrade");  // the skipped HBA keeps 3.2.0.0
}

}  // namespace

namespace {

// Regression: a FIFO named as the package or the discovery file blocked the host's thread
// forever in the package reader or the discovery-file reader.
TEST_F(FlashTest, FifoInsteadOfPackageOrDiscoveryFileIsRefused) {
  Discover(TwoAdapters());
  std::string fifo = tmp_.file("pipe.tar");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Flash(fifo), 8);
  EXPECT_EQ(Plugin::get().flash(fifo.c_str(), Package().c_str()), 11);
  std::string dir = tmp_.file("fifo-dir");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  ASSERT_EQ(mkfifo((dir + "/boot.tar").c_str(), 0600), 0);
  EXPECT_EQ(Plugin::get().discover(disc_.c_str(), dir.c_str()), 9);
  EXPECT_TRUE(Flashed().empty());
}

}  // namespace

namespace {

std::vector<std::string> LastLines(size_t n) {
  std::vector<std::string> lines = vxtest::trace_log_lines();
  if (lines.size() < n) return lines;
  return std::vector<std::string>(lines.end() - static_cast<long>(n), lines.end());
}

const char kFlashExit[] = "<--oem_do_flash_with_file()";

TEST_F(FlashTest, ArgumentChecksLogTheirLinesAndCodes) {
  Discover(TwoAdapters());
  std::string missing = tmp_.file("missing");
  struct Case {
    const char* disc;
    const char* fw;
    int expected;
    std::vector<std::string> tail;
  } cases[] = {
      {nullptr, Package().c_str(), 1002,
       {"LOG_ERROR : INVALID DISCOVERY FILE.", std::string("\t\t\t") + kFlashExit, ""}},
      {missing.c_str(), Package().c_str(), 11,
       {"LOG_ERROR : DISC FILE Open Failed.", std::string("\t\t\t") + kFlashExit, ""}},
      {disc_.c_str(), nullptr, 1002,
       {"LOG_ERROR : INVALID FW FILE.", std::string("\t\t\t") + kFlashExit, ""}},
      {disc_.c_str(), missing.c_str(), -1,
       {"LOG_ERROR : Error(-1)-stat in getting the FW Folder path", "",
        std::string("LOG_ERROR : ") + kFlashExit, ""}},
  };
  std::string saved = vxtest::read_file(disc_);
  for (const Case& c : cases) {
    EXPECT_EQ(Plugin::get().flash(c.disc, c.fw), c.expected);
    std::vector<std::string> lines = vxtest::trace_log_lines();
    ASSERT_GE(lines.size(), 8u);
    // The banner, the entry trace, then the failure.
    EXPECT_EQ(lines[6], "LOG_INFO : -->oem_do_flash_with_file()");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 8, lines.end()), c.tail) << c.expected;
  }
  EXPECT_EQ(vxtest::read_file(disc_), saved);
  EXPECT_TRUE(Flashed().empty());
}

// An initialisation result that is one of the flash call's own results (1: the pass ran, 3:
// every device skipped) used to reach the host as if that had happened: it comes back as 1001.
// Any other value is the agent's own and comes back as it is.
TEST_F(FlashTest, InitialisationResultIsNeverTakenForAFlashOutcome) {
  struct Case {
    int init;
    int expected;
    std::vector<std::string> tail;
  } cases[] = {
      {1, 1001,
       {"LOG_ERROR : libInitHbaLib is failed with - 1",
        "LOG_ERROR : Agent initialisation result 1 is a flash result code: returned "
        "INTERNAL_OPER_FAILED",
        "LOG_ERROR : Library is not initialized.", std::string("\t\t\t") + kFlashExit, ""}},
      {3, 1001,
       {"LOG_ERROR : libInitHbaLib is failed with - 3",
        "LOG_ERROR : Agent initialisation result 3 is a flash result code: returned "
        "INTERNAL_OPER_FAILED",
        "LOG_ERROR : Library is not initialized.", std::string("\t\t\t") + kFlashExit, ""}},
      {7, 7,
       {"LOG_ERROR : libInitHbaLib is failed with - 7", "LOG_ERROR : Library is not initialized.",
        std::string("\t\t\t") + kFlashExit, ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.init);
    Discover(TwoAdapters());
    ASSERT_EQ(Flash(Package()), 1);  // the file now says "1" on every device
    const std::string rewritten = vxtest::read_file(disc_);
    Json::Value extra(Json::objectValue);
    extra["init"]["result"] = c.init;
    vxtest::write_file(sim_->path("inventory.json"), vxe2e::inventory_text(TwoAdapters(), extra));
    sim_->clear_journal();
    EXPECT_EQ(Flash(Package()), c.expected);
    EXPECT_TRUE(Flashed().empty());
    EXPECT_EQ(vxtest::read_file(disc_), rewritten);
    EXPECT_EQ(LastLines(c.tail.size()), c.tail);
  }
}

TEST_F(FlashTest, AgentThatCannotBeLoadedLeavesTheFile) {
  Discover(TwoAdapters());
  std::string saved = vxtest::read_file(disc_);
  EXPECT_EQ(vxe2e::run_driver(tmp_.file("no-agent"), {"flash", disc_, Package()}), 6);
  EXPECT_EQ(LastLines(4), (std::vector<std::string>{
                              "LOG_ERROR : <-- qrvl_vxinslib_init(): znaj_entry point failed",
                              "LOG_ERROR : Library is not initialized.",
                              std::string("\t\t\t") + kFlashExit, ""}));
  EXPECT_EQ(vxtest::read_file(disc_), saved);
}

TEST_F(FlashTest, DecisionLinesAndTheirOrder) {
  Discover(TwoAdapters());
  std::string saved = vxtest::read_file(disc_);
  EXPECT_EQ(Flash(fw_dir_), 1);
  EXPECT_EQ(vxe2e::log_lines_containing("LOG_INFO : FW File from the given path is " + Package()).size(), 1u);
  EXPECT_EQ(vxe2e::log_lines_containing("LOG_INFO : Number of Devices from XML File: 6").size(), 1u);
  EXPECT_EQ(vxe2e::log_lines_containing(std::string("LOG_ERROR : PassedFw file(") + kPackage +
                                        ") == DiscoveryFw file(" + kPackage + ")").size(), 1u);
  EXPECT_EQ(LastLines(2), (std::vector<std::string>{"LOG_INFO : --> ~qrvl_vxinslib_init() Destructor.",
                                                    "LOG_INFO : <-- ~qrvl_vxinslib_init() Destructor."}));
  // Every device set to skip: the release comes before the exit trace.
  vxtest::write_file(disc_, saved);
  Edit(disc_, "<action value=\"Upgrade\"/>", "<action value=\"Skip\"/>");
  Edit(disc_, "<action value=\"Downgrade\"/>", "<action value=\"Skip\"/>");
  EXPECT_EQ(Flash(Package()), 3);
  EXPECT_EQ(LastLines(6), (std::vector<std::string>{
                              "LOG_ERROR : Not proceeding with boot update", "",
                              "LOG_INFO : --> ~qrvl_vxinslib_init() Destructor.",
                              "LOG_INFO : <-- ~qrvl_vxinslib_init() Destructor.",
                              std::string("LOG_ERROR : ") + kFlashExit, ""}));
  // No device element at all.
  vxtest::write_file(disc_, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vx_rom_discovery version=\"2.0.0.0\">\n</vx_rom_discovery>");
  EXPECT_EQ(Flash(Package()), 4);
  EXPECT_EQ(vxe2e::log_lines_containing("LOG_INFO : Number of Devices from XML File: 0").size(), 1u);
  // The fresh records are freed (and so logged) first, then the one-line failure, then the release.
  EXPECT_EQ(LastLines(6), (std::vector<std::string>{
                              "LOG_DEBUG : <-- DisplayDeviceAttribs()",
                              "LOG_ERROR : No Quorvel Devices Found",
                              std::string(".\t\t\t") + kFlashExit, "",
                              "LOG_INFO : --> ~qrvl_vxinslib_init() Destructor.",
                              "LOG_INFO : <-- ~qrvl_vxinslib_init() Destructor."}));
}

}  // namespace

// The operator's choices survive the discovery file's round trip: a device set to Skip, in
// whatever spelling an XML tool writes, never gets its adapter flashed; what cannot be read for
// sure is refused; a device is never matched to an adapter by a guess.
namespace {

TEST_F(FlashTest, RetryAfterARefusedFlashStillSkipsTheAdapter) {
  Discover(TwoAdapters());
  for (const char* port : kHbaPorts) SetAction(disc_, port, "Skip");
  std::string other = tmp_.file("other_name.tar");
  ASSERT_TRUE(vxtest::make_package_with_version(other, "3.1.0.0"));
  ASSERT_EQ(Flash(other), 8);  // the wrong package: refused, the file rewritten
  vxe2e::XmlDiscovery d = Parsed();
  ASSERT_EQ(d.devices.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(d.devices[i].fw.at("action") == "Skip", i >= 4) << i;
  // The operator retries with the rewritten file and the right package.
  EXPECT_EQ(Flash(Package()), 1);
  EXPECT_EQ(Flashed(), std::vector<std::string>{kCna});
}

TEST_F(FlashTest, SkipInEverySpellingOfAnXmlToolIsHonoured) {
  const std::vector<std::string> spellings = {
      "<action value='Skip'/>",   "<action value = \"Skip\" />", "<action\tvalue=\"skip\"/>",
      "<action value=\"&#83;kip\"/>", "<action value=\"S&#x6B;ip\"></action>",
      // Any letter case, blanks around the word: an operator's SKIP used to flash the adapter.
      "<action value=\"SKIP\"/>", "<action value=\" skip\t\"/>",
  };
  for (const std::string& leaf : spellings) {
    Discover(TwoAdapters());
    for (const char* port : kHbaPorts) SetActionLeaf(disc_, port, leaf);
    EXPECT_EQ(Flash(Package()), 1) << leaf;
    EXPECT_EQ(Flashed(), std::vector<std::string>{kCna}) << leaf;
  }
}

TEST_F(FlashTest, CommentedOutAdapterIsNoDevice) {
  Discover(TwoAdapters());
  std::string text = vxtest::read_file(disc_);
  size_t first = text.rfind("<device>", text.find(kHbaPorts[0]));
  size_t last = text.find("</device>", text.find(kHbaPorts[1])) + strlen("</device>");
  text.insert(last, "\n-->");
  text.insert(first, "<!-- not this one\n");
  vxtest::write_file(disc_, text);
  EXPECT_EQ(Flash(Package()), 1);
  EXPECT_EQ(Flashed(), std::vector<std::string>{kCna});
  EXPECT_EQ(vxe2e::log_lines_containing("Number of Devices from XML File: 4").size(), 1u);
}

TEST_F(FlashTest, FileThatCannotBeReadForSureIsRefusedWhole) {
  const std::vector<std::string> leaves = {
      "<action value=\"Sk\nip\"/>",                              // split over two lines
      "<action value=Skip/>",                                      // no quotes
      "<action val=\"Skip\"/>",                                    // another attribute
      "<action value=\"Skip\"/>\n<action value=\"Upgrade\"/>",     // twice in one device
      "<!-- <action value=\"Skip\"/>",                             // unterminated comment
      "<action value=\"Skpi\"/>",                                  // a word naming no action
  };
  for (const std::string& leaf : leaves) {
    Discover(TwoAdapters());
    SetActionLeaf(disc_, kHbaPorts[1], leaf);
    const std::string before = vxtest::read_file(disc_);
    EXPECT_EQ(Flash(Package()), 1001) << leaf;
    EXPECT_TRUE(Flashed().empty()) << leaf;
    EXPECT_EQ(vxtest::read_file(disc_), before) << leaf;
    EXPECT_EQ(vxe2e::log_lines_containing("ERROR:(1001)-Read from XML file " + disc_ + " Failed")
                  .size(),
              1u)
        << leaf;
    EXPECT_EQ(LastLines(4), (std::vector<std::string>{
                                std::string("LOG_ERROR : ") + kFlashExit, "",
                                "LOG_INFO : --> ~qrvl_vxinslib_init() Destructor.",
                                "LOG_INFO : <-- ~qrvl_vxinslib_init() Destructor."}))
        << leaf;
  }
}

// Two CNAs whose FCoE functions (identified by their node WWN) the agent reports with the same
// node WWN, or with none at all.
std::vector<Json::Value> AdaptersSharing(const std::string& node_wwn) {
  Json::Value a = vxe2e::sim_adapter("10:00:00:0e:1e:00:00:0a", "Quorvel-QC8442", 1, "3.0.2.1");
  vxe2e::add_fc_port(a, "21:00:00:0e:1e:00:00:0a", node_wwn, "0000:0a:00.2", "CNA");
  Json::Value b = vxe2e::sim_adapter("10:00:00:0e:1e:00:00:0b", "Quorvel-QC8442", 1, "3.0.2.1");
  vxe2e::add_fc_port(b, "21:00:00:0e:1e:00:00:0b", node_wwn, "0000:0b:00.2", "CNA");
  return {a, b};
}

// With an empty or shared WWN the device of adapter B matched adapter A, which the operator had
// skipped, and A was flashed.
TEST_F(FlashTest, EmptyOrSharedIdentifierFlashesNothing) {
  for (const std::string wwn : {"", "20:00:00:0e:1e:00:00:99"}) {
    Discover(AdaptersSharing(wwn));
    std::string text = vxtest::read_file(disc_);
    size_t first_action = text.find("<action value=\"");
    ASSERT_NE(first_action, std::string::npos);
    text.replace(first_action, text.find("/>", first_action) - first_action,
                 "<action value=\"Skip\"");
    vxtest::write_file(disc_, text);
    EXPECT_EQ(Flash(Package()), 1) << wwn;
    EXPECT_TRUE(Flashed().empty()) << wwn;
    ExpectStatusEverywhere("");
    EXPECT_EQ(vxe2e::log_lines_containing("ERROR:(1001), upgrade failed.").size(), 1u) << wwn;
  }
}

// A device is matched by its identifier byte for byte: one that differs from the adapter's only
// in letter case names no adapter, and the pass ends there.
TEST_F(FlashTest, IdentifierDifferingInCaseOnlyMatchesNoAdapter) {
  Discover(TwoAdapters());
  Edit(disc_, kHbaPorts[0], "21:00:00:0E:1E:D7:00:40");
  EXPECT_EQ(Flash(Package()), 1);
  EXPECT_EQ(Flashed(), std::vector<std::string>{kCna});
  ExpectStatusEverywhere("");
}

// An agent that lists an adapter twice: its devices come twice, the adapter is flashed once.
TEST_F(FlashTest, AdapterListedTwiceIsFlashedOnce) {
  Json::Value extra(Json::objectValue);
  Json::Value fault(Json::objectValue);
  fault["symbol"] = "getAllAdaptersIndexString";
  fault["kind"] = "answer";
  fault["answer"]["indexStrings"].append(kHba);
  fault["answer"]["indexStrings"].append(kCna);
  fault["answer"]["indexStrings"].append(kHba);
  extra["faults"].append(fault);
  Discover(TwoAdapters(), extra);
  EXPECT_EQ(Parsed().devices.size(), 8u);
  EXPECT_EQ(Flash(Package()), 1);
  EXPECT_EQ(Flashed(), (std::vector<std::string>{kHba, kCna}));
  ExpectStatusEverywhere("1");
}

}  // namespace

// The outcome written is the outcome that happened.
namespace {

// Adapters beyond the agent's count were logged "Adapter NOT FOUND" and silently not flashed,
// while the file said "1".
TEST_F(FlashTest, AdapterLeftUnflashedByASmallCountIsAFailure) {
  Json::Value extra(Json::objectValue);
  extra["adapterCount"] = 1;
  Discover(TwoAdapters(), extra);
  EXPECT_EQ(Flash(Package()), 1);
  EXPECT_EQ(Flashed(), std::vector<std::string>{kCna});
  ExpectStatusEverywhere("");
  EXPECT_EQ(vxe2e::log_lines_containing("Adapter NOT FOUND").size(), 2u);  // its two functions
  EXPECT_EQ(vxe2e::log_lines_containing(std::string("Adapter ") + kHba +
                                        " is not among the agent's listed adapters")
                .size(),
            2u);
}

// Discovery judged its file by opening it afterwards: under a host umask that leaves the owner
// no read permission, a complete file was reported as not written (1001). The host here is root
// without the right to bypass file permissions, as most hosts are.
TEST_F(FlashTest, DiscoveryTrustsItsOwnWriterUnderAnyUmask) {
  Discover(TwoAdapters());
  remove(disc_.c_str());
  const char* ld_path = getenv("LD_LIBRARY_PATH");  // the simulator's folder
  ASSERT_NE(ld_path, nullptr);
  mode_t old_mask = umask(0477);
  int rc = vxe2e::run_driver(ld_path, {"discover", disc_, fw_dir_},
                             "setpriv --bounding-set=-dac_override,-dac_read_search");
  umask(old_mask);
  if (rc < -1000) GTEST_SKIP() << "setpriv cannot drop capabilities here";
  EXPECT_EQ(rc, 0);
  struct stat st;
  ASSERT_EQ(stat(disc_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0200u);
  EXPECT_EQ(Parsed().devices.size(), 6u);
}

}  // namespace

// Reading what the host hands over.
namespace {

// A value of many "&" without ";" made the reader search the rest of the value at every "&":
// a 1.6 MB file held the host's thread for minutes.
TEST_F(FlashTest, ValueOfManyAmpersandsIsReadInLinearTime) {
  Discover(TwoAdapters());
  const std::string saved = vxtest::read_file(disc_);
  auto flash_seconds = [&](char fill) {
    std::string text = saved;
    size_t msg = text.find("<message value=\"VX Reserved\"/>");
    text.replace(msg, strlen("<message value=\"VX Reserved\"/>"),
                 "<message value=\"" + std::string(1600 * 1000, fill) + "\"/>");
    vxtest::write_file(disc_, text);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Flash(Package()), 1);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  double plain = flash_seconds('a');
  double ampersands = flash_seconds('&');
  // Linear: about the same as a value of plain letters (minutes when quadratic).
  EXPECT_LT(ampersands, 1.0 + 4 * plain) << plain << " s for letters";
  EXPECT_EQ(Flashed().size(), 4u);
}

}  // namespace
