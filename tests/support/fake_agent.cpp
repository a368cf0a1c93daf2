#include "fake_agent.h"

#include <stdexcept>

#include "agent/entry_points.h"

namespace fake {

Json::Value g_fake;
std::vector<std::string> g_calls;

namespace {

// Reads never add members: the inventory a fuzz input gives stays as it was given.
const Json::Value& member(const Json::Value& v, const std::string& name) {
  static const Json::Value null_value;
  if (!v.isObject()) return null_value;
  const Json::Value* found = v.find(name.data(), name.data() + name.size());
  return found != nullptr ? *found : null_value;
}

const Json::Value& served(const Json::Value& answer) {
  const Json::Value& kind = member(answer, "@throw");
  if (!kind.isNull()) {
    const std::string text = kind.isString() ? kind.asString() : std::string();
    if (text == "agent") throw HbaAgentError(-7, "fake agent refused");
    if (text == "std") throw std::runtime_error("fake std failure");
    throw 42;
  }
  return answer;
}

std::string key_of(const Json::Value& req, const char* name) {
  const Json::Value& v = member(req, name);
  return v.isString() ? v.asString() : std::string();
}

uint32_t num_adapters() {
  g_calls.push_back("getNumberOfAdapters");
  const Json::Value& count = served(member(g_fake, "count"));
  if (count.isNull()) {
    const Json::Value& order = member(g_fake, "order");
    return order.isArray() ? order.size() : 0;
  }
  return count.isUInt() ? count.asUInt() : 0;
}

Json::Value index_strings(const Json::Value& req) {
  g_calls.push_back(std::string("getAllAdaptersIndexString null=") + (req.isNull() ? "1" : "0"));
  if (g_fake.isObject() && g_fake.isMember("index")) return served(member(g_fake, "index"));
  Json::Value answer;
  const Json::Value& order = member(g_fake, "order");
  answer["indexStrings"] = order.isNull() ? Json::Value(Json::arrayValue) : order;
  return answer;
}

Json::Value per_adapter(const char* call, const char* answer, const Json::Value& req,
                        const char* key) {
  const std::string index = key_of(req, key);
  g_calls.push_back(std::string(call) + " " + key + "=" + index);
  return served(member(member(member(g_fake, "adapters"), index), answer));
}

Json::Value hba_by_wwn(const Json::Value& req) {
  return per_adapter("getHbaByWwn", "hba", req, member(req, "mac").isNull() ? "wwn" : "mac");
}
Json::Value adv_data(const Json::Value& req) {
  return per_adapter("getAdvAdapterData", "adv", req, "indexStr");
}
Json::Value eth_indices(const Json::Value& req) {
  return per_adapter("getEthPhyPortIndicesByAdapter", "eth", req, "indexStr");
}
Json::Value fc_indices(const Json::Value& req) {
  return per_adapter("getFcPhyPortIndicesByAdapter", "fc", req, "indexStr");
}

Json::Value port_answer(const char* call, const Json::Value& req, const char* key) {
  const std::string id = key_of(req, key);
  g_calls.push_back(std::string(call) + " " + key + "=" + id);
  return served(member(member(g_fake, "ports"), id));
}
Json::Value port_by_wwn(const Json::Value& req) { return port_answer("getPortByWwn", req, "wwn"); }
Json::Value eth_port_by_mac(const Json::Value& req) {
  return port_answer("getEthPortByEthMac", req, "mac");
}

Json::Value& index_list(const std::string& index, const char* answer) {
  Json::Value& ad = adapter(index);
  if (!ad.isMember(answer)) ad[answer]["indexStrings"] = Json::Value(Json::arrayValue);
  return ad[answer]["indexStrings"];
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
Json::Value& port(const std::string& mac_or_wwn) { return g_fake["ports"][mac_or_wwn]; }

void add_adapter(const std::string& index, const Json::Value& details,
                 const std::string& flashed) {
  g_fake["order"].append(index);
  Json::Value& ad = adapter(index);
  ad["hba"] = details;
  ad["adv"]["flashedBiosVersion"] = flashed;
  index_list(index, "eth");
  index_list(index, "fc");
}

void add_eth_port(const std::string& index, const std::string& mac, const std::string& hwpath) {
  index_list(index, "eth").append(mac);
  Json::Value& p = port(mac);
  p["ethData"]["macAddress"] = mac;
  p["ethData"]["hardwarePath"] = hwpath;
}

void add_fc_port(const std::string& index, const std::string& wwn, const std::string& node_wwn,
                 const std::string& hwpath, const std::string& mode) {
  index_list(index, "fc").append(wwn);
  Json::Value& p = port(wwn);
  p["wwn"] = wwn;
  p["nodeWwn"] = node_wwn;
  p["hardwarePath"] = hwpath;
  p["portMode"] = mode;
}

}  // namespace fake
