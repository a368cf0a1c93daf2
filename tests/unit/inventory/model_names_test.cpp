// The adapter model table: its shape (order, kinds, counts), the choice of description per
// kind, the required simulator models, and "Invalid Model" for everything else.
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "inventory/model_names.h"
#include "log_capture.h"

namespace {

using vxins::inventory::ModelKind;
using vxins::inventory::ModelRow;
using vxins::inventory::product_name;
using vxtest::LogCapture;

std::vector<const ModelRow*> rows() {
  size_t n = 0;
  const ModelRow* table = vxins::inventory::model_table(&n);
  std::vector<const ModelRow*> out;
  for (size_t i = 0; i < n; ++i) out.push_back(&table[i]);
  return out;
}

TEST(ModelNamesTest, TableHasTheFixedOrderOfKinds) {
  const auto table = rows();
  ASSERT_EQ(table.size(), 20u);
  std::vector<ModelKind> kinds;
  for (const auto* r : table) kinds.push_back(r->kind);
  std::vector<ModelKind> want(14, ModelKind::kFixed);
  want.insert(want.end(), 2, ModelKind::kByPorts);
  want.insert(want.end(), 3, ModelKind::kByPortsAndCna);
  want.push_back(ModelKind::kByPortsFcOnly);
  EXPECT_EQ(kinds, want);

  // The port-count-and-CNA rows are a base key and its "-1p" and "-2p" forms.
  EXPECT_STREQ(table[16]->key, "Quorvel-QC8442");
  EXPECT_STREQ(table[17]->key, "Quorvel-QC8442-1p");
  EXPECT_STREQ(table[18]->key, "Quorvel-QC8442-2p");

  std::set<std::string> keys;
  for (const auto* r : table) {
    EXPECT_EQ(std::string(r->key).rfind("Quorvel-", 0), 0u) << r->key;
    keys.insert(r->key);
  }
  EXPECT_EQ(keys.size(), 20u) << "keys must be unique";
  EXPECT_EQ(keys.count("Quorvel-QF2742"), 1u);
}

TEST(ModelNamesTest, ExactlyTwoFixedRowsShareADescription) {
  std::map<std::string, int> uses;
  for (const auto* r : rows())
    if (r->kind == ModelKind::kFixed) ++uses[r->single_desc];
  int shared = 0;
  for (const auto& u : uses) {
    EXPECT_LE(u.second, 2) << u.first;
    shared += (u.second == 2);
  }
  EXPECT_EQ(shared, 1);
  EXPECT_EQ(uses.size(), 13u);
}

// Every row behaves as its kind says, for port counts 0 to 3 with and without CNA.
TEST(ModelNamesTest, EveryRowChoosesByItsKind) {
  LogCapture log;
  for (const auto* r : rows()) {
    SCOPED_TRACE(r->key);
    std::string got[4][2];
    for (unsigned p = 0; p < 4; ++p)
      for (int c = 0; c < 2; ++c) {
        got[p][c] = product_name(r->key, p, c == 1);
        EXPECT_LT(got[p][c].size(), 128u);
      }
    switch (r->kind) {
      case ModelKind::kFixed:
        EXPECT_FALSE(got[0][0].empty());
        for (unsigned p = 0; p < 4; ++p)
          for (int c = 0; c < 2; ++c) EXPECT_EQ(got[p][c], got[1][0]);
        break;
      case ModelKind::kByPorts:
        EXPECT_FALSE(got[1][0].empty());
        EXPECT_FALSE(got[2][0].empty());
        EXPECT_NE(got[1][0], got[2][0]);
        for (int c = 0; c < 2; ++c) {
          EXPECT_EQ(got[1][c], got[1][0]);
          EXPECT_EQ(got[0][c], got[2][0]);  // any count but one is dual-port
          EXPECT_EQ(got[2][c], got[2][0]);
          EXPECT_EQ(got[3][c], got[2][0]);
        }
        break;
      case ModelKind::kByPortsAndCna: {
        std::set<std::string> four = {got[1][0], got[1][1], got[2][0], got[2][1]};
        EXPECT_EQ(four.size(), 4u);
        EXPECT_EQ(four.count(""), 0u);
        for (int c = 0; c < 2; ++c) {
          EXPECT_EQ(got[0][c], "");
          EXPECT_EQ(got[3][c], "");
        }
        break;
      }
      case ModelKind::kByPortsFcOnly:
        EXPECT_FALSE(got[1][0].empty());
        EXPECT_FALSE(got[2][0].empty());
        EXPECT_NE(got[1][0], got[2][0]);
        EXPECT_EQ(got[0][0], "");
        EXPECT_EQ(got[3][0], "");
        for (unsigned p = 0; p < 4; ++p) EXPECT_EQ(got[p][1], "");
        break;
    }
  }
  EXPECT_EQ(log.count("LOG_INFO : Invalid Model"), 0u);
}

TEST(ModelNamesTest, KnownModelsGiveTheirProductNames) {
  struct Case {
    const char* model;
    unsigned ports;
    bool cna;
    const char* want;
  };
  const Case cases[] = {
      {"Quorvel-QF2742", 2, false, "Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA"},
      {"Quorvel-QF2742", 1, true, "Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA"},
      {"Quorvel-QF2700", 1, false, "Quorvel QF2740 Single-Port 32Gb Fibre Channel HBA"},
      {"Quorvel-QF2700", 3, false, "Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA"},
      {"Quorvel-QC8442", 1, true, "Quorvel QC8400 Series Single-Port 25GbE Converged Network Adapter"},
      {"Quorvel-QC8442", 1, false, "Quorvel QC8400 Series Single-Port 32Gb Fibre Channel HBA"},
      {"Quorvel-QC8442-2p", 2, true, "Quorvel QC8400 Series Dual-Port 25GbE Converged Network Adapter"},
      {"Quorvel-QC8442-1p", 2, false, "Quorvel QC8400 Series Dual-Port 32Gb Fibre Channel HBA"},
      {"Quorvel-QC8442", 3, true, ""},
      {"Quorvel-QF2800", 2, false, "Quorvel QF2800 Series Dual-Port 64Gb Fibre Channel HBA"},
      {"Quorvel-QF2800", 1, true, ""},
      {"Quorvel-QF2562M", 2, false, "Quorvel QF2562 Dual-Port 16Gb Fibre Channel Mezzanine Adapter"},
      {"Quorvel-QF2562B", 4, true, "Quorvel QF2562 Dual-Port 16Gb Fibre Channel Mezzanine Adapter"},
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
