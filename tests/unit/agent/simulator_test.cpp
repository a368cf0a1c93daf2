// The simulator itself, reached through the real loader: its journal, the flash state that
// outlives a load, fault kinds on the plain entry points (caught by type across the library
// boundary), malformed inventories, and the built-in inventory's agreement with default.json.
#include <fcntl.h>
#include <sys/stat.h>
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

// Strict inventories: one message naming the file, the line and column of the key (or of the
// JSON error) and the key's path, said once per process however often the library is loaded.
TEST_F(SimTest, MalformedInventoryIsReportedOnceAndAnsweredWithNothing) {
  struct Case {
    const char* name;
    const char* text;     // null: a valid inventory one byte past 16 MiB
    const char* message;  // after "inventory <file>"
  };
  const Case cases[] = {
      {"Typo", "{\n  \"adapters\": [\n    {\"index\": \"a\",\n     \"fcports\": []}\n  ]\n}",
       ":4:6: adapters[0].fcports: unknown key"},
      {"UnknownTopLevelKey", "{\"adapter\": []}", ":1:2: adapter: unknown key"},
      {"UnknownPcieKey", "{\"adapters\": [{\"pcie\": {\"vendorId\": 1}}]}",
       ":1:25: adapters[0].pcie.vendorId: unknown key"},
      {"WrongType", "{\n  \"adapterCount\": \"3\"\n}",
       ":2:3: adapterCount: not an unsigned integer"},
      {"FlashResultText", "{\"adapters\": [{\"flash\": {\"result\": \"5\"}}]}",
       ":1:26: adapters[0].flash.result: not an integer"},
      {"TrailingComma", "{\n  \"adapters\": [],\n}",
       ":3:1: not JSON: Missing '}' or object member name"},
      {"Comment", "{\"adapters\": [] // none\n}",
       ":1:17: not JSON: a comment"},
      {"DuplicateKey", "{\"adapters\": [],\n \"adapters\": []}",
       ":2:2: not JSON: Duplicate key: 'adapters'"},
      {"NotJson", "{ \"adapters\": [",
       ":1:16: not JSON: Syntax error: value, object or array expected."},
      {"NotAnObject", "[1, 2]", ":1:1: the top level: not an object"},
      {"AdaptersNotObjects", "{\"adapters\": [\"x\"]}", ":1:15: adapters[0]: not an object"},
      {"UnknownKind", "{\"faults\": [{\"symbol\": \"getHbaByWwn\",\n  \"kind\": \"explode\"}]}",
       ":2:3: faults[0].kind: unknown kind \"explode\""},
      {"UnknownSymbol", "{\"faults\": [{\"symbol\": \"getHba\", \"kind\": \"null\"}]}",
       ":1:14: faults[0].symbol: unknown entry point \"getHba\""},
      {"FaultWithoutKind", "{\"faults\": [{\"symbol\": \"getHbaByWwn\"}]}",
       ":1:13: faults[0]: no \"kind\""},
      {"KindNotForSymbol",
       "{\"faults\": [{\"symbol\": \"hba_flashUpgrade\", \"kind\": \"shape\"}]}",
       ":1:44: faults[0].kind: \"shape\" does not apply to hba_flashUpgrade"},
      {"FlashSecondsText", "{\"adapters\": [{\"flashSeconds\": \"2\"}]}",
       ":1:16: adapters[0].flashSeconds: not a number of seconds from 0 to 3600"},
      {"FlashSecondsNegative", "{\"adapters\": [{\"flashSeconds\": -0.5}]}",
       ":1:16: adapters[0].flashSeconds: not a number of seconds from 0 to 3600"},
      {"DelaysNotObject", "{\"delays\": [1]}", ":1:2: delays: not an object"},
      {"DelayUnknownSymbol", "{\"delays\": {\"explode\": 1}}",
       ":1:13: delays.explode: unknown entry point"},
      {"DelayTooLong", "{\"delays\": {\"getHbaByWwn\": 1e300}}",
       ":1:13: delays.getHbaByWwn: not a number of seconds from 0 to 3600"},
      {"DelayBoolean", "{\"delays\": {\"getHbaByWwn\": true}}",
       ":1:13: delays.getHbaByWwn: not a number of seconds from 0 to 3600"},
      {"LargerThan16MiB", nullptr, " is larger than 16 MiB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = path(std::string(c.name) + ".json");
    vxtest::write_file(file, c.text != nullptr
                                 ? std::string(c.text)
                                 : "{\"init\": \"" + std::string((16u << 20) - 11, 'x') + "\"}");
    setenv("DZNAJ_SIM_INVENTORY", file.c_str(), 1);
    StderrCapture capture(path("stderr.txt"));
    for (int load = 0; load < 2; ++load) {
      log_.clear();
      EXPECT_EQ(open_session(), 1001);
      std::vector<std::string> lines = log_.lines();
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back(), "LOG_ERROR : libInitHbaLib returns NULL");
      EXPECT_NE(std::find(lines.begin(), lines.end(), "LOG_INFO : libVersion size = 0"),
                lines.end());
    }
    EXPECT_EQ(capture.text(), "libdznaj.so (simulator): inventory " + file + c.message +
                                  "; answering with null/zero\n");
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

// The state file is replaced through a temporary of a random name, never written through a link
// planted at a fixed name or at the state path; a state file of the wrong shape is said once and
// ignored, and the next flash writes a good one.
TEST_F(SimTest, StateFileIsNeverWrittenThroughALinkNorTrustedWhenMalformed) {
  struct Case {
    const char* name;
    const char* link;   // planted at the state path plus this, pointing at "planted"
    const char* state;  // else the state file's text
    const char* said;   // on stderr, with "{}" for the state file's path; null: nothing
    bool fifo = false;  // a FIFO at the state path, without a writer
  };
  const Case cases[] = {
      {"LinkAtTheOldTemporaryName", ".tmp", nullptr, nullptr},
      {"LinkAtTheStatePath", "", nullptr,
       "cannot read state file {}: it is a symbolic link; ignored"},
      {"NotJson", nullptr, "flashed",
       "state file {}:1:1: not JSON: Syntax error: value, object or array expected.; ignored"},
      {"EntryNotAnObject", nullptr, "{\"20:00:00:0e:1e:c4:51:10\": \"9.9\"}",
       "state file {}:1:2: 20:00:00:0e:1e:c4:51:10: not an object; ignored"},
      {"VersionNotText", nullptr, "{\"20:00:00:0e:1e:c4:51:10\": {\"flashedBiosVersion\": 9}}",
       "state file {}:1:30: 20:00:00:0e:1e:c4:51:10.flashedBiosVersion: not a string; ignored"},
      {"FifoAtTheStatePath", nullptr, nullptr,
       "cannot read state file {}: it is not a regular file; ignored", true},
  };
  const std::string planted_text =
      "{\"20:00:00:0e:1e:c4:51:10\": {\"flashedBiosVersion\": \"6.6\"}}";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string state = path(std::string(c.name) + ".state");
    const std::string planted = path(std::string(c.name) + ".planted");
    vxtest::write_file(planted, planted_text);
    if (c.link != nullptr) {
      ASSERT_EQ(symlink(planted.c_str(), (state + c.link).c_str()), 0);
    }
    if (c.state != nullptr) vxtest::write_file(state, c.state);
    if (c.fifo) {
      ASSERT_EQ(mkfifo(state.c_str(), 0600), 0);
    }
    setenv("DZNAJ_SIM_STATE", state.c_str(), 1);
    StderrCapture capture(path("stderr.txt"));
    ASSERT_EQ(start_session(default_inventory()), 0);
    EXPECT_EQ(flashed(kFcAdapter), "3.0.2.1");
    EXPECT_EQ(flash(kFcAdapter, package("3.1.0.0")), 0);
    ASSERT_EQ(close_session(), 0);
    ASSERT_EQ(open_session(), 0);  // a second load says nothing more
    EXPECT_EQ(flashed(kFcAdapter), "3.1.0.0");
    ASSERT_EQ(close_session(), 0);
    std::string said = c.said != nullptr ? c.said : "";
    if (!said.empty())
      said = "libdznaj.so (simulator): " + said.replace(said.find("{}"), 2, state) + "\n";
    EXPECT_EQ(capture.text(), said);
    EXPECT_EQ(vxtest::read_file(planted), planted_text);
    struct stat st;
    ASSERT_EQ(lstat(state.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(agenttest::parse(vxtest::read_file(state))[kFcAdapter]["flashedBiosVersion"],
              Json::Value("3.1.0.0"));
  }
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

// What one call of an entry point gave, as a recording line holds it: the answer or the
// returned value (with a flash's error text), or what it threw, told apart by the type caught.
Json::Value result_of(JsonReqFP fn, const Json::Value& request) {
  Json::Value o;
  o["answer"] = fn(request);
  return o;
}
Json::Value result_of(voidRetStrFP fn, const Json::Value&) {
  const char* text = fn();
  Json::Value o;
  o["returned"] = text != nullptr ? Json::Value(text) : Json::Value();
  return o;
}
Json::Value result_of(voidRetUIntFP fn, const Json::Value&) {
  Json::Value o;
  o["returned"] = fn();
  return o;
}
Json::Value result_of(voidRetIntFP fn, const Json::Value&) {
  Json::Value o;
  o["returned"] = fn();
  return o;
}
Json::Value result_of(flashUpgradeFP fn, const Json::Value& request) {
  std::string wwn = request["wwn"].asString(), file = request["file"].asString();
  char errbuf[ZNAJ_FLASH_ERRBUF_LEN] = {0};
  Json::Value o;
  o["returned"] = fn(&wwn[0], &file[0], 0, 0, errbuf, sizeof errbuf);
  o["errorText"] = std::string(errbuf, strnlen(errbuf, sizeof errbuf));
  return o;
}
Json::Value call_entry_point(const std::string& symbol, const Json::Value& request) {
  Json::Value o;
  try {
#define SIM_TEST_CALL(symbol_, shape, pointer, stub) \
  if (symbol == #symbol_) return result_of(pointer, request);
    ZNAJ_ENTRY_POINTS(SIM_TEST_CALL)
#undef SIM_TEST_CALL
    ADD_FAILURE() << "no entry point " << symbol;
  } catch (const HbaAgentError& e) {
    o["threw"]["kind"] = "agent";
    o["threw"]["code"] = e.errCode;
    o["threw"]["message"] = e.errStr;
  } catch (const std::runtime_error& e) {
    o["threw"]["kind"] = "std";
    o["threw"]["message"] = e.what();
  } catch (int) {
    o["threw"]["kind"] = "other";
  }
  return o;
}

// A recording's lines in the recorder's format.
std::string header_line(int format = 1) {
  return "{\"type\":\"header\",\"format\":" + std::to_string(format) +
         ",\"time\":\"2024-05-17T09:30:02.125Z\",\"host\":\"site\",\"target\":\"/usr/lib/"
         "libdznaj.so\",\"agentVersion\":\"7.4.2\",\"missing\":[]}";
}
std::string call_line(const std::string& entry_point, const std::string& request,
                      const std::string& outcome, double ms = 0.25) {
  char duration[32];
  snprintf(duration, sizeof duration, "%.3f", ms);
  return "{\"type\":\"call\",\"entryPoint\":\"" + entry_point + "\",\"request\":" + request +
         "," + outcome + ",\"durationMs\":" + duration + "}";
}
std::string flash_request(const std::string& wwn, const std::string& file) {
  return "{\"errBuf\":true,\"file\":\"" + file + "\",\"flag\":0,\"len\":128,\"size\":0,\"wwn\":\"" +
         wwn + "\"}";
}

class ReplayTest : public SimTest {
 protected:
  void TearDown() override {
    vxins::agent::unload_entry_points();
    unsetenv("DZNAJ_SIM_REPLAY");
    unsetenv("DZNAJ_SIM_REPLAY_TIMING");
    SimTest::TearDown();
  }
  // Writes the recording and points DZNAJ_SIM_REPLAY at it.
  std::string use_recording(const std::string& name, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    const std::string file = path(name + ".jsonl");
    vxtest::write_file(file, text);
    setenv("DZNAJ_SIM_REPLAY", file.c_str(), 1);
    return file;
  }
};

// Each call is answered from the recording: identical requests in the order recorded, throws
// rethrown as their kind, a flash matched whatever its package path, each load from the session
// after the last one's; a call the recording lacks is named on stderr, a newer format refused.
// The journal still holds every call.
TEST_F(ReplayTest, AnswersFromTheRecording) {
  struct Step {
    const char* symbol;  // "reload": the library is unloaded and loaded again
    std::string request;
    const char* outcome;
  };
  struct Case {
    const char* name;
    std::vector<std::string> recording;
    std::vector<Step> steps;
    std::vector<std::string> said;  // stderr lines, "{}" for the recording's path
  };
  const std::string a = "{\"wwn\":\"A\"}";
  const Case cases[] = {
      {"IdenticalRequestsInOrder",
       {header_line(), call_line("getHbaByWwn", a, "\"answer\":{\"n\":1}"),
        call_line("getHbaByWwn", "{\"wwn\":\"B\"}", "\"answer\":{\"n\":2}"),
        call_line("getHbaByWwn", a, "\"answer\":{\"n\":3}"),
        call_line("getNumberOfAdapters", "null", "\"returned\":3"),
        call_line("get_agt_version", "null", "\"returned\":\"7.4.2\"")},
       {{"getHbaByWwn", a, "{\"answer\":{\"n\":1}}"},
        {"getHbaByWwn", a, "{\"answer\":{\"n\":3}}"},
        {"getHbaByWwn", "{\"wwn\":\"B\"}", "{\"answer\":{\"n\":2}}"},
        {"getHbaByWwn", a,
         "{\"answer\":{\"error\":{\"code\":-1,\"message\":"
         "\"not in the recording: getHbaByWwn {\\\"wwn\\\":\\\"A\\\"}\"}}}"},
        {"getNumberOfAdapters", "null", "{\"returned\":3}"},
        {"get_agt_version", "null", "{\"returned\":\"7.4.2\"}"},
        {"getRequestID", "null", "{\"returned\":-1}"}},
       {"recording {} has no call getHbaByWwn {\"wwn\":\"A\"} left; answering with the failure "
        "value",
        "recording {} has no call getRequestID null left; answering with the failure value"}},
      {"ThrowKindsByType",
       {header_line(),
        call_line("getHbaByWwn", a,
                  "\"threw\":{\"code\":42,\"kind\":\"agent\",\"message\":\"adapter busy\"}"),
        call_line("getNumberOfAdapters", "null",
                  "\"threw\":{\"kind\":\"std\",\"message\":\"no memory\","
                  "\"type\":\"std::bad_alloc\"}"),
        call_line("free_hba_lib", "null", "\"threw\":{\"kind\":\"other\",\"type\":\"int\"}"),
        call_line("hba_flashUpgrade", flash_request("A", "/srv/q.tar"),
                  "\"threw\":{\"code\":7,\"kind\":\"agent\",\"message\":\"flash busy\"}")},
       {{"getHbaByWwn", a,
         "{\"threw\":{\"code\":42,\"kind\":\"agent\",\"message\":\"adapter busy\"}}"},
        {"getNumberOfAdapters", "null", "{\"threw\":{\"kind\":\"std\",\"message\":\"no memory\"}}"},
        {"free_hba_lib", "null", "{\"threw\":{\"kind\":\"other\"}}"},
        {"hba_flashUpgrade", "{\"wwn\":\"A\",\"file\":\"/srv/q.tar\"}",
         "{\"threw\":{\"code\":7,\"kind\":\"agent\",\"message\":\"flash busy\"}}"}},
       {}},
      {"FlashWhereverThePackageIs",
       {header_line(),
        call_line("hba_flashUpgrade", flash_request("A", "/srv/fw/q.tar"),
                  "\"returned\":5,\"errorText\":\"image rejected\""),
        call_line("hba_flashUpgrade", flash_request("A", "/srv/fw/q.tar"),
                  "\"returned\":0,\"errorText\":\"\"")},
       {{"hba_flashUpgrade", "{\"wwn\":\"A\",\"file\":\"/lab/q.tar\"}",
         "{\"errorText\":\"image rejected\",\"returned\":5}"},
        {"hba_flashUpgrade", "{\"wwn\":\"A\",\"file\":\"/lab/q.tar\"}",
         "{\"errorText\":\"\",\"returned\":0}"},
        {"hba_flashUpgrade", "{\"wwn\":\"B\",\"file\":\"/lab/q.tar\"}",
         "{\"errorText\":\"not in the recording\",\"returned\":-1}"}},
       {"recording {} has no call hba_flashUpgrade {\"errBuf\":true,\"file\":\"/lab/q.tar\","
        "\"flag\":0,\"len\":128,\"size\":0,\"wwn\":\"B\"} left; answering with the failure value"}},
      {"SessionsInTurn",
       {header_line(), call_line("getNumberOfAdapters", "null", "\"returned\":3"), header_line(),
        call_line("getNumberOfAdapters", "null", "\"returned\":2")},
       {{"getNumberOfAdapters", "null", "{\"returned\":3}"},
        {"reload", "", ""},
        {"getNumberOfAdapters", "null", "{\"returned\":2}"},
        {"reload", "", ""},
        {"getNumberOfAdapters", "null", "{\"returned\":3}"},
        {"getNumberOfAdapters", "null", "{\"returned\":2}"}},
       {}},
      {"NewerFormatRefused",
       {header_line(2), call_line("getNumberOfAdapters", "null", "\"returned\":3")},
       {{"getNumberOfAdapters", "null", "{\"returned\":0}"},
        {"getHbaByWwn", a, "{\"answer\":null}"},
        {"hba_flashUpgrade", "{\"wwn\":\"A\",\"file\":\"/lab/q.tar\"}",
         "{\"errorText\":\"simulator recording unusable\",\"returned\":-1}"},
        {"reload", "", ""},
        {"getNumberOfAdapters", "null", "{\"returned\":0}"}},
       {"recording {}:1:18: format 2 is newer than this simulator reads (1); answering with "
        "null/zero"}},
      {"CutLineSkipped",
       {header_line(), "{\"type\":\"call\",\"entryPoint\":\"getHba", header_line(),
        call_line("getNumberOfAdapters", "null", "\"returned\":3")},
       {{"getNumberOfAdapters", "null", "{\"returned\":3}"}},
       {"recording {}:2:29: not JSON: Syntax error: value, object or array expected.; line "
        "skipped"}},
      {"UnknownEntryPointRefused",
       {header_line(), call_line("getHba", a, "\"answer\":{}")},
       {{"getNumberOfAdapters", "null", "{\"returned\":0}"}},
       {"recording {}:2:16: entryPoint: unknown entry point \"getHba\"; answering with null/zero"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string recording = use_recording(c.name, c.recording);
    remove(journal_.c_str());
    StderrCapture capture(path("stderr.txt"));
    ASSERT_EQ(load_entry_points(), 0);
    std::vector<std::string> called;
    for (const Step& step : c.steps) {
      SCOPED_TRACE(step.symbol + (" " + step.request));
      if (strcmp(step.symbol, "reload") == 0) {
        vxins::agent::unload_entry_points();
        ASSERT_EQ(load_entry_points(), 0);
        continue;
      }
      called.push_back(step.symbol);
      EXPECT_EQ(agenttest::to_text(call_entry_point(step.symbol, agenttest::parse(step.request))),
                agenttest::to_text(agenttest::parse(step.outcome)));
    }
    vxins::agent::unload_entry_points();
    std::string said;
    for (std::string line : c.said)
      said += "libdznaj.so (simulator): " + line.replace(line.find("{}"), 2, recording) + "\n";
    EXPECT_EQ(capture.text(), said);
    std::vector<std::string> journaled;
    for (const Json::Value& entry : journal()) journaled.push_back(entry["symbol"].asString());
    EXPECT_EQ(journaled, called);
  }
}

// DZNAJ_SIM_REPLAY_TIMING=1 makes each call take its recorded time; otherwise none is waited.
TEST_F(ReplayTest, TakesTheRecordedTimeWhenAsked) {
  use_recording("slow", {header_line(), call_line("getNumberOfAdapters", "null",
                                                  "\"returned\":3", 600),
                         header_line(), call_line("getNumberOfAdapters", "null",
                                                  "\"returned\":3", 600)});
  for (const char* timing : {"1", "0"}) {
    SCOPED_TRACE(timing);
    setenv("DZNAJ_SIM_REPLAY_TIMING", timing, 1);
    ASSERT_EQ(load_entry_points(), 0);
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(libGetNumOfAdapters(), 3u);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    vxins::agent::unload_entry_points();
    if (timing[0] == '1')
      EXPECT_GE(seconds, 0.6);
    else
      EXPECT_LT(seconds, 0.3);
  }
}

}  // namespace
