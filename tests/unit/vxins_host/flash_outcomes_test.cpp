// The replay of a flash call's update pass. Rows of real calls: the shipped plug-in (dlopen)
// against the simulator, the discovery file edited as an operator would and read back by the
// plug-in's own reader, its adapters grouped from the discovery's own trace, the trace followed
// while the flash runs. Hand-made traces for what a real call does not produce: traces that do
// not line up with the file, that name other adapters, or that are not the call's own.
#include "flash_outcomes.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "adapter_groups.h"
#include "discovery/discovery_reader.h"
#include "plugin_loader.h"
#include "test_support.h"
#include "trace_follower.h"

namespace {

using vxhost::AdapterGroups;
using vxhost::AdapterOutcome;
using vxhost::AgentIndexes;
using vxhost::FileDevice;
using vxhost::TimedLine;

// One adapter per string: "label outcome[: reason][ @agent index][ (seconds)]".
std::vector<std::string> render(const std::vector<AdapterOutcome>& outcomes, bool with_seconds) {
  std::vector<std::string> out;
  for (const AdapterOutcome& a : outcomes) {
    std::string s = a.adapter + " " + vxhost::outcome_name(a.outcome);
    if (!a.reason.empty()) s += ": " + a.reason;
    if (!a.agent_index.empty()) s += " @" + a.agent_index;
    char seconds[32];
    snprintf(seconds, sizeof seconds, " (%.1f s)", a.seconds);
    if (with_seconds && a.seconds > 0) s += seconds;
    out.push_back(s);
  }
  return out;
}

Json::Value parse(const std::string& text) {
  Json::Value v;
  std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &v, nullptr)) << text;
  return v;
}

// The discovery file's devices as the plug-in's reader reads them, quietly (the plug-in's log
// holds the flash call's trace).
std::vector<FileDevice> read_devices(const std::string& path) {
  vxins::inventory::DeviceList list;
  EXPECT_EQ(vxins::discovery::read_discovery_file(path, list, vxins::log::Trace::kQuiet), 0);
  std::vector<FileDevice> out;
  for (size_t i = 0; i < list.size(); ++i) {
    const vxins::inventory::DeviceInfo& d = list[i]->info();
    out.push_back(FileDevice{static_cast<int>(i), d.mac_or_wwn, d.bus_num, d.dev_num, d.fn_num,
                             d.prod_id, d.fw_dev.active_version, d.fw_dev.fw_version,
                             d.fw_dev.action, list[i]->skipped()});
  }
  return out;
}

// Sets the action leaf of the device with this MAC/WWN.
void set_action(std::string& xml, const std::string& id, const std::string& action) {
  size_t at = xml.find("value=\"" + id + "\"");
  ASSERT_NE(at, std::string::npos) << id;
  size_t leaf = xml.find("<action value=\"", at) + strlen("<action value=\"");
  xml.replace(leaf, xml.find('"', leaf) - leaf, action);
}

const char kFc0[] = "21:00:00:0e:1e:c4:51:10";
const char kFc1[] = "21:00:00:0e:1e:c4:51:11";
const char kCnaEth0[] = "00:0e:1e:d2:7a:40";
const char kEth0[] = "00:0e:1e:e5:19:30";
const char kEth1[] = "00:0e:1e:e5:19:31";

// The built-in inventory: FC HBA on bus a (2 functions), CNA on bus 81 (4), Ethernet adapter on
// bus 4 (2), or the row's machine. A discovery with it, then the flash with the row's changes.
struct RealRow {
  const char* name;
  std::function<void(Json::Value&)> agent;  // the inventory of the flash call
  std::vector<std::string> skip;            // functions set to Skip in the file
  std::vector<std::pair<std::string, std::string>> replace;  // file text edited
  bool other_package;                       // flash a package of another name
  int rc;
  std::vector<std::string> expected;
  std::function<void(Json::Value&)> machine = nullptr;  // the inventory of both calls
  const char* rebuilt = nullptr;  // the package rebuilt with this version before the flash
};

void no_change(Json::Value&) {}

// The trace of one call of the plug-in, as the host follows it.
template <typename Call>
std::vector<TimedLine> followed(Call call) {
  vxhost::TraceFollower follower(vxtest::trace_log_path());
  follower.start([](const TimedLine&) {});
  call();
  follower.stop();
  return follower.lines();
}

TEST(FlashOutcomesTest, RealCallsOfThePlugin) {
  const std::string before_pass = "the call ended before the update pass";
  const std::string other = "the package qrvl_other.tar is not the one the discovery file names "
                            "(qrvl_boot_3100.tar)";
  const std::string gone =
      "the agent lists no function 00:0e:1e:d2:7a:40 (or 21:00:00:0e:1e:c4:51:11)";
  const std::string rebuilt =
      "the package holds version 2.0.0.0, not the version 3.1.0.0 the discovery file was made for";
  const RealRow rows[] = {
      {"OneSkippedOneFailingOneFlashed",
       [](Json::Value& inv) {
         inv["adapters"][1]["flash"] = parse("{\"result\": 5, \"reason\": \"image rejected\"}");
         inv["adapters"][2]["flashSeconds"] = 0.4;
       },
       {kFc0, kFc1}, {}, false, 1,
       {"0a:00 skipped @20:00:00:0e:1e:c4:51:10", "81:00 failed: image rejected @00:0e:1e:d2:7a:40",
        "04:00 flashed @00:0e:1e:e5:19:30"}},
      {"FirstAdapterSkippedAndFirstFunctionOfTheNext", no_change, {kFc0, kFc1, kCnaEth0}, {},
       false, 1,
       {"0a:00 skipped @20:00:00:0e:1e:c4:51:10", "81:00 flashed @00:0e:1e:d2:7a:40", "04:00 flashed @00:0e:1e:e5:19:30"}},
      {"AdapterGoneEndsThePass",
       [](Json::Value& inv) {
         Json::Value removed;
         inv["adapters"].removeIndex(1, &removed);
       },
       {}, {}, false, 1,
       {"0a:00 flashed @20:00:00:0e:1e:c4:51:10",
        "81:00 not attempted: not found: " + gone + "; the update pass ended there @00:0e:1e:d2:7a:40",
        "04:00 not attempted: the update pass ended before it: " + gone + " @00:0e:1e:e5:19:30"}},
      // The end of the pass names no device: the unknown one may be any chosen function from
      // the one after the last flash up to the next adapter's first. Adapter gone is the
      // common case; here the unknown one is a function of the flashed CNA.
      {"UnknownSecondFunctionEndsThePass", no_change, {}, {{"7a:42", "7a:4f"}}, false, 1,
       {"0a:00 flashed @20:00:00:0e:1e:c4:51:10", "81:00 flashed @00:0e:1e:d2:7a:40",
        "04:00 not attempted: not found: the agent lists no function 00:0e:1e:e5:19:30 (or "
        "00:0e:1e:d2:7a:4f, 20:00:00:0e:1e:d2:7a:41 or 20:00:00:0e:1e:d2:7a:43); the update "
        "pass ended there"}},
      {"EmptyIdentifierEndsThePass", no_change, {}, {{kEth0, ""}}, false, 1,
       {"0a:00 flashed @20:00:00:0e:1e:c4:51:10", "81:00 flashed @00:0e:1e:d2:7a:40",
        "04:00 not attempted: not found: device 6 has no MAC address or WWN; the update pass "
        "ended there"}},
      {"CountSmallerThanTheList", [](Json::Value& inv) { inv["adapterCount"] = 2; }, {}, {},
       false, 1,
       {"0a:00 flashed @20:00:00:0e:1e:c4:51:10", "81:00 flashed @00:0e:1e:d2:7a:40",
        "04:00 not attempted: the agent does not list its adapter 00:0e:1e:e5:19:30 "
        "@00:0e:1e:e5:19:30"}},
      {"AllSkipped", no_change,
       {kFc0, kFc1, kCnaEth0, "00:0e:1e:d2:7a:42", "20:00:00:0e:1e:d2:7a:41",
        "20:00:00:0e:1e:d2:7a:43", kEth0, kEth1},
       {}, false, 3, {"0a:00 skipped @20:00:00:0e:1e:c4:51:10", "81:00 skipped @00:0e:1e:d2:7a:40", "04:00 skipped @00:0e:1e:e5:19:30"}},
      {"OtherPackage", no_change, {kEth0, kEth1}, {}, true, 8,
       {"0a:00 not attempted: " + other + " @20:00:00:0e:1e:c4:51:10",
        "81:00 not attempted: " + other + " @00:0e:1e:d2:7a:40", "04:00 skipped @00:0e:1e:e5:19:30"}},
      {"FailedBeforeThePass",
       [](Json::Value& inv) {
         inv["faults"].append(parse("{\"symbol\": \"getAllAdaptersIndexString\", \"kind\": "
                                    "\"null\"}"));
       },
       {kFc0, kFc1}, {}, false, 1001,
       {"0a:00 skipped @20:00:00:0e:1e:c4:51:10", "81:00 not attempted: " + before_pass + " @00:0e:1e:d2:7a:40",
        "04:00 not attempted: " + before_pass + " @00:0e:1e:e5:19:30"}},
      // The same name, another version: refused as another package.
      {"PackageRebuiltWithAnotherVersion", no_change, {}, {}, false, 8,
       {"0a:00 not attempted: " + rebuilt + " @20:00:00:0e:1e:c4:51:10",
        "81:00 not attempted: " + rebuilt + " @00:0e:1e:d2:7a:40",
        "04:00 not attempted: " + rebuilt + " @00:0e:1e:e5:19:30"},
       nullptr, "2.0.0.0"},
      // One agent adapter whose second port sits on another bus: its skip does not keep it from
      // the flash its first port asks for, and it is reported flashed, never skipped.
      {"AdapterOnTwoBusesPartlySkipped", no_change, {kFc1}, {}, false, 1,
       {"0a:00 flashed @20:00:00:0e:1e:c4:51:10", "81:00 flashed @00:0e:1e:d2:7a:40",
        "04:00 flashed @00:0e:1e:e5:19:30"},
       [](Json::Value& inv) {
         inv["adapters"][0]["fcPorts"][1]["hardwarePath"] = "0000:0b:00.1";
       }},
  };
  vxplugin::PluginLibrary plugin;
  std::string error;
  ASSERT_TRUE(plugin.open(VXINS_PLUGIN_PATH, error)) << error;
  const Json::Value inventory = parse(vxtest::read_file(VXINS_SIM_SOURCE_DIR
                                                        "/inventories/default.json"));
  for (const RealRow& row : rows) {
    SCOPED_TRACE(row.name);
    vxtest::TempDir dir;
    std::string xml = dir.file("discovery.xml");
    std::string fw = dir.file("fw"), other_fw = dir.file("other");
    ASSERT_EQ(vxtest::run("mkdir " + fw + " " + other_fw), 0);
    ASSERT_TRUE(vxtest::make_package_with_version(fw + "/qrvl_boot_3100.tar", "3.1.0.0"));
    ASSERT_TRUE(vxtest::make_package_with_version(other_fw + "/qrvl_other.tar", "3.1.0.0"));
    setenv("DZNAJ_SIM_STATE", dir.file("state.json").c_str(), 1);
    Json::Value machine = inventory;
    if (row.machine) row.machine(machine);
    vxtest::write_file(dir.file("machine.json"), Json::writeString(Json::StreamWriterBuilder(),
                                                                   machine));
    setenv("DZNAJ_SIM_INVENTORY", dir.file("machine.json").c_str(), 1);
    const std::vector<TimedLine> discovery =
        followed([&] { ASSERT_EQ(plugin.discover(&xml[0], &fw[0]), 0); });
    // The adapters as the discovery's own trace groups the file it wrote.
    AgentIndexes indexes;
    std::string why;
    ASSERT_TRUE(vxhost::indexes_from_trace(discovery, read_devices(xml), indexes, why)) << why;
    if (row.rebuilt != nullptr) {
      ASSERT_TRUE(vxtest::make_package_with_version(fw + "/qrvl_boot_3100.tar", row.rebuilt));
    }

    std::string text = vxtest::read_file(xml);
    for (const std::string& id : row.skip) set_action(text, id, "Skip");
    for (const auto& edit : row.replace) {
      size_t at = text.find(edit.first);
      ASSERT_NE(at, std::string::npos) << edit.first;
      text.replace(at, edit.first.size(), edit.second);
    }
    vxtest::write_file(xml, text);
    const std::vector<FileDevice> before = read_devices(xml);
    // An identifier edited into the file is one the discovery never saw: grouped by B:D then.
    const AdapterGroups groups = vxhost::group_adapters(before, indexes, "");
    EXPECT_EQ(groups.by_agent, row.replace.empty());
    Json::Value agent = machine;
    row.agent(agent);
    vxtest::write_file(dir.file("inventory.json"), Json::writeString(Json::StreamWriterBuilder(),
                                                                     agent));
    setenv("DZNAJ_SIM_INVENTORY", dir.file("inventory.json").c_str(), 1);

    vxhost::TraceFollower follower(vxtest::trace_log_path());
    follower.start([](const TimedLine&) {});
    std::string package = row.other_package ? other_fw : fw;
    EXPECT_EQ(plugin.flash(&xml[0], &package[0]), row.rc);
    follower.stop();

    // The follower holds the call's whole trace, each line once.
    std::vector<std::string> followed;
    for (const TimedLine& line : follower.lines()) followed.push_back(line.text);
    EXPECT_EQ(followed, vxtest::split_lines(vxtest::read_file(vxtest::trace_log_path())));
    const std::vector<AdapterOutcome> outcomes =
        vxhost::flash_outcomes(before, groups, follower.lines());
    EXPECT_EQ(render(outcomes, false), row.expected);
    for (const AdapterOutcome& a : outcomes) {
      // The file's values before the call; a flash takes at least its simulated time.
      EXPECT_EQ(a.offered, "3.1.0.0");
      EXPECT_EQ(a.before, a.adapter == "0a:00" ? "3.0.2.1" : a.adapter == "81:00" ? "3.2.0.0"
                                                                               : "3.1.0.0");
      if (a.outcome != vxhost::Outcome::kFlashed) continue;
      for (const Json::Value& adapter : agent["adapters"]) {
        // Line times are when the follower read the lines: up to a poll (50 ms) late.
        if (adapter["index"].asString() != a.agent_index) continue;
        EXPECT_GE(a.seconds, adapter["flashSeconds"].asDouble() - 0.1) << a.adapter;
      }
    }
  }
  unsetenv("DZNAJ_SIM_INVENTORY");
  unsetenv("DZNAJ_SIM_STATE");
}

FileDevice device(int position, const char* id, const char* bus, bool skipped = false) {
  return FileDevice{position, id, bus, "00", std::to_string(position), "P", "1.0", "2.0",
                    skipped ? "Skip" : "Upgrade", skipped};
}

struct HandRow {
  const char* name;
  std::vector<FileDevice> devices;
  AgentIndexes indexes;            // the agent's adapter of each; none: grouped by B:D
  std::vector<std::string> trace;  // line i appears at i seconds
  std::vector<std::string> expected;
  std::string not_own = "";        // why the trace is not the call's own
};

TEST(FlashOutcomesTest, HandMadeTraces) {
  const std::string begins = "LOG_ERROR : PassedFw file(p.tar) == DiscoveryFw file(p.tar)";
  const std::string unknown = "unknown: the trace does not line up with the discovery file: ";
  const std::string success = "LOG_INFO : BOOT UPDATE SUCCESS:Firmware update success on ";
  const AgentIndexes two = {{"A0", "X"}, {"A1", "X"}, {"B0", "Y"}, {"C0", "Z"}};
  const HandRow rows[] = {
      {"NoTraceAtAll",
       {device(0, "A0", "1"), device(1, "B0", "2", true)}, two,
       {},
       {"01:00 unknown: the trace holds no line of the flash call @X", "02:00 skipped @Y"}},
      {"PassLineBeforeThePassBegan",
       {device(0, "A0", "1")}, two,
       {"LOG_INFO : -->oem_do_flash_with_file()", success + "X."},
       {"01:00 " + unknown + "an update-pass line before the pass began: \"BOOT UPDATE "
                             "SUCCESS:Firmware update success on X.\" @X"}},
      {"MoreFlashesThanAdapters",
       {device(0, "A0", "1"), device(1, "A1", "1")}, two,
       {begins, success + "X.", success + "Y."},
       {"01:00 " + unknown + "the trace has more update-pass lines than the file's devices "
                             "explain: \"BOOT UPDATE SUCCESS:Firmware update success on Y.\" @X"}},
      {"FewerFlashesThanAdapters",
       {device(0, "A0", "1"), device(1, "B0", "2"), device(2, "C0", "3", true)}, two,
       {begins, success + "X."},
       {"01:00 " + unknown + "the trace ends before the update pass reached B0 @X",
        "02:00 " + unknown + "the trace ends before the update pass reached B0 @Y",
        "03:00 skipped @Z"}},
      {"SkipLineForAChosenDevice",
       {device(0, "A0", "1"), device(1, "A1", "1")}, two,
       {begins, "LOG_INFO : Quorvel device(0) is set to Skip, not flashed"},
       {"01:00 " + unknown + "the trace's update-pass line \"Quorvel device(0) is set to Skip, "
                             "not flashed\" does not fit A0, the file's next device to flash @X"}},
      // The refused device is a function of the flashed adapter: the next adapter is not
      // reached, and the refusal names the two adapters.
      {"AmbiguousIdentifierOfAFlashedAdapter",
       {device(0, "A0", "1"), device(1, "A1", "1"), device(2, "B0", "2")}, two,
       {begins, success + "X.",
        "LOG_ERROR : Quorvel device(1): A1 belongs to adapters X and Z: not matched",
        "LOG_INFO : ERROR:(1001), upgrade failed.\t\t\tNo quorvel devices found"},
       {"01:00 flashed @X (1.0 s)",
        "02:00 not attempted: the update pass ended before it: A1 belongs to adapters X and Z "
        "@Y"}},
      // Times: a flash begins after the line before it (not after the agent's own lines); a
      // continuation line (no level prefix) is never an event, even when it reads like one.
      {"DurationsAndContinuationLines",
       {device(0, "A0", "1"), device(1, "B0", "2"), device(2, "C0", "3")},
       {{"A0", "A"}, {"B0", "20:00"}, {"C0", "C"}},
       {begins, "LOG_INFO : Flash upgrade returned 5",
        "LOG_ERROR : ERROR:BOOT UPDATE FAILED:bad image",
        "LOG_INFO : ERROR:(5)- fw update failed:ERROR:BOOT UPDATE FAILED:bad image",
        "BOOT UPDATE SUCCESS:Firmware update success on 2.0.",
        "LOG_INFO : Flash upgrade returned 0", success + "20:00.",
        "\t\t\t\t\t\tChange will take place after reboot",
        "LOG_INFO : ERROR:(-1)- fw update failed:ERROR:BOOT UPDATE FAILED:"},
       {"01:00 failed: bad image @A (3.0 s)", "02:00 flashed @20:00 (3.0 s)",
        "03:00 failed: no reason given (result -1) @C (2.0 s)"}},
      // An adapter whose last function is skipped was flashed for its first: flashed.
      {"SecondFunctionSkipped",
       {device(0, "A0", "1"), device(1, "A1", "1", true)}, two,
       {begins, success + "X.", "LOG_INFO : Quorvel device(1) is set to Skip, not flashed"},
       {"01:00 flashed @X (1.0 s)"}},
      // One agent adapter across two buses, its second bus skipped: flashed; without the
      // agent's grouping the skipped bus cannot be told skipped.
      {"AdapterAcrossTwoBuses",
       {device(0, "A0", "a"), device(1, "A1", "b", true)}, two,
       {begins, success + "X.", "LOG_INFO : Quorvel device(1) is set to Skip, not flashed"},
       {"0a:00 flashed @X (1.0 s)"}},
      {"AdapterAcrossTwoBusesUngrouped",
       {device(0, "A0", "a"), device(1, "A1", "b", true)}, {},
       {begins, success + "X.", "LOG_INFO : Quorvel device(1) is set to Skip, not flashed"},
       {"0a:00 flashed @X (1.0 s)",
        "0b:00 unknown: all its functions are set to Skip, but its agent adapter is not known "
        "and may have been flashed for another function"}},
      // A line must name the adapter the grouping expects, and no adapter twice.
      {"SuccessOfAnotherAdapter",
       {device(0, "A0", "1"), device(1, "B0", "2")}, two,
       {begins, success + "Q.", success + "Y."},
       {"01:00 " + unknown + "the trace's update-pass line \"BOOT UPDATE SUCCESS:Firmware update "
                             "success on Q.\" names adapter Q, but A0 belongs to adapter X @X",
        "02:00 " + unknown + "the trace's update-pass line \"BOOT UPDATE SUCCESS:Firmware update "
                             "success on Q.\" names adapter Q, but A0 belongs to adapter X @Y"}},
      {"AdapterNamedTwice",
       {device(0, "A0", "1"), device(1, "B0", "2")}, {},
       {begins, success + "X.", success + "X."},
       {"01:00 " + unknown + "the trace names adapter X twice: \"BOOT UPDATE SUCCESS:Firmware "
                             "update success on X.\"",
        "02:00 " + unknown + "the trace names adapter X twice: \"BOOT UPDATE SUCCESS:Firmware "
                             "update success on X.\""}},
      // Lines that are not the call's own tell nothing, however well they line up; what the
      // file skips for the whole adapter stays skipped.
      {"NotTheCallsOwnTrace",
       {device(0, "A0", "1"), device(1, "B0", "2", true)}, two,
       {begins, success + "X.", "LOG_INFO : Quorvel device(1) is set to Skip, not flashed"},
       {"01:00 unknown: another call wrote it too @X", "02:00 skipped @Y"},
       "another call wrote it too"},
  };
  for (const HandRow& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<TimedLine> trace;
    for (size_t i = 0; i < row.trace.size(); ++i)
      trace.push_back(TimedLine{row.trace[i], static_cast<double>(i)});
    const AdapterGroups groups = vxhost::group_adapters(row.devices, row.indexes, "hand-made");
    EXPECT_EQ(render(vxhost::flash_outcomes(row.devices, groups, trace, row.not_own), true),
              row.expected);
  }
}

}  // namespace
