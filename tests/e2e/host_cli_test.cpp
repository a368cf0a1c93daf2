// The command-line host vxins-host run as a subprocess, as an operator runs it: against the
// shipped plug-in and the agent simulator (--agent), with real tar packages; its JSON parsed by
// JsonCpp, its edits read back by tinyxml2 and by the plug-in's own reader, its history read
// back with the sqlite3 command. Each test has its own history database (VXINS_HISTORY_DB) and
// reboot-pending marker (VXINS_REBOOT_MARKER).
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "discovery/discovery_reader.h"
#include "e2e_support.h"

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
// Drops the capabilities that let root ignore file modes, so that a folder of mode 0555 is
// read-only for the host as it is for an operator.
const char kNoOverride[] = "setpriv --bounding-set=-dac_override,-dac_read_search";

struct Outcome {
  int status = -1;
  std::string out, err;
};

// How to run the host: extra environment (NAME=value), a wrapper command, a working folder.
struct How {
  std::vector<std::string> env;
  std::string wrapper;
  std::string cwd;
};

// The shell command running vxins-host with the given arguments and no LD_LIBRARY_PATH (so the
// agent library is found only where --agent says), its history and its run lock the test's own.
std::string HostCommand(const TempDir& tmp, const std::vector<std::string>& args, const How& how) {
  std::string cmd = how.cwd.empty() ? "" : "cd " + vxtest::shell_quote(how.cwd) + " && ";
  cmd += "env -u LD_LIBRARY_PATH VXINS_HISTORY_DB=" + vxtest::shell_quote(tmp.file("history.db")) +
         " VXINS_REBOOT_MARKER=" + vxtest::shell_quote(tmp.file("run/reboot-pending")) +
         " VXINS_LOCK_FILE=" + vxtest::shell_quote(tmp.file("run.lock"));
  for (const std::string& e : how.env) cmd += " " + vxtest::shell_quote(e);
  cmd += " " + how.wrapper + " " + vxtest::shell_quote(VXINS_HOST_PATH);
  for (const std::string& a : args) cmd += " " + vxtest::shell_quote(a);
  return cmd;
}

Outcome Host(const TempDir& tmp, const std::vector<std::string>& args, const How& how = How()) {
  std::string cmd = HostCommand(tmp, args, how) + " >" + vxtest::shell_quote(tmp.file("host.out")) +
                    " 2>" + vxtest::shell_quote(tmp.file("host.err")) + " </dev/null";
  Outcome o;
  o.status = vxtest::run(cmd);
  o.out = vxtest::read_file(tmp.file("host.out"));
  o.err = vxtest::read_file(tmp.file("host.err"));
  return o;
}

// The same with --agent pointing at the simulator.
Outcome HostSim(const TempDir& tmp, std::vector<std::string> args, const How& how = How()) {
  args.insert(args.begin(), {"--agent", VXINS_SIM_DIR});
  return Host(tmp, args, how);
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

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The run ended with `status` and its standard error holds `part`.
::testing::AssertionResult Says(const Outcome& o, int status, const std::string& part) {
  if (o.status == status && Contains(o.err, part)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "exit status " << o.status << " (" << status
                                       << " expected), \"" << part << "\" expected in:\n" << o.err;
}

// `args` with `more` after them.
std::vector<std::string> Plus(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// The folder holds no entry whose name contains `part` ("": no entry at all).
void ExpectNoEntry(const std::string& folder, const std::string& part = "") {
  DIR* dir = opendir(folder.c_str());
  ASSERT_NE(dir, nullptr) << folder;
  for (dirent* e = readdir(dir); e != nullptr; e = readdir(dir)) {
    const std::string name = e->d_name;
    EXPECT_TRUE(name == "." || name == ".." || !Contains(name, part)) << folder << "/" << name;
  }
  closedir(dir);
}

using vxtest::Replaced;

// Runs as nobody, who may not override file modes.
How Nobody() {
  How how;
  how.wrapper = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  return how;
}

// The cells of a table line: columns stand two or more blanks apart.
std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  size_t at = 0;
  while (at < line.size()) {
    size_t gap = line.find("  ", at);
    if (gap == std::string::npos) gap = line.size();
    if (gap > at) cells.push_back(line.substr(at, gap - at));
    at = line.find_first_not_of(' ', gap);
    if (at == std::string::npos) break;
  }
  return cells;
}

// Rows of a table, by their first or second cell: device rows (TYPE first) by MAC/WWN, adapter
// rows by ADAPTER.
std::map<std::string, std::vector<std::string>> DeviceRows(const std::string& out) {
  std::map<std::string, std::vector<std::string>> rows;
  for (const std::string& line : vxtest::split_lines(out)) {
    std::vector<std::string> c = Cells(line);
    if (c.size() == 9 && (c[0] == "FC" || c[0] == "FCoE" || c[0] == "Eth")) rows[c[1]] = c;
  }
  return rows;
}

std::map<std::string, std::vector<std::string>> AdapterRows(const std::string& out) {
  std::map<std::string, std::vector<std::string>> rows;
  bool in_table = false;
  for (const std::string& line : vxtest::split_lines(out)) {
    std::vector<std::string> c = Cells(line);
    if (!c.empty() && c[0] == "ADAPTER") in_table = true;
    else if (in_table && c.size() == 6) rows[c[0]] = c;
    else in_table = false;
  }
  return rows;
}

std::vector<std::string> Ids(const vxe2e::XmlDiscovery& d) {
  std::vector<std::string> out;
  for (const vxe2e::XmlDevice& dev : d.devices) out.push_back(dev.dev.at("macaddress"));
  return out;
}

// A dual-port FC HBA at PCI bus 0x0a + n: index 20:00:00:0e:1e:00:00:0n, ports 21:...:0n:00/01.
Json::Value FcHba(int n, const std::string& version, int flash_result = 0, double seconds = 0) {
  char index[32], bus[8];
  snprintf(index, sizeof index, "20:00:00:0e:1e:00:00:%02x", n);
  snprintf(bus, sizeof bus, "%02x", 0x0a + n);
  Json::Value hba = vxe2e::sim_adapter(index, "Quorvel-QF2742", 2, version);
  for (int port = 0; port < 2; ++port) {
    char wwn[32];
    snprintf(wwn, sizeof wwn, "21:00:00:0e:1e:00:%02x:%02x", n, port);
    vxe2e::add_fc_port(hba, wwn, index, "0000:" + std::string(bus) + ":00." + std::to_string(port));
  }
  hba["flash"]["result"] = flash_result;
  if (flash_result != 0) hba["flash"]["reason"] = "image rejected";
  if (seconds > 0) hba["flashSeconds"] = seconds;
  return hba;
}

std::string FcPort(int n, int port) {
  char wwn[32];
  snprintf(wwn, sizeof wwn, "21:00:00:0e:1e:00:%02x:%02x", n, port);
  return wwn;
}

std::string FcBus(int n) {
  char bus[8];
  snprintf(bus, sizeof bus, "%02x:00", 0x0a + n);
  return bus;
}

// Runs a shell command in the background; its exit status lands in `status_file`.
void StartInBackground(const std::string& cmd, const std::string& status_file) {
  ASSERT_EQ(vxtest::run("(" + cmd + "; echo $? >" + vxtest::shell_quote(status_file) + ") &"), 0);
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
  for (int i = 0; i < seconds * 50; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

class HostCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.reset(new SimMachine());
    fw_dir_ = vxe2e::make_fw_dir(tmp_, "3.1.0.0", kPackage);
    disc_ = tmp_.file("discovery.xml");
  }
  // A simulated machine of this inventory ("": the built-in one), its journal and state fresh.
  void UseInventory(const std::string& inventory) {
    sim_.reset();
    sim_.reset(new SimMachine(inventory));
  }
  void UseMachine(const std::vector<Json::Value>& adapters) {
    UseInventory(vxe2e::inventory_text(adapters));
  }
  Outcome Discover(const std::vector<std::string>& extra = {}) {
    return HostSim(tmp_, Plus({"discover", disc_, fw_dir_}, extra));
  }
  Outcome Flash(const std::vector<std::string>& extra = {}, const How& how = How()) {
    return HostSim(tmp_, Plus({"flash", disc_, fw_dir_}, extra), how);
  }
  Outcome SetAction(const std::vector<std::string>& args, const How& how = How()) {
    return Host(tmp_, Plus({"set-action", disc_}, args), how);
  }
  // A flash (with `extra`) in the background, its standard output to `out`; returns the file its
  // exit status lands in, once `started` holds.
  std::string StartFlash(const std::vector<std::string>& extra, const std::string& out,
                         const std::function<bool()>& started) {
    const std::string status = tmp_.file("flash.status");
    StartInBackground(HostCommand(tmp_, Plus({"--agent", VXINS_SIM_DIR, "flash", disc_, fw_dir_},
                                             extra), How()) +
                          " >" + vxtest::shell_quote(out) + " 2>/dev/null",
                      status);
    EXPECT_TRUE(WaitFor(started, 10));
    return status;
  }
  bool LockHeld() const { return Contains(vxtest::read_file(tmp_.file("run.lock")), "pid "); }
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
  EXPECT_TRUE(Contains(o.out, "returned 0 (VXINS_RC_DISCOVERY_OK)")) << o.out;
  vxe2e::XmlDiscovery file = Parsed();
  ASSERT_EQ(file.devices.size(), 8u);
  std::map<std::string, std::vector<std::string>> rows = DeviceRows(o.out);
  ASSERT_EQ(rows.size(), 8u) << o.out;
  for (const std::string& id : Ids(file)) EXPECT_EQ(rows.count(id), 1u) << id;
  // TYPE, MAC/WWN, B:D.F, PRODUCT, ACTIVE, OFFERED, ACTION, PLUG-IN, STATUS.
  EXPECT_EQ(rows.at(kFcPorts[1]),
            (std::vector<std::string>{"FC", kFcPorts[1], "0a:00.1",
                                      "Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA", "3.0.2.1",
                                      "3.1.0.0", "Upgrade", "to flash", "-"}));
  EXPECT_EQ(rows.at(kEthAdapter)[6], "Rewrite");
  // Discovery's progress, one line per adapter (not a terminal: plain lines).
  EXPECT_TRUE(Contains(o.out, "[3/3] ")) << o.out;

  // show prints the same table from the file alone.
  Outcome shown = Host(tmp_, {"show", disc_});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_EQ(DeviceRows(shown.out), rows);
}

TEST_F(HostCliTest, EveryCommandWritesParsableJsonWithItsSchemaVersion) {
  Outcome d = Discover({"--json"});
  ASSERT_EQ(d.status, 0) << d.err;
  Json::Value dj = ParseJson(d.out);
  EXPECT_EQ(dj["schema_version"].asInt(), 2);
  EXPECT_EQ(dj["command"].asString(), "discover");
  EXPECT_TRUE(dj["ok"].asBool());
  EXPECT_EQ(dj["result"]["code"].asInt(), 0);
  EXPECT_EQ(dj["result"]["name"].asString(), "VXINS_RC_DISCOVERY_OK");
  EXPECT_EQ(dj["entry_point"].asString(), "oem_do_discovery_with_files");
  EXPECT_EQ(dj["arguments"][0].asString(), disc_);
  EXPECT_EQ(dj["arguments"][1].asString(), fw_dir_);
  EXPECT_EQ(dj["adapters"].size(), 3u);
  std::vector<std::string> file_ids = Ids(Parsed());
  ASSERT_EQ(dj["devices"].size(), file_ids.size());
  std::map<std::string, std::string> types;
  for (Json::ArrayIndex i = 0; i < dj["devices"].size(); ++i) {
    const Json::Value& dev = dj["devices"][i];
    EXPECT_EQ(dev["mac_or_wwn"].asString(), file_ids[i]);
    EXPECT_EQ(dev["offered_version"].asString(), "3.1.0.0");
    EXPECT_EQ(dev["firmware_file"].asString(), kPackage);
    EXPECT_FALSE(dev["skipped"].asBool());
    types[dev["mac_or_wwn"].asString()] = dev["type"].asString() + "/" + dev["id_kind"].asString();
  }
  EXPECT_EQ(types[kFcPorts[0]], "FC/WWN");
  EXPECT_EQ(types["20:00:00:0e:1e:d2:7a:41"], "FCoE/WWN");

  Outcome s = Host(tmp_, {"show", disc_, "--json"});
  ASSERT_EQ(s.status, 0) << s.err;
  Json::Value sj = ParseJson(s.out);
  EXPECT_EQ(sj["schema_version"].asInt(), 2);
  EXPECT_EQ(sj["devices"], dj["devices"]);

  Outcome a = Host(tmp_, {"--json", "set-action", disc_, "skip", "--adapter", "81:00"});
  ASSERT_EQ(a.status, 0) << a.err;
  Json::Value aj = ParseJson(a.out);
  EXPECT_EQ(aj["schema_version"].asInt(), 2);
  EXPECT_EQ(aj["action"].asString(), "Skip");  // written in the form the plug-in knows
  ASSERT_EQ(aj["changed"].size(), 4u);
  for (Json::ArrayIndex i = 0; i < 4; ++i) EXPECT_EQ(aj["changed"][i].asString(), kCnaFunctions[i]);

  Outcome h = Host(tmp_, {"history", "--json"});
  ASSERT_EQ(h.status, 0) << h.err;
  EXPECT_EQ(ParseJson(h.out)["schema_version"].asInt(), 2);
  // Errors are JSON objects too.
  Outcome e = Host(tmp_, {"--json", "show", tmp_.file("missing.xml")});
  EXPECT_EQ(e.status, 3);
  Json::Value ej = ParseJson(e.out);
  EXPECT_EQ(ej["schema_version"].asInt(), 2);
  EXPECT_FALSE(ej["ok"].asBool());
  EXPECT_TRUE(Contains(ej["error"].asString(), "cannot open")) << e.out;
}

// The trace the host prints and archives is the call's own, and the host's own reading of the
// discovery file leaves the plug-in's trace log alone: after a flash it holds exactly the call.
TEST_F(HostCliTest, LogIsThisCallsTraceAndTheHostsReadingStaysOutOfIt) {
  Outcome d = Discover({"--log"});
  ASSERT_EQ(d.status, 0) << d.err;
  size_t trace = d.out.find("--- trace of this call (/var/log/libqrvlvxins.log) ---\n");
  ASSERT_NE(trace, std::string::npos) << d.out;
  EXPECT_TRUE(Contains(d.out.substr(trace), "FW VERSION FROM TAR FILE IS 3.1.0.0")) << d.out;
  EXPECT_TRUE(Contains(d.out.substr(trace), "--- end of trace ---\n")) << d.out;
  EXPECT_FALSE(Contains(Discover().out, "FW VERSION FROM TAR FILE IS"));

  const std::string log_after_discovery = vxtest::read_file(vxtest::trace_log_path());
  ASSERT_EQ(Host(tmp_, {"show", disc_}).status, 0);
  ASSERT_EQ(SetAction({"Skip", kEthAdapter, "00:0e:1e:e5:19:31"}).status, 0);
  EXPECT_EQ(vxtest::read_file(vxtest::trace_log_path()), log_after_discovery);

  Outcome f = Flash({"--json", "--log"});
  ASSERT_EQ(f.status, 0) << f.err;
  std::string printed;
  const Json::Value fj = ParseJson(f.out);  // named: a range over a temporary's member dangles
  for (const Json::Value& line : fj["log"]) printed += line.asString() + "\n";
  EXPECT_EQ(printed, vxtest::read_file(vxtest::trace_log_path()));
  EXPECT_TRUE(Contains(printed, "-->oem_do_flash_with_file()"));
}

// What a flash did, per adapter, from its own trace and the file as it was before the call:
// never the rewritten file's values for the whole pass.
TEST_F(HostCliTest, FlashReportsWhatItDidToEachAdapter) {
  struct Case {
    const char* name;
    int skipped, failing;  // adapters 0..2; -1: none
    std::vector<std::string> outcomes;
    int status;
  };
  const Case cases[] = {
      {"first skipped", 0, 1, {"skipped", "failed", "flashed"}, 1},
      {"middle skipped", 1, 2, {"flashed", "skipped", "failed"}, 1},
      {"none failing", 0, -1, {"skipped", "flashed", "flashed"}, 0},
  };
  const char* const before[] = {"3.0.2.1", "3.2.0.0", "2.9.0.0"};
  for (const Case& c : cases) {
    for (bool json : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (json ? " (json)" : " (text)"));
      std::vector<Json::Value> adapters;
      for (int n = 0; n < 3; ++n) adapters.push_back(FcHba(n, before[n], n == c.failing ? 5 : 0));
      UseMachine(adapters);
      ASSERT_EQ(Discover().status, 0);
      ASSERT_EQ(SetAction({"Skip", "--adapter", FcBus(c.skipped)}).status, 0);
      sim_->clear_journal();
      Outcome f = Flash(std::vector<std::string>(json ? 1 : 0, "--json"));
      EXPECT_EQ(f.status, c.status) << f.err;
      std::vector<std::string> expect_flashed;
      for (int n = 0; n < 3; ++n)
        if (n != c.skipped) expect_flashed.push_back(adapters[n]["index"].asString());
      EXPECT_EQ(Flashed(), expect_flashed);
      if (c.status != 0) {
        EXPECT_TRUE(Contains(f.err, FcBus(c.failing) + " failed (image rejected)")) << f.err;
      }
      if (json) {
        Json::Value fj = ParseJson(f.out);
        ASSERT_EQ(fj["adapters"].size(), 3u);
        for (Json::ArrayIndex n = 0; n < 3; ++n) {
          const Json::Value& a = fj["adapters"][n];
          EXPECT_EQ(a["adapter"].asString(), FcBus(n));
          EXPECT_EQ(a["outcome"].asString(), c.outcomes[n]);
          EXPECT_EQ(a["reason"].asString(),
                    static_cast<int>(n) == c.failing ? "image rejected" : "");
          EXPECT_EQ(a["before"].asString(), before[n]);
          EXPECT_EQ(a["offered"].asString(), "3.1.0.0");
          EXPECT_EQ(a["identifiers"][1].asString(), FcPort(n, 1));
        }
        EXPECT_TRUE(fj["reboot_required"].asBool());
        EXPECT_EQ(fj["counts"]["flashed"].asInt(), c.failing < 0 ? 2 : 1);
      } else {
        std::map<std::string, std::vector<std::string>> rows = AdapterRows(f.out);
        ASSERT_EQ(rows.size(), 3u) << f.out;
        for (int n = 0; n < 3; ++n) {
          const std::vector<std::string>& row = rows.at(FcBus(n));
          EXPECT_EQ(row[1], FcPort(n, 0) + " +1");
          EXPECT_EQ(row[3], before[n]);
          EXPECT_EQ(row[5].substr(0, c.outcomes[n].size()), c.outcomes[n]) << row[5];
        }
        EXPECT_TRUE(Contains(f.out, "Reboot required")) << f.out;
      }
    }
  }
}

// discover's state, and per adapter the active version as the agent reported it (its build
// suffix kept, from the call's own trace) and whether it is already up to date: the plug-in
// proposes Rewrite and the suffix is the package's.
TEST_F(HostCliTest, DiscoverTellsItsStateAndEachAdaptersReportedVersion) {
  const std::vector<Json::Value> machine = {FcHba(0, "3.1.0.0"), FcHba(1, "3.1.0.0_b17"),
                                            FcHba(2, "3.0.0.0")};
  struct Row {
    const char* name;
    std::vector<Json::Value> adapters;
    std::string package_version;
    bool agent;  // --agent; without it the agent library cannot be loaded (result 6)
    int status, result;
    std::string state;
    std::vector<std::string> before, proposed;
    std::vector<bool> up_to_date;
    std::string quoted;      // among no_device_lines, and in the text's standard output
    std::string text_error;  // in the text's standard error
  };
  const Row rows[] = {
      {"a package without a suffix", machine, "3.1.0.0", true, 0, 0, "devices",
       {"3.1.0.0", "3.1.0.0_b17", "3.0.0.0"}, {"Rewrite", "Rewrite", "Upgrade"},
       {true, false, false}, "", ""},
      {"a package with one", machine, "3.1.0.0_b17", true, 0, 0, "devices",
       {"3.1.0.0", "3.1.0.0_b17", "3.0.0.0"}, {"Rewrite", "Rewrite", "Upgrade"},
       {false, true, false}, "", ""},
      {"no adapter at all", {}, "3.1.0.0", true, 1, 4, "no adapters", {}, {}, {},
       "No adapters in the system!", ""},
      {"an adapter without ports",
       {vxe2e::sim_adapter("20:00:00:0e:1e:c4:51:10", "Quorvel-QF2742", 0, "3.0.2.1")}, "3.1.0.0",
       true, 1, 0, "no adapters", {}, {}, {}, "There are no ports associated to Adapter id 1",
       "discovery found no devices"},
      {"no agent library", machine, "3.1.0.0", false, 1, 6, "failed", {}, {}, {}, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    UseMachine(row.adapters);
    const std::string fw = vxe2e::make_fw_dir(tmp_, row.package_version, kPackage);
    std::vector<std::string> args = {"--json", "discover", disc_, fw};
    const Outcome o = row.agent ? HostSim(tmp_, args) : Host(tmp_, args);
    EXPECT_EQ(o.status, row.status) << o.err;
    const Json::Value j = ParseJson(o.out);
    EXPECT_EQ(j["ok"].asBool(), row.status == 0);
    EXPECT_EQ(j["result"]["code"].asInt(), row.result);
    EXPECT_EQ(j["state"].asString(), row.state);
    ASSERT_EQ(j["adapters"].size(), row.before.size()) << o.out;
    for (Json::ArrayIndex n = 0; n < row.before.size(); ++n) {
      EXPECT_EQ(j["adapters"][n]["before"].asString(), row.before[n]);
      EXPECT_EQ(j["adapters"][n]["proposed"].asString(), row.proposed[n]);
      EXPECT_EQ(j["adapters"][n]["up_to_date"], row.up_to_date[n]) << n;
    }
    if (!row.quoted.empty()) {
      EXPECT_TRUE(Contains(j["no_device_lines"].toStyledString(), row.quoted)) << o.out;
    }
    if (!row.text_error.empty()) {
      const Outcome text = HostSim(tmp_, {"discover", disc_, fw});
      EXPECT_TRUE(Says(text, row.status, row.text_error));
      EXPECT_TRUE(Contains(text.out, row.quoted)) << text.out;
    }
  }
  // A flash tells each adapter's version before it as its own enumeration reported it.
  UseMachine(machine);
  const std::string fw = vxe2e::make_fw_dir(tmp_, "3.1.0.0", kPackage);
  ASSERT_EQ(HostSim(tmp_, {"discover", disc_, fw}).status, 0);
  const Json::Value f = ParseJson(HostSim(tmp_, {"--json", "flash", disc_, fw}).out);
  ASSERT_EQ(f["adapters"].size(), 3u) << f;
  for (Json::ArrayIndex n = 0; n < 3; ++n)
    EXPECT_EQ(f["adapters"][n]["before"].asString(), rows[0].before[n]) << n;
}

// devices lists the adapters, their functions and active versions through the plug-in's own
// discovery, with no package of the operator's: vxins-host makes its own in a private folder,
// which goes with everything the call left in it, and runs the call from there (the current
// folder need not be writable). Nothing is flashed; the run is in the history.
TEST_F(HostCliTest, DevicesListsTheAdaptersWithoutAPackage) {
  UseMachine({FcHba(0, "3.1.0.0_b17"), FcHba(1, "2.9.0.0")});
  const std::string private_tmp = tmp_.file("private"), ro = tmp_.file("ro");
  ASSERT_EQ(::mkdir(private_tmp.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(ro.c_str(), 0555), 0);
  How how;
  how.env = {"TMPDIR=" + private_tmp};
  how.wrapper = kNoOverride;
  how.cwd = ro;
  const Outcome j = HostSim(tmp_, {"--json", "devices"}, how);
  if (j.status == 127) GTEST_SKIP() << "setpriv cannot run here";
  ASSERT_EQ(j.status, 0) << j.err;
  const Json::Value dj = ParseJson(j.out);
  EXPECT_EQ(dj["state"].asString(), "devices");
  EXPECT_TRUE(dj["discovery_file"].isNull());
  ASSERT_EQ(dj["adapters"].size(), 2u);
  const char* const before[] = {"3.1.0.0_b17", "2.9.0.0"};
  for (Json::ArrayIndex n = 0; n < 2; ++n) {
    const Json::Value& a = dj["adapters"][n];
    EXPECT_EQ(a.getMemberNames(),
              (std::vector<std::string>{"adapter", "agent_index", "before", "functions",
                                        "grouping", "identifiers", "product"}));
    EXPECT_EQ(a["grouping"].asString(), "agent");
    EXPECT_EQ(a["adapter"].asString(), FcBus(static_cast<int>(n)));
    EXPECT_EQ(a["before"].asString(), before[n]);
    EXPECT_EQ(a["identifiers"][1].asString(), FcPort(static_cast<int>(n), 1));
  }
  ASSERT_EQ(dj["devices"].size(), 4u);
  for (const char* key : {"action", "offered_version", "firmware_file", "skipped"})
    EXPECT_FALSE(dj["devices"][0].isMember(key)) << key;
  EXPECT_EQ(dj["devices"][3]["pci"].asString(), FcBus(1) + ".1");
  EXPECT_TRUE(dj["reboot_pending"].isObject());
  EXPECT_TRUE(Flashed().empty());
  EXPECT_EQ(sim_->calls("getNumberOfAdapters").size(), 1u);
  // Nothing left behind: not in the private folder's place, not in the current folder.
  for (const std::string& folder : {private_tmp, ro}) ExpectNoEntry(folder);
  // In words: a row per function, with its adapter and the version as reported.
  const Outcome text = HostSim(tmp_, {"devices"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_TRUE(Contains(text.out, "2 adapter(s), 4 function(s)")) << text.out;
  std::vector<std::string> row;
  for (const std::string& line : vxtest::split_lines(text.out))
    if (Contains(line, FcPort(0, 1))) row = Cells(line);
  EXPECT_EQ(row, (std::vector<std::string>{FcBus(0), "FC", FcPort(0, 1), FcBus(0) + ".1",
                                           "Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA",
                                           "3.1.0.0_b17"}));
  const Json::Value history = ParseJson(Host(tmp_, {"history", "--json"}).out);
  ASSERT_EQ(history["runs"].size(), 2u);
  for (const Json::Value& run : history["runs"]) {
    EXPECT_EQ(run["command"].asString(), "devices");
    EXPECT_EQ(run["package_name"].asString(), "");
  }
  // A machine without adapters is that state, not an unknown failure.
  UseMachine({});
  const Json::Value none = ParseJson(HostSim(tmp_, {"--json", "devices"}).out);
  EXPECT_EQ(none["state"].asString(), "no adapters");
  EXPECT_EQ(none["exit_status"].asInt(), 1);
}

// The reboot-pending marker: every flash that flashed an adapter since this boot, whatever run
// came after, told by discover, flash, devices and show; a marker of another boot tells nothing.
TEST_F(HostCliTest, RebootPendingNamesEveryFlashOfThisBoot) {
  auto pending = [&](const std::vector<std::string>& args) {
    std::vector<std::string> a = {"--json"};
    a.insert(a.end(), args.begin(), args.end());
    const Outcome o = args[0] == "show" ? Host(tmp_, a) : HostSim(tmp_, a);
    const Json::Value p = ParseJson(o.out)["reboot_pending"];
    std::string text = p["pending"].asBool() ? "pending" : "none";
    for (const Json::Value& id : p["runs"]) text += " " + std::to_string(id.asInt64());
    return text;
  };
  ASSERT_EQ(Discover().status, 0);
  EXPECT_EQ(pending({"show", disc_}), "none");
  ASSERT_EQ(Host(tmp_, {"set-action", disc_, "Skip", "--all"}).status, 0);
  EXPECT_EQ(pending({"flash", disc_, fw_dir_}), "none");  // all skipped: nothing flashed
  ASSERT_EQ(Discover().status, 0);
  const Json::Value first = ParseJson(HostSim(tmp_, {"--json", "flash", disc_, fw_dir_}).out);
  const std::string id1 = std::to_string(first["history_id"].asInt64());
  EXPECT_EQ(first["reboot_pending"]["runs"].size(), 1u);
  ASSERT_EQ(Discover().status, 0);
  const Json::Value second = ParseJson(HostSim(tmp_, {"--json", "flash", disc_, fw_dir_}).out);
  const std::string both = "pending " + id1 + " " + std::to_string(second["history_id"].asInt64());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"discover", disc_, fw_dir_}, {"show", disc_}, {"devices"}}) {
    EXPECT_EQ(pending(args), both) << args[0];
  }
  EXPECT_TRUE(Contains(Host(tmp_, {"show", disc_}).out,
                       "Reboot pending: runs " + id1 + " and " +
                           std::to_string(second["history_id"].asInt64()) +
                           " flashed adapters since this boot"));
  // Written under another boot (as after a reboot): nothing pending.
  const std::string marker = tmp_.file("run/reboot-pending");
  std::string text = vxtest::read_file(marker);
  const size_t id = text.find("\"boot_id\":\"") + 11;
  text.replace(id, 36, "00000000-0000-0000-0000-000000000000");
  vxtest::write_file(marker, text);
  EXPECT_EQ(pending({"show", disc_}), "none");
}

// set-action that changes nothing (every chosen device already has the action, in any spelling
// the plug-in reads as it) says so and leaves the file as it was: not even replaced.
TEST_F(HostCliTest, SetActionThatChangesNothingLeavesTheFileAlone) {
  ASSERT_EQ(Discover().status, 0);
  ASSERT_EQ(SetAction({"Skip", "--adapter", "81:00"}).status, 0);
  vxtest::write_file(disc_, Replaced(vxtest::read_file(disc_), "<action value=\"Skip\"/>",
                                     "<action value=\" SKIP \"/>"));
  struct Row {
    std::vector<std::string> args;  // after "set-action FILE"
    std::vector<std::string> changed;
  };
  const Row rows[] = {
      {{"skip", "--adapter", "81:00"}, {}},
      {{"Skip", kCnaFunctions[0], kCnaFunctions[3]}, {}},
      {{"Upgrade", kFcPorts[0], kFcPorts[1]}, {}},
      {{"Skip", "--all"}, {kFcPorts[0], kFcPorts[1], kEthAdapter, "00:0e:1e:e5:19:31"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0] + " " + row.args[1]);
    struct stat was, now;
    ASSERT_EQ(stat(disc_.c_str(), &was), 0);
    const std::string before = vxtest::read_file(disc_);
    const Outcome o = Host(tmp_, Plus({"--json", "set-action", disc_}, row.args));
    EXPECT_EQ(o.status, 0) << o.err;
    const Json::Value j = ParseJson(o.out);
    std::vector<std::string> changed;
    for (const Json::Value& id : j["changed"]) changed.push_back(id.asString());
    EXPECT_EQ(changed, row.changed);
    ASSERT_EQ(stat(disc_.c_str(), &now), 0);
    if (row.changed.empty()) {
      EXPECT_TRUE(vxtest::read_file(disc_) == before);
      EXPECT_EQ(now.st_ino, was.st_ino);  // not replaced
      EXPECT_EQ(now.st_mtim.tv_nsec, was.st_mtim.tv_nsec);
    } else {
      EXPECT_NE(now.st_ino, was.st_ino);
      EXPECT_TRUE(Contains(vxtest::read_file(disc_), "<action value=\" SKIP \"/>"));
    }
  }
  EXPECT_TRUE(Contains(SetAction({"Skip", "--all"}).out,
                       "nothing to change: every chosen device already has the action Skip"));
}

// A file a recorded flash rewrote is named as such by show, set-action and a second flash,
// whatever that flash's outcome (one adapter failed, so the file carries no success status; the
// plug-in refused another package with 8), until a discovery writes a fresh one. The second
// flash still reports what it did.
TEST_F(HostCliTest, AFileAFlashRewroteIsNamedWhateverTheOutcome) {
  UseMachine({FcHba(0, "3.0.2.1"), FcHba(1, "3.0.2.1", 5)});
  ASSERT_EQ(Discover().status, 0);
  const Outcome failed = HostSim(tmp_, {"--json", "flash", disc_, fw_dir_});
  ASSERT_EQ(failed.status, 1) << failed.err;
  const std::string run = std::to_string(ParseJson(failed.out)["history_id"].asInt64());
  const std::string warning =
      disc_ + " was already rewritten by an earlier flash (history run " + run + ")";
  const Json::Value shown = ParseJson(Host(tmp_, {"--json", "show", disc_}).out);
  EXPECT_TRUE(shown["rewritten_by_flash"].asBool()) << shown;
  EXPECT_EQ(shown["rewritten_by_run"].asString(), run);
  EXPECT_TRUE(Contains(shown["warnings"].toStyledString(), warning)) << shown;
  const struct {
    std::vector<std::string> args;
    bool sim;
  } rows[] = {
      {{"show", disc_}, false},
      {{"set-action", disc_, "Skip", "--adapter", FcBus(0)}, false},
      {{"flash", disc_, fw_dir_}, true},
  };
  for (const auto& row : rows) {
    const Outcome o = row.sim ? HostSim(tmp_, row.args) : Host(tmp_, row.args);
    EXPECT_TRUE(Contains(o.err, warning + ": its versions and actions are that pass's")) << o.err;
  }
  ASSERT_EQ(Discover().status, 0);
  const Outcome fresh = Host(tmp_, {"--json", "show", disc_});
  EXPECT_FALSE(ParseJson(fresh.out)["rewritten_by_flash"].asBool());
  EXPECT_FALSE(Contains(fresh.err, "rewritten")) << fresh.err;
  const std::string other = vxe2e::make_fw_dir(tmp_, "3.1.0.9", "other.tar");
  EXPECT_TRUE(Says(HostSim(tmp_, {"flash", disc_, other}), 1, "result 8"));
  sim_->clear_journal();
  const Outcome again = Flash({"--json"});
  EXPECT_TRUE(Says(again, 1, "already rewritten by an earlier flash"));
  const Json::Value aj = ParseJson(again.out);
  EXPECT_EQ(aj["adapters"][0]["outcome"].asString(), "flashed");
  EXPECT_EQ(aj["adapters"][1]["outcome"].asString(), "failed");
  EXPECT_EQ(Flashed().size(), 2u);
}

// show, set-action and flash read the file as the plug-in does: what it reads as Skip, what it
// does not, and what it refuses before the call; the operator mends it and the retry flashes.
TEST_F(HostCliTest, FilesAreShownAndRefusedAsThePluginTreatsThem) {
  struct Case {
    const char* name;
    std::string from, to;      // replaced in the FC HBA's two devices
    bool one_line;             // the whole file on one line
    int show_status;
    const char* shown_fc;      // the PLUG-IN cell of the FC functions; "" when refused
    const char* message;       // in show's standard error
    int flash_status;
    std::vector<std::string> flashed;
  };
  const Case cases[] = {
      {"SKIP", "<action value=\"Upgrade\"/>", "<action value=\"SKIP\"/>", false, 0, "skipped",
       "", 0, {kCnaAdapter, kEthAdapter}},
      {"single quotes", "<action value=\"Upgrade\"/>", "<action value = 'Skip' />", false, 0,
       "skipped", "", 0, {kCnaAdapter, kEthAdapter}},
      {"missing quote", "<action value=\"Upgrade\"/>", "<action value=\"Skip/>", false, 3, "",
       "line 27 (device 1, 21:00:00:0e:1e:c4:51:10): the action leaf cannot be read", 3, {}},
      {"one line", "", "", true, 3, "", "line 1: ", 3, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseInventory("");  // the adapters as they were: Upgrade proposed for the FC HBA
    ASSERT_EQ(Discover().status, 0);
    const std::string discovered = vxtest::read_file(disc_);
    std::string text = discovered;
    for (size_t at = 0; !c.from.empty() && (at = text.find(c.from, at)) != std::string::npos;) {
      text.replace(at, c.from.size(), c.to);
      at += c.to.size();
    }
    if (c.one_line) text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    vxtest::write_file(disc_, text);

    Outcome s = Host(tmp_, {"show", disc_});
    EXPECT_TRUE(Says(s, c.show_status, c.message));
    if (*c.shown_fc != '\0') {
      EXPECT_EQ(DeviceRows(s.out).at(kFcPorts[0])[7], c.shown_fc) << s.out;
    }
    if (c.show_status != 0) {
      EXPECT_TRUE(Says(SetAction({"Skip", "--all"}), 3, "the file is unchanged"));
    }
    sim_->clear_journal();
    Outcome f = Flash();
    EXPECT_EQ(f.status, c.flash_status) << f.err;
    EXPECT_EQ(Flashed(), c.flashed);
    if (c.flash_status == 3) {
      EXPECT_TRUE(Says(f, 3, c.message));
      EXPECT_EQ(vxtest::split_lines(f.err).size(), 1u) << f.err;
      EXPECT_TRUE(sim_->journal().empty());  // the plug-in was not even loaded
      EXPECT_EQ(vxtest::read_file(disc_), text);
      EXPECT_EQ(Cells(vxtest::split_lines(Host(tmp_, {"history"}).out).at(1))[3], "not called");
      vxtest::write_file(disc_, discovered);
      EXPECT_EQ(Flash().status, 0);
      EXPECT_EQ(Flashed(), (std::vector<std::string>{kFcAdapter, kCnaAdapter, kEthAdapter}));
    }
  }
}

// Progress, not on a terminal: one plain line per adapter as its flash ends, with its time.
TEST_F(HostCliTest, ProgressLinesForEachAdapterWithTheirDurations) {
  UseMachine({FcHba(0, "3.0.2.1", 0, 0.4), FcHba(1, "3.0.2.1", 5, 0.2), FcHba(2, "3.0.2.1", 0, 0.3)});
  ASSERT_EQ(Discover({"--quiet"}).status, 0);
  Outcome f = HostSim(tmp_, {"flash", disc_, fw_dir_});
  EXPECT_EQ(f.status, 1);
  std::vector<std::string> progress;
  for (const std::string& line : vxtest::split_lines(f.out))
    if (line.compare(0, 1, "[") == 0) progress.push_back(line);
  ASSERT_EQ(progress.size(), 3u) << f.out;
  const double seconds[] = {0.4, 0.2, 0.3};
  for (int n = 0; n < 3; ++n) {
    const std::string head = "[" + std::to_string(n + 1) + "/3] flashing " + FcPort(n, 0);
    EXPECT_EQ(progress[n].compare(0, head.size(), head), 0) << progress[n];
    EXPECT_TRUE(Contains(progress[n], n == 1 ? ": failed: image rejected, " : ": ok, "))
        << progress[n];
    // Line times are when the follower read the lines: up to a poll (50 ms) late, at either end.
    double took = atof(progress[n].substr(progress[n].rfind(", ") + 2).c_str());
    EXPECT_GE(took, seconds[n] - 0.1) << progress[n];
    EXPECT_LT(took, seconds[n] + 1.0) << progress[n];
  }
  // Nothing with --quiet or --json.
  ASSERT_EQ(Discover({"--quiet"}).status, 0);
  EXPECT_FALSE(Contains(HostSim(tmp_, {"flash", disc_, fw_dir_, "--quiet"}).out, "] flashing"));
  ASSERT_EQ(Discover({"--quiet"}).status, 0);
  Outcome j = HostSim(tmp_, {"flash", disc_, fw_dir_, "--json"});
  EXPECT_EQ(ParseJson(j.out)["adapters"].size(), 3u);
}

// Every discover and flash is recorded, with its trace and the file before and after, and read
// back by the history commands and by the sqlite3 command.
TEST_F(HostCliTest, HistoryRecordsEachRunWithItsTrace) {
  ASSERT_EQ(Discover().status, 0);
  const std::string discovery_log = vxtest::read_file(vxtest::trace_log_path());
  ASSERT_EQ(SetAction({"Skip", "--adapter", "0a:00"}).status, 0);
  const std::string before = vxtest::read_file(disc_);
  Outcome f = Flash({"--json"});
  ASSERT_EQ(f.status, 0) << f.err;
  const Json::Value flash = ParseJson(f.out);
  const std::string flash_log = vxtest::read_file(vxtest::trace_log_path());

  Json::Value list = ParseJson(Host(tmp_, {"history", "--json"}).out);
  ASSERT_EQ(list["runs"].size(), 2u);
  const Json::Value& newest = list["runs"][0];
  EXPECT_EQ(newest["id"].asInt64(), flash["history_id"].asInt64());
  EXPECT_EQ(newest["command"].asString(), "flash");
  EXPECT_EQ(newest["result_code"].asInt(), 1);
  EXPECT_EQ(newest["package_name"].asString(), kPackage);
  EXPECT_EQ(newest["package_version"].asString(), "3.1.0.0");
  EXPECT_EQ(list["runs"][1]["command"].asString(), "discover");
  EXPECT_TRUE(Contains(Host(tmp_, {"history"}).out, "2 flashed, 1 skipped"));

  const std::string id = std::to_string(flash["history_id"].asInt64());
  Json::Value shown = ParseJson(Host(tmp_, {"history", "show", id, "--log", "--json"}).out)["run"];
  EXPECT_EQ(shown["trace"].asString(), flash_log);
  EXPECT_EQ(shown["file_before"].asString(), before);
  EXPECT_EQ(shown["file_after"].asString(), vxtest::read_file(disc_));
  EXPECT_EQ(shown["adapters"], flash["adapters"]);
  Outcome text = Host(tmp_, {"history", "show", id, "--log"});
  EXPECT_EQ(AdapterRows(text.out).at("0a:00")[5], "skipped") << text.out;
  EXPECT_TRUE(Contains(text.out, flash_log)) << text.out;

  const std::string db = vxtest::shell_quote(tmp_.file("history.db"));
  auto query = [&](const std::string& sql) {
    EXPECT_EQ(vxtest::run("sqlite3 " + db + " " + vxtest::shell_quote(sql) + " >" +
                          vxtest::shell_quote(tmp_.file("sql.out"))),
              0);
    return vxtest::read_file(tmp_.file("sql.out"));
  };
  EXPECT_EQ(query("SELECT command, called, result_code, exit_status FROM runs ORDER BY id"),
            "discover|1|0|0\nflash|1|1|0\n");
  EXPECT_EQ(query("SELECT adapter FROM run_adapters WHERE run_id = " + id + " ORDER BY position"),
            "0a:00\n81:00\n04:00\n");
  // The bodies are gzip members: taken out with sqlite3, read with zcat.
  const std::string gz = vxtest::shell_quote(tmp_.file("trace.gz"));
  query("SELECT writefile(" + gz + ", trace_gz) FROM run_bodies ORDER BY run_id LIMIT 1");
  ASSERT_EQ(vxtest::run("zcat " + gz + " >" + vxtest::shell_quote(tmp_.file("trace"))), 0);
  EXPECT_EQ(vxtest::read_file(tmp_.file("trace")), discovery_log);
}

// History never stops an update: a database that cannot be opened is a warning.
TEST_F(HostCliTest, UnwritableHistoryDatabaseWarnsAndTheFlashGoesOn) {
  vxtest::write_file(tmp_.file("plain"), "not a folder\n");
  ASSERT_EQ(::mkdir(tmp_.file("folder.db").c_str(), 0755), 0);
  const std::string cases[] = {tmp_.file("plain/history.db"), tmp_.file("folder.db")};
  for (const std::string& db : cases) {
    SCOPED_TRACE(db);
    ASSERT_EQ(Discover().status, 0);
    sim_->clear_journal();
    Outcome f = Flash({"--json", "--history-db", db});
    EXPECT_TRUE(Says(f, 0, "warning: no history of this run: "));
    Json::Value fj = ParseJson(f.out);
    EXPECT_TRUE(fj["history_id"].isNull());
    EXPECT_EQ(fj["warnings"].size(), 1u);
    EXPECT_EQ(Flashed().size(), 3u);
  }
}

// One run at a time: a second run waits for the first, or with --no-wait fails at once naming
// the holder. set-action waits for a running flash and edits the file the flash left; it never
// edits a file a flash has read and is about to rewrite.
TEST_F(HostCliTest, SecondRunWaitsOrFailsWithNoWait) {
  UseMachine({FcHba(0, "3.0.2.1", 0, 1.5), FcHba(1, "3.0.2.1")});
  ASSERT_EQ(Discover().status, 0);
  const std::string lock = tmp_.file("run.lock"), first_out = tmp_.file("first.json");
  const std::string first_status = StartFlash({"--json", "--log"}, first_out, [&] {
    return LockHeld();
  });
  Outcome busy = HostSim(tmp_, {"--no-wait", "discover", tmp_.file("d2.xml"), fw_dir_});
  EXPECT_TRUE(Says(busy, 3, "holds the lock " + lock + "; gave up after 0 s"));
  EXPECT_TRUE(Contains(busy.err, "flash " + disc_)) << busy.err;  // names the holder
  busy = Host(tmp_, {"--json", "--no-wait", "set-action", disc_, "Skip", "--adapter", FcBus(1)});
  EXPECT_EQ(busy.status, 3) << busy.err;
  const Json::Value bj = ParseJson(busy.out);
  EXPECT_TRUE(Contains(bj["error"].asString(), "gave up after 0 s")) << busy.out;
  EXPECT_TRUE(Contains(bj["lock_holder"].asString(), "flash " + disc_)) << busy.out;

  // Both wait: a discovery in the background, an edit here.
  const std::string second_out = tmp_.file("second.json"), second_err = tmp_.file("second.err");
  StartInBackground(HostCommand(tmp_, {"--agent", VXINS_SIM_DIR, "discover", tmp_.file("d2.xml"),
                                       fw_dir_, "--json", "--log"}, How()) +
                        " >" + vxtest::shell_quote(second_out) + " 2>" +
                        vxtest::shell_quote(second_err),
                    tmp_.file("second.status"));
  EXPECT_TRUE(Says(SetAction({"Skip", "--adapter", FcBus(1)}), 0,
                   "warning: waiting for another run (pid "));
  ASSERT_TRUE(WaitFor([&] {
    return vxtest::file_exists(first_status) && vxtest::file_exists(tmp_.file("second.status"));
  }, 20));
  EXPECT_EQ(vxtest::read_file(first_status), "0\n");
  EXPECT_EQ(vxtest::read_file(tmp_.file("second.status")), "0\n");
  EXPECT_TRUE(Contains(vxtest::read_file(second_err), "warning: waiting for another run (pid "));
  // Neither trace holds the other's lines.
  std::string first_log = ParseJson(vxtest::read_file(first_out))["log"].toStyledString();
  std::string second_log = ParseJson(vxtest::read_file(second_out))["log"].toStyledString();
  EXPECT_TRUE(Contains(first_log, "-->oem_do_flash_with_file()"));
  EXPECT_FALSE(Contains(first_log, "FW VERSION FROM TAR FILE IS"));
  EXPECT_FALSE(Contains(second_log, "oem_do_flash_with_file"));
  // The flash read the file before the edit; the edit is in the file the flash rewrote.
  EXPECT_EQ(Flashed().size(), 2u);
  for (const vxe2e::XmlDevice& d : Parsed().devices) {
    EXPECT_EQ(d.fw.at("action_status"), "1");
    const bool second = d.dev.at("macaddress") == FcPort(1, 0) || d.dev.at("macaddress") == FcPort(1, 1);
    EXPECT_EQ(d.fw.at("action") == "Skip", second) << d.dev.at("macaddress");
  }
}

TEST_F(HostCliTest, FifoAsDiscoveryFileIsRefusedWithoutHanging) {
  const std::string fifo = tmp_.file("fifo.xml");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  How how;
  how.wrapper = "timeout 20";
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"show", fifo}, 3},
      {{"set-action", fifo, "Skip", "--all"}, 3},
      {{"--agent", VXINS_SIM_DIR, "flash", fifo, fw_dir_}, 1},  // the plug-in's 11, explained
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(Says(Host(tmp_, c.first, how), c.second, fifo + " is a FIFO, not a regular file"))
        << c.first[0];
  }
}

TEST_F(HostCliTest, SetActionEditsOnlyTheActionValues) {
  ASSERT_EQ(Discover().status, 0);
  const std::string before = vxtest::read_file(disc_);
  Outcome s = SetAction(Plus({"Skip"}, {std::begin(kCnaFunctions), std::end(kCnaFunctions)}));
  ASSERT_EQ(s.status, 0) << s.err;
  EXPECT_EQ(s.err, "");  // every function of the CNA: no partly skipped adapter
  // Line by line the same file, but the CNA's four action lines.
  std::vector<std::string> old_lines = vxtest::split_lines(before);
  std::vector<std::string> new_lines = vxtest::split_lines(vxtest::read_file(disc_));
  ASSERT_EQ(new_lines.size(), old_lines.size());
  int changed = 0;
  for (size_t i = 0; i < old_lines.size(); ++i) {
    if (old_lines[i] == new_lines[i]) continue;
    ++changed;
    EXPECT_EQ(old_lines[i], "\t\t\t\t<action value=\"Downgrade\"/>");
    EXPECT_EQ(new_lines[i], "\t\t\t\t<action value=\"Skip\"/>");
  }
  EXPECT_EQ(changed, 4);
  std::set<std::string> cna(std::begin(kCnaFunctions), std::end(kCnaFunctions));
  for (const vxe2e::XmlDevice& d : Parsed().devices)
    EXPECT_EQ(d.fw.at("action") == "Skip", cna.count(d.dev.at("macaddress")) == 1);

  sim_->clear_journal();
  EXPECT_EQ(HostSim(tmp_, {"flash", disc_, fw_dir_ + "/" + kPackage}).status, 0);
  EXPECT_EQ(Flashed(), (std::vector<std::string>{kFcAdapter, kEthAdapter}));
  // A new discovery sees the flashed versions (the simulator keeps them in its state file).
  Outcome again = Discover({"--json"});
  ASSERT_EQ(again.status, 0) << again.err;
  const Json::Value listing = ParseJson(again.out);
  for (const Json::Value& dev : listing["devices"]) {
    bool skipped = cna.count(dev["mac_or_wwn"].asString()) == 1;
    EXPECT_EQ(dev["active_version"].asString(), skipped ? "3.2.0.0" : "3.1.0.0");
  }
}

TEST_F(HostCliTest, SetActionSelectsByIdentifierAdapterOrAll) {
  ASSERT_EQ(Discover().status, 0);
  ::chmod(disc_.c_str(), 0640);
  const std::string before = vxtest::read_file(disc_);
  struct Case {
    std::vector<std::string> args;  // after "set-action FILE"
    int status;
    std::string message;            // in standard error
  };
  const Case refused[] = {
      {{"Skip", kFcPorts[0], "00:00:00:00:00:99"}, 3,
       "'00:00:00:00:00:99' names no device of " + disc_ + "; the file is unchanged"},
      {{"Skip", "--adapter", "0f:00"}, 3, "'0f:00' names no device of"},
      {{"Skip", "--adapter", "zz", "--adapter", "0001:0a:00"}, 3,
       "'zz', '0001:0a:00' name no device of"},
      // Part of an adapter: the plug-in would still flash it.
      {{"skip", "21:00:00:0E:1E:C4:51:11"}, 3,
       "adapter 0a:00 keeps functions not set to Skip: 0a:00.0 (21:00:00:0e:1e:c4:51:10)"},
  };
  for (const Case& c : refused) {
    Outcome o = SetAction(c.args);
    EXPECT_TRUE(Says(o, c.status, c.message));
    EXPECT_EQ(vxtest::split_lines(o.err).size(), 1u) << o.err;
    EXPECT_EQ(vxtest::read_file(disc_), before);
  }
  // Part of an adapter with --force: a warning, and the plug-in still flashes it.
  Outcome part = SetAction({"skip", "21:00:00:0E:1E:C4:51:11", "--force"});
  EXPECT_TRUE(Says(part, 0, "the plug-in will still flash that adapter (--force)"));
  EXPECT_TRUE(Contains(part.err, "warning: adapter 0a:00 has functions set to Skip and others not"))
      << part.err;
  EXPECT_EQ(Parsed().devices[1].fw.at("action"), "Skip");
  ASSERT_EQ(SetAction({"Skip", "--all"}).status, 0);
  for (const vxe2e::XmlDevice& d : Parsed().devices) EXPECT_EQ(d.fw.at("action"), "Skip");
  // Replaced whole: same permission bits, no temporary left beside it.
  struct stat st;
  ASSERT_EQ(stat(disc_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ExpectNoEntry(tmp_.path(), ".vxins-discovery-");
  // All devices skipped: the plug-in flashes nothing and says so; that is not a success.
  sim_->clear_journal();
  EXPECT_TRUE(Says(Flash(), 1, "result 3: nothing was flashed"));
  EXPECT_TRUE(Flashed().empty());
}

// A file the host replaces (set-action's discovery file, replay-to-inventory's -o) is replaced
// under the name given, as the plug-in's own rewrite replaces it: a link planted there is
// replaced by the new file, and what it points to is never written through.
TEST_F(HostCliTest, ALinkAtAReplacedNameIsReplacedNeverWrittenThrough) {
  const std::string rec = tmp_.file("site.jsonl");
  ASSERT_EQ(Discover({"--record", rec}).status, 0);
  const std::string discovered = vxtest::read_file(disc_);
  const std::string target = tmp_.file("target"), link = tmp_.file("link");
  struct Case {
    std::vector<std::string> args;
    std::string written;  // in the new file
  };
  const Case cases[] = {
      {{"set-action", link, "Skip", "--all"}, "<action value=\"Skip\"/>"},
      {{"replay-to-inventory", rec, "-o", link}, "\"adapters\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    vxtest::write_file(target, discovered);
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    Outcome o = Host(tmp_, c.args);
    ASSERT_EQ(o.status, 0) << o.err;
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_TRUE(Contains(vxtest::read_file(link), c.written));
    EXPECT_TRUE(vxtest::read_file(target) == discovered) << "written through the link";
  }
}

// Causes the host can name before the call explain the plug-in's result, which stays the result:
// one row per exit path (each shape of firmware path is a row of the prechecks unit test).
TEST_F(HostCliTest, FailingCallsNameTheirCause) {
  const std::string two = tmp_.file("two"), ro = tmp_.file("ro");
  for (const std::string& d : {two, ro}) ASSERT_EQ(::mkdir(d.c_str(), 0755), 0);
  vxtest::write_file(two + "/a.tar", "a");
  vxtest::write_file(two + "/b.tar", "b");
  ASSERT_EQ(::chmod(ro.c_str(), 0555), 0);
  How no_override;
  no_override.wrapper = kNoOverride;
  How in_ro = no_override;
  in_ro.cwd = ro;
  struct Case {
    std::vector<std::string> args;
    How how;
    int code;
    std::string cause;
  };
  const Case cases[] = {
      {{"discover", disc_, tmp_.file("none")}, How(), -1,
       "the firmware path " + tmp_.file("none") + " does not exist"},
      {{"discover", disc_, two}, How(), 1002, "holds 2 entries"},
      {{"flash", tmp_.file("missing.xml"), fw_dir_}, How(), 11, "cannot open " + tmp_.file("missing.xml")},
      {{"discover", ro + "/d.xml", fw_dir_}, no_override, 1001,
       "the discovery file's folder " + ro + " is not writable"},
      {{"discover", disc_, fw_dir_}, in_ro, 1007,
       "the current folder " + ro + " is not writable: the package reader creates its scratch "
       "file tmp_<thread> there"},
  };
  for (const Case& c : cases) {
    Outcome o = HostSim(tmp_, c.args, c.how);
    if (!c.how.wrapper.empty() && o.status == 127) GTEST_SKIP() << "setpriv cannot run here";
    EXPECT_EQ(o.status, 1) << c.cause << "\n" << o.err;
    EXPECT_TRUE(Contains(o.err, "failed with result " + std::to_string(c.code) + ": ")) << o.err;
    EXPECT_TRUE(Contains(vxtest::split_lines(o.err).back(), c.cause)) << o.err;
    EXPECT_TRUE(Contains(o.out, "returned " + std::to_string(c.code))) << o.out;
  }
  // Discovery's 1001 names the file it could not write among its causes.
  EXPECT_TRUE(Contains(HostSim(tmp_, {"discover", ro + "/d.xml", fw_dir_}, no_override).out,
                       "the discovery file could not be written"));
}

// Not root: a warning, and --log shows no trace rather than an earlier call's. set-action, which
// edits under the run lock only root may take, is refused.
TEST_F(HostCliTest, NotRootIsAWarningAndLogShowsNoOtherCallsTrace) {
  ASSERT_EQ(Discover().status, 0);  // the trace log holds a call now
  const std::string before = vxtest::read_file(disc_);
  for (const std::string& p : {tmp_.path(), sim_->dir().path()}) ::chmod(p.c_str(), 0777);
  ::chmod(disc_.c_str(), 0666);
  How nobody = Nobody();
  // A lock of nobody's own: the machine's is root's alone.
  ASSERT_EQ(::mkdir(tmp_.file("nobody").c_str(), 0700), 0);
  ASSERT_EQ(::chown(tmp_.file("nobody").c_str(), 65534, 65534), 0);
  nobody.env = {"VXINS_LOCK_FILE=" + tmp_.file("nobody/run.lock")};
  nobody.cwd = tmp_.path();
  Outcome o = HostSim(tmp_, {"discover", tmp_.file("nobody.xml"), fw_dir_, "--log"}, nobody);
  if (o.status == 127) GTEST_SKIP() << "setpriv cannot run here";
  EXPECT_TRUE(Contains(o.err, "warning: not running as root")) << o.err;
  EXPECT_FALSE(Contains(o.out, "FW VERSION FROM TAR FILE IS")) << o.out;
  EXPECT_TRUE(Contains(o.out, "The call wrote no trace to /var/log/libqrvlvxins.log")) << o.out;
  EXPECT_TRUE(Says(SetAction({"Rewrite", "--all"}, Nobody()), 3, "set-action needs root"));
  EXPECT_EQ(vxtest::read_file(disc_), before);
}

// --record puts the recorder in front of the agent library the plug-in would load (--agent's, or
// the one the loader finds): the call's results are those of a run without it, the simulator
// sees the same calls (after the recorder's own get_agt_version for the header), and the
// recording holds each of them.
TEST_F(HostCliTest, RecordChangesNothingAndHoldsEveryCall) {
  struct Case {
    const char* name;
    bool flash;
    bool agent_option;      // --agent, else the simulator's folder on LD_LIBRARY_PATH
    const char* recording;  // relative to the host's current folder, the test's folder
  };
  const Case cases[] = {
      {"discover, --agent", false, true, "discover-agent.jsonl"},
      {"discover, loader's path", false, false, "discover-path.jsonl"},
      {"flash, --agent", true, true, "flash.jsonl"},
  };
  char resolved[PATH_MAX];
  ASSERT_NE(realpath(VXINS_SIM_DIR "/libdznaj.so", resolved), nullptr);
  const std::string sim_lib = resolved;
  // The first adapter's flash fails: its reason travels through the recorder too.
  const std::vector<Json::Value> machine = {FcHba(0, "3.0.2.1", 5), FcHba(1, "2.9.0.0")};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    How how;
    how.cwd = tmp_.path();
    if (!c.agent_option) how.env.push_back("LD_LIBRARY_PATH=" VXINS_SIM_DIR);
    auto run = [&](const std::vector<std::string>& before) {
      std::vector<std::string> args = before;
      if (c.agent_option) args.insert(args.end(), {"--agent", VXINS_SIM_DIR});
      args.insert(args.end(), {c.flash ? "flash" : "discover", disc_, fw_dir_, "--json"});
      return Host(tmp_, args, how);
    };
    UseMachine(machine);
    std::string file_before;
    if (c.flash) {
      ASSERT_EQ(Discover().status, 0);
      file_before = vxtest::read_file(disc_);
      sim_->clear_journal();
    }
    const Outcome plain = run({});
    const std::string file_plain = vxtest::read_file(disc_);
    const std::vector<Json::Value> journal_plain = sim_->journal();
    UseMachine(machine);  // the adapters as they were before the plain run
    if (c.flash) vxtest::write_file(disc_, file_before);

    const Outcome recorded = run({"--record", c.recording});
    ASSERT_EQ(recorded.status, plain.status) << recorded.err;
    EXPECT_EQ(vxtest::read_file(disc_), file_plain);
    const Json::Value pj = ParseJson(plain.out), rj = ParseJson(recorded.out);
    EXPECT_EQ(rj["result"], pj["result"]);
    ASSERT_EQ(rj["adapters"].size(), pj["adapters"].size());
    for (Json::ArrayIndex i = 0; i < pj["adapters"].size(); ++i) {
      for (const char* key : {"adapter", "before", "offered", "proposed", "outcome", "reason"})
        EXPECT_EQ(rj["adapters"][i][key], pj["adapters"][i][key]) << key;
    }
    const std::vector<Json::Value> journal = sim_->journal();
    ASSERT_EQ(journal.size(), journal_plain.size() + 1);
    EXPECT_EQ(journal[0]["symbol"].asString(), "get_agt_version");
    EXPECT_EQ(std::vector<Json::Value>(journal.begin() + 1, journal.end()), journal_plain);

    const std::vector<std::string> lines =
        vxtest::split_lines(vxtest::read_file(tmp_.file(c.recording)));
    ASSERT_EQ(lines.size(), journal.size());  // the header, then one line per call
    const Json::Value header = ParseJson(lines[0]);
    EXPECT_EQ(header["type"].asString(), "header");
    EXPECT_EQ(header["format"].asInt(), 1);
    EXPECT_EQ(header["target"].asString(), sim_lib);
    for (size_t i = 1; i < lines.size(); ++i)
      EXPECT_EQ(ParseJson(lines[i])["entryPoint"], journal_plain[i - 1]["symbol"]) << lines[i];
    if (c.flash) {
      EXPECT_TRUE(Contains(vxtest::read_file(tmp_.file(c.recording)),
                           "\"errorText\":\"image rejected\""));
    }
    const Json::Value& rec = rj["recording"];
    EXPECT_EQ(rec["file"].asString(), tmp_.file(c.recording));
    EXPECT_EQ(rec["target"].asString(), sim_lib);
    EXPECT_EQ(rec["calls"].asUInt(), lines.size() - 1);
  }
  // In words: where the recording goes and what it got; the history's command line holds it.
  Outcome text = HostSim(tmp_, {"--record", tmp_.file("text.jsonl"), "discover", disc_, fw_dir_});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_TRUE(Contains(text.out, "Recording the agent calls to " + tmp_.file("text.jsonl") +
                                     " (the recorder in front of " + sim_lib + ")"))
      << text.out;
  const size_t calls = vxtest::split_lines(vxtest::read_file(tmp_.file("text.jsonl"))).size() - 1;
  EXPECT_TRUE(Contains(text.out, "Recorded " + std::to_string(calls) + " agent call(s) of " +
                                     sim_lib))
      << text.out;
  const Json::Value history = ParseJson(Host(tmp_, {"history", "--json", "--limit", "1"}).out);
  EXPECT_TRUE(Contains(history["runs"][0]["command_line"].asString(),
                       "--record " + tmp_.file("text.jsonl")))
      << history;
}

// The lab's half: the recording alone gives the site's discovery file, replayed by the simulator
// (DZNAJ_SIM_REPLAY) or served as the inventory replay-to-inventory makes of it; the lab's own
// machine (the built-in one) differs from the site's.
TEST_F(HostCliTest, ARecordingReplaysInTheLab) {
  UseMachine({FcHba(0, "3.0.2.1"), FcHba(1, "2.9.0.0", 5), FcHba(2, "3.1.0.0")});
  const std::string rec = tmp_.file("site.jsonl"), lab = tmp_.file("lab.xml");
  ASSERT_EQ(Discover({"--record", rec}).status, 0);
  const std::string site = vxtest::read_file(disc_);
  UseInventory("");

  How replay;
  replay.env = {"DZNAJ_SIM_REPLAY=" + rec, "DZNAJ_SIM_STATE=" + tmp_.file("replay.state")};
  Outcome replayed = HostSim(tmp_, {"discover", lab, fw_dir_}, replay);
  EXPECT_EQ(replayed.status, 0) << replayed.err;
  EXPECT_EQ(vxtest::read_file(lab), site);

  const std::string inv = tmp_.file("inventory.json");
  const Outcome to_stdout = Host(tmp_, {"replay-to-inventory", rec});
  const Outcome to_file = Host(tmp_, {"replay-to-inventory", rec, "-o", inv});
  const Outcome as_json = Host(tmp_, {"--json", "replay-to-inventory", rec});
  for (const Outcome* o : {&to_stdout, &to_file, &as_json}) EXPECT_EQ(o->status, 0) << o->err;
  EXPECT_EQ(vxtest::read_file(inv), to_stdout.out);
  EXPECT_TRUE(Contains(to_file.out, inv + ": the inventory of 3 adapter(s) and 0 fault(s)"))
      << to_file.out;
  const Json::Value j = ParseJson(as_json.out);
  EXPECT_EQ(j["inventory"], ParseJson(to_stdout.out));
  EXPECT_EQ(j["adapters"].asInt(), 3);
  UseInventory(to_stdout.out);
  ASSERT_EQ(HostSim(tmp_, {"discover", lab, fw_dir_}).status, 0);
  EXPECT_EQ(vxtest::read_file(lab), site);

  // The script's refusals and warnings are the host's, in one line each; the script dying
  // without a word (killed by the OOM killer, say) is named by how it ended, never a crash.
  ASSERT_EQ(::mkdir(tmp_.file("bin").c_str(), 0755), 0);
  vxtest::write_file(tmp_.file("newer.jsonl"), "{\"type\":\"header\",\"format\":2}\n");
  vxtest::write_file(tmp_.file("noformat.jsonl"), "{\"type\":\"header\"}\n");
  vxtest::write_file(tmp_.file("cut.jsonl"), vxtest::read_file(rec) + "{\"type\":\"ca\n");
  ASSERT_EQ(::mkfifo(tmp_.file("fifo.jsonl").c_str(), 0600), 0);
  vxtest::write_file(tmp_.file("threw.jsonl"),
                     vxtest::read_file(rec) +
                         "{\"type\":\"call\",\"entryPoint\":\"getHbaByWwn\",\"threw\":\"x\"}\n");
  struct Case {
    std::string recording;
    int status;
    std::string message;            // the last line of standard error
    const char* python = nullptr;  // a python3 of this shell script first on PATH
  };
  const Case cases[] = {
      {tmp_.file("none.jsonl"), 3, "vxins-host: cannot read " + tmp_.file("none.jsonl")},
      {tmp_.file("fifo.jsonl"), 3,
       "vxins-host: cannot read " + tmp_.file("fifo.jsonl") + ": it is not a regular file"},
      {tmp_.file("newer.jsonl"), 3, "vxins-host: " + tmp_.file("newer.jsonl") +
                                        ":1: format 2 is newer than this script reads (1)"},
      {tmp_.file("noformat.jsonl"), 3,
       "vxins-host: " + tmp_.file("noformat.jsonl") + ":1: format null is not a format version"},
      {tmp_.file("cut.jsonl"), 0,
       "vxins-host: warning: " + tmp_.file("cut.jsonl") + ":" +
           std::to_string(vxtest::split_lines(vxtest::read_file(rec)).size() + 1) +
           ": not JSON"},
      {tmp_.file("threw.jsonl"), 0,
       "vxins-host: warning: " + tmp_.file("threw.jsonl") + ":" +
           std::to_string(vxtest::split_lines(vxtest::read_file(rec)).size() + 1) +
           ": \"threw\" is not an object; line skipped"},
      {rec, 3, "vxins-host: replay-to-inventory.py failed (exit status 3) and wrote no inventory",
       "exit 3"},
      {rec, 3, "vxins-host: replay-to-inventory.py failed (killed by signal 9", "kill -9 $$"},
  };
  for (const Case& c : cases) {
    How how;
    if (c.python != nullptr) {
      vxtest::write_file(tmp_.file("bin/python3"), std::string("#!/bin/sh\n") + c.python + "\n");
      ASSERT_EQ(::chmod(tmp_.file("bin/python3").c_str(), 0755), 0);
      how.env = {"PATH=" + tmp_.file("bin") + ":/usr/bin:/bin"};
    }
    Outcome o = Host(tmp_, {"replay-to-inventory", c.recording, "-o", inv}, how);
    EXPECT_EQ(o.status, c.status) << o.err;
    ASSERT_EQ(vxtest::split_lines(o.err).size(), 1u) << o.err;
    EXPECT_EQ(o.err.find(c.message), 0u) << o.err;
    EXPECT_EQ(vxtest::read_file(inv), to_stdout.out);  // -o FILE replaced only by an inventory
  }
}

// --- Choices kept: set-action under the run lock, adapters as the plug-in flashes them, a file
// mended by set-action.

// An adapter is what the plug-in flashes: one agent adapter whose ports sit on two buses is one
// adapter, named by any of its addresses or identifiers, skipped whole or not at all.
TEST_F(HostCliTest, AnAdapterIsWhatThePluginFlashes) {
  Json::Value across = FcHba(0, "3.0.2.1");
  across["fcPorts"][1]["hardwarePath"] = "0000:0b:00.1";
  UseMachine({across, FcHba(2, "3.0.2.1")});
  const std::string index = across["index"].asString();
  Outcome d = Discover({"--json"});
  ASSERT_EQ(d.status, 0) << d.err;
  const Json::Value dj = ParseJson(d.out);
  ASSERT_EQ(dj["adapters"].size(), 2u) << d.out;
  const Json::Value& first = dj["adapters"][0];
  EXPECT_EQ(first["adapter"].asString(), "0a:00");
  EXPECT_EQ(first["agent_index"].asString(), index);
  EXPECT_EQ(first["grouping"].asString(), "agent");
  EXPECT_EQ(first["functions"], ParseJson("[\"0a:00.0\", \"0b:00.1\"]"));
  EXPECT_EQ(dj["devices"][1]["adapter"].asString(), "0a:00");

  // Every spelling names the whole adapter; what names nothing is named back.
  Outcome sel = Host(tmp_, {"--json", "select", disc_, "0000:0B:00.1", "0b:00", "0:a:0.0",
                            "21:00:00:0E:1E:00:00:01"});
  ASSERT_EQ(sel.status, 0) << sel.err;
  const Json::Value sj = ParseJson(sel.out);
  ASSERT_EQ(sj["selections"].size(), 4u) << sel.out;
  for (const Json::Value& one : sj["selections"]) {
    EXPECT_EQ(one["adapter"].asString(), "0a:00") << one["entry"];
    EXPECT_EQ(one["agent_index"].asString(), index);
    EXPECT_EQ(one["identifiers"].size(), 2u);
  }
  Outcome none = Host(tmp_, {"--json", "select", disc_, "0001:0a:00", "0c:00.7", "0c:00"});
  EXPECT_EQ(none.status, 3);
  const Json::Value nj = ParseJson(none.out);
  EXPECT_EQ(nj["unmatched"], ParseJson("[\"0001:0a:00\", \"0c:00.7\"]"));
  EXPECT_EQ(nj["error"].asString(), "'0001:0a:00', '0c:00.7' name no device of " + disc_);

  // A Skip of part of it is refused; any of its addresses skips it whole.
  EXPECT_TRUE(Says(SetAction({"Skip", "0b:00.1"}), 3,
                   "adapter 0a:00 keeps functions not set to Skip: 0a:00.0"));
  ASSERT_EQ(SetAction({"Skip", "--adapter", "0b:00"}).status, 0);
  sim_->clear_journal();
  Outcome skipped = Flash({"--json"});
  EXPECT_EQ(skipped.status, 0) << skipped.err;
  EXPECT_EQ(ParseJson(skipped.out)["adapters"][0]["outcome"].asString(), "skipped");
  EXPECT_EQ(Flashed(), std::vector<std::string>{FcHba(2, "").get("index", "").asString()});

  // Its second bus skipped by force: the plug-in flashes it, and says so.
  UseMachine({across, FcHba(2, "3.0.2.1")});
  ASSERT_EQ(Discover().status, 0);
  EXPECT_TRUE(Says(SetAction({"Skip", "0b:00.1", "--force"}), 0, "will still flash that adapter"));
  Outcome flashed = Flash({"--json"});
  EXPECT_EQ(flashed.status, 0) << flashed.err;
  const Json::Value fj = ParseJson(flashed.out);
  EXPECT_EQ(fj["adapters"][0]["outcome"].asString(), "flashed");
  EXPECT_EQ(fj["adapters"][0]["grouping"].asString(), "agent");
  EXPECT_EQ(Flashed().size(), 2u);

  // Without a recorded run that wrote these devices, their adapters are not known: grouped by
  // B:D, and --adapter refused rather than guessed.
  How elsewhere;
  elsewhere.env = {"VXINS_HISTORY_DB=" + tmp_.file("other.db")};
  const Json::Value pj = ParseJson(Host(tmp_, {"--json", "select", disc_, "0b:00"}, elsewhere).out);
  EXPECT_EQ(pj["adapters"].size(), 3u);
  EXPECT_EQ(pj["adapters"][1]["grouping"].asString(), "pci");
  EXPECT_TRUE(pj["selections"][0]["agent_index"].isNull());
  EXPECT_TRUE(Says(SetAction({"Rewrite", "--adapter", "0a:00"}, elsewhere), 3,
                   "--adapter needs the agent's adapters of this file, which are not known"));
  // A flash learns them from its own enumeration and rewrite.
  Outcome own = Flash({"--json"}, elsewhere);
  EXPECT_EQ(own.status, 0) << own.err;
  const Json::Value oj = ParseJson(own.out);
  ASSERT_EQ(oj["adapters"].size(), 2u) << own.out;
  EXPECT_EQ(oj["adapters"][0]["grouping"].asString(), "agent");
  EXPECT_EQ(oj["adapters"][0]["outcome"].asString(), "flashed");
}

// An action word naming no action makes the plug-in refuse the whole file: show says so, flash
// refuses it, and set-action mends it when it sets that device's action.
TEST_F(HostCliTest, SetActionMendsAnActionNamingNoAction) {
  ASSERT_EQ(Discover().status, 0);
  std::string text = vxtest::read_file(disc_);
  const size_t at = text.find("<action value=\"Upgrade\"/>");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 25, "<action value=\"Skpi\"/>");
  const size_t second = text.find("<action value=\"Upgrade\"/>");  // the HBA's other port
  text.replace(second, 25, "<action value=\"Rewrit\"/>");
  vxtest::write_file(disc_, text);
  EXPECT_TRUE(Says(Host(tmp_, {"show", disc_}), 3,
                   "the action of device 1 (" + std::string(kFcPorts[0]) + "), device 2 (" +
                       kFcPorts[1] + ") names no action: the plug-in refuses the whole file"));
  sim_->clear_journal();
  EXPECT_EQ(Flash().status, 3);
  EXPECT_TRUE(sim_->journal().empty());
  EXPECT_TRUE(Says(SetAction({"Skip", "--adapter", "81:00"}), 3, "names no action"));
  EXPECT_EQ(vxtest::read_file(disc_), text);
  // Mended with an adapter after them, whose actions stand further on in the file than the
  // words set in their place for the reading.
  EXPECT_EQ(SetAction({"Skip", "--adapter", "0a:00", "--adapter", "04:00"}).status, 0);
  EXPECT_EQ(Host(tmp_, {"show", disc_}).status, 0);
  std::string expected = text;
  expected.replace(at, 22, "<action value=\"Skip\"/>");
  expected.replace(expected.find("<action value=\"Rewrit\"/>"), 24, "<action value=\"Skip\"/>");
  // The Ethernet adapter's two functions are the file's last two.
  size_t leaf = expected.size();
  for (int k = 0; k < 2; ++k) {
    leaf = expected.rfind("<action value=\"", leaf - 1) + 15;
    expected.replace(leaf, expected.find('"', leaf) - leaf, "Skip");
    leaf -= 15;
  }
  EXPECT_EQ(vxtest::read_file(disc_), expected);
}

// --- Outcomes honest: nothing is taken from lines that are not provably the call's own, and
// every result is told from the line that produced it.

// Another plug-in user's line in the middle of this flash's pass: no adapter is reported
// flashed, no reboot is asked for, and the run is no success.
TEST_F(HostCliTest, AFlashTellsNothingFromAnotherCallsLines) {
  UseMachine({FcHba(0, "3.0.2.1", 0, 1.0), FcHba(1, "3.0.2.1")});
  ASSERT_EQ(Discover().status, 0);
  const std::string out = tmp_.file("flash.json");
  const std::string status = StartFlash({"--json"}, out, [] {
    return Contains(vxtest::read_file(vxtest::trace_log_path()), "PassedFw file(");
  });
  ASSERT_EQ(vxtest::run("printf 'LOG_INFO : BOOT UPDATE SUCCESS:Firmware update success on "
                        "20:00:00:0e:1e:00:00:09.\\n' >>" +
                        vxtest::shell_quote(vxtest::trace_log_path())),
            0);
  ASSERT_TRUE(WaitFor([&] { return vxtest::file_exists(status); }, 20));
  EXPECT_EQ(vxtest::read_file(status), "1\n");
  const Json::Value fj = ParseJson(vxtest::read_file(out));
  EXPECT_FALSE(fj["ok"].asBool());
  EXPECT_FALSE(fj["reboot_required"].asBool());
  ASSERT_EQ(fj["adapters"].size(), 2u);
  for (const Json::Value& a : fj["adapters"]) {
    EXPECT_EQ(a["outcome"].asString(), "unknown") << a;
    EXPECT_TRUE(Contains(a["reason"].asString(), "20:00:00:0e:1e:00:00:09")) << a;
  }
  EXPECT_EQ(fj["counts"]["unknown"].asInt(), 2);
}

// A discovery that began while another call was still writing the log: its package version and
// adapters are not taken from the trace, it says so and is recorded so; the next one is its own.
TEST_F(HostCliTest, ADiscoveryWhoseTraceIsNotItsOwnSaysSo) {
  vxtest::write_file(vxtest::trace_log_path(),
                     "LOG_INFO : Read BOOT TAR FW Version is 9.9.9.9\nLOG_INFO : Num of Adapters "
                     "is 3\n");
  Outcome d = Discover({"--json"});
  EXPECT_EQ(d.status, 1) << d.err;
  const Json::Value dj = ParseJson(d.out);
  EXPECT_FALSE(dj["ok"].asBool());
  EXPECT_EQ(dj["state"].asString(), "unknown");
  EXPECT_TRUE(Contains(dj["error"].asString(), "another call had not ended when this one began"))
      << d.out;
  EXPECT_EQ(dj["adapters"][0]["grouping"].asString(), "pci");
  Json::Value runs = ParseJson(Host(tmp_, {"history", "--json"}).out)["runs"];
  EXPECT_EQ(runs[0]["package_version"].asString(), "");
  EXPECT_EQ(runs[0]["exit_status"].asInt(), 1);

  Outcome again = Discover({"--json"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(ParseJson(again.out)["state"].asString(), "devices");
  runs = ParseJson(Host(tmp_, {"history", "--json"}).out)["runs"];
  EXPECT_EQ(runs[0]["package_version"].asString(), "3.1.0.0");
}

// One number, several causes: each result is told from the trace line that produced it.
TEST_F(HostCliTest, ResultsAreToldFromTheLineThatProducedThem) {
  struct Case {
    const char* name;
    bool flash;
    Json::Value init;        // the agent's answer to its initialisation in the reported call
    const char* rebuilt;     // the package rebuilt with this version before the flash
    int code;
    std::string cause;       // in the error
    std::string not_cause;   // never in it
    const char* state;       // discover's
    bool file_written;       // the call wrote the discovery file
  };
  const Case cases[] = {
      {"agent answers 4 to discover", false, ParseJson("{\"result\": 4}"), nullptr, 4,
       "the agent library's initialisation failed with its own code", "no adapters", "failed",
       false},
      {"agent answers 8 to flash", true, ParseJson("{\"result\": 8}"), nullptr, 8,
       "failed with its own code", "package", nullptr, false},
      {"agent answers 1 to flash", true, ParseJson("{\"result\": 1}"), nullptr, 1001,
       "would read as a flash result", "update pass ran", nullptr, false},
      {"package rebuilt", true, ParseJson("{\"result\": 0}"), "2.0.0.0", 8,
       "the package holds another version than the discovery file was made for", "file name",
       nullptr, true},
      // The flash refuses it before it reads the file, which it leaves as it was.
      {"package that cannot be opened", true, ParseJson("{\"result\": 0}"), "", 8,
       "is a FIFO, not a regular file", "version", nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json::Value extra(Json::objectValue);
    extra["init"] = c.init;
    if (c.flash) {
      UseMachine({FcHba(0, "3.0.2.1")});
      fw_dir_ = vxe2e::make_fw_dir(tmp_, "3.1.0.0", kPackage);
      ASSERT_EQ(Discover().status, 0);
    }
    if (c.rebuilt != nullptr && *c.rebuilt != '\0') {
      ASSERT_TRUE(vxtest::make_package_with_version(fw_dir_ + "/" + kPackage, c.rebuilt));
    } else if (c.rebuilt != nullptr) {
      const std::string package = fw_dir_ + "/" + kPackage;
      ASSERT_EQ(::unlink(package.c_str()), 0);
      ASSERT_EQ(::mkfifo(package.c_str(), 0600), 0);
    }
    UseInventory(vxe2e::inventory_text({FcHba(0, "3.0.2.1")}, extra));
    Outcome o = HostSim(tmp_, {c.flash ? "flash" : "discover", disc_, fw_dir_, "--json"});
    EXPECT_EQ(o.status, 1) << o.err;
    const Json::Value j = ParseJson(o.out);
    EXPECT_EQ(j["result"]["code"].asInt(), c.code);
    EXPECT_TRUE(Contains(j["error"].asString(), c.cause)) << o.out;
    EXPECT_FALSE(Contains(j["error"].asString(), c.not_cause)) << o.out;
    if (c.state != nullptr) {
      EXPECT_EQ(j["state"].asString(), c.state);
    }
    EXPECT_EQ(j["file_written"].asBool(), c.file_written);
    // A file the flash left alone is still the discovery's: show names no rewrite.
    if (c.flash) {
      EXPECT_EQ(ParseJson(Host(tmp_, {"--json", "show", disc_}).out)["rewritten_by_flash"],
                c.file_written);
    }
    if (c.rebuilt != nullptr && *c.rebuilt != '\0') {
      EXPECT_EQ(j["adapters"][0]["reason"].asString(),
                "the package holds version 2.0.0.0, not the version 3.1.0.0 the discovery file "
                "was made for");
    }
  }
}

// --- Nobody else's hands: the run lock is root's alone, and a bounded wait names its holder.
TEST_F(HostCliTest, TheRunLockIsRootsAloneAndAWaitEnds) {
  ASSERT_EQ(Discover().status, 0);
  const std::string before = vxtest::read_file(disc_);
  for (const char* dir : {"foreign", "open", "mine"}) ASSERT_EQ(::mkdir(tmp_.file(dir).c_str(), 0700), 0);
  ASSERT_EQ(::chown(tmp_.file("foreign").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(tmp_.file("open").c_str(), 0777), 0);
  vxtest::write_file(tmp_.file("mine/theirs.lock"), "pid 1: forged\n");
  ASSERT_EQ(::chown(tmp_.file("mine/theirs.lock").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::symlink(tmp_.file("mine/elsewhere").c_str(), tmp_.file("mine/link.lock").c_str()), 0);
  const struct {
    std::string lock, message;
  } refused[] = {
      {tmp_.file("foreign/run.lock"), "the lock folder " + tmp_.file("foreign") + " belongs to user 65534"},
      {tmp_.file("open/run.lock"), "may be written by others: refused"},
      {tmp_.file("mine/theirs.lock"), "the lock file " + tmp_.file("mine/theirs.lock") +
                                          " belongs to user 65534: refused"},
      {tmp_.file("mine/link.lock"), "cannot use the lock file " + tmp_.file("mine/link.lock")},
  };
  const size_t queried = sim_->calls("getNumberOfAdapters").size();
  for (const auto& r : refused) {
    SCOPED_TRACE(r.lock);
    How how;
    how.env = {"VXINS_LOCK_FILE=" + r.lock};
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--agent", VXINS_SIM_DIR, "discover", tmp_.file("d2.xml"),
                                   fw_dir_},
          std::vector<std::string>{"--agent", VXINS_SIM_DIR, "devices", "--no-wait"},
          std::vector<std::string>{"set-action", disc_, "Skip", "--all"}}) {
      EXPECT_TRUE(Says(Host(tmp_, args, how), 3, r.message)) << args[2];
    }
  }
  EXPECT_EQ(sim_->calls("getNumberOfAdapters").size(), queried);  // no call got past the lock
  EXPECT_EQ(vxtest::read_file(disc_), before);
  EXPECT_FALSE(vxtest::file_exists(tmp_.file("d2.xml")));
  EXPECT_FALSE(vxtest::file_exists(tmp_.file("mine/elsewhere")));

  // Held by another process: a bounded wait, then the holder named.
  const std::string lock = tmp_.file("run.lock");
  vxtest::write_file(lock, "pid 1: another tool\n");
  ASSERT_EQ(::chmod(lock.c_str(), 0600), 0);
  StartInBackground("flock " + vxtest::shell_quote(lock) + " sleep 4", tmp_.file("holder.status"));
  ASSERT_TRUE(WaitFor([&] {
    return vxtest::run("flock -n " + vxtest::shell_quote(lock) + " true") != 0;
  }, 10));
  const auto t0 = std::chrono::steady_clock::now();
  Outcome o = HostSim(tmp_, {"--json", "--lock-timeout", "1", "discover", disc_, fw_dir_});
  const double waited =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(o.status, 3);
  const Json::Value j = ParseJson(o.out);
  EXPECT_EQ(j["error"].asString(),
            "another run (pid 1: another tool) holds the lock " + lock + "; gave up after 1 s");
  EXPECT_EQ(j["lock_holder"].asString(), "pid 1: another tool");
  EXPECT_GE(waited, 1.0);
  EXPECT_LT(waited, 3.5);
  EXPECT_EQ(vxtest::read_file(disc_), before);
  // The holder ends within the test, which owns the folder it reports to.
  EXPECT_TRUE(WaitFor([&] { return vxtest::file_exists(tmp_.file("holder.status")); }, 10));

  // The machine's own lock: a folder only root has.
  How machine;
  machine.env = {"VXINS_LOCK_FILE="};
  ASSERT_EQ(Host(tmp_, {"set-action", disc_, "Rewrite", "--all"}, machine).status, 0);
  struct stat st;
  ASSERT_EQ(::lstat("/run/qrvlvxins", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST(HostCliUsageTest, WrongCommandLinesAreNamedInOneLine) {
  TempDir tmp;
  Outcome o = Host(tmp, {"frobnicate"});
  EXPECT_EQ(o.status, 2) << o.err;
  std::vector<std::string> lines = vxtest::split_lines(o.err);
  ASSERT_EQ(lines.size(), 2u) << o.err;
  EXPECT_EQ(lines[0], "vxins-host: unknown command 'frobnicate'");
  EXPECT_EQ(lines[1].find("usage: vxins-host [OPTIONS] "), 0u) << lines[1];
  for (const char* leak : {"Error", "CLI::", "subcommand", "--help-all"})
    EXPECT_FALSE(Contains(o.err, leak)) << o.err;
  EXPECT_EQ(o.out, "");
  Outcome j = Host(tmp, {"--json", "frobnicate"});
  EXPECT_EQ(j.status, 2);
  Json::Value jj = ParseJson(j.out);
  EXPECT_EQ(jj["schema_version"].asInt(), 2);
  EXPECT_EQ(jj["error"].asString(), "unknown command 'frobnicate'");
  Outcome help = Host(tmp, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(Contains(help.out, "set-action"));
  Outcome version = Host(tmp, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.find("vxins-host 1.0.0 "), 0u) << version.out;
}

TEST(HostCliUsageTest, MissingPluginAgentOrFileIsExplained) {
  TempDir tmp;
  SimMachine sim;
  std::string fw = vxe2e::make_fw_dir(tmp, "3.1.0.0", kPackage);
  std::string disc = tmp.file("d.xml");
  vxtest::write_file(tmp.file("not-a-library.so"), "plain text\n");
  vxtest::write_file(tmp.file("other.xml"), "<?xml version=\"1.0\"?><other/>");
  ASSERT_EQ(::mkdir(tmp.file("empty").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(tmp.file("a:b").c_str(), 0755), 0);
  ASSERT_EQ(::symlink((std::string(VXINS_SIM_DIR) + "/libdznaj.so").c_str(),
                      tmp.file("a:b/libdznaj.so").c_str()),
            0);
  ASSERT_EQ(::symlink("elsewhere.jsonl", tmp.file("link.jsonl").c_str()), 0);
  ASSERT_EQ(::mkfifo(tmp.file("fifo.jsonl").c_str(), 0600), 0);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string reason;
    std::vector<std::string> env = {};  // besides the host's own
  };
  const std::string sim_dir = VXINS_SIM_DIR;
  const std::string recorder_dir = VXINS_BUILD_DIR "/recorder", rec = tmp.file("r.jsonl");
  const std::string recorder_is_target =
      "is the recorder itself (" + recorder_dir + "/libdznaj.so)";
  auto discover = [&](const std::vector<std::string>& options) {
    return Plus(options, {"discover", disc, fw});
  };
  const Case cases[] = {
      {discover({"--plugin", tmp.file("none.so")}), 3, "does not exist"},
      {discover({"--plugin", tmp.file("not-a-library.so")}), 3, "cannot load the plug-in"},
      {discover({"--agent", tmp.file("none")}), 3, "does not exist or is not a folder"},
      {discover({"--agent", tmp.file("empty")}), 3, "holds no readable libdznaj.so"},
      {discover({"--agent", tmp.file("a:b")}), 3,
       "the agent folder " + tmp.file("a:b") + " cannot be carried on LD_LIBRARY_PATH"},
      // No agent library on the loader's path: the plug-in itself reports it.
      {discover({}), 1, "result 6: the agent library libdznaj.so could not be loaded"},
      {discover({"--agent", sim_dir + "/missing-init_hba_lib"}), 1, "could not be resolved"},
      {{"show", tmp.file("none.xml")}, 3, "cannot open"},
      {{"set-action", tmp.file("other.xml"), "Skip", "--all"}, 3, "no device in the file"},
      // --record: a real agent library to record, and a recording the recorder can append to.
      {discover({"--record", rec}), 3,
       "--record: no libdznaj.so to record on the loader's search path (libdznaj.so: cannot "
       "open shared object file"},
      {discover({"--record", rec}), 3,
       "the libdznaj.so on the loader's search path " + recorder_is_target,
       {"LD_LIBRARY_PATH=" + recorder_dir + ":" + sim_dir}},
      {discover({"--record", rec, "--agent", recorder_dir}), 3,
       "the libdznaj.so in the agent folder " + recorder_dir + " " + recorder_is_target},
      {discover({"--record", tmp.file("link.jsonl"), "--agent", sim_dir}), 3,
       "the recording " + tmp.file("link.jsonl") + " is a symbolic link"},
      {{"--record", tmp.file("fifo.jsonl"), "--agent", sim_dir, "flash", disc, fw}, 3,
       "the recording " + tmp.file("fifo.jsonl") + " is a FIFO, not a regular file"},
      {discover({"--record", tmp.file("none/r.jsonl"), "--agent", sim_dir}), 3,
       "the recording's folder " + tmp.file("none") + " does not exist"},
  };
  for (const Case& c : cases) {
    How how;
    how.env = c.env;
    Outcome o = Host(tmp, c.args, how);
    EXPECT_TRUE(Says(o, c.status, c.reason));
    EXPECT_EQ(vxtest::split_lines(o.err).size(), 1u) << o.err;
    EXPECT_FALSE(Contains(o.err, "usage:")) << o.err;
  }
  EXPECT_EQ(vxtest::read_file(tmp.file("other.xml")), "<?xml version=\"1.0\"?><other/>");
  EXPECT_FALSE(vxtest::file_exists(rec));
  EXPECT_FALSE(vxtest::file_exists(tmp.file("elsewhere.jsonl")));
  EXPECT_TRUE(sim.journal().empty());  // a refused --record never reaches the agent
  // A relative agent folder is made absolute.
  How in_build;
  in_build.cwd = std::string(VXINS_SIM_DIR) + "/..";
  EXPECT_EQ(Host(tmp, discover({"--agent", "sim"}), in_build).status, 0);
}

// cmake --install: vxins-host finds the plug-in installed beside it, the simulator and the
// recorder stay in private folders (never where the loader looks for the vendor's libdznaj.so),
// and --record and replay-to-inventory find what they run there.
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

  // The recorder and replay-to-inventory's script beside the simulator, as privately.
  const std::string recorder = libdir + "/qrvlvxins/recorder/libdznaj.so";
  ASSERT_TRUE(vxtest::file_exists(recorder));
  ASSERT_EQ(access((sim_dir + "/replay-to-inventory.py").c_str(), X_OK), 0);

  std::string fw = vxe2e::make_fw_dir(tmp, "3.1.0.0", kPackage);
  const std::string host = "env -u LD_LIBRARY_PATH VXINS_HISTORY_DB=" +
                           vxtest::shell_quote(tmp.file("history.db")) + " " +
                           vxtest::shell_quote(root + "/bin/vxins-host");
  const std::string rec = tmp.file("r.jsonl");
  ASSERT_EQ(vxtest::run(host + " --json --record " + vxtest::shell_quote(rec) + " --agent " +
                        vxtest::shell_quote(sim_dir) + " discover " +
                        vxtest::shell_quote(tmp.file("d.xml")) + " " + vxtest::shell_quote(fw) +
                        " >" + vxtest::shell_quote(tmp.file("out.json"))),
            0);
  Json::Value out = ParseJson(vxtest::read_file(tmp.file("out.json")));
  EXPECT_EQ(out["plugin"].asString(), plugin);
  EXPECT_EQ(out["result"]["code"].asInt(), 0);
  EXPECT_EQ(out["devices"].size(), 8u);
  EXPECT_EQ(out["recording"]["recorder"].asString(), recorder);
  EXPECT_EQ(out["recording"]["target"].asString(), sim_dir + "/libdznaj.so");
  EXPECT_GT(out["recording"]["calls"].asInt(), 0);
  ASSERT_EQ(vxtest::run(host + " --json replay-to-inventory " + vxtest::shell_quote(rec) + " >" +
                        vxtest::shell_quote(tmp.file("inv.json"))),
            0);
  EXPECT_EQ(ParseJson(vxtest::read_file(tmp.file("inv.json")))["adapters"].asInt(), 3);
}

// set-action keeps every byte but the action values it sets: comments (a commented-out action
// included), stray text, either quote and blanks around "=", escaped values. The plug-in's own
// reader reads the result as meant.
TEST(HostCliFileTest, SetActionKeepsEveryOtherByte) {
  TempDir tmp;
  std::string disc = tmp.file("d.xml");
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<vx_rom_discovery version=\"2.0.0.0\">\n"
      "\t<devices>\n"
      "\t\t<device>\n"
      "\t\t\t<product_id value=\"A &amp; B &lt;x&gt; &quot;q&quot;&#xA;second\"/>\n"
      "\t\t\t<macaddress value=\"00:0e:1e:0a:0b:0c\"/>\n"
      "\t\t\tstray text\n"
      "\t\t\t<busnumber value=\"5\"/>\n"
      "\t\t\t<!-- an operator's remark\n"
      "\t\t\t<action value=\"Upgrade\"/> -->\n"
      "\t\t\t<fw_item>\n"
      "\t\t\t\t<version value=\"3.1.0.0\"/>\n"
      "\t\t\t\t<!-- <action value=\"Upgrade\"/> --><action value = 'Rewrite' />\r\n";
  const std::string tail =
      "\t\t\t</fw_item>\n"
      "\t\t</device>\n"
      "\t\t<device>\n"
      "\t\t\t<macaddress value=\"21:00:00:0e:1e:0a:0b:0d\"/>\n"
      "\t\t\t<fw_item>\n"
      "\t\t\t\t<action value=\"Upgrade\"/>\n"
      "\t\t\t</fw_item>\n"
      "\t\t</device>\n"
      "\t</devices>\n"
      "</vx_rom_discovery>";
  vxtest::write_file(disc, head + tail);
  // No recorded discovery wrote it: its adapters are not known, and a Skip needs --force.
  Outcome o = Host(tmp, {"set-action", disc, "Skip", "00:0e:1e:0a:0b:0c", "--force"});
  ASSERT_EQ(o.status, 0) << o.err;
  std::string expected = head + tail;
  expected.replace(expected.find("'Rewrite'") + 1, 7, "Skip");
  EXPECT_EQ(vxtest::read_file(disc), expected);

  vxins::inventory::DeviceList devs;
  ASSERT_EQ(vxins::discovery::read_discovery_file(disc, devs, vxins::log::Trace::kQuiet), 0);
  ASSERT_EQ(devs.size(), 2u);
  EXPECT_EQ(devs[0]->info().prod_id, "A & B <x> \"q\"\nsecond");
  EXPECT_EQ(devs[0]->info().fw_dev.action, "Skip");
  EXPECT_TRUE(devs[0]->skipped());
  EXPECT_EQ(devs[1]->info().fw_dev.action, "Upgrade");
  EXPECT_FALSE(devs[1]->skipped());
}

}  // namespace
