// The host framework keeps the plug-in loaded for the life of its process and calls it again and
// again. One process here runs discovery then flash many times in a row (VXINS_SOAK_ITERATIONS,
// 1000 by default, about 25 s): between calls no descriptor is left open,
// the agent library is never left mapped, and resident memory stops growing once warm.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(__has_include)
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif
#endif

#include "e2e_support.h"
#include "process_probe.h"

using vxe2e::Plugin;
using vxe2e::SimMachine;

namespace {

int Iterations() {
  const char* text = getenv("VXINS_SOAK_ITERATIONS");
  int n = text != nullptr ? atoi(text) : 0;
  return n > 0 ? n : 1000;
}

// Resident memory means nothing under a tool that keeps freed memory in quarantine or runs the
// program on a synthetic CPU.
bool MemoryIsInstrumented() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(RUNNING_ON_VALGRIND)
  return RUNNING_ON_VALGRIND != 0;
#else
  return false;
#endif
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += "\n  " + l;
  return out;
}

std::vector<Json::Value> Adapters() {
  Json::Value cna = vxe2e::sim_adapter("20:00:00:0e:1e:c4:51:10", "Quorvel-QC8442", 2, "3.0.2.1");
  vxe2e::add_eth_port(cna, "00:0e:1e:c4:51:20", "0000:0a:00.0");
  vxe2e::add_eth_port(cna, "00:0e:1e:c4:51:21", "0000:0a:00.1");
  vxe2e::add_fc_port(cna, "21:00:00:0e:1e:c4:51:10", "20:00:00:0e:1e:c4:51:10", "0000:0a:00.2",
                     "CNA");
  Json::Value hba = vxe2e::sim_adapter("20:00:00:0e:1e:d7:00:40", "Quorvel-QF2742", 2, "3.2.0.0");
  vxe2e::add_fc_port(hba, "21:00:00:0e:1e:d7:00:40", "20:00:00:0e:1e:d7:00:40", "0000:81:00.0");
  vxe2e::add_fc_port(hba, "21:00:00:0e:1e:d7:00:41", "20:00:00:0e:1e:d7:00:41", "0000:81:00.1");
  return {cna, hba};
}

TEST(SoakTest, RepeatedCallsLeaveNoDescriptorNoMappingAndNoGrowth) {
  const int iterations = Iterations();
  vxtest::TempDir tmp;
  SimMachine sim(vxe2e::inventory_text(Adapters()));
  unsetenv("DZNAJ_SIM_JOURNAL");  // the journal would only grow the test's own disk use
  std::string fw_dir = vxe2e::make_fw_dir(tmp, "3.1.0.0");
  std::string disc = tmp.file("discovery.xml");

  // One warm-up round: the loader's and the C library's one-time allocations happen here.
  ASSERT_EQ(Plugin::get().discover(disc.c_str(), fw_dir.c_str()), 0);
  ASSERT_EQ(Plugin::get().flash(disc.c_str(), fw_dir.c_str()), 1);
  const std::vector<std::string> fds_before = vxe2e::open_fd_targets();

  const int step = iterations >= 10 ? iterations / 10 : 1;
  std::vector<std::pair<int, long>> rss;  // (iterations done, VmRSS KiB)
  rss.push_back({0, vxe2e::resident_kib()});
  for (int i = 1; i <= iterations; ++i) {
    ASSERT_EQ(Plugin::get().discover(disc.c_str(), fw_dir.c_str()), 0) << "iteration " << i;
    ASSERT_TRUE(vxe2e::mappings_of("libdznaj.so").empty())
        << "after discovery " << i << Joined(vxe2e::mappings_of("libdznaj.so"));
    ASSERT_EQ(Plugin::get().flash(disc.c_str(), fw_dir.c_str()), 1) << "iteration " << i;
    ASSERT_TRUE(vxe2e::mappings_of("libdznaj.so").empty())
        << "after flash " << i << Joined(vxe2e::mappings_of("libdznaj.so"));
    std::vector<std::string> fds = vxe2e::open_fd_targets();
    ASSERT_EQ(fds.size(), fds_before.size())
        << "iteration " << i << ": before" << Joined(fds_before) << "\nnow" << Joined(fds);
    if (i % step == 0) rss.push_back({i, vxe2e::resident_kib()});
  }

  printf("soak: %d discovery+flash rounds, %zu open descriptors throughout\n", iterations,
         fds_before.size());
  for (const auto& s : rss) printf("soak: after %5d rounds VmRSS %ld KiB\n", s.first, s.second);
  RecordProperty("iterations", iterations);
  RecordProperty("vmrss_first_kib", static_cast<int>(rss.front().second));
  RecordProperty("vmrss_last_kib", static_cast<int>(rss.back().second));

  if (MemoryIsInstrumented() || iterations < 50) {
    printf("soak: resident memory not judged (instrumented run or too few rounds)\n");
    return;
  }
  SKIP_UNDER_EMULATION("the growth of resident memory");
  // Once warm (the second tenth onwards) the resident size may move by allocator noise, not by
  // a per-call amount: 1000 rounds leaking even 200 bytes each would exceed the bound.
  long warm = rss[2].second;
  long last = rss.back().second;
  EXPECT_LE(last - warm, 192) << "VmRSS grew from " << warm << " KiB after " << rss[2].first
                              << " rounds to " << last << " KiB after " << rss.back().first;
}

}  // namespace
