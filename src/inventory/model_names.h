// Adapter model names: turns the model string the agent reports for an adapter into the product
// description of its FC/FCoE ports. Called by the enumeration for every FC record; it only reads
// its fixed table and logs the result.
#ifndef VXINS_INVENTORY_MODEL_NAMES_H
#define VXINS_INVENTORY_MODEL_NAMES_H

#include <cstddef>
#include <string>

namespace vxins {
namespace inventory {

// Names are cut to 127 characters, as the field they were specified with.
enum { kModelNameBufSize = 128 };

// How a row chooses its description.
enum class ModelKind {
  kFixed,               // one text whatever the ports
  kByPorts,            // one port: single; any other count: dual
  kByPortsAndCna,    // 1 or 2 ports, CNA or FC HBA text; other counts: none
  kByPortsFcOnly     // 1 or 2 ports and not CNA; otherwise none
};

struct ModelRow {
  const char* key;  // exact model string, "Quorvel-<designation>[-1p|-2p]"
  ModelKind kind;
  const char* single_desc;  // the only text of a fixed row
  const char* dual_desc;
  const char* single_cna_desc;
  const char* dual_cna_desc;
};

// The table in search order (read-only; for diagnostics and tests).
const ModelRow* model_table(size_t* count);

// The description for (model, nports, is_cna), cut to 127 characters: "Invalid Model" when no
// key equals model, an empty text for a port/CNA combination the row has no text for. Logged
// at LOG_INFO.
std::string product_name(const std::string& model, unsigned int nports, bool is_cna);

}  // namespace inventory
}  // namespace vxins

#endif
