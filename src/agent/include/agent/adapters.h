// The agent's calls about whole adapters: how many there are, their index strings, and
// flashing one of them. Called by the enumeration and the flash sequence while the session is
// open; each logs its own lines and never throws.
#ifndef VXINS_AGENT_ADAPTERS_H
#define VXINS_AGENT_ADAPTERS_H

#include <json/json.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vxins {
namespace agent {

// The agent's adapter count ("getNumberOfAdapters"), logged as the count line. False (logged)
// when the agent threw.
bool adapter_count(uint32_t& count);

// The "indexStrings" array of the agent's "getAllAdaptersIndexString" answer. False (logged)
// when the agent threw or the answer is null, not an object or holds no such array.
bool adapter_index_list(Json::Value& index_strings);

// The outcome text buffer of a flash, as the agent's own error buffer.
enum { kFlashOutcomeSize = 128 };

// Flashes the package at package_path onto the adapter with that index string. 0, the agent's
// non-zero result, 1002 when the index or the path cannot be handed over whole (never cut: a
// cut one could flash another file or adapter), or 1001 when the agent threw. outcome (may be
// null, else kFlashOutcomeSize bytes) receives "BOOT UPDATE SUCCESS" or
// "ERROR:BOOT UPDATE FAILED:" and the reason.
int flash_adapter(const std::string& adapter, const std::string& package_path, char* outcome);

}  // namespace agent
}  // namespace vxins

#endif
