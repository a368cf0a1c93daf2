// Fuzz target: the adapter enumeration against an in-process fake agent whose every answer
// comes from the fuzz input, a JSON object (anything else is ignored):
//   "count":    getNumberOfAdapters (a non-negative integer; default 1)
//   "index":    the answer of getAllAdaptersIndexString
//   "adapters": {index: {"hba": getHbaByWwn, "adv": getAdvAdapterData,
//                        "eth": getEthPhyPortIndicesByAdapter, "fc": getFcPhyPortIndicesByAdapter}}
//   "ports":    {wwn or mac: getPortByWwn / getEthPortByEthMac}
// A missing answer is null; an answer {"@throw": "agent"|"std"|"other"} is thrown instead, as
// the agent may throw. The enumeration must return a documented code and never throw; its
// records must survive the discovery file's writer and reader unchanged (round_trip.h).
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <json/json.h>

#include "fuzz_support.h"
#include "inventory/enumeration.h"
#include "discovery/discovery_file.h"
#include "round_trip.h"
#include "znaj_agent.h"

namespace {

Json::Value g_answers;
std::string g_discovery;

const Json::Value& served(const Json::Value& answer) {
  if (answer.isObject() && answer.isMember("@throw")) {
    const Json::Value& kind = answer["@throw"];
    std::string text = kind.isString() ? kind.asString() : std::string();
    if (text == "agent") throw HbaAgentError(7, "fuzzed agent error");
    if (text == "std") throw std::runtime_error("fuzzed std exception");
    throw 42;
  }
  return answer;
}

const Json::Value& member(const Json::Value& v, const char* name) {
  static const Json::Value null_value;
  if (!v.isObject() || !v.isMember(name)) return null_value;
  return v[name];
}

std::string request_key(const Json::Value& req, const char* name) {
  const Json::Value& v = member(req, name);
  return v.isString() ? v.asString() : std::string();
}

Json::Value per_adapter(const Json::Value& req, const char* key, const char* what) {
  const Json::Value& adapters = member(g_answers, "adapters");
  return served(member(member(adapters, request_key(req, key).c_str()), what));
}

Json::Value per_port(const Json::Value& req, const char* key) {
  return served(member(member(g_answers, "ports"), request_key(req, key).c_str()));
}

uint32_t fake_count() {
  const Json::Value& count = served(member(g_answers, "count"));
  if (count.isNull()) return 1;
  return count.isUInt() ? count.asUInt() : 0;
}
Json::Value fake_index(const Json::Value&) { return served(member(g_answers, "index")); }
Json::Value fake_hba(const Json::Value& req) {
  return per_adapter(req, member(req, "mac").isNull() ? "wwn" : "mac", "hba");
}
Json::Value fake_adv(const Json::Value& req) { return per_adapter(req, "indexStr", "adv"); }
Json::Value fake_eth_idx(const Json::Value& req) { return per_adapter(req, "indexStr", "eth"); }
Json::Value fake_fc_idx(const Json::Value& req) { return per_adapter(req, "indexStr", "fc"); }
Json::Value fake_fc_port(const Json::Value& req) { return per_port(req, "wwn"); }
Json::Value fake_eth_port(const Json::Value& req) { return per_port(req, "mac"); }
Json::Value fake_unused(const Json::Value&) { return Json::Value(); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vxfuzz::init();
  g_discovery = vxfuzz::scratch("discovery.xml");
  libGetNumOfAdapters = fake_count;
  libGetAllAdapterIndexString = fake_index;
  libGetHbaByWwn = fake_hba;
  libGetAdvAdapterData = fake_adv;
  libGetEthPhyPortIndicesByAdapter = fake_eth_idx;
  libGetFcPhyPortIndicesByAdapter = fake_fc_idx;
  libGetPortByWwn = fake_fc_port;
  libGetEthPortByEthMac = fake_eth_port;
  libGetFcByFcWwn = fake_unused;
  libGetFcoeByPort = fake_unused;
  libSetPortByWwn = fake_unused;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  builder["stackLimit"] = 64;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value answers;
  std::string errors;
  const char* text = reinterpret_cast<const char*>(data);
  try {
    if (!reader->parse(text, text + size, &answers, &errors) || !answers.isObject()) return 0;
  } catch (const std::exception&) {  // the parser's own nesting limit
    return 0;
  }
  g_answers = answers;

  std::vector<CQrvlDevice*> records;
  int rc = 0;
  try {
    rc = qrvl_enumerate_devices("3.1.0.0", "qrvl_boot_3100.tar", records);
  } catch (...) {
    vxfuzz::fail("an exception left qrvl_enumerate_devices");
  }
  if (rc != 0 && rc != 4 && rc != 1001) vxfuzz::fail("undocumented code " + std::to_string(rc));
  if (rc == 4 && !records.empty()) vxfuzz::fail("no adapters, yet records");

  for (CQrvlDevice* dev : records) {
    if (dev == nullptr) vxfuzz::fail("the enumeration appended a null record");
    dev->DisplayDeviceAttribs();
  }
  if (rc == 0) {
    write_to_xmlfile(g_discovery, records);
    vxfuzz::check_discovery_file(g_discovery, records, nullptr);
  }
  for (CQrvlDevice* dev : records) delete dev;
  g_answers = Json::Value();
  return 0;
}
