// Per-adapter reports: what a flash call did to each adapter (flashed, failed with the agent's
// reason, skipped, not attempted, unknown), what a discovery proposes for each, as JSON (what
// --json prints and the history stores) and as one text table rendered from that JSON, so that
// a run shown later from the history reads as it did. Pure formatting; no files, no throw.
#ifndef VXINS_HOST_ADAPTER_REPORT_H
#define VXINS_HOST_ADAPTER_REPORT_H

#include <json/json.h>

#include <string>
#include <vector>

#include "adapter_groups.h"
#include "discovery_view.h"
#include "flash_outcomes.h"

namespace vxhost {

// One object per adapter: adapter, agent_index (null when unknown), grouping ("agent" or "pci"),
// functions, identifiers, product, before (the active version as the agent reported it, where
// the trace tells; else the file's), offered, proposed, and outcome, reason, seconds.
Json::Value flash_adapters_json(const std::vector<AdapterOutcome>& outcomes, const char* grouping);
// One object per adapter of a discovery file, grouped as `groups` says: the same without the
// outcome, reason and seconds, and with up_to_date.
Json::Value discovered_adapters_json(const std::vector<ViewDevice>& devices,
                                     const AdapterGroups& groups);

// The table of either kind: ADAPTER, FUNCTIONS, PRODUCT, BEFORE, OFFERED, and OUTCOME or
// PROPOSED.
std::string adapters_table(const Json::Value& adapters);

// {"flashed": n, "failed": n, "skipped": n, "not attempted": n, "unknown": n} of a flash's
// adapters.
Json::Value outcome_counts(const Json::Value& adapters);
// "2 flashed, 1 failed, 1 skipped, 0 not attempted" (and ", 1 unknown" when there is one);
// without the zero counts when asked.
std::string counts_line(const Json::Value& counts, bool nonzero_only = false);
// Why the run is not a success: the adapters the operator chose that were not flashed, one
// line; "" when every chosen adapter was flashed (and there was one).
std::string unflashed_reason(const Json::Value& adapters);

}  // namespace vxhost

#endif
