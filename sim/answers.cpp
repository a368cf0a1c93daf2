// The answers follow sim/README.md's Answers table; a fault of kind "shape" takes the normal
// answer apart, so the two stay in step.
#include "answers.h"

#include <cstring>
#include <initializer_list>

#include "json_source.h"

namespace dznajsim {
namespace {

const size_t kPackageScanBytes = 8192;

Json::Value unknown(const char* what, const std::string& key) {
  return error_answer(2, std::string("no ") + what + " \"" + key + "\" in the inventory");
}

void copy_present(Json::Value& to, const Json::Value& from,
                  std::initializer_list<const char*> keys) {
  for (const char* k : keys)
    if (from.isObject() && from.isMember(k)) to[k] = from[k];
}

// The flashed version: a recorded flash wins over the inventory.
Json::Value flashed_version(const Engine& engine, const Json::Value& adapter) {
  std::string index = string_member(adapter, "index");
  if (!index.empty() && engine.state.isMember(index) && engine.state[index].isObject() &&
      engine.state[index].isMember("flashedBiosVersion"))
    return engine.state[index]["flashedBiosVersion"];
  return adapter.isMember("flashedBiosVersion") ? adapter["flashedBiosVersion"] : Json::Value();
}

Json::Value port_indices(const Json::Value& adapter, const char* list, const char* key) {
  Json::Value answer;
  answer["indexStrings"] = Json::Value(Json::arrayValue);
  if (!adapter.isMember(list)) return answer;
  const Json::Value& ports = adapter[list];
  for (Json::ArrayIndex i = 0; i < ports.size(); ++i)
    if (ports[i].isMember(key)) answer["indexStrings"].append(ports[i][key]);
  return answer;
}

}  // namespace

Json::Value error_answer(int code, const std::string& message) {
  Json::Value answer;
  answer["error"]["code"] = code;
  answer["error"]["message"] = message;
  return answer;
}

Json::Value normal_answer(const Engine& engine, const std::string& symbol,
                          const Json::Value& request) {
  const std::string key = request_key(request);
  if (symbol == "init_hba_lib") {
    if (engine.inventory.isMember("init")) return engine.inventory["init"];
    Json::Value answer;
    answer["result"] = 0;
    return answer;
  }
  if (symbol == "getAllAdaptersIndexString") {
    Json::Value answer;
    answer["indexStrings"] = Json::Value(Json::arrayValue);
    if (engine.inventory.isMember("adapters")) {
      const Json::Value& adapters = engine.inventory["adapters"];
      for (Json::ArrayIndex i = 0; i < adapters.size(); ++i)
        if (adapters[i].isMember("index")) answer["indexStrings"].append(adapters[i]["index"]);
    }
    return answer;
  }
  if (symbol == "getHbaByWwn" || symbol == "getAdvAdapterData" ||
      symbol == "getFcPhyPortIndicesByAdapter" || symbol == "getEthPhyPortIndicesByAdapter") {
    const Json::Value* adapter = engine.index.adapter(key);
    if (adapter == nullptr) return unknown("adapter", key);
    if (symbol == "getFcPhyPortIndicesByAdapter") return port_indices(*adapter, "fcPorts", "wwn");
    if (symbol == "getEthPhyPortIndicesByAdapter") return port_indices(*adapter, "ethPorts", "mac");
    Json::Value flashed = flashed_version(engine, *adapter);
    if (symbol == "getAdvAdapterData") {
      Json::Value answer(Json::objectValue);
      if (!flashed.isNull()) answer["flashedBiosVersion"] = flashed;
      return answer;
    }
    Json::Value answer;
    answer["hbaData"] = Json::Value(Json::objectValue);
    copy_present(answer["hbaData"], *adapter, {"model", "portCount"});
    answer["pcieInfo"] = Json::Value(Json::objectValue);
    if (adapter->isMember("pcie"))
      copy_present(answer["pcieInfo"], (*adapter)["pcie"],
                   {"vendorID", "deviceID", "subSystemVendorID", "subSystemID"});
    answer["driver"] = Json::Value(Json::objectValue);
    copy_present(answer["driver"], *adapter, {"storageDriverVersion", "networkDriverVersion"});
    answer["firmware"] = Json::Value(Json::objectValue);
    if (!flashed.isNull()) answer["firmware"]["flashedBiosVersion"] = flashed;
    return answer;
  }
  if (symbol == "getPortByWwn" || symbol == "getFcByFcWwn" || symbol == "getFcoeByPort" ||
      symbol == "setPortByWwn") {
    const Json::Value* port = engine.index.port("fcPorts", key);
    if (port == nullptr) return unknown("FC port", key);
    Json::Value answer(Json::objectValue);
    if (symbol == "setPortByWwn") {
      answer["result"] = 0;
      return answer;
    }
    copy_present(answer, *port, {"wwn", "nodeWwn", "hardwarePath", "portMode"});
    return answer;
  }
  if (symbol == "getEthPortByEthMac") {
    const Json::Value* port = engine.index.port("ethPorts", key);
    if (port == nullptr) return unknown("Ethernet port", key);
    Json::Value answer;
    answer["ethData"] = Json::Value(Json::objectValue);
    if (port->isMember("mac")) answer["ethData"]["macAddress"] = (*port)["mac"];
    copy_present(answer["ethData"], *port, {"hardwarePath"});
    return answer;
  }
  return error_answer(2, "unknown entry point " + symbol);
}

Json::Value shape_answer(const Engine& engine, const std::string& symbol,
                         const Json::Value& request) {
  if (symbol == "init_hba_lib") return Json::Value("initialised");
  if (symbol == "getHbaByWwn") {
    Json::Value answer = normal_answer(engine, symbol, request);
    if (!answer.isMember("hbaData")) return Json::Value(Json::objectValue);
    answer.removeMember("driver");
    return answer;
  }
  if (symbol == "getAllAdaptersIndexString" || symbol == "getFcPhyPortIndicesByAdapter" ||
      symbol == "getEthPhyPortIndicesByAdapter") {
    Json::Value normal = normal_answer(engine, symbol, request);
    Json::Value answer;
    answer["indexStrings"] = Json::Value(Json::objectValue);
    if (normal.isMember("indexStrings")) {
      const Json::Value& list = normal["indexStrings"];
      for (Json::ArrayIndex i = 0; i < list.size(); ++i)
        answer["indexStrings"][std::to_string(i)] = list[i];
    }
    return answer;
  }
  if (symbol == "getEthPortByEthMac") {
    Json::Value answer;
    answer["ethData"] = request_key(request);
    return answer;
  }
  if (symbol == "setPortByWwn") return Json::Value("unavailable");
  Json::Value answer;
  answer["status"] = "unavailable";
  return answer;
}

bool package_version(const char* file, std::string& version, std::string& why) {
  std::string head;
  if (!read_file(file, kPackageScanBytes, false, head, why)) return false;
  size_t open = head.find("<version>");
  size_t start = open == std::string::npos ? open : open + strlen("<version>");
  size_t close = start == std::string::npos ? start : head.find("</version>", start);
  if (close == std::string::npos) {
    why = "no <version> in the package's first " + std::to_string(kPackageScanBytes) + " bytes";
    return false;
  }
  version = head.substr(start, close - start);
  return true;
}

}  // namespace dznajsim
