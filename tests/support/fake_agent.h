// The one in-process fake of the agent library (unit tests, fuzzers): the test fills a JSON
// inventory and install() points the plug-in's entry-point globals at functions serving it.
//
// Inventory layout (g_fake):
//   "count":   adapter count answered by getNumberOfAdapters (default: size of "order")
//   "indexAnswer": if present, the verbatim answer of getAllAdaptersIndexString
//   "order":   adapter index strings, in order
//   "adapters": { index: { "details": answer, "adv": answer, "ethIdx": answer,
//                          "fcIdx": answer } }
//   "ports":   { mac-or-wwn: answer }   (Ethernet and FC port answers)
// An answer that is {"@throw": "agent"|"std"|"other"} is thrown instead of returned.
#ifndef VXINS_TEST_SUPPORT_FAKE_AGENT_H
#define VXINS_TEST_SUPPORT_FAKE_AGENT_H

#include <string>
#include <vector>

#include <json/json.h>

namespace fake {

extern Json::Value g_fake;
// Every entry point called, with its key ("getHbaByWwn wwn=...").
extern std::vector<std::string> g_calls;

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

}  // namespace fake

#endif
