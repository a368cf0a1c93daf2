// Adapter model names: turns the model string the agent reports for an adapter into the product
// description of its FC/FCoE ports. Called by the enumeration for every FC record; it only reads
// its fixed table, writes the caller's buffer and logs the result.
#ifndef VXINS_INVENTORY_MODEL_NAMES_H
#define VXINS_INVENTORY_MODEL_NAMES_H

#include <cstddef>

enum { QRVL_MODEL_NAME_BUF_SIZE = 128 };

// How a row chooses its description.
typedef enum qrvl_model_kind_e {
  QRVL_MODEL_FIXED = 0,         // one text whatever the ports
  QRVL_MODEL_BY_PORTS,          // one port: single; any other count: dual
  QRVL_MODEL_BY_PORTS_AND_CNA,  // 1 or 2 ports, CNA or FC HBA text; other counts: none
  QRVL_MODEL_BY_PORTS_FC_ONLY   // 1 or 2 ports and not CNA; otherwise none
} qrvl_model_kind_t;

typedef struct qrvl_model_row_s {
  const char* key;          // exact model string, "Quorvel-<designation>[-1p|-2p]"
  qrvl_model_kind_t kind;
  const char* single_desc;  // the only text of a fixed row
  const char* dual_desc;
  const char* single_cna_desc;
  const char* dual_cna_desc;
} qrvl_model_row_t;

// The table in search order (read-only; exposed for diagnostics and tests).
const qrvl_model_row_t* qrvl_model_table(size_t* count);

// Writes the description for (model, nports, isCna) into pBuf (at least 128 bytes), cut to 127
// characters: "Invalid Model" when no key equals model (a null model matches nothing), an empty
// string for a port/CNA combination the row has no text for. Logs the result at LOG_INFO.
// A null pBuf is left alone.
void getDeviceNameForModel(const char* model, unsigned int nports, bool isCna, char* pBuf);

#endif
