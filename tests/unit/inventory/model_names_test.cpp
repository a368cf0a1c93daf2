// Adapter models looked up by the agent's model string: each kind of model's choice by port
// count and CNA mode, the logged name, and "Invalid Model" for anything not matched exactly.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inventory/model_names.h"
#include "log_capture.h"

namespace {

using vxins::inventory::product_name;
using vxtest::LogCapture;

const char kFc32Single[] = "Quorvel QF2740 Single-Port 32Gb Fibre Channel HBA";
const char kFc32Dual[] = "Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA";
const char kMezz[] = "Quorvel QF2562 Dual-Port 16Gb Fibre Channel Mezzanine Adapter";
const char kOcp[] = "Quorvel QF2742 Dual-Port 32Gb Fibre Channel OCP 3.0 Adapter";
const char kCna1[] = "Quorvel QC8400 Series Single-Port 25GbE Converged Network Adapter";
const char kCna2[] = "Quorvel QC8400 Series Dual-Port 25GbE Converged Network Adapter";
const char kCnaFc1[] = "Quorvel QC8400 Series Single-Port 32Gb Fibre Channel HBA";
const char kCnaFc2[] = "Quorvel QC8400 Series Dual-Port 32Gb Fibre Channel HBA";
const char kFc64Single[] = "Quorvel QF2800 Series Single-Port 64Gb Fibre Channel HBA";
const char kFc64Dual[] = "Quorvel QF2800 Series Dual-Port 64Gb Fibre Channel HBA";

// Each model's name for one and two ports as an FC HBA, then as a CNA, and for 0 or 3 ports in
// either mode; each lookup logs the name it chose (an empty one as an empty message).
TEST(ModelNamesTest, KnownModelsGiveTheNameForTheirPortsAndMode) {
  const char* const rows[][6] = {
      // One name whatever the ports and mode; two models may share it.
      {"Quorvel-QF2742", kFc32Dual, kFc32Dual, kFc32Dual, kFc32Dual, kFc32Dual},
      {"Quorvel-QF2562M", kMezz, kMezz, kMezz, kMezz, kMezz},
      {"Quorvel-QF2562B", kMezz, kMezz, kMezz, kMezz, kMezz},
      {"Quorvel-QF2742-OCP", kOcp, kOcp, kOcp, kOcp, kOcp},
      // By port count: one port is single, any other count dual, in either mode.
      {"Quorvel-QF2700", kFc32Single, kFc32Dual, kFc32Single, kFc32Dual, kFc32Dual},
      {"Quorvel-QC8400", kCna1, kCna2, kCna1, kCna2, kCna2},
      // By port count and mode, one or two ports only; each family member alike.
      {"Quorvel-QC8442", kCnaFc1, kCnaFc2, kCna1, kCna2, ""},
      {"Quorvel-QC8442-1p", kCnaFc1, kCnaFc2, kCna1, kCna2, ""},
      {"Quorvel-QC8442-2p", kCnaFc1, kCnaFc2, kCna1, kCna2, ""},
      // FC only: one or two ports, never in CNA mode.
      {"Quorvel-QF2800", kFc64Single, kFc64Dual, "", "", ""},
  };
  const struct {
    unsigned ports;
    bool cna;
    int column;
  } lookups[] = {{1, false, 1}, {2, false, 2}, {1, true, 3}, {2, true, 4},
                 {0, false, 5}, {3, false, 5}, {0, true, 5}, {3, true, 5}};
  for (const auto& row : rows) {
    for (const auto& l : lookups) {
      SCOPED_TRACE(std::string(row[0]) + "/" + std::to_string(l.ports) + (l.cna ? "/cna" : ""));
      LogCapture log;
      EXPECT_EQ(product_name(row[0], l.ports, l.cna), row[l.column]);
      EXPECT_EQ(log.lines(), std::vector<std::string>{std::string("LOG_INFO : ") + row[l.column]});
    }
  }
}

TEST(ModelNamesTest, UnknownModelsAreInvalid) {
  const char* models[] = {"Quorvel-QF9999", "Quorvel-QF2742 ", "Quorvel-QF274", "quorvel-qf2742",
                          "Quorvel-QC8442-3p", "", " Quorvel-QF2742", "Quorvel-QF2742-1p"};
  for (const char* m : models) {
    SCOPED_TRACE(std::string("\"") + m + "\"");
    LogCapture log;
    EXPECT_EQ(product_name(m, 2, false), "Invalid Model");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"LOG_INFO : Invalid Model"});
  }
}

}  // namespace
