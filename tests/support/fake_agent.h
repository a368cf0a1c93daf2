// The one in-process fake of the agent library (unit tests, the enumeration fuzzer): the test
// fills a JSON inventory and install() points the plug-in's entry-point pointers at functions
// serving it. It must not assume the inventory is well-typed: the fuzzer hands it any JSON.
//
// Inventory layout (g_fake):
//   "count":    getNumberOfAdapters: an unsigned number (any other value answers 0); absent or
//               null: the size of "order"
//   "index":    if present, the verbatim answer of getAllAdaptersIndexString; otherwise
//               {"indexStrings": "order"}
//   "order":    adapter index strings, in order (the builders append to it)
//   "adapters": { index: { "hba": getHbaByWwn, "adv": getAdvAdapterData,
//                          "eth": getEthPhyPortIndicesByAdapter,
//                          "fc": getFcPhyPortIndicesByAdapter } }
//   "ports":    { mac-or-wwn: getEthPortByEthMac / getPortByWwn }
// A missing answer is null; an answer {"@throw": "agent"|"std"|other} is thrown instead.
#ifndef VXINS_TEST_SUPPORT_FAKE_AGENT_H
#define VXINS_TEST_SUPPORT_FAKE_AGENT_H

#include <string>
#include <vector>

#include <json/json.h>

namespace fake {

extern Json::Value g_fake;
// Every entry point called, with its key ("getHbaByWwn wwn=...").
extern std::vector<std::string> g_calls;

// An empty inventory, no calls recorded.
void reset();
void install();

Json::Value thrower(const std::string& kind);

// Builders for the usual shapes.
Json::Value adapter_details(const std::string& model, unsigned ports, unsigned ven, unsigned dev,
                            unsigned subven, unsigned subdev);
void add_adapter(const std::string& index, const Json::Value& details,
                 const std::string& flashed);
void add_eth_port(const std::string& index, const std::string& mac, const std::string& hwpath);
void add_fc_port(const std::string& index, const std::string& wwn, const std::string& node_wwn,
                 const std::string& hwpath, const std::string& mode);
Json::Value& adapter(const std::string& index);
Json::Value& port(const std::string& mac_or_wwn);

}  // namespace fake

#endif
