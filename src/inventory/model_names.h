// Adapter model names: turns the model string the agent reports for an adapter into the product
// description of its FC/FCoE ports. Called by the enumeration for every FC record; it only reads
// its fixed table and logs the result.
#ifndef VXINS_INVENTORY_MODEL_NAMES_H
#define VXINS_INVENTORY_MODEL_NAMES_H

#include <string>

namespace vxins {
namespace inventory {

// Names are cut to 127 characters, as the field they were specified with.
enum { kModelNameBufSize = 128 };

// The description for (model, nports, is_cna), cut to 127 characters: "Invalid Model" when no
// key equals model, an empty text for a port/CNA combination the row has no text for. Logged
// at LOG_INFO.
std::string product_name(const std::string& model, unsigned int nports, bool is_cna);

}  // namespace inventory
}  // namespace vxins

#endif
