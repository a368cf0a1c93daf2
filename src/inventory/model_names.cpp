// The product list of the Quorvel Fibre Channel HBAs and converged network adapters, searched
// in order by exact model string.
#include "model_names.h"

#include <cstdio>
#include <cstring>

#include "log/log.h"

namespace vxins {
namespace inventory {

namespace {

// How a row chooses its description.
enum class ModelKind {
  kFixed,          // one text whatever the ports
  kByPorts,        // one port: single; any other count: dual
  kByPortsAndCna,  // 1 or 2 ports, CNA or FC HBA text; other counts: none
  kByPortsFcOnly   // 1 or 2 ports and not CNA; otherwise none
};

struct ModelRow {
  const char* key;  // exact model string, "Quorvel-<designation>[-1p|-2p]"
  ModelKind kind;
  const char* single_desc;  // the only text of a fixed row
  const char* dual_desc;
  const char* single_cna_desc;
  const char* dual_cna_desc;
};

// Texts shared by several rows.
const char kFc16Single[] = "Quorvel QF2560 Single-Port 16Gb Fibre Channel HBA";
const char kFc16Dual[] = "Quorvel QF2562 Dual-Port 16Gb Fibre Channel HBA";
const char kFc32Single[] = "Quorvel QF2740 Single-Port 32Gb Fibre Channel HBA";
const char kFc32Dual[] = "Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA";
const char kFc16Mezz[] = "Quorvel QF2562 Dual-Port 16Gb Fibre Channel Mezzanine Adapter";
const char kCnaSingle[] = "Quorvel QC8400 Series Single-Port 25GbE Converged Network Adapter";
const char kCnaDual[] = "Quorvel QC8400 Series Dual-Port 25GbE Converged Network Adapter";
const char kCnaFcSingle[] = "Quorvel QC8400 Series Single-Port 32Gb Fibre Channel HBA";
const char kCnaFcDual[] = "Quorvel QC8400 Series Dual-Port 32Gb Fibre Channel HBA";
const char kFc64Single[] = "Quorvel QF2800 Series Single-Port 64Gb Fibre Channel HBA";
const char kFc64Dual[] = "Quorvel QF2800 Series Dual-Port 64Gb Fibre Channel HBA";

#define FIXED(key, text) {key, ModelKind::kFixed, text, nullptr, nullptr, nullptr}

// Order matters only for reading: keys are unique and matched exactly. Fourteen fixed rows,
// two by port count, the QC8442 family by port count and CNA mode, one FC-only family.
const ModelRow kModelTable[] = {
    FIXED("Quorvel-QF2560", kFc16Single),
    FIXED("Quorvel-QF2562", kFc16Dual),
    FIXED("Quorvel-QF2564", "Quorvel QF2564 Quad-Port 16Gb Fibre Channel HBA"),
    FIXED("Quorvel-QF2562M", kFc16Mezz),
    FIXED("Quorvel-QF2562B", kFc16Mezz),
    FIXED("Quorvel-QF2740", kFc32Single),
    FIXED("Quorvel-QF2742", kFc32Dual),
    FIXED("Quorvel-QF2744", "Quorvel QF2744 Quad-Port 32Gb Fibre Channel HBA"),
    FIXED("Quorvel-QF2742-OCP", "Quorvel QF2742 Dual-Port 32Gb Fibre Channel OCP 3.0 Adapter"),
    FIXED("Quorvel-QF2870", "Quorvel QF2870 Single-Port 64Gb Fibre Channel HBA"),
    FIXED("Quorvel-QF2872", "Quorvel QF2872 Dual-Port 64Gb Fibre Channel HBA"),
    FIXED("Quorvel-QF2874", "Quorvel QF2874 Quad-Port 64Gb Fibre Channel HBA"),
    FIXED("Quorvel-QC8410", kCnaSingle),
    FIXED("Quorvel-QC8420", kCnaDual),
    {"Quorvel-QF2700", ModelKind::kByPorts, kFc32Single, kFc32Dual, nullptr, nullptr},
    {"Quorvel-QC8400", ModelKind::kByPorts, kCnaSingle, kCnaDual, nullptr, nullptr},
    {"Quorvel-QC8442", ModelKind::kByPortsAndCna, kCnaFcSingle, kCnaFcDual, kCnaSingle, kCnaDual},
    {"Quorvel-QC8442-1p", ModelKind::kByPortsAndCna, kCnaFcSingle, kCnaFcDual, kCnaSingle,
     kCnaDual},
    {"Quorvel-QC8442-2p", ModelKind::kByPortsAndCna, kCnaFcSingle, kCnaFcDual, kCnaSingle,
     kCnaDual},
    {"Quorvel-QF2800", ModelKind::kByPortsFcOnly, kFc64Single, kFc64Dual, nullptr, nullptr},
};

#undef FIXED

const char kInvalidModel[] = "Invalid Model";

// The row's text for these ports, or "" when the row has none for the combination.
const char* choose_description(const ModelRow& row, unsigned int nports, bool is_cna) {
  switch (row.kind) {
    case ModelKind::kFixed:
      return row.single_desc;
    case ModelKind::kByPorts:
      return nports == 1 ? row.single_desc : row.dual_desc;
    case ModelKind::kByPortsAndCna:
      if (nports == 1) return is_cna ? row.single_cna_desc : row.single_desc;
      if (nports == 2) return is_cna ? row.dual_cna_desc : row.dual_desc;
      return "";
    case ModelKind::kByPortsFcOnly:
      if (is_cna) return "";
      if (nports == 1) return row.single_desc;
      if (nports == 2) return row.dual_desc;
      return "";
  }
  return "";
}

}  // namespace

std::string product_name(const std::string& model, unsigned int nports, bool is_cna) {
  const char* desc = kInvalidModel;
  for (const ModelRow& row : kModelTable) {
    if (strcmp(model.c_str(), row.key) == 0) {  // as C text: the agent's model ends at a NUL
      desc = choose_description(row, nports, is_cna);
      break;
    }
  }
  // The name goes into a 128-byte field of the record as the agent's tools know it.
  char name[kModelNameBufSize];
  snprintf(name, sizeof name, "%s", desc != nullptr ? desc : "");
  log::utility.info("%s", name);
  return name;
}

}  // namespace inventory
}  // namespace vxins
