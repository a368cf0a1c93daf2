// The recorder (the libdznaj.so this suite's LD_LIBRARY_PATH finds) between the shipped plug-in
// and the simulator that DZNAJ_RECORD_TARGET names: the plug-in's results, files and trace are
// those of a live run, the recording holds every call the simulator saw with what it answered or
// threw, and a bad target or recording changes nothing but one line on stderr.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "e2e_support.h"
#include "process_probe.h"
#include "znaj_agent.h"

using vxe2e::Plugin;
using vxe2e::SimMachine;
using vxtest::TempDir;

namespace {

const std::string kRecorder = VXINS_RECORDER_DIR "/libdznaj.so";
const std::string kSim = VXINS_SIM_DIR "/libdznaj.so";

std::string Text(const Json::Value& v) {
  Json::StreamWriterBuilder w;
  w["indentation"] = "";
  return Json::writeString(w, v);
}

Json::Value Parse(const std::string& text) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value v;
  std::string errs;
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &v, &errs)) << text;
  return v;
}

std::vector<Json::Value> ParseLines(const std::vector<std::string>& lines) {
  std::vector<Json::Value> out;
  for (const std::string& line : lines) out.push_back(Parse(line));
  return out;
}

std::vector<Json::Value> ReadLines(const std::string& path) {
  return ParseLines(vxtest::split_lines(vxtest::read_file(path)));
}

// DZNAJ_RECORD_TARGET (null: unset) and DZNAJ_RECORD_FILE for the recorder's next loads.
class RecordEnv {
 public:
  RecordEnv(const char* target, const std::string& file) {
    if (target != nullptr) setenv("DZNAJ_RECORD_TARGET", target, 1);
    setenv("DZNAJ_RECORD_FILE", file.c_str(), 1);
  }
  ~RecordEnv() {
    unsetenv("DZNAJ_RECORD_TARGET");
    unsetenv("DZNAJ_RECORD_FILE");
  }
};

// What this process writes to stderr while it lives.
class StderrCapture {
 public:
  explicit StderrCapture(const std::string& file) : file_(file), saved_(dup(2)) {
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
  }
  ~StderrCapture() { restore(); }
  std::vector<std::string> lines() {
    restore();
    return vxtest::split_lines(vxtest::read_file(file_));
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }
  std::string file_;
  int saved_;
};

// What one call of an entry point gave, as a recording line holds it.
Json::Value Outcome(JsonReqFP fn, const Json::Value& request) {
  Json::Value o;
  o["answer"] = fn(request);
  return o;
}
Json::Value Returned(char* text) { return text != nullptr ? Json::Value(text) : Json::Value(); }
Json::Value Returned(Json::Value n) { return n; }
template <typename R>
Json::Value Outcome(R (*fn)(), const Json::Value&) {
  Json::Value o;
  o["returned"] = Returned(fn());
  return o;
}
Json::Value Outcome(flashUpgradeFP fn, const Json::Value& request) {
  std::string wwn = request["wwn"].asString(), file = request["file"].asString();
  std::vector<char> err(request["len"].asUInt());
  Json::Value o;
  o["returned"] = fn(&wwn[0], &file[0], request["size"].asUInt(), request["flag"].asInt(),
                     err.data(), static_cast<uint32_t>(err.size()));
  o["errorText"] = std::string(err.data(), strnlen(err.data(), err.size()));
  return o;
}
template <typename Fn>
Json::Value Guarded(Fn fn, const Json::Value& request) {
  Json::Value o;
  try {
    o = Outcome(fn, request);
  } catch (const HbaAgentError& e) {
    o["threw"]["kind"] = "agent";
    o["threw"]["code"] = e.errCode;
    o["threw"]["message"] = e.errStr;
  } catch (const std::exception& e) {
    o["threw"]["kind"] = "std";
    o["threw"]["message"] = e.what();
  } catch (...) {
    o["threw"]["kind"] = "other";
  }
  return o;
}

// Calls the entry point a recording line names in `lib` with the line's request.
Json::Value CallAgain(void* lib, const Json::Value& line) {
  const std::string name = line["entryPoint"].asString();
#define RECORDER_TEST_CALL(symbol, shape, pointer, stub) \
  if (name == #symbol)                                   \
    return Guarded(reinterpret_cast<shape>(dlsym(lib, #symbol)), line["request"]);
  ZNAJ_ENTRY_POINTS(RECORDER_TEST_CALL)
#undef RECORDER_TEST_CALL
  ADD_FAILURE() << "unknown entry point " << name;
  return Json::Value();
}

// Each of the sixteen entry points of `lib` once, in the table's order: JSON ones with a null
// request, the flash of adapter "x" with package "y".
std::vector<Json::Value> CallEach(void* lib) {
  Json::Value flash;
  flash["wwn"] = "x";
  flash["file"] = "y";
  flash["len"] = ZNAJ_FLASH_ERRBUF_LEN;
  std::vector<Json::Value> out;
#define RECORDER_TEST_CALL(symbol, shape, pointer, stub)                              \
  out.push_back(Guarded(reinterpret_cast<shape>(dlsym(lib, #symbol)),                \
                        std::string(#shape) == "flashUpgradeFP" ? flash : Json::Value()));
  ZNAJ_ENTRY_POINTS(RECORDER_TEST_CALL)
#undef RECORDER_TEST_CALL
  return out;
}

std::vector<std::string> EntryPointNames() {
  std::vector<std::string> out;
#define RECORDER_TEST_NAME(symbol, shape, pointer, stub) out.push_back(#symbol);
  ZNAJ_ENTRY_POINTS(RECORDER_TEST_NAME)
#undef RECORDER_TEST_NAME
  return out;
}

// The recorder loaded as a host might load it.
struct RecorderLib {
  explicit RecorderLib(int mode, const std::string& path = kRecorder)
      : handle(dlopen(path.c_str(), RTLD_NOW | mode)) {}
  ~RecorderLib() {
    if (handle != nullptr) dlclose(handle);
  }
  void* handle;
};

// One host call's result, file and trace (after the six banner lines).
struct HostResult {
  int rc;
  std::string file;
  std::string trace;
};

HostResult RunHostCall(bool through_recorder, const std::string& command,
                       const std::string& disc, const std::string& fw) {
  int rc;
  if (!through_recorder) {
    rc = vxe2e::run_driver(VXINS_SIM_DIR, {command, disc, fw});
  } else {
    rc = command == "discover" ? Plugin::get().discover(disc.c_str(), fw.c_str())
                               : Plugin::get().flash(disc.c_str(), fw.c_str());
    EXPECT_TRUE(vxe2e::mappings_of("libdznaj.so").empty()) << command;
  }
  std::string trace;
  std::vector<std::string> lines = vxtest::trace_log_lines();
  for (size_t i = 6; i < lines.size(); ++i) trace += lines[i] + "\n";
  // Some lines print the address of an exception's text: a different number in each process.
  for (size_t at = trace.find("0x"); at != std::string::npos; at = trace.find("0x", at + 2))
    trace.erase(at + 2, strspn(trace.c_str() + at + 2, "0123456789abcdef"));
  return {rc, vxtest::read_file(disc), trace};
}

// The host calls live (the simulator on the driver's loader path), then through the recorder in
// this process, each from the same simulator state: the same results, files and trace. Returns
// the simulator's journals of the live and of the recorded run.
std::pair<std::vector<Json::Value>, std::vector<Json::Value>> ExpectSameAsLive(
    const SimMachine& sim, const std::vector<std::string>& commands, const std::string& fw,
    const std::string& recording) {
  const std::string disc = sim.path("discovery.xml");
  std::vector<HostResult> results[2];
  std::vector<Json::Value> journals[2];
  for (bool through_recorder : {false, true}) {
    remove(disc.c_str());
    remove(sim.path("state.json").c_str());
    sim.clear_journal();
    RecordEnv env(through_recorder ? kSim.c_str() : nullptr, recording);
    for (const std::string& c : commands)
      results[through_recorder].push_back(RunHostCall(through_recorder, c, disc, fw));
    journals[through_recorder] = sim.journal();
  }
  for (size_t i = 0; i < commands.size(); ++i) {
    EXPECT_EQ(results[1][i].rc, results[0][i].rc) << commands[i];
    EXPECT_EQ(results[1][i].file, results[0][i].file) << commands[i];
    EXPECT_EQ(results[1][i].trace, results[0][i].trace) << commands[i];
  }
  return {journals[0], journals[1]};
}

struct Scenario {
  const char* name;
  const char* fault_symbol;
  const char* fault_kind;
  bool flash;              // discovery, then a flash of its file
  const char* threw;       // a call line must hold an exception of this kind (null: none)
  const char* threw_type;  // ... and this type name
};
const Scenario kScenarios[] = {
    {"Coverage", "getAdvAdapterData", "error", true, nullptr, nullptr},
    {"AgentError", "getHbaByWwn", "throwAgent", false, "agent", nullptr},
    {"StdException", "getHbaByWwn", "throwStd", false, "std", "std::runtime_error"},
    {"OtherThrow", "getHbaByWwn", "throwOther", false, "other", "int"},
};

// The simulator's built-in machine (an FC HBA, a CNA with Ethernet and FCoE functions, an
// Ethernet adapter), its FC HBA refusing the image, the scenario's fault striking the Ethernet
// adapter.
std::string Inventory(const Scenario& s) {
  Json::Value inventory = Parse(vxtest::read_file(VXINS_SIM_INVENTORY));
  inventory["adapters"][0]["flash"]["result"] = 5;
  inventory["adapters"][0]["flash"]["reason"] = "image rejected";
  Json::Value fault;
  fault["symbol"] = s.fault_symbol;
  fault["kind"] = s.fault_kind;
  fault["key"] = "00:0e:1e:e5:19:30";
  fault["code"] = 42;
  fault["message"] = "injected";
  inventory["faults"].append(fault);
  return Text(inventory);
}

class RecordedRunTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(RecordedRunTest, PluginSeesTheLiveRunAndTheRecordingHoldsEveryCall) {
  const Scenario& s = GetParam();
  TempDir tmp;
  SimMachine sim(Inventory(s));
  const std::string recording = tmp.file("recording.jsonl");
  std::vector<std::string> commands = {"discover"};
  if (s.flash) commands.push_back("flash");
  const auto journals = ExpectSameAsLive(sim, commands, vxe2e::make_fw_dir(tmp, "3.1.0.0"),
                                         recording);
  const std::vector<Json::Value> lines = ReadLines(recording);

  // Each header stands for the recorder's own get_agt_version, each call line for one call of
  // the plug-in, in the simulator's order; without the headers' calls the journal is the live one.
  std::vector<Json::Value> plugin_calls;
  size_t j = 0;
  size_t threw = 0;
  for (const Json::Value& line : lines) {
    ASSERT_LT(j, journals.second.size()) << "the recording holds more than the simulator saw";
    const Json::Value& entry = journals.second[j++];
    if (line["type"] == "header") {
      EXPECT_EQ(entry["symbol"], "get_agt_version");
      EXPECT_EQ(line["format"], 1);
      EXPECT_EQ(line["target"], kSim);
      EXPECT_EQ(line["agentVersion"], "7.4.2-sim");
      EXPECT_EQ(line["missing"], Json::Value(Json::arrayValue));
      continue;
    }
    plugin_calls.push_back(entry);
    EXPECT_EQ(line["entryPoint"], entry["symbol"]);
    EXPECT_TRUE(line["durationMs"].isDouble() && line["durationMs"].asDouble() >= 0) << line;
    if (entry.isMember("request")) {
      EXPECT_EQ(Text(line["request"]), Text(entry["request"]));
    } else {
      for (const char* arg : {"wwn", "file", "size", "flag", "len"})
        EXPECT_EQ(Text(line["request"][arg]), Text(entry[arg])) << arg;
      EXPECT_EQ(line["returned"], entry["result"]);
    }
    if (s.threw != nullptr && line["threw"]["kind"] == s.threw) {
      ++threw;
      EXPECT_EQ(line["threw"]["type"], s.threw_type != nullptr ? s.threw_type : Json::Value());
    }
  }
  EXPECT_EQ(j, journals.second.size()) << "calls the recording lacks";
  EXPECT_EQ(plugin_calls, journals.first);
  EXPECT_EQ(threw > 0, s.threw != nullptr);

  // Made again, in order, straight to a private load of the simulator with the same inventory
  // and a fresh state, every call answers, returns, throws and flashes as recorded.
  setenv("DZNAJ_SIM_STATE", sim.path("again.state").c_str(), 1);
  void* again = dlopen(kSim.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(again, nullptr) << dlerror();
  for (Json::Value line : lines) {
    if (line["type"] != "call") continue;
    Json::Value outcome = CallAgain(again, line);
    if (line.isMember("threw")) line["threw"].removeMember("type");
    for (const char* key : {"answer", "returned", "threw", "errorText"})
      EXPECT_EQ(Text(outcome.get(key, Json::Value())), Text(line.get(key, Json::Value())))
          << line["entryPoint"] << " " << key;
  }
  dlclose(again);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RecordedRunTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& i) { return i.param.name; });

// A target calling its own entry point (the two-symbol agent): in the recorder's own calls (the
// header's version, init_hba_lib) and, when the recorder was loaded globally, in that inner call
// too, which the recorder hands straight back to it, unrecorded.
void ExpectTargetsOwnCallOnce(int mode, const TempDir& tmp) {
  RecordEnv env(VXINS_SELFCALL_AGENT, tmp.file("rec.jsonl"));
  StderrCapture err(tmp.file("stderr"));
  Json::Value answer;
  {
    RecorderLib rec(mode);
    ASSERT_NE(rec.handle, nullptr) << dlerror();
    answer = reinterpret_cast<JsonReqFP>(dlsym(rec.handle, "init_hba_lib"))(Json::Value());
  }
  EXPECT_EQ(answer["sawVersion"], "selfcall-2");  // the header's call came first
  if (mode == RTLD_LOCAL) {
    EXPECT_TRUE(vxe2e::mappings_of("libdznaj.so").empty());
    EXPECT_TRUE(vxe2e::mappings_of("recorder_selfcall").empty());
  }
  std::vector<Json::Value> lines = ReadLines(tmp.file("rec.jsonl"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["agentVersion"], "selfcall-1");
  EXPECT_EQ(lines[0]["missing"].size(), 14u);
  EXPECT_EQ(lines[1]["entryPoint"], "init_hba_lib");
  EXPECT_EQ(Text(lines[1]["answer"]), Text(answer));
  std::vector<std::string> said = err.lines();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find(" lacks getRequestID, free_hba_lib, getHbaByWwn"), std::string::npos)
      << said[0];
}

// Globally loaded, the recorder and such a target hold each other and stay loaded until the
// process ends (README.md): each mode runs in a child process.
TEST(RecorderLoadTest, TargetsOwnCallIsForwardedOnceAndNotRecorded) {
  for (int mode : {RTLD_LOCAL, RTLD_GLOBAL}) {
    TempDir tmp;
    EXPECT_EXIT(
        {
          // The child's failures, as the message the parent shows.
          ::testing::TestPartResultArray failures;
          {
            ::testing::ScopedFakeTestPartResultReporter reporter(&failures);
            ExpectTargetsOwnCallOnce(mode, tmp);
          }
          for (int i = 0; i < failures.size(); ++i)
            fprintf(stderr, "%s\n", failures.GetTestPartResult(i).message());
          _exit(failures.size() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << (mode == RTLD_LOCAL ? "RTLD_LOCAL" : "RTLD_GLOBAL");
  }
}

// Loaded globally, the recorder still hands each call to the simulator once, and its header
// starts a line of its own after a recording that an earlier full disk cut short.
TEST(RecorderLoadTest, GlobalRecorderForwardsEachEntryPointOnce) {
  TempDir tmp;
  SimMachine sim;
  const std::string cut = "{\"type\":\"call\",\"entryPoint\":\"getHba";
  vxtest::write_file(tmp.file("rec.jsonl"), cut);
  RecordEnv env(kSim.c_str(), tmp.file("rec.jsonl"));
  std::vector<Json::Value> outcomes;
  {
    RecorderLib rec(RTLD_GLOBAL);
    ASSERT_NE(rec.handle, nullptr) << dlerror();
    outcomes = CallEach(rec.handle);
  }
  std::vector<std::string> expected = EntryPointNames();
  expected.insert(expected.begin(), "get_agt_version");  // the header's
  std::vector<std::string> journaled;
  for (const Json::Value& entry : sim.journal()) journaled.push_back(entry["symbol"].asString());
  EXPECT_EQ(journaled, expected);

  std::vector<std::string> text = vxtest::split_lines(vxtest::read_file(tmp.file("rec.jsonl")));
  ASSERT_EQ(text.size(), 18u);
  EXPECT_EQ(text[0], cut);
  std::vector<Json::Value> lines = ParseLines({text.begin() + 1, text.end()});
  EXPECT_EQ(lines[0]["type"], "header");
  for (size_t i = 0; i < outcomes.size(); ++i) {
    EXPECT_EQ(lines[i + 1]["entryPoint"], expected[i + 1]);
    for (const char* key : {"answer", "returned", "errorText"})
      EXPECT_EQ(Text(lines[i + 1].get(key, Json::Value())),
                Text(outcomes[i].get(key, Json::Value())))
          << expected[i + 1] << " " << key;
  }
}

struct BadTarget {
  const char* name;
  const char* target;  // "self": the recorder, "link": a link to it, "text": a text file,
                       // "relative": the recorder, itself loaded by a name relative to a folder
                       // the process then leaves; null: unset
  const char* why;     // in the stderr line and in every failure value
};
const BadTarget kBadTargets[] = {
    {"Unset", nullptr, "DZNAJ_RECORD_TARGET is not set"},
    {"Relative", "sim/libdznaj.so", "sim/libdznaj.so is not an absolute path"},
    {"Missing", "/nonexistent/libdznaj.so", "/nonexistent/libdznaj.so: No such file"},
    {"NotALibrary", "text", "cannot load "},
    {"Itself", "self", "is the recorder itself"},
    {"LinkToItself", "link", "is the recorder itself"},
    {"ItselfLoadedByARelativeName", "relative", "is the recorder itself"},
};

class BadTargetTest : public ::testing::TestWithParam<BadTarget> {};

// Refused with one line on stderr; the plug-in gets failure values (no adapters) and no
// recording is made.
TEST_P(BadTargetTest, RefusedWithFailureValues) {
  const BadTarget& b = GetParam();
  TempDir tmp;
  SimMachine sim;
  std::string target = b.target != nullptr ? b.target : "";
  const bool relative = target == "relative";
  if (target == "self" || relative) target = kRecorder;
  if (target == "link") {
    target = tmp.file("libdznaj.so");
    ASSERT_EQ(symlink(kRecorder.c_str(), target.c_str()), 0);
  }
  if (target == "text") {
    target = tmp.file("text.so");
    vxtest::write_file(target, "not a library\n");
  }
  RecordEnv env(b.target != nullptr ? target.c_str() : nullptr, tmp.file("rec.jsonl"));
  const std::string fw = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::vector<std::string> said[2];
  {
    StderrCapture err(tmp.file("stderr"));
    EXPECT_EQ(Plugin::get().discover(tmp.file("d.xml").c_str(), fw.c_str()), 4);
    EXPECT_TRUE(vxe2e::mappings_of("libdznaj.so").empty());
    said[0] = err.lines();
  }
  std::vector<Json::Value> outcomes;
  {
    StderrCapture err(tmp.file("stderr"));
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(relative ? VXINS_RECORDER_DIR "/.." : "."), 0);
    RecorderLib rec(RTLD_LOCAL, relative ? "recorder/libdznaj.so" : kRecorder);
    ASSERT_EQ(chdir("/"), 0);
    ASSERT_NE(rec.handle, nullptr) << dlerror();
    outcomes = CallEach(rec.handle);
    ASSERT_EQ(chdir(cwd), 0);
    said[1] = err.lines();
  }
  for (const std::vector<std::string>& lines : said) {
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("libdznaj.so (recorder): ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(b.why), std::string::npos) << lines[0];
  }
  // An error answer, or a null text, no adapters, -1.
  const std::set<std::string> failure = {"null", "0", "-1"};
  for (const Json::Value& o : outcomes) {
    if (o.isMember("answer")) {
      EXPECT_EQ(o["answer"]["error"]["code"], -1);
      EXPECT_NE(o["answer"]["error"]["message"].asString().find(b.why), std::string::npos) << o;
    } else {
      EXPECT_EQ(failure.count(Text(o["returned"])), 1u) << o;
    }
    EXPECT_NE(o.get("errorText", b.why).asString().find(b.why), std::string::npos) << o;
  }
  EXPECT_TRUE(sim.journal().empty());
  EXPECT_FALSE(vxtest::file_exists(tmp.file("rec.jsonl")));
}

INSTANTIATE_TEST_SUITE_P(Targets, BadTargetTest, ::testing::ValuesIn(kBadTargets),
                         [](const ::testing::TestParamInfo<BadTarget>& i) { return i.param.name; });

struct BadRecording {
  const char* name;
  const char* path;  // in the temporary folder; "/dev/full" as it is
  const char* why;
};
const BadRecording kBadRecordings[] = {
    {"FolderMissing", "none/rec.jsonl", "No such file or directory"},
    {"Folder", ".", "Is a directory"},
    {"Link", "link.jsonl", "Too many levels of symbolic links"},
    {"FullDevice", "/dev/full", "No space left on device"},
    {"FifoWithoutReader", "fifo.jsonl", "No such device or address"},
};

class BadRecordingTest : public ::testing::TestWithParam<BadRecording> {};

// The calls go on as live; the recorder says once why it does not record.
TEST_P(BadRecordingTest, CallsGoOnAsLiveWithOneLineOnStderr) {
  const BadRecording& r = GetParam();
  TempDir tmp;
  SimMachine sim;
  const std::string path = r.path[0] == '/' ? r.path : tmp.file(r.path);
  ASSERT_EQ(symlink(tmp.file("planted").c_str(), tmp.file("link.jsonl").c_str()), 0);
  ASSERT_EQ(mkfifo(tmp.file("fifo.jsonl").c_str(), 0600), 0);
  StderrCapture err(tmp.file("stderr"));
  ExpectSameAsLive(sim, {"discover"}, vxe2e::make_fw_dir(tmp, "3.1.0.0"), path);
  std::vector<std::string> said = err.lines();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find("recording " + path + ": " + r.why + "; forwarding without recording"),
            std::string::npos) << said[0];
  EXPECT_FALSE(vxtest::file_exists(tmp.file("planted")));
}

INSTANTIATE_TEST_SUITE_P(
    Recordings, BadRecordingTest, ::testing::ValuesIn(kBadRecordings),
    [](const ::testing::TestParamInfo<BadRecording>& i) { return i.param.name; });

}  // namespace
