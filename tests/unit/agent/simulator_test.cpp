// The simulator itself, reached through the real loader: its journal, the flash state that
// outlives a load, fault kinds on the plain entry points (caught by type across the library
// boundary), malformed inventories, and the built-in inventory's agreement with default.json.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "agent/entry_points.h"
#include "agent/session.h"
#include "agent_test_env.h"
#include "default_inventory.h"

namespace {

using agenttest::AgentTest;
using agenttest::default_inventory;
using agenttest::fault;
using vxins::agent::close_session;
using vxins::agent::load_entry_points;
using vxins::agent::open_session;

const char kFcAdapter[] = "20:00:00:0e:1e:c4:51:10";

class SimTest : public AgentTest {
 protected:
  // Flashes through the entry-point pointer as the plug-in does: 24-byte id, zeroed buffer.
  int flash(const std::string& adapter, const std::string& package, std::string* reason = nullptr,
            bool zero_buffer = true) {
    char id[24];
    snprintf(id, sizeof id, "%s", adapter.c_str());
    char file[128];
    snprintf(file, sizeof file, "%s", package.c_str());
    char errbuf[ZNAJ_FLASH_ERRBUF_LEN];
    memset(errbuf, zero_buffer ? 0 : 'x', sizeof errbuf);
    int rc = libHbaFlashUpgrade(id, file, 0, 0, errbuf, sizeof errbuf);
    errbuf[sizeof errbuf - 1] = '\0';
    if (reason != nullptr) *reason = errbuf;
    return rc;
  }

  std::string flashed(const std::string& adapter) {
    Json::Value request;
    request["indexStr"] = adapter;
    Json::Value answer = libGetAdvAdapterData(request);
    return answer["flashedBiosVersion"].asString();
  }

  std::string package(const std::string& version) {
    std::string p = path("fw-" + version + ".tar");
    EXPECT_TRUE(vxtest::make_package_with_version(p, version));
    return p;
  }
};

// Captures what the simulator writes to stderr while the guard lives.
class StderrCapture {
 public:
  explicit StderrCapture(const std::string& file) : file_(file) {
    fflush(stderr);
    saved_ = dup(2);
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    close(fd);
  }
  std::string text() {
    fflush(stderr);
    return vxtest::read_file(file_);
  }
  ~StderrCapture() {
    fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
  }

 private:
  std::string file_;
  int saved_;
};

TEST(SimDefaultInventoryTest, BuiltInEqualsDefaultJson) {
  std::string file =
      vxtest::read_file(std::string(VXINS_SIM_SOURCE_DIR) + "/inventories/default.json");
  std::string builtin = dznajsim::default_inventory_text();
  ASSERT_FALSE(builtin.empty());
  // The raw literal starts with the newline after its opening delimiter.
  EXPECT_EQ(builtin.substr(1), file);
  EXPECT_EQ(agenttest::parse(builtin), agenttest::parse(file));
}

TEST_F(SimTest, ServesTheBuiltInInventoryWithoutTheVariable) {
  ASSERT_EQ(open_session(), 0);
  EXPECT_EQ(libGetNumOfAdapters(), 3u);
  Json::Value list = libGetAllAdapterIndexString(Json::Value());
  EXPECT_EQ(agenttest::to_text(list),
            "{\"indexStrings\":[\"20:00:00:0e:1e:c4:51:10\",\"00:0e:1e:d2:7a:40\","
            "\"00:0e:1e:e5:19:30\"]}");
  Json::Value request;
  request["mac"] = "00:0e:1e:d2:7a:40";
  Json::Value cna = libGetHbaByWwn(request);
  EXPECT_EQ(cna["hbaData"]["model"].asString(), "Quorvel-QC8442");
  EXPECT_EQ(cna["pcieInfo"]["deviceID"].asUInt(), 32880u);
  EXPECT_EQ(cna["driver"]["networkDriverVersion"].asString(), "1.10.2.4 nx");
  request.clear();
  request["wwn"] = "no:such:adapter";
  Json::Value unknown = libGetHbaByWwn(request);
  EXPECT_EQ(unknown["error"]["code"].asInt(), 2);
}

TEST_F(SimTest, JournalsEveryCallWithItsRequest) {
  ASSERT_EQ(start_session(default_inventory()), 0);
  Json::Value request;
  request["indexStr"] = kFcAdapter;
  libGetFcPhyPortIndicesByAdapter(request);
  libGetNumOfAdapters();
  std::string reason;
  EXPECT_EQ(flash(kFcAdapter, package("3.1.0.0")), 0);
  EXPECT_EQ(flash(kFcAdapter, package("3.1.0.0"), &reason, false), 0);

  std::vector<Json::Value> calls = journal();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(agenttest::to_text(calls[0]), "{\"request\":null,\"symbol\":\"get_agt_version\"}");
  EXPECT_EQ(agenttest::to_text(calls[1]),
            "{\"request\":{\"appId\":5821},\"symbol\":\"init_hba_lib\"}");
  EXPECT_EQ(agenttest::to_text(calls[2]),
            "{\"request\":{\"indexStr\":\"20:00:00:0e:1e:c4:51:10\"},"
            "\"symbol\":\"getFcPhyPortIndicesByAdapter\"}");
  EXPECT_EQ(agenttest::to_text(calls[3]), "{\"request\":null,\"symbol\":\"getNumberOfAdapters\"}");
  EXPECT_EQ(calls[4]["symbol"].asString(), "hba_flashUpgrade");
  EXPECT_EQ(calls[4]["wwn"].asString(), kFcAdapter);
  EXPECT_EQ(calls[4]["file"].asString(), path("fw-3.1.0.0.tar"));
  EXPECT_EQ(calls[4]["size"].asUInt(), 0u);
  EXPECT_EQ(calls[4]["flag"].asInt(), 0);
  EXPECT_TRUE(calls[4]["errBufZeroed"].asBool());
  EXPECT_EQ(calls[4]["len"].asUInt(), 128u);
  EXPECT_FALSE(calls[5]["errBufZeroed"].asBool());
}

TEST_F(SimTest, FlashRecordsTheVersionInTheStateFile) {
  ASSERT_EQ(start_session(default_inventory()), 0);
  EXPECT_EQ(flashed(kFcAdapter), "3.0.2.1");
  EXPECT_EQ(flash(kFcAdapter, package("3.1.0.0")), 0);
  EXPECT_EQ(flashed(kFcAdapter), "3.1.0.0");
  ASSERT_EQ(close_session(), 0);

  // Beside the inventory by default; it survives the unload and overrides the inventory.
  Json::Value state = agenttest::parse(vxtest::read_file(inventory_ + ".state"));
  EXPECT_EQ(state[kFcAdapter]["flashedBiosVersion"].asString(), "3.1.0.0");
  ASSERT_EQ(open_session(), 0);
  EXPECT_EQ(flashed(kFcAdapter), "3.1.0.0");
  Json::Value request;
  request["wwn"] = kFcAdapter;
  EXPECT_EQ(libGetHbaByWwn(request)["firmware"]["flashedBiosVersion"].asString(), "3.1.0.0");
  EXPECT_EQ(flashed("00:0e:1e:e5:19:30"), "3.1.0.0");
  EXPECT_EQ(flashed("00:0e:1e:d2:7a:40"), "3.2.0.0_b17");
}

TEST_F(SimTest, StateFileNamedByTheVariable) {
  std::string state_file = path("elsewhere.state");
  setenv("DZNAJ_SIM_STATE", state_file.c_str(), 1);
  ASSERT_EQ(open_session(), 0);  // built-in inventory, explicit state file
  EXPECT_EQ(flash("00:0e:1e:d2:7a:40", package("3.3.0.1")), 0);
  ASSERT_EQ(close_session(), 0);
  EXPECT_EQ(
      agenttest::parse(vxtest::read_file(state_file))["00:0e:1e:d2:7a:40"]["flashedBiosVersion"]
          .asString(),
      "3.3.0.1");
  ASSERT_EQ(open_session(), 0);
  EXPECT_EQ(flashed("00:0e:1e:d2:7a:40"), "3.3.0.1");
}

TEST_F(SimTest, BuiltInInventoryKeepsNothingWithoutStateVariable) {
  ASSERT_EQ(open_session(), 0);
  EXPECT_EQ(flash(kFcAdapter, package("3.1.0.0")), 0);
  EXPECT_EQ(flashed(kFcAdapter), "3.1.0.0");
  ASSERT_EQ(close_session(), 0);
  ASSERT_EQ(open_session(), 0);
  EXPECT_EQ(flashed(kFcAdapter), "3.0.2.1");
}

TEST_F(SimTest, FlashFailuresLeaveAReason) {
  Json::Value inventory = default_inventory();
  inventory["adapters"][1]["flash"] =
      agenttest::parse("{\"result\": 5, \"reason\": \"image rejected\"}");
  ASSERT_EQ(start_session(inventory), 0);
  std::string reason;
  EXPECT_EQ(flash("00:0e:1e:d2:7a:40", package("3.1.0.0"), &reason), 5);
  EXPECT_EQ(reason, "image rejected");
  EXPECT_EQ(flashed("00:0e:1e:d2:7a:40"), "3.2.0.0_b17");
  EXPECT_EQ(flash("00:00:00:00:00:00", package("3.1.0.0"), &reason), -1);
  EXPECT_EQ(reason, "unknown adapter 00:00:00:00:00:00");
  vxtest::write_file(path("plain.bin"), "no version here");
  EXPECT_EQ(flash(kFcAdapter, path("plain.bin"), &reason), -1);
  EXPECT_EQ(reason.compare(0, 17, "package rejected:"), 0) << reason;
  EXPECT_EQ(journal().back()["result"].asInt(), -1);
}

// Thrown from the simulator's code, caught here by type: the class is matched by name across
// the library boundary although neither side exports its type information.
TEST_F(SimTest, ThrowKindsOnPlainEntryPointsAreCaughtByType) {
  for (const char* symbol : {"getNumberOfAdapters", "hba_flashUpgrade", "getRequestID"}) {
    SCOPED_TRACE(symbol);
    Json::Value inventory = default_inventory();
    inventory["faults"].append(fault(symbol, "throwAgent", "", 5, "agent says no"));
    ASSERT_EQ(start_session(inventory), 0);
    auto call = [&]() {
      if (strcmp(symbol, "getNumberOfAdapters") == 0)
        return static_cast<int>(libGetNumOfAdapters());
      if (strcmp(symbol, "getRequestID") == 0) return libGetRequestID();
      return flash(kFcAdapter, package("3.1.0.0"));
    };
    bool caught = false;
    try {
      call();
    } catch (const HbaAgentError& e) {
      caught = true;
      EXPECT_EQ(e.getErrorCode(), 5);
      EXPECT_EQ(e.getErrorString(), "agent says no");
    }
    EXPECT_TRUE(caught);
    EXPECT_EQ(journal().back()["threw"].asString(), "throwAgent");
    ASSERT_EQ(close_session(), 0);
  }

  Json::Value inventory = default_inventory();
  inventory["faults"].append(fault("getNumberOfAdapters", "throwStd", "", 0, "std says no"));
  ASSERT_EQ(start_session(inventory), 0);
  try {
    libGetNumOfAdapters();
    ADD_FAILURE() << "nothing thrown";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "std says no");
  }
  ASSERT_EQ(close_session(), 0);

  inventory = default_inventory();
  inventory["faults"].append(fault("getNumberOfAdapters", "throwOther", "", 11));
  ASSERT_EQ(start_session(inventory), 0);
  try {
    libGetNumOfAdapters();
    ADD_FAILURE() << "nothing thrown";
  } catch (int code) {
    EXPECT_EQ(code, 11);
  }
}

TEST_F(SimTest, FaultsApplyOnlyToTheirKey) {
  Json::Value inventory = default_inventory();
  inventory["faults"].append(fault("getPortByWwn", "null", "21:00:00:0e:1e:c4:51:11"));
  Json::Value answer = fault("getAllAdaptersIndexString", "answer");
  answer["answer"] = agenttest::parse("{\"indexStrings\": [7]}");
  inventory["faults"].append(answer);
  inventory["faults"].append(fault("getNumberOfAdapters", "null"));
  ASSERT_EQ(start_session(inventory), 0);
  Json::Value request;
  request["wwn"] = "21:00:00:0e:1e:c4:51:11";
  EXPECT_TRUE(libGetPortByWwn(request).isNull());
  request["wwn"] = "21:00:00:0e:1e:c4:51:10";
  EXPECT_EQ(libGetPortByWwn(request)["nodeWwn"].asString(), "20:00:00:0e:1e:c4:51:10");
  EXPECT_EQ(agenttest::to_text(libGetAllAdapterIndexString(Json::Value())),
            "{\"indexStrings\":[7]}");
  EXPECT_EQ(libGetNumOfAdapters(), 0u);
}

TEST_F(SimTest, ValuesAreServedAsTheyAreInTheInventory) {
  Json::Value inventory = default_inventory();
  inventory["adapters"][0]["model"] = 42;
  inventory["adapters"][0]["portCount"] = "two";
  inventory["adapters"][0].removeMember("storageDriverVersion");
  ASSERT_EQ(start_session(inventory), 0);
  Json::Value request;
  request["wwn"] = kFcAdapter;
  Json::Value adapter = libGetHbaByWwn(request);
  EXPECT_EQ(adapter["hbaData"]["model"], Json::Value(42));
  EXPECT_EQ(adapter["hbaData"]["portCount"], Json::Value("two"));
  EXPECT_EQ(adapter["driver"], Json::Value(Json::objectValue));
}

TEST_F(SimTest, MalformedInventoryIsReportedAndAnsweredWithNothing) {
  struct Case {
    const char* name;
    const char* text;
    const char* message;  // part of the stderr line
  };
  const Case cases[] = {
      {"NotJson", "{ \"adapters\": [", "is malformed: "},
      {"NotAnObject", "[1, 2]", "is malformed: the top level is not an object"},
      {"AdaptersNotObjects", "{\"adapters\": [\"x\"]}", "\"adapters\" is not an array of objects"},
      {"UnknownKind", "{\"faults\": [{\"symbol\": \"getHbaByWwn\", \"kind\": \"explode\"}]}",
       "faults[0]: unknown kind \"explode\""},
      {"KindNotForSymbol",
       "{\"faults\": [{\"symbol\": \"hba_flashUpgrade\", \"kind\": \"shape\"}]}",
       "faults[0] (hba_flashUpgrade, shape): this kind does not apply to the symbol"},
      {"FlashSecondsText", "{\"adapters\": [{\"flashSeconds\": \"2\"}]}",
       "adapters[0].flashSeconds is not a number of seconds from 0 to 3600"},
      {"FlashSecondsNegative", "{\"adapters\": [{\"flashSeconds\": -0.5}]}",
       "adapters[0].flashSeconds is not a number of seconds from 0 to 3600"},
      {"DelaysNotObject", "{\"delays\": [1]}", "\"delays\" is not an object"},
      {"DelayUnknownSymbol", "{\"delays\": {\"explode\": 1}}",
       "delays: unknown symbol \"explode\""},
      {"DelayTooLong", "{\"delays\": {\"getHbaByWwn\": 1e300}}",
       "delays.getHbaByWwn is not a number of seconds from 0 to 3600"},
      {"DelayBoolean", "{\"delays\": {\"getHbaByWwn\": true}}",
       "delays.getHbaByWwn is not a number of seconds from 0 to 3600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::write_file(inventory_, c.text);
    setenv("DZNAJ_SIM_INVENTORY", inventory_.c_str(), 1);
    StderrCapture capture(path("stderr.txt"));
    log_.clear();
    EXPECT_EQ(open_session(), 1001);
    std::string text = capture.text();
    EXPECT_NE(text.find("libdznaj.so (simulator): inventory " + inventory_), std::string::npos)
        << text;
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
    std::vector<std::string> lines = log_.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "LOG_ERROR : libInitHbaLib returns NULL");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "LOG_INFO : libVersion size = 0"), lines.end());
  }

  // The library stays answerable: null and zero, never a crash.
  ASSERT_EQ(load_entry_points(), 0);
  StderrCapture capture(path("stderr.txt"));
  EXPECT_TRUE(libGetHbaByWwn(Json::Value()).isNull());
  EXPECT_EQ(libGetNumOfAdapters(), 0u);
  EXPECT_EQ(libGetAgtVersion(), nullptr);
  std::string reason;
  char id[] = "20:00:00:0e:1e:c4:51:10";
  char file[] = "/nonexistent";
  char errbuf[128] = {0};
  EXPECT_EQ(libHbaFlashUpgrade(id, file, 0, 0, errbuf, sizeof errbuf), -1);
  EXPECT_STREQ(errbuf, "simulator inventory unusable");
}

// Waits from the inventory: each call takes at least its entry point's delay, a flash also its
// adapter's flashSeconds; other calls and other adapters are not slowed.
TEST_F(SimTest, DelaysSlowTheirCallsOnly) {
  struct Case {
    const char* name;
    const char* inventory_change;  // merged into the default inventory's top level
    const char* adapter_change;    // merged into its FC adapter
    double slow_at_least;          // the slowed call
    double others_below;           // a flash of another adapter and getNumberOfAdapters
    bool slow_is_flash;            // else getHbaByWwn of the FC adapter
  };
  const Case cases[] = {
      {"FlashSeconds", "{}", "{\"flashSeconds\": 0.6}", 0.6, 0.3, true},
      {"FlashSecondsOfAFailingFlash", "{}",
       "{\"flashSeconds\": 0.6, \"flash\": {\"result\": 5, \"reason\": \"no\"}}", 0.6, 0.3,
       true},
      {"EntryPointDelay", "{\"delays\": {\"getHbaByWwn\": 0.6}}", "{}", 0.6, 0.3, false},
      {"FlashDelayAndSeconds", "{\"delays\": {\"hba_flashUpgrade\": 0.4}}",
       "{\"flashSeconds\": 0.4}", 0.8, 0.8, true},
  };
  auto seconds = [](const std::function<void()>& call) {
    auto begin = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json::Value inventory = default_inventory();
    for (const auto& name : agenttest::parse(c.inventory_change).getMemberNames())
      inventory[name] = agenttest::parse(c.inventory_change)[name];
    Json::Value change = agenttest::parse(c.adapter_change);
    for (const auto& name : change.getMemberNames()) inventory["adapters"][0][name] = change[name];
    ASSERT_EQ(start_session(inventory), 0);
    std::string fw = package("3.1.0.0");
    Json::Value request;
    request["wwn"] = kFcAdapter;
    double slow = seconds([&] {
      if (c.slow_is_flash)
        flash(kFcAdapter, fw);
      else
        libGetHbaByWwn(request);
    });
    EXPECT_GE(slow, c.slow_at_least);
    EXPECT_LT(seconds([&] { libGetNumOfAdapters(); }), 0.3);
    EXPECT_LT(seconds([&] { flash("00:0e:1e:e5:19:30", fw); }), c.others_below);
    ASSERT_EQ(close_session(), 0);
  }
}

TEST_F(SimTest, MissingInventoryFileIsReported) {
  setenv("DZNAJ_SIM_INVENTORY", path("absent.json").c_str(), 1);
  StderrCapture capture(path("stderr.txt"));
  EXPECT_EQ(open_session(), 1001);
  EXPECT_NE(capture.text().find("cannot read inventory " + path("absent.json") +
                                ": No such file or directory"),
            std::string::npos);
}

TEST_F(SimTest, InventoryIsReReadOnInit) {
  ASSERT_EQ(start_session(default_inventory()), 0);
  EXPECT_EQ(libGetNumOfAdapters(), 3u);
  Json::Value inventory = default_inventory();
  inventory["adapterCount"] = 1;
  use_inventory(inventory);
  EXPECT_EQ(libGetNumOfAdapters(), 3u);  // read once per load...
  Json::Value request;
  request["appId"] = 5821;
  libInitHbaLib(request);
  EXPECT_EQ(libGetNumOfAdapters(), 1u);  // ...and again on init_hba_lib
}

// The simulator indexes adapters and ports once per load; the lookups must still answer as a
// scan of the inventory from the front did: the first holder of a key, exact text only, and the
// inventory as re-read by init_hba_lib.
TEST_F(SimTest, LookupsFindTheFirstHolderOfAKeyAndFollowAReRead) {
  Json::Value inventory = default_inventory();
  Json::Value twin = inventory["adapters"][0];  // same index and FC port WWNs, other values
  twin["model"] = "Quorvel-Twin";
  twin["fcPorts"][0]["hardwarePath"] = "0000:99:00.0";
  inventory["adapters"].append(twin);
  inventory["adapters"][2]["ethPorts"][1]["mac"] = 7;  // not text: no request can name it
  ASSERT_EQ(start_session(inventory), 0);

  Json::Value by_wwn;
  by_wwn["wwn"] = kFcAdapter;
  EXPECT_EQ(libGetHbaByWwn(by_wwn)["hbaData"]["model"], Json::Value("Quorvel-QF2742"));
  Json::Value port;
  port["wwn"] = "21:00:00:0e:1e:c4:51:10";
  EXPECT_EQ(libGetPortByWwn(port)["hardwarePath"], Json::Value("0000:0a:00.0"));
  port["wwn"] = "21:00:00:0E:1E:C4:51:10";
  EXPECT_TRUE(libGetPortByWwn(port).isMember("error"));
  port["wwn"] = "";
  EXPECT_TRUE(libGetPortByWwn(port).isMember("error"));
  Json::Value mac;
  mac["mac"] = "00:0e:1e:e5:19:30";
  EXPECT_EQ(libGetEthPortByEthMac(mac)["ethData"]["hardwarePath"], Json::Value("0000:04:00.0"));
  mac["mac"] = "7";
  EXPECT_TRUE(libGetEthPortByEthMac(mac).isMember("error"));
  // A key that only the FC list holds is no Ethernet port, and the other way round.
  mac["mac"] = "21:00:00:0e:1e:c4:51:10";
  EXPECT_TRUE(libGetEthPortByEthMac(mac).isMember("error"));

  // Re-read on init: the twin alone now holds the keys.
  Json::Value changed(Json::objectValue);
  changed["adapters"] = Json::Value(Json::arrayValue);
  changed["adapters"].append(twin);
  use_inventory(changed);
  Json::Value request;
  request["appId"] = 5821;
  libInitHbaLib(request);
  EXPECT_EQ(libGetHbaByWwn(by_wwn)["hbaData"]["model"], Json::Value("Quorvel-Twin"));
  port["wwn"] = "21:00:00:0e:1e:c4:51:10";
  EXPECT_EQ(libGetPortByWwn(port)["hardwarePath"], Json::Value("0000:99:00.0"));
  mac["mac"] = "00:0e:1e:e5:19:30";
  EXPECT_TRUE(libGetEthPortByEthMac(mac).isMember("error"));
}

}  // namespace
