// The fault matrix: every agent entry point times every fault the simulator can inject into it,
// under discovery and under flash, through the shipped plug-in loaded as the host loads it.
// Whatever the agent does, the host call returns a code (no crash, no exception), the agent
// session is closed exactly when it was opened, the agent library is unmapped again, and the
// discovery file is either untouched, removed by a discovery that failed, or complete and
// well-formed. Records and buffers freed on every path are checked by running this suite under
// valgrind (scripts/valgrind.sh) and in the AddressSanitizer build.
#include <gtest/gtest.h>

#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "process_probe.h"
#include "znaj_agent.h"

using vxe2e::FileOutcome;
using vxe2e::Plugin;
using vxe2e::SimMachine;

namespace {

enum class Mode { Discovery, Flash };

struct FaultCase {
  Mode mode;
  std::string symbol;
  std::string kind;  // a simulator fault kind, or "flashResult" (the adapter refuses the image)
};

// gtest would otherwise print the structure's raw bytes, padding included.
void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << (c.mode == Mode::Discovery ? "discovery" : "flash") << " with " << c.symbol << " "
      << c.kind;
}

// The agent's entry points and their shapes, from the contract's table.
struct EntryPoint {
  const char* symbol;
  std::string shape;
};
const EntryPoint kEntryPoints[] = {
#define FAULT_MATRIX_ENTRY_POINT(symbol, shape, pointer, stub) {#symbol, #shape},
    ZNAJ_ENTRY_POINTS(FAULT_MATRIX_ENTRY_POINT)
#undef FAULT_MATRIX_ENTRY_POINT
};
const char* const kThrows[] = {"throwAgent", "throwStd", "throwOther"};

// Every (symbol, kind) pair the simulator accepts (sim/README.md, "Fault kinds"), plus the
// flash refusal that the simulator expresses through the inventory rather than a fault. Every
// entry point may throw; a JSON answer may also be null, an error, wrongly shaped or anything
// given; a version text or a count null or given; an integer result given.
std::vector<FaultCase> Matrix() {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const EntryPoint& e : kEntryPoints) {
    std::vector<const char*> kinds;
    if (e.shape == "JsonReqFP") kinds = {"null", "error", "shape", "answer"};
    if (e.shape == "voidRetStrFP" || e.shape == "voidRetUIntFP") kinds = {"null", "answer"};
    if (e.shape == "voidRetIntFP") kinds = {"answer"};
    kinds.insert(kinds.end(), std::begin(kThrows), std::end(kThrows));
    if (e.shape == "flashUpgradeFP") kinds.push_back("flashResult");
    for (const char* k : kinds) pairs.push_back({e.symbol, k});
  }

  std::vector<FaultCase> out;
  for (Mode mode : {Mode::Discovery, Mode::Flash})
    for (const auto& p : pairs) out.push_back({mode, p.first, p.second});
  return out;
}

// The "answer" fault's value: something the agent could plausibly return that is not what the
// caller expects.
Json::Value AnswerFor(const std::string& symbol) {
  if (symbol == "init_hba_lib") {
    Json::Value refused(Json::objectValue);
    refused["result"] = 7;
    return refused;
  }
  if (symbol == "get_agt_version") return std::string(600, 'v');  // longer than any log buffer
  if (symbol == "getNumberOfAdapters") return 1;                   // disagrees with the list
  if (symbol == "free_hba_lib") return 5;
  if (symbol == "getRequestID") return -1;
  Json::Value odd(Json::arrayValue);
  odd.append(Json::Value());
  odd.append(1);
  odd.append("%s%n");
  return odd;
}

// A CNA (Ethernet + FCoE), a dual-port FC HBA and an Ethernet adapter keyed by its MAC address:
// every query the enumeration and the flash make.
std::vector<Json::Value> Adapters(bool refuse_flash) {
  Json::Value cna = vxe2e::sim_adapter("20:00:00:0e:1e:c4:51:10", "Quorvel-QC8442", 2, "3.0.2.1");
  vxe2e::add_eth_port(cna, "00:0e:1e:c4:51:20", "0000:0a:00.0");
  vxe2e::add_fc_port(cna, "21:00:00:0e:1e:c4:51:10", "20:00:00:0e:1e:c4:51:10", "0000:0a:00.2",
                     "CNA");
  Json::Value hba = vxe2e::sim_adapter("20:00:00:0e:1e:d7:00:40", "Quorvel-QF2742", 2, "3.2.0.0_b17");
  vxe2e::add_fc_port(hba, "21:00:00:0e:1e:d7:00:40", "20:00:00:0e:1e:d7:00:40", "0000:81:00.0");
  vxe2e::add_fc_port(hba, "21:00:00:0e:1e:d7:00:41", "20:00:00:0e:1e:d7:00:41", "0000:81:00.1");
  Json::Value eth = vxe2e::sim_adapter("00:0e:1e:e5:19:30", "Quorvel-QE3422", 1, "3.1.0.0");
  vxe2e::add_eth_port(eth, "00:0e:1e:e5:19:31", "0000:04:00.0");
  if (refuse_flash) {
    for (Json::Value* a : {&cna, &hba, &eth}) {
      (*a)["flash"]["result"] = 5;
      (*a)["flash"]["reason"] = "image rejected";
    }
  }
  return {cna, hba, eth};
}

std::string InventoryWith(const FaultCase& c) {
  Json::Value extra(Json::objectValue);
  if (c.kind != "flashResult") {
    Json::Value fault(Json::objectValue);
    fault["symbol"] = c.symbol;
    fault["kind"] = c.kind;
    fault["code"] = 42;
    fault["message"] = "injected %s fault";
    if (c.kind == "answer") fault["answer"] = AnswerFor(c.symbol);
    extra["faults"].append(fault);
  }
  return vxe2e::inventory_text(Adapters(c.kind == "flashResult"), extra);
}

// Whether the session opens although init_hba_lib was faulted: an answer without a "result"
// member (the error answer) opens it; no answer, a non-object, a non-zero result or a throw do
// not.
bool InitOpensSession(const FaultCase& c) {
  if (c.symbol != "init_hba_lib") return true;
  return c.kind == "error";
}

// Result codes the matrix pins, with what the call leaves of the host's file. The free_hba_lib
// faults come after a complete discovery or flash: the file is written either way, but an agent
// that throws while the session closes fails the call (1001), and its answer is ignored.
struct PinnedResult {
  Mode mode;
  const char* symbol;
  const char* kind;
  int rc;
  FileOutcome file;  // a discovery rewrites the same inventory byte for byte: "untouched"
};
const PinnedResult kPinned[] = {
    {Mode::Discovery, "free_hba_lib", "throwAgent", 1001, FileOutcome::Untouched},
    {Mode::Discovery, "free_hba_lib", "throwStd", 1001, FileOutcome::Untouched},
    {Mode::Discovery, "free_hba_lib", "throwOther", 1001, FileOutcome::Untouched},
    {Mode::Discovery, "free_hba_lib", "answer", 0, FileOutcome::Untouched},
    {Mode::Flash, "free_hba_lib", "throwAgent", 1001, FileOutcome::Complete},
    {Mode::Flash, "free_hba_lib", "throwStd", 1001, FileOutcome::Complete},
    {Mode::Flash, "free_hba_lib", "throwOther", 1001, FileOutcome::Complete},
    {Mode::Flash, "free_hba_lib", "answer", 1, FileOutcome::Complete},
};

const PinnedResult* PinnedFor(const FaultCase& c) {
  for (const PinnedResult& p : kPinned)
    if (p.mode == c.mode && c.symbol == p.symbol && c.kind == p.kind) return &p;
  return nullptr;
}

std::string CaseName(const ::testing::TestParamInfo<FaultCase>& info) {
  return std::string(info.param.mode == Mode::Discovery ? "Discovery_" : "Flash_") +
         info.param.symbol + "_" + info.param.kind;
}

class FaultMatrixTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrixTest, HostCallSurvivesAndReleasesEverything) {
  const FaultCase& c = GetParam();
  vxtest::TempDir tmp;
  std::string fw_dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = tmp.file("discovery.xml");

  // A clean discovery first: the file the host holds before the faulted call.
  SimMachine sim(vxe2e::inventory_text(Adapters(false)));
  ASSERT_EQ(Plugin::get().discover(disc.c_str(), fw_dir.c_str()), 0);
  const std::string before = vxtest::read_file(disc);
  const std::vector<std::string> leaves = vxe2e::device_leaves(disc);
  ASSERT_FALSE(leaves.empty());
  vxtest::write_file(sim.path("inventory.json"), InventoryWith(c));
  sim.clear_journal();

  // The call runs in this case's own folder: the package reader's scratch file goes to the
  // current folder, and one left there by a host killed in another suite must not count here.
  int rc = -12345;
  {
    vxtest::ScopedCwd in_case_folder(tmp.path());
    if (c.mode == Mode::Discovery) {
      EXPECT_NO_THROW(rc = Plugin::get().discover(disc.c_str(), fw_dir.c_str()));
    } else {
      EXPECT_NO_THROW(rc = Plugin::get().flash(disc.c_str(), fw_dir.c_str()));
    }
  }
  ASSERT_NE(rc, -12345);

  // The agent library is gone from the process after the call.
  EXPECT_TRUE(vxe2e::mappings_of("libdznaj.so").empty()) << "rc " << rc;

  // The session: at most one init_hba_lib per host call, and free_hba_lib exactly once when it
  // opened the session, never otherwise.
  size_t inits = sim.calls("init_hba_lib").size();
  size_t frees = sim.calls("free_hba_lib").size();
  EXPECT_LE(inits, 1u);
  size_t expected_frees = inits == 1 && InitOpensSession(c) ? 1 : 0;
  EXPECT_EQ(frees, expected_frees) << "init_hba_lib called " << inits << " time(s), rc " << rc;

  // The host's file.
  std::string why;
  FileOutcome outcome = vxe2e::discovery_file_outcome(disc, before, leaves, why);
  EXPECT_NE(outcome, FileOutcome::Broken) << why;
  if (c.mode == Mode::Flash) {
    EXPECT_NE(outcome, FileOutcome::Absent) << "the flash call lost the discovery file, rc " << rc;
  } else if (rc == 0) {
    // A rewrite identical to the old file reads as untouched.
    EXPECT_NE(outcome, FileOutcome::Absent) << "discovery succeeded without a file";
  }
  // No temporary of the discovery writer and no scratch file of the package reader remain.
  EXPECT_TRUE(vxe2e::files_with_prefix(tmp.path(), ".vxins-discovery-").empty());
  EXPECT_TRUE(vxe2e::files_with_prefix(tmp.path(), "tmp_").empty());

  if (const PinnedResult* pinned = PinnedFor(c)) {
    EXPECT_EQ(rc, pinned->rc);
    EXPECT_EQ(outcome, pinned->file) << vxe2e::outcome_name(outcome);
    // The work was complete: every adapter was flashed once.
    if (c.mode == Mode::Flash) {
      EXPECT_EQ(sim.calls("hba_flashUpgrade").size(), 3u);
    }
  }

  // Faults the plug-in cannot see past are reported, never turned into success.
  if (c.symbol == "init_hba_lib" && !InitOpensSession(c)) {
    EXPECT_NE(rc, c.mode == Mode::Flash ? 1 : 0);
  }
}

INSTANTIATE_TEST_SUITE_P(AllEntryPointsAllFaults, FaultMatrixTest, ::testing::ValuesIn(Matrix()),
                         CaseName);

// The table itself: every simulator symbol appears, and the matrix has the size reported.
TEST(FaultMatrixTableTest, CoversEverySymbolInBothModes) {
  std::vector<FaultCase> m = Matrix();
  EXPECT_EQ(m.size(), 198u);
  for (const EntryPoint& e : kEntryPoints) {
    const std::string s = e.symbol;
    size_t n = 0;
    for (const FaultCase& c : m) n += c.symbol == s;
    EXPECT_GE(n, 8u) << s;
  }
  // Every pinned result is checked by some case of the matrix.
  for (const PinnedResult& p : kPinned) {
    size_t n = 0;
    for (const FaultCase& c : m) n += PinnedFor(c) == &p;
    EXPECT_EQ(n, 1u) << p.symbol << " " << p.kind;
  }
}

}  // namespace
