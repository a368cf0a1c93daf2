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
const char kMezzanine[] = "Quorvel QF2562 Dual-Port 16Gb Fibre Channel Mezzanine Adapter";
const char kCnaSingle[] = "Quorvel QC8400 Series Single-Port 25GbE Converged Network Adapter";
const char kCnaDual[] = "Quorvel QC8400 Series Dual-Port 25GbE Converged Network Adapter";
const char kCnaFcSingle[] = "Quorvel QC8400 Series Single-Port 32Gb Fibre Channel HBA";
const char kCnaFcDual[] = "Quorvel QC8400 Series Dual-Port 32Gb Fibre Channel HBA";
const char kFc64Single[] = "Quorvel QF2800 Series Single-Port 64Gb Fibre Channel HBA";
const char kFc64Dual[] = "Quorvel QF2800 Series Dual-Port 64Gb Fibre Channel HBA";

TEST(ModelNamesTest, KnownModelsGiveTheNameForTheirPortsAndMode) {
  struct Case {
    const char* model;
    unsigned ports;
    bool cna;
    const char* want;
  };
  const Case cases[] = {
      // One name whatever the ports and mode; two models may share it.
      {"Quorvel-QF2742", 1, false, kFc32Dual},
      {"Quorvel-QF2742", 0, true, kFc32Dual},
      {"Quorvel-QF2742", 3, false, kFc32Dual},
      {"Quorvel-QF2562M", 2, false, kMezzanine},
      {"Quorvel-QF2562B", 4, true, kMezzanine},
      {"Quorvel-QF2742-OCP", 2, false,
       "Quorvel QF2742 Dual-Port 32Gb Fibre Channel OCP 3.0 Adapter"},
      // By port count: one port is single, any other count dual, in either mode.
      {"Quorvel-QF2700", 1, false, kFc32Single},
      {"Quorvel-QF2700", 2, true, kFc32Dual},
      {"Quorvel-QF2700", 0, false, kFc32Dual},
      {"Quorvel-QF2700", 3, false, kFc32Dual},
      {"Quorvel-QC8400", 1, true, kCnaSingle},
      {"Quorvel-QC8400", 4, false, kCnaDual},
      // By port count and mode: one or two ports only, each family member alike.
      {"Quorvel-QC8442", 1, false, kCnaFcSingle},
      {"Quorvel-QC8442", 2, false, kCnaFcDual},
      {"Quorvel-QC8442", 1, true, kCnaSingle},
      {"Quorvel-QC8442", 2, true, kCnaDual},
      {"Quorvel-QC8442", 0, false, ""},
      {"Quorvel-QC8442", 3, true, ""},
      {"Quorvel-QC8442-1p", 2, false, kCnaFcDual},
      {"Quorvel-QC8442-2p", 2, true, kCnaDual},
      {"Quorvel-QC8442-2p", 1, false, kCnaFcSingle},
      // FC only: one or two ports, never in CNA mode.
      {"Quorvel-QF2800", 1, false, kFc64Single},
      {"Quorvel-QF2800", 2, false, kFc64Dual},
      {"Quorvel-QF2800", 3, false, ""},
      {"Quorvel-QF2800", 1, true, ""},
      {"Quorvel-QF2800", 2, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + "/" + std::to_string(c.ports) + (c.cna ? "/cna" : ""));
    LogCapture log;
    EXPECT_EQ(product_name(c.model, c.ports, c.cna), c.want);
    // The chosen text is logged, an empty one as an empty message.
    EXPECT_EQ(log.lines(), std::vector<std::string>{std::string("LOG_INFO : ") + c.want});
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
