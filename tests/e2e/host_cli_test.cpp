// The command-line host vxins-host run as a subprocess, as an operator runs it: against the
// shipped plug-in and the agent simulator (--agent), with real tar packages; its JSON parsed by
// JsonCpp, its edits read back by tinyxml2 and by the plug-in's own discovery-file reader.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "discovery/discovery_reader.h"
#include "e2e_support.h"
#include "vxins_log.h"

using vxe2e::SimMachine;
using vxtest::TempDir;

namespace {

const char kPackage[] = "qrvl_boot_3100.tar";
// The simulator's built-in inventory: a dual-port FC HBA, a CNA (two Ethernet and two FCoE
// functions) and a dual-port Ethernet adapter.
const char* const kFcPorts[] = {"21:00:00:0e:1e:c4:51:10", "21:00:00:0e:1e:c4:51:11"};
const char* const kCnaFunctions[] = {"00:0e:1e:d2:7a:40", "00:0e:1e:d2:7a:42",
                                     "20:00:00:0e:1e:d2:7a:41", "20:00:00:0e:1e:d2:7a:43"};
const char kFcAdapter[] = "20:00:00:0e:1e:c4:51:10";
const char kCnaAdapter[] = "00:0e:1e:d2:7a:40";
const char kEthAdapter[] = "00:0e:1e:e5:19:30";

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs vxins-host with the given arguments and no LD_LIBRARY_PATH, so the agent library is
// found only where --agent says.
Outcome Host(const TempDir& tmp, const std::vector<std::string>& args) {
  std::string cmd = "env -u LD_LIBRARY_PATH " + vxtest::shell_quote(VXINS_HOST_PATH);
  for (const std::string& a : args) cmd += " " + vxtest::shell_quote(a);
  cmd += " >" + vxtest::shell_quote(tmp.file("host.out")) + " 2>" +
         vxtest::shell_quote(tmp.file("host.err")) + " </dev/null";
  Outcome o;
  o.status = vxtest::run(cmd);
  o.out = vxtest::read_file(tmp.file("host.out"));
  o.err = vxtest::read_file(tmp.file("host.err"));
  return o;
}

// The same with --agent pointing at the simulator.
Outcome HostSim(const TempDir& tmp, std::vector<std::string> args) {
  args.insert(args.begin(), {"--agent", VXINS_SIM_DIR});
  return Host(tmp, args);
}

Json::Value ParseJson(const std::string& text) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value v;
  std::string errs;
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &v, &errs)) << errs << "\n"
                                                                                << text;
  return v;
}

// Table rows of the text output: whitespace-separated words of the lines that start with a type.
std::map<std::string, std::vector<std::string>> TableRows(const std::string& out) {
  std::map<std::string, std::vector<std::string>> rows;
  for (const std::string& line : vxtest::split_lines(out)) {
    std::vector<std::string> words;
    std::string w;
    for (char c : line + " ") {
      if (c == ' ') {
        if (!w.empty()) words.push_back(w);
        w.clear();
      } else {
        w += c;
      }
    }
    if (words.size() >= 3 && (words[0] == "FC" || words[0] == "FCoE" || words[0] == "Eth"))
      rows[words[1]] = words;
  }
  return rows;
}

std::vector<std::string> Ids(const vxe2e::XmlDiscovery& d) {
  std::vector<std::string> out;
  for (const vxe2e::XmlDevice& dev : d.devices) out.push_back(dev.dev.at("macaddress"));
  return out;
}

class HostCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.reset(new SimMachine());
    fw_dir_ = vxe2e::make_fw_dir(tmp_, "3.1.0.0", kPackage);
    disc_ = tmp_.file("discovery.xml");
  }
  Outcome Discover(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"discover", disc_, fw_dir_};
    args.insert(args.end(), extra.begin(), extra.end());
    return HostSim(tmp_, args);
  }
  vxe2e::XmlDiscovery Parsed() const {
    vxe2e::XmlDiscovery d;
    std::string err;
    EXPECT_TRUE(vxe2e::parse_discovery(disc_, d, err)) << err;
    return d;
  }
  std::vector<std::string> Flashed() const {
    std::vector<std::string> out;
    for (const Json::Value& c : sim_->calls("hba_flashUpgrade")) out.push_back(c["wwn"].asString());
    return out;
  }

  TempDir tmp_;
  std::unique_ptr<SimMachine> sim_;
  std::string fw_dir_, disc_;
};

TEST_F(HostCliTest, DiscoverShowsTheResultAndEveryDevice) {
  Outcome o = Discover();
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_NE(o.out.find("returned 0 (VXINS_RC_DISCOVERY_OK)"), std::string::npos) << o.out;
  vxe2e::XmlDiscovery file = Parsed();
  ASSERT_EQ(file.devices.size(), 8u);
  std::map<std::string, std::vector<std::string>> rows = TableRows(o.out);
  ASSERT_EQ(rows.size(), 8u) << o.out;
  for (const std::string& id : Ids(file)) EXPECT_EQ(rows.count(id), 1u) << id;
  // Type, identifier, bus:device.function, then the product's words; the last four columns are
  // active version, offered version, action and status.
  const std::vector<std::string>& fc = rows.at(kFcPorts[1]);
  EXPECT_EQ(fc[0], "FC");
  EXPECT_EQ(fc[2], "0a:00.1");
  EXPECT_EQ(std::vector<std::string>(fc.end() - 4, fc.end()),
            (std::vector<std::string>{"3.0.2.1", "3.1.0.0", "Upgrade", "-"}));
  EXPECT_EQ(rows.at("00:0e:1e:d2:7a:42")[0], "Eth");
  EXPECT_EQ(rows.at("20:00:00:0e:1e:d2:7a:43")[0], "FCoE");
  EXPECT_EQ(rows.at("20:00:00:0e:1e:d2:7a:43")[2], "81:00.3");
  EXPECT_EQ(rows.at(kEthAdapter)[rows.at(kEthAdapter).size() - 2], "Rewrite");

  // show prints the same table from the file alone.
  Outcome shown = Host(tmp_, {"show", disc_});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(TableRows(shown.out), rows);
}

TEST_F(HostCliTest, EveryCommandWritesParsableJson) {
  Outcome d = Discover({"--json"});
  ASSERT_EQ(d.status, 0) << d.err;
  Json::Value dj = ParseJson(d.out);
  EXPECT_EQ(dj["command"].asString(), "discover");
  EXPECT_TRUE(dj["ok"].asBool());
  EXPECT_EQ(dj["result"]["code"].asInt(), 0);
  EXPECT_EQ(dj["result"]["name"].asString(), "VXINS_RC_DISCOVERY_OK");
  EXPECT_EQ(dj["entry_point"].asString(), "oem_do_discovery_with_files");
  EXPECT_EQ(dj["arguments"][0].asString(), disc_);
  EXPECT_EQ(dj["arguments"][1].asString(), fw_dir_);
  std::vector<std::string> file_ids = Ids(Parsed());
  ASSERT_EQ(dj["devices"].size(), file_ids.size());
  std::map<std::string, std::string> types;
  for (Json::ArrayIndex i = 0; i < dj["devices"].size(); ++i) {
    const Json::Value& dev = dj["devices"][i];
    EXPECT_EQ(dev["mac_or_wwn"].asString(), file_ids[i]);
    EXPECT_EQ(dev["offered_version"].asString(), "3.1.0.0");
    EXPECT_EQ(dev["firmware_file"].asString(), kPackage);
    types[dev["mac_or_wwn"].asString()] = dev["type"].asString() + "/" + dev["id_kind"].asString();
  }
  EXPECT_EQ(types[kFcPorts[0]], "FC/WWN");
  EXPECT_EQ(types["00:0e:1e:d2:7a:40"], "Eth/MAC");
  EXPECT_EQ(types["20:00:00:0e:1e:d2:7a:41"], "FCoE/WWN");

  Outcome s = Host(tmp_, {"show", disc_, "--json"});
  ASSERT_EQ(s.status, 0) << s.err;
  Json::Value sj = ParseJson(s.out);
  EXPECT_EQ(sj["command"].asString(), "show");
  EXPECT_EQ(sj["devices"], dj["devices"]);

  Outcome a = Host(tmp_, {"--json", "set-action", disc_, "rewrite", kEthAdapter});
  ASSERT_EQ(a.status, 0) << a.err;
  Json::Value aj = ParseJson(a.out);
  EXPECT_EQ(aj["command"].asString(), "set-action");
  EXPECT_EQ(aj["action"].asString(), "Rewrite");  // written in the form the plug-in knows
  ASSERT_EQ(aj["changed"].size(), 1u);
  EXPECT_EQ(aj["changed"][0].asString(), kEthAdapter);

  sim_->clear_journal();
  Outcome f = HostSim(tmp_, {"flash", disc_, fw_dir_, "--json", "--log"});
  ASSERT_EQ(f.status, 0) << f.err;
  Json::Value fj = ParseJson(f.out);
  EXPECT_EQ(fj["command"].asString(), "flash");
  EXPECT_EQ(fj["result"]["code"].asInt(), 1);
  EXPECT_TRUE(fj["file_written"].asBool());
  ASSERT_EQ(fj["devices"].size(), 8u);
  for (const Json::Value& dev : fj["devices"]) EXPECT_EQ(dev["action_status"].asString(), "1");
  // --log: the plug-in's trace of this call, one array element per line.
  ASSERT_TRUE(fj["log"].isArray());
  size_t entry = 0, success = 0;
  for (const Json::Value& line : fj["log"]) {
    entry += line.asString().find("-->oem_do_flash_with_file()") != std::string::npos;
    success += line.asString().find("Firmware update success on") != std::string::npos;
  }
  EXPECT_EQ(entry, 1u);
  EXPECT_EQ(success, 3u);
}

TEST_F(HostCliTest, LogOptionPrintsThePluginsTrace) {
  Outcome o = Discover({"--log"});
  ASSERT_EQ(o.status, 0) << o.err;
  size_t trace = o.out.find("--- trace log /var/log/libqrvlvxins.log ---\n");
  ASSERT_NE(trace, std::string::npos) << o.out;
  EXPECT_NE(o.out.find("FW VERSION FROM TAR FILE IS 3.1.0.0", trace), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("File Name : " + disc_, trace), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("--- end of trace log ---\n", trace), std::string::npos) << o.out;
  EXPECT_EQ(Discover().out.find("FW VERSION FROM TAR FILE IS"), std::string::npos);
}

TEST_F(HostCliTest, FlashHonoursTheSkipWrittenBySetAction) {
  ASSERT_EQ(Discover().status, 0);
  std::string before = vxtest::read_file(disc_);
  std::vector<std::string> args = {"set-action", disc_, "Skip"};
  args.insert(args.end(), std::begin(kCnaFunctions), std::end(kCnaFunctions));
  Outcome s = Host(tmp_, args);
  ASSERT_EQ(s.status, 0) << s.err;
  EXPECT_EQ(s.err, "");  // every function of the CNA: no partly skipped adapter

  // tinyxml2 wrote it: the same devices, only the CNA's actions differ, every leaf on its own line.
  vxe2e::XmlDiscovery edited = Parsed();
  std::set<std::string> cna(std::begin(kCnaFunctions), std::end(kCnaFunctions));
  ASSERT_EQ(edited.devices.size(), 8u);
  for (const vxe2e::XmlDevice& d : edited.devices) {
    bool skipped = cna.count(d.dev.at("macaddress")) == 1;
    EXPECT_EQ(d.fw.at("action") == "Skip", skipped) << d.dev.at("macaddress");
  }
  for (const std::string& line : vxtest::split_lines(vxtest::read_file(disc_)))
    EXPECT_LE(std::count(line.begin(), line.end(), '<'), 1) << line;
  EXPECT_NE(vxtest::read_file(disc_), before);

  sim_->clear_journal();
  Outcome f = HostSim(tmp_, {"flash", disc_, fw_dir_ + "/" + kPackage});
  EXPECT_EQ(f.status, 0) << f.err;
  EXPECT_NE(f.out.find("returned 1 (VXINS_RC_FLASH_DONE)"), std::string::npos) << f.out;
  EXPECT_EQ(Flashed(), (std::vector<std::string>{kFcAdapter, kEthAdapter}));

  // A new discovery sees the flashed versions (the simulator keeps them in its state file).
  Outcome again = Discover({"--json"});
  ASSERT_EQ(again.status, 0) << again.err;
  // Named: a range over a member of a temporary would walk freed memory.
  const Json::Value listing = ParseJson(again.out);
  for (const Json::Value& dev : listing["devices"]) {
    bool skipped = cna.count(dev["mac_or_wwn"].asString()) == 1;
    EXPECT_EQ(dev["active_version"].asString(), skipped ? "3.2.0.0" : "3.1.0.0");
    EXPECT_EQ(dev["action"].asString(), skipped ? "Downgrade" : "Rewrite");
  }
}

TEST_F(HostCliTest, SkippingPartOfAnAdapterIsPointedOutAndTheAdapterIsStillFlashed) {
  ASSERT_EQ(Discover().status, 0);
  Outcome s = Host(tmp_, {"set-action", disc_, "skip", kFcPorts[1]});
  ASSERT_EQ(s.status, 0) << s.err;
  EXPECT_NE(s.err.find("note: adapter 0a:00 has functions set to Skip and others not"),
            std::string::npos)
      << s.err;
  sim_->clear_journal();
  ASSERT_EQ(HostSim(tmp_, {"flash", disc_, fw_dir_}).status, 0);
  EXPECT_EQ(Flashed(), (std::vector<std::string>{kFcAdapter, kCnaAdapter, kEthAdapter}));
}

TEST_F(HostCliTest, SetActionAllAndUnknownDevices) {
  ASSERT_EQ(Discover().status, 0);
  ::chmod(disc_.c_str(), 0640);
  std::string before = vxtest::read_file(disc_);

  // One unknown identifier among known ones: nothing is written.
  Outcome bad = Host(tmp_, {"set-action", disc_, "Skip", kFcPorts[0], "00:00:00:00:00:99"});
  EXPECT_EQ(bad.status, 3);
  EXPECT_NE(bad.err.find("00:00:00:00:00:99"), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("unchanged"), std::string::npos) << bad.err;
  EXPECT_EQ(vxtest::split_lines(bad.err).size(), 1u) << bad.err;
  EXPECT_EQ(vxtest::read_file(disc_), before);

  // Identifiers match regardless of letter case; --all reaches every device.
  Outcome upper = Host(tmp_, {"set-action", disc_, "SKIP", "21:00:00:0E:1E:C4:51:10"});
  EXPECT_EQ(upper.status, 0) << upper.err;
  EXPECT_EQ(Parsed().devices[0].fw.at("action"), "Skip");
  Outcome all = Host(tmp_, {"set-action", disc_, "Skip", "--all"});
  ASSERT_EQ(all.status, 0) << all.err;
  for (const vxe2e::XmlDevice& d : Parsed().devices) EXPECT_EQ(d.fw.at("action"), "Skip");

  // Replaced whole: same permission bits, no temporary left beside it.
  struct stat st;
  ASSERT_EQ(stat(disc_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  DIR* dir = opendir(tmp_.path().c_str());
  ASSERT_NE(dir, nullptr);
  for (dirent* e = readdir(dir); e != nullptr; e = readdir(dir))
    EXPECT_EQ(std::string(e->d_name).find(".discovery.xml."), std::string::npos) << e->d_name;
  closedir(dir);

  // All devices skipped: the plug-in flashes nothing and says so; that is not a success.
  sim_->clear_journal();
  Outcome f = HostSim(tmp_, {"flash", disc_, fw_dir_});
  EXPECT_EQ(f.status, 1);
  EXPECT_NE(f.err.find("result 3: nothing was flashed"), std::string::npos) << f.err;
  EXPECT_TRUE(Flashed().empty());
}

TEST_F(HostCliTest, FailedAdapterMakesTheFlashFail) {
  std::vector<Json::Value> adapters;
  Json::Value hba = vxe2e::sim_adapter("20:00:00:0e:1e:d7:00:40", "Quorvel-QF2742", 1, "3.0.2.1");
  vxe2e::add_fc_port(hba, "21:00:00:0e:1e:d7:00:40", "20:00:00:0e:1e:d7:00:40", "0000:81:00.0");
  hba["flash"]["result"] = 5;
  hba["flash"]["reason"] = "image rejected";
  adapters.push_back(hba);
  sim_.reset();
  sim_.reset(new SimMachine(vxe2e::inventory_text(adapters)));
  ASSERT_EQ(Discover().status, 0);
  Outcome f = HostSim(tmp_, {"flash", disc_, fw_dir_});
  EXPECT_EQ(f.status, 1);
  EXPECT_NE(f.out.find("returned 1"), std::string::npos) << f.out;
  EXPECT_NE(f.err.find("did not succeed"), std::string::npos) << f.err;
  EXPECT_EQ(vxtest::split_lines(f.err).size(), 1u) << f.err;
  EXPECT_EQ(Flashed().size(), 1u);
}

TEST_F(HostCliTest, FailingCallsExplainTheResultCode) {
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* meaning;
  };
  std::string no_dir = tmp_.file("no-such-folder");
  const Case cases[] = {
      {{"discover", disc_, no_dir}, -1, "firmware path does not exist"},
      {{"discover", disc_, fw_dir_ + "/" + kPackage}, 1002, "not a folder"},
      {{"flash", tmp_.file("missing.xml"), fw_dir_}, 11, "discovery file cannot be opened"},
  };
  for (const Case& c : cases) {
    Outcome o = HostSim(tmp_, c.args);
    EXPECT_EQ(o.status, 1) << c.args[0];
    EXPECT_NE(o.err.find("with result " + std::to_string(c.code) + ": "), std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find(c.meaning), std::string::npos) << o.err;
    EXPECT_NE(o.out.find("returned " + std::to_string(c.code)), std::string::npos) << o.out;
  }
}

TEST(HostCliUsageTest, WrongCommandLinesGetUsageAndExit2) {
  TempDir tmp;
  std::string file = tmp.file("d.xml");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"discover", file},
      {"flash"},
      {"show"},
      {"show", file, "extra"},
      {"set-action", file, "Skip"},
      {"set-action", file, "Skip", "--all", "00:0e:1e:e5:19:30"},
      {"set-action", file, "Erase", "--all"},
      {"--plugin"},
      {"--bogus-option", "show", file},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string shown;
    for (const std::string& a : args) shown += a + " ";
    Outcome o = Host(tmp, args);
    EXPECT_EQ(o.status, 2) << shown << "\n" << o.err;
    EXPECT_NE(o.err.find("Usage: vxins-host"), std::string::npos) << shown << "\n" << o.err;
    EXPECT_EQ(o.out, "") << shown;
  }
  Outcome help = Host(tmp, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("set-action"), std::string::npos);
}

TEST(HostCliUsageTest, MissingPluginAgentOrFileIsExplained) {
  TempDir tmp;
  SimMachine sim;
  std::string fw = vxe2e::make_fw_dir(tmp, "3.1.0.0", kPackage);
  std::string disc = tmp.file("d.xml");
  vxtest::write_file(tmp.file("not-a-library.so"), "plain text\n");
  vxtest::write_file(tmp.file("broken.xml"), "<vx_rom_discovery><devices><device>");
  vxtest::write_file(tmp.file("other.xml"), "<?xml version=\"1.0\"?><other/>");
  ASSERT_EQ(::mkdir(tmp.file("empty").c_str(), 0755), 0);
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* reason;
  };
  const std::string sim_dir = VXINS_SIM_DIR;
  const Case cases[] = {
      {{"--plugin", tmp.file("none.so"), "discover", disc, fw}, 3, "does not exist"},
      {{"--plugin", tmp.file("not-a-library.so"), "discover", disc, fw},
       3,
       "cannot load the plug-in"},
      {{"--agent", tmp.file("none"), "discover", disc, fw}, 3, "does not exist or is not a folder"},
      {{"--agent", tmp.file("empty"), "discover", disc, fw}, 3, "holds no readable libdznaj.so"},
      // No agent library on the loader's path: the plug-in itself reports it.
      {{"discover", disc, fw}, 1, "result 6: the agent library libdznaj.so could not be loaded"},
      {{"--agent", sim_dir + "/missing-init_hba_lib", "discover", disc, fw},
       1,
       "could not be resolved"},
      {{"show", tmp.file("none.xml")}, 3, "cannot open"},
      {{"show", tmp.file("broken.xml")}, 3, "not well-formed XML"},
      {{"set-action", tmp.file("other.xml"), "Skip", "--all"}, 3, "not a discovery file"},
  };
  for (const Case& c : cases) {
    Outcome o = Host(tmp, c.args);
    EXPECT_EQ(o.status, c.status) << c.reason << "\n" << o.err;
    EXPECT_NE(o.err.find(c.reason), std::string::npos) << o.err;
    EXPECT_EQ(vxtest::split_lines(o.err).size(), 1u) << o.err;
    EXPECT_EQ(o.err.find("Usage:"), std::string::npos) << o.err;
  }
  EXPECT_EQ(vxtest::read_file(tmp.file("other.xml")), "<?xml version=\"1.0\"?><other/>");
}

// cmake --install: vxins-host finds the plug-in installed beside it, the simulator stays in a
// private folder (never where the loader looks for the vendor's libdznaj.so).
TEST(HostCliInstallTest, InstalledHostFindsItsPluginAndTheSimulatorStaysPrivate) {
  TempDir tmp;
  SimMachine sim;
  const std::string root = tmp.file("usr");
  ASSERT_EQ(vxtest::run(vxtest::shell_quote(VXINS_CMAKE_COMMAND) + " --install " +
                        vxtest::shell_quote(VXINS_BUILD_DIR) + " --prefix " +
                        vxtest::shell_quote(root) + " >/dev/null"),
            0);
  const std::string libdir = root + "/" + VXINS_INSTALL_LIBDIR;
  const std::string plugin = libdir + "/libqrvlvxins.so";
  const std::string sim_dir = libdir + "/qrvlvxins/sim";
  struct stat st;
  ASSERT_EQ(stat(plugin.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  ASSERT_TRUE(vxtest::file_exists(sim_dir + "/libdznaj.so"));
  EXPECT_FALSE(vxtest::file_exists(libdir + "/libdznaj.so"));
  EXPECT_EQ(
      vxtest::run(vxtest::shell_quote(VXINS_CHECK_EXPORTS) + " " + vxtest::shell_quote(plugin) +
                  " " + vxtest::shell_quote(VXINS_EXPORTS_ALLOW) + " >/dev/null"),
      0);

  std::string fw = vxe2e::make_fw_dir(tmp, "3.1.0.0", kPackage);
  std::string cmd = "env -u LD_LIBRARY_PATH " + vxtest::shell_quote(root + "/bin/vxins-host") +
                    " --json --agent " + vxtest::shell_quote(sim_dir) + " discover " +
                    vxtest::shell_quote(tmp.file("d.xml")) + " " + vxtest::shell_quote(fw) + " >" +
                    vxtest::shell_quote(tmp.file("out.json"));
  ASSERT_EQ(vxtest::run(cmd), 0);
  Json::Value out = ParseJson(vxtest::read_file(tmp.file("out.json")));
  EXPECT_EQ(out["plugin"].asString(), plugin);
  EXPECT_EQ(out["result"]["code"].asInt(), 0);
  EXPECT_EQ(out["devices"].size(), 8u);
}

// Values the plug-in escapes (markup characters, a line break) survive tinyxml2's rewrite and are
// read back by the plug-in's own line-oriented reader, as are leaves behind stray text.
TEST(HostCliFileTest, PluginReaderReadsWhatSetActionWrote) {
  TempDir tmp;
  std::string disc = tmp.file("d.xml");
  vxtest::write_file(disc,
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<vx_rom_discovery version=\"2.0.0.0\">\n"
                     "\t<devices>\n"
                     "\t\t<device>\n"
                     "\t\t\t<product_id value=\"A &amp; B &lt;x&gt; &quot;q&quot;&#xA;second\"/>\n"
                     "\t\t\t<macaddress value=\"00:0e:1e:0a:0b:0c\"/>\n"
                     "\t\t\tstray text\n"
                     "\t\t\t<busnumber value=\"5\"/>\n"
                     "\t\t\t<!-- an operator's remark -->\n"
                     "\t\t\t<fw_item>\n"
                     "\t\t\t\t<action value=\"Upgrade\"/>\n"
                     "\t\t\t\t<version value=\"3.1.0.0\"/>\n"
                     "\t\t\t\t<action value=\"Rewrite\"/>\n"
                     "\t\t\t</fw_item>\n"
                     "\t\t</device>\n"
                     "\t\t<device>\n"
                     "\t\t\t<macaddress value=\"21:00:00:0e:1e:0a:0b:0d\"/>\n"
                     "\t\t\t<fw_item>\n"
                     "\t\t\t\t<action value=\"Upgrade\"/>\n"
                     "\t\t\t</fw_item>\n"
                     "\t\t</device>\n"
                     "\t</devices>\n"
                     "</vx_rom_discovery>");
  Outcome o = Host(tmp, {"set-action", disc, "Skip", "00:0e:1e:0a:0b:0c"});
  ASSERT_EQ(o.status, 0) << o.err;

  ASSERT_TRUE(vxins_log_set_path(tmp.file("trace.log").c_str()));
  vxins::inventory::DeviceList devs;
  ASSERT_EQ(vxins::discovery::read_discovery_file(disc, devs), 0);
  ASSERT_EQ(devs.size(), 2u);
  EXPECT_EQ(devs[0]->info().prod_id, "A & B <x> \"q\"\nsecond");
  EXPECT_EQ(devs[0]->info().mac_or_wwn, "00:0e:1e:0a:0b:0c");
  EXPECT_EQ(devs[0]->info().bus_num, "5");
  EXPECT_EQ(devs[0]->info().fw_dev.fw_version, "3.1.0.0");
  EXPECT_EQ(devs[0]->info().fw_dev.action, "Skip");
  EXPECT_TRUE(devs[0]->skipped());
  EXPECT_EQ(devs[1]->info().fw_dev.action, "Upgrade");
  EXPECT_FALSE(devs[1]->skipped());
  vxins_log_set_path("/var/log/libqrvlvxins.log");

  std::string text = vxtest::read_file(disc);
  EXPECT_EQ(text.find("stray text"), std::string::npos);
  EXPECT_NE(text.find("<!-- an operator's remark -->"), std::string::npos);
  EXPECT_NE(text.find("\n\t\t\t\t<action value=\"Skip\"/>\n"), std::string::npos) << text;
}

}  // namespace
