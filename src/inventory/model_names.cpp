// The product list of the Quorvel Fibre Channel HBAs and converged network adapters, searched
// in order by exact model string.
#include "inventory/model_names.h"

#include <cstdio>
#include <cstring>

#include "vxins_log.h"

namespace {

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

#define FIXED(key, text) {key, QRVL_MODEL_FIXED, text, nullptr, nullptr, nullptr}

// Order matters only for reading: keys are unique and matched exactly. Fourteen fixed rows,
// two by port count, the QC8442 family by port count and CNA mode, one FC-only family.
const qrvl_model_row_t kModelTable[] = {
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
    {"Quorvel-QF2700", QRVL_MODEL_BY_PORTS, kFc32Single, kFc32Dual, nullptr, nullptr},
    {"Quorvel-QC8400", QRVL_MODEL_BY_PORTS, kCnaSingle, kCnaDual, nullptr, nullptr},
    {"Quorvel-QC8442", QRVL_MODEL_BY_PORTS_AND_CNA, kCnaFcSingle, kCnaFcDual, kCnaSingle, kCnaDual},
    {"Quorvel-QC8442-1p", QRVL_MODEL_BY_PORTS_AND_CNA, kCnaFcSingle, kCnaFcDual, kCnaSingle,
     kCnaDual},
    {"Quorvel-QC8442-2p", QRVL_MODEL_BY_PORTS_AND_CNA, kCnaFcSingle, kCnaFcDual, kCnaSingle,
     kCnaDual},
    {"Quorvel-QF2800", QRVL_MODEL_BY_PORTS_FC_ONLY, kFc64Single, kFc64Dual, nullptr, nullptr},
};

#undef FIXED

const char kInvalidModel[] = "Invalid Model";

// The row's text for these ports, or "" when the row has none for the combination.
const char* choose_description(const qrvl_model_row_t& row, unsigned int nports, bool isCna) {
  switch (row.kind) {
    case QRVL_MODEL_FIXED:
      return row.single_desc;
    case QRVL_MODEL_BY_PORTS:
      return nports == 1 ? row.single_desc : row.dual_desc;
    case QRVL_MODEL_BY_PORTS_AND_CNA:
      if (nports == 1) return isCna ? row.single_cna_desc : row.single_desc;
      if (nports == 2) return isCna ? row.dual_cna_desc : row.dual_desc;
      return "";
    case QRVL_MODEL_BY_PORTS_FC_ONLY:
      if (isCna) return "";
      if (nports == 1) return row.single_desc;
      if (nports == 2) return row.dual_desc;
      return "";
  }
  return "";
}

}  // namespace

const qrvl_model_row_t* qrvl_model_table(size_t* count) {
  if (count != nullptr) *count = sizeof(kModelTable) / sizeof(kModelTable[0]);
  return kModelTable;
}

void getDeviceNameForModel(const char* model, unsigned int nports, bool isCna, char* pBuf) {
  if (pBuf == nullptr) return;
  const char* desc = kInvalidModel;
  if (model != nullptr) {
    for (const qrvl_model_row_t& row : kModelTable) {
      if (strcmp(model, row.key) == 0) {
        desc = choose_description(row, nports, isCna);
        break;
      }
    }
  }
  snprintf(pBuf, QRVL_MODEL_NAME_BUF_SIZE, "%s", desc != nullptr ? desc : "");
  VXINS_LOG_TRACE(LOG_INFO, pBuf);
}
