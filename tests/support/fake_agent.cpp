#include "fake_agent.h"

#include <stdexcept>

#include "agent/entry_points.h"

namespace fake {

Json::Value g_fake;
std::vector<std::string> g_calls;

namespace {

const Json::Value& served(const Json::Value& answer) {
  if (answer.isObject() && answer.isMember("@throw")) {
    const std::string kind = answer["@throw"].asString();
    if (kind == "agent") throw HbaAgentError(-7, "fake agent refused");
    if (kind == "std") throw std::runtime_error("fake std failure");
    throw 42;
  }
  return answer;
}

std::string key_of(const Json::Value& req, const char* member) {
  return req.isObject() && req.isMember(member) && req[member].isString()
             ? req[member].asString()
             : std::string();
}

uint32_t num_adapters() {
  g_calls.push_back("getNumberOfAdapters");
  if (g_fake.isMember("countThrows")) served(g_fake["countThrows"]);
  if (g_fake.isMember("count")) return g_fake["count"].asUInt();
  return g_fake["order"].size();
}

Json::Value index_strings(const Json::Value& req) {
  g_calls.push_back(std::string("getAllAdaptersIndexString null=") + (req.isNull() ? "1" : "0"));
  if (g_fake.isMember("indexAnswer")) return served(g_fake["indexAnswer"]);
  Json::Value answer;
  answer["indexStrings"] = g_fake["order"].isNull() ? Json::Value(Json::arrayValue)
                                                    : g_fake["order"];
  return answer;
}

Json::Value per_adapter(const char* call, const char* member, const Json::Value& req,
                        const char* key) {
  const std::string index = key_of(req, key);
  g_calls.push_back(std::string(call) + " " + key + "=" + index);
  const Json::Value& ad = g_fake["adapters"][index];
  if (!ad.isMember(member)) return Json::Value();
  return served(ad[member]);
}

Json::Value hba_by_wwn(const Json::Value& req) {
  return per_adapter("getHbaByWwn", "details", req, req.isMember("mac") ? "mac" : "wwn");
}
Json::Value adv_data(const Json::Value& req) {
  return per_adapter("getAdvAdapterData", "adv", req, "indexStr");
}
Json::Value eth_indices(const Json::Value& req) {
  return per_adapter("getEthPhyPortIndicesByAdapter", "ethIdx", req, "indexStr");
}
Json::Value fc_indices(const Json::Value& req) {
  return per_adapter("getFcPhyPortIndicesByAdapter", "fcIdx", req, "indexStr");
}

Json::Value port(const char* call, const Json::Value& req, const char* key) {
  const std::string id = key_of(req, key);
  g_calls.push_back(std::string(call) + " " + key + "=" + id);
  if (!g_fake["ports"].isMember(id)) return Json::Value();
  return served(g_fake["ports"][id]);
}
Json::Value port_by_wwn(const Json::Value& req) { return port("getPortByWwn", req, "wwn"); }
Json::Value eth_port_by_mac(const Json::Value& req) {
  return port("getEthPortByEthMac", req, "mac");
}

Json::Value& index_list(const std::string& index, const char* member) {
  Json::Value& ad = adapter(index);
  if (!ad.isMember(member)) ad[member]["indexStrings"] = Json::Value(Json::arrayValue);
  return ad[member]["indexStrings"];
}

}  // namespace

void reset() {
  g_fake = Json::Value(Json::objectValue);
  g_fake["order"] = Json::Value(Json::arrayValue);
  g_fake["adapters"] = Json::Value(Json::objectValue);
  g_fake["ports"] = Json::Value(Json::objectValue);
  g_calls.clear();
}

void install() {
  libGetNumOfAdapters = num_adapters;
  libGetAllAdapterIndexString = index_strings;
  libGetHbaByWwn = hba_by_wwn;
  libGetAdvAdapterData = adv_data;
  libGetFcPhyPortIndicesByAdapter = fc_indices;
  libGetEthPhyPortIndicesByAdapter = eth_indices;
  libGetPortByWwn = port_by_wwn;
  libGetEthPortByEthMac = eth_port_by_mac;
}

Json::Value thrower(const std::string& kind) {
  Json::Value v;
  v["@throw"] = kind;
  return v;
}

Json::Value adapter_details(const std::string& model, unsigned ports, unsigned ven, unsigned dev,
                            unsigned subven, unsigned subdev) {
  Json::Value d;
  d["hbaData"]["model"] = model;
  d["hbaData"]["portCount"] = ports;
  d["pcieInfo"]["vendorID"] = ven;
  d["pcieInfo"]["deviceID"] = dev;
  d["pcieInfo"]["subSystemVendorID"] = subven;
  d["pcieInfo"]["subSystemID"] = subdev;
  d["driver"]["storageDriverVersion"] = "10.02.08.00-k build 1";
  d["driver"]["networkDriverVersion"] = "5.1.7 rc2";
  return d;
}

Json::Value& adapter(const std::string& index) { return g_fake["adapters"][index]; }

void add_adapter(const std::string& index, const Json::Value& details,
                 const std::string& flashed) {
  g_fake["order"].append(index);
  Json::Value& ad = adapter(index);
  ad["details"] = details;
  ad["adv"]["flashedBiosVersion"] = flashed;
  index_list(index, "ethIdx");
  index_list(index, "fcIdx");
}

void add_eth_port(const std::string& index, const std::string& mac, const std::string& hwpath) {
  index_list(index, "ethIdx").append(mac);
  Json::Value& p = g_fake["ports"][mac];
  p["ethData"]["macAddress"] = mac;
  p["ethData"]["hardwarePath"] = hwpath;
}

void add_fc_port(const std::string& index, const std::string& wwn, const std::string& node_wwn,
                 const std::string& hwpath, const std::string& mode) {
  index_list(index, "fcIdx").append(wwn);
  Json::Value& p = g_fake["ports"][wwn];
  p["wwn"] = wwn;
  p["nodeWwn"] = node_wwn;
  p["hardwarePath"] = hwpath;
  p["portMode"] = mode;
}

}  // namespace fake
