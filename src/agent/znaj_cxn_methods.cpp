// The agent query methods. Each call through an entry-point pointer sits in its own try block;
// answers are type-checked before any as*() or member lookup, because JsonCpp throws on a
// lookup in a value of the wrong type and a malformed agent answer must not escape as one.
#include "agent/znaj_cxn_methods.h"

#include <cstdio>
#include <exception>

#include "vxins_host_api.h"
#include "vxins_log.h"
#include "znaj_agent.h"

#define STR_INDEX_STRINGS "indexStrings"

namespace {

ZnajCxnMethods gznajCxnMethodsObj;

// A 17-character index is a MAC address (six colon-separated byte pairs), anything else a WWN.
Json::Value index_request(const std::string& index) {
  Json::Value request;
  request[index.size() == 17 ? "mac" : "wwn"] = index;
  return request;
}

Json::Value single_request(const char* key, const std::string& value) {
  Json::Value request;
  request[key] = value;
  return request;
}

// An error answer: an object with an "error" member. Its code and message are read only when
// they have the expected types (0 and "" otherwise), so a malformed refusal is still a refusal.
struct AgentRefusal {
  bool present = false;
  int code = 0;
  std::string message;
};

AgentRefusal read_refusal(const Json::Value& answer) {
  AgentRefusal refusal;
  if (!answer.isObject() || !answer.isMember("error")) return refusal;
  refusal.present = true;
  const Json::Value& error = answer["error"];
  if (error.isObject()) {
    if (error.isMember("code") && error["code"].isInt()) refusal.code = error["code"].asInt();
    if (error.isMember("message") && error["message"].isString())
      refusal.message = error["message"].asString();
  }
  return refusal;
}

bool has_member(const Json::Value& answer, const char* key) {
  return answer.isObject() && answer.isMember(key);
}

void log_error(const char* text) { VXINS_LOG_TRACE(LOG_ERROR, text); }

void log_error_fmt_done() { VXINS_LOG_TRACE(LOG_ERROR, gLogBuf); }

}  // namespace

ZnajCxnMethods* ZnajCxnMethods::m_znajCxnMethodsObj = nullptr;

ZnajCxnMethods* ZnajCxnMethods::getZnajCxnMethodsInstance() {
  if (m_znajCxnMethodsObj == nullptr) m_znajCxnMethodsObj = &gznajCxnMethodsObj;
  return m_znajCxnMethodsObj;
}

int ZnajCxnMethods::getAdapterDetails(std::string index, Json::Value& adapter) {
  static const char kExit[] = "<-- ZnajCxnMethods::getAdapterDetails()";
  try {
    adapter = libGetHbaByWwn(index_request(index));
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetHbaByWwn got User exception %d:\t\t\t%s, returned INTERNAL_OPER_FAILED",
             index.c_str(), e.getErrorCode(), e.getErrorString().c_str());
    log_error_fmt_done();
    log_error(kExit);
    return e.errCode;
  } catch (const std::exception& e) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "libGetHbaByWwn got std exception: %s-%p,\t\t\treturned INTERNAL_OPER_FAILED",
             index.c_str(), static_cast<const void*>(e.what()));
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  } catch (...) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetHbaByWwn got default exception,\t\t\treturned INTERNAL_OPER_FAILED",
             index.c_str());
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  }
  AgentRefusal refusal = read_refusal(adapter);
  if (refusal.present) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetHbaByWwn got User exception %d:\t\t\t%s, returned INTERNAL_OPER_FAILED",
             index.c_str(), refusal.code, refusal.message.c_str());
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  }
  if (adapter.isNull() || !has_member(adapter, "hbaData") || !has_member(adapter, "driver")) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "Unable to get adapater details for %s-%d\t\t\treturned with INTERNAL_OPER_FAILED",
             index.c_str(), INTERNAL_OPER_FAILED);
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  }
  VXINS_LOG_TRACE(LOG_INFO, "<-- ZnajCxnMethods::getAdapterDetails()-success");
  return 0;
}

int ZnajCxnMethods::getAdvAdapterInfo(std::string index, Json::Value& flash_resp) {
  try {
    flash_resp = libGetAdvAdapterData(single_request("indexStr", index));
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof gLogBuf, "%s - libGetAdvAdapterData got User exception %d: %s",
             index.c_str(), e.getErrorCode(), e.getErrorString().c_str());
    log_error_fmt_done();
    return e.errCode;
  } catch (const std::exception& e) {
    snprintf(gLogBuf, sizeof gLogBuf, "%s - libGetAdvAdapterData got std exception: %s",
             index.c_str(), e.what());
    log_error_fmt_done();
    return INTERNAL_OPER_FAILED;
  } catch (...) {
    snprintf(gLogBuf, sizeof gLogBuf, "libGetAdvAdapterData got default exception for %s",
             index.c_str());
    log_error_fmt_done();
    return INTERNAL_OPER_FAILED;
  }
  AgentRefusal refusal = read_refusal(flash_resp);
  if (refusal.present) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetAdvAdapterData returned error %d: %s, returned INTERNAL_OPER_FAILED",
             index.c_str(), refusal.code, refusal.message.c_str());
    log_error_fmt_done();
    log_error("<-- ZnajCxnMethods::getAdvAdapterInfo()");
    return INTERNAL_OPER_FAILED;
  }
  if (flash_resp.isNull()) {
    log_error("Adv Info is NOT available");
    return INTERNAL_OPER_FAILED;
  }
  return 0;
}

int ZnajCxnMethods::getFcPortDetails(std::string index, Json::Value& fcport) {
  static const char kFailed[] = "<-- ZnajCxnMethods::getFcPortDetails()-INTERNAL_OPER_FAILED";
  try {
    fcport = libGetPortByWwn(single_request("wwn", index));
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof gLogBuf, "%s - libGetPortByWwn got User exception %d: %s",
             index.c_str(), e.getErrorCode(), e.getErrorString().c_str());
    log_error_fmt_done();
    log_error("<-- ZnajCxnMethods::getFcPortDetails()-failed");
    return e.errCode;
  } catch (const std::exception& e) {
    snprintf(gLogBuf, sizeof gLogBuf, "%s - libGetPortByWwn got std exception: %s", index.c_str(),
             e.what());
    log_error_fmt_done();
    log_error(kFailed);
    return INTERNAL_OPER_FAILED;
  } catch (...) {
    snprintf(gLogBuf, sizeof gLogBuf, "libGetPortByWwn got default exception for %s",
             index.c_str());
    log_error_fmt_done();
    log_error(kFailed);
    return INTERNAL_OPER_FAILED;
  }
  AgentRefusal refusal = read_refusal(fcport);
  if (refusal.present) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetPortByWwn got User exception %d: %s, returned INTERNAL_OPER_FAILED",
             index.c_str(), refusal.code, refusal.message.c_str());
    log_error_fmt_done();
    return INTERNAL_OPER_FAILED;
  }
  if (fcport.isNull()) {
    log_error("FC Port Info is NOT available");
    log_error(kFailed);
    return INTERNAL_OPER_FAILED;
  }
  return 0;
}

int ZnajCxnMethods::getEthPortDetails(std::string index, Json::Value& port) {
  static const char kFailed[] = "<-- ZnajCxnMethods::getEthPortDetails()-INTERNAL_OPER_FAILED";
  try {
    port = libGetEthPortByEthMac(single_request("mac", index));
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof gLogBuf, "%s - libGetEthPortByEthMac got User exception %d: %s",
             index.c_str(), e.getErrorCode(), e.getErrorString().c_str());
    log_error_fmt_done();
    log_error("<-- ZnajCxnMethods::getEthPortDetails()-failed");
    return e.errCode;
  } catch (const std::exception& e) {
    snprintf(gLogBuf, sizeof gLogBuf, "%s - libGetEthPortByEthMac got std exception: %s",
             index.c_str(), e.what());
    log_error_fmt_done();
    log_error(kFailed);
    return INTERNAL_OPER_FAILED;
  } catch (...) {
    snprintf(gLogBuf, sizeof gLogBuf, "libGetEthPortByEthMac got default exception for %s",
             index.c_str());
    log_error_fmt_done();
    log_error(kFailed);
    return INTERNAL_OPER_FAILED;
  }
  AgentRefusal refusal = read_refusal(port);
  if (refusal.present) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetEthPortByEthMac got User \t\t\texception %d: %s, returned "
             "INTERNAL_OPER_FAILED",
             index.c_str(), refusal.code, refusal.message.c_str());
    log_error_fmt_done();
    log_error("<-- ZnajCxnMethods::getEthPortDetails()");
    return INTERNAL_OPER_FAILED;
  }
  if (port.isNull() || !has_member(port, "ethData") || !port["ethData"].isObject()) {
    log_error("Ethernet Port Info is NOT available");
    log_error(kFailed);
    return INTERNAL_OPER_FAILED;
  }
  return 0;
}

int ZnajCxnMethods::getPortDetails(std::string index, Json::Value& port) {
  try {
    port = libGetPortByWwn(index_request(index));
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof gLogBuf, "%s - libGetPortByWwn got User exception %d: %s",
             index.c_str(), e.getErrorCode(), e.getErrorString().c_str());
    log_error_fmt_done();
    return e.errCode;
  } catch (const std::exception& e) {
    snprintf(gLogBuf, sizeof gLogBuf, "%s - libGetPortByWwn got std exception: %s", index.c_str(),
             e.what());
    log_error_fmt_done();
    return INTERNAL_OPER_FAILED;
  } catch (...) {
    snprintf(gLogBuf, sizeof gLogBuf, "libGetPortByWwn got default exception for %s",
             index.c_str());
    log_error_fmt_done();
    return INTERNAL_OPER_FAILED;
  }
  AgentRefusal refusal = read_refusal(port);
  if (refusal.present) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetPortByWwn got User exception %d: %s, returned INTERNAL_OPER_FAILED",
             index.c_str(), refusal.code, refusal.message.c_str());
    log_error_fmt_done();
    log_error("<-- ZnajCxnMethods::getPortDetails()");
    return INTERNAL_OPER_FAILED;
  }
  if (port.isNull()) {
    log_error("Port Info is NOT available");
    return INTERNAL_OPER_FAILED;
  }
  return 0;
}

int ZnajCxnMethods::getAllFcPortDetailsByAdapter(std::string index, Json::Value& portlist) {
  static const char kExit[] = "<-- ZnajCxnMethods::getAllFcPortDetailsByAdapter()";
  static const char kFailed[] =
      "<-- ZnajCxnMethods::getAllFcPortDetailsByAdapter() returned INTERNAL_OPER_FAILED";
  if (!portlist.isNull() && !portlist.isArray()) {
    log_error("getAllFcPortDetailsByAdapter: the port list passed in is not an array");
    log_error(kFailed);
    return INTERNAL_OPER_FAILED;
  }
  Json::Value FcIndicesResponse;
  try {
    FcIndicesResponse = libGetFcPhyPortIndicesByAdapter(single_request("indexStr", index));
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetFcPhyPortIndicesByAdapter got User exception %d: %s, returned "
             "j.getErrorCode()",
             index.c_str(), e.getErrorCode(), e.getErrorString().c_str());
    log_error_fmt_done();
    log_error(kExit);
    return e.errCode;
  } catch (const std::exception& e) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "libGetFcPhyPortIndicesByAdapter got std exception: %s-%p,  returned "
             "INTERNAL_OPER_FAILED",
             index.c_str(), static_cast<const void*>(e.what()));
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  } catch (...) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetFcPhyPortIndicesByAdapter got default exception,  returned "
             "INTERNAL_OPER_FAILED",
             index.c_str());
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  }
  AgentRefusal refusal = read_refusal(FcIndicesResponse);
  if (refusal.present) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetFcPhyPortIndicesByAdapter got User exception %d: %s, returned "
             "INTERNAL_OPER_FAILED",
             index.c_str(), refusal.code, refusal.message.c_str());
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  }
  if (FcIndicesResponse.isNull()) {
    log_error("Unable to get adapater details. FcIndicesResponse.isNull()");
    log_error(kFailed);
    return INTERNAL_OPER_FAILED;
  }
  if (!has_member(FcIndicesResponse, STR_INDEX_STRINGS)) {
    log_error("Unable to get adapater details. !FcIndicesResponse.isMember(STR_INDEX_STRINGS)");
    log_error(kFailed);
    return INTERNAL_OPER_FAILED;
  }
  const Json::Value& ports = FcIndicesResponse[STR_INDEX_STRINGS];
  if (!ports.isArray()) {
    log_error(kFailed);
    return INTERNAL_OPER_FAILED;
  }
  for (Json::ArrayIndex i = 0; i < ports.size(); ++i) {
    if (!ports[i].isString()) {
      snprintf(gLogBuf, sizeof gLogBuf, "Skipping Fc port %u of %s: its index is not a string", i,
               index.c_str());
      log_error_fmt_done();
      continue;
    }
    std::string port_index = ports[i].asString();
    snprintf(gLogBuf, sizeof gLogBuf, "Fetch the Fc port details for %s", port_index.c_str());
    log_error_fmt_done();
    Json::Value fcport;
    int rc = getFcPortDetails(port_index, fcport);
    if (rc == 0) {
      portlist.append(fcport);
    } else {
      snprintf(gLogBuf, sizeof gLogBuf,
               "Unable to fetch the Fc port details for %s, returned(retVal=%d)",
               port_index.c_str(), rc);
      log_error_fmt_done();
    }
  }
  return 0;
}

int ZnajCxnMethods::getAllEthPortDetailsByAdapter(std::string index, Json::Value& portlist) {
  static const char kExit[] = "<-- ZnajCxnMethods::getAllEthPortDetailsByAdapter()";
  // Appending to anything but an array (or null) would make JsonCpp throw.
  if (!portlist.isNull() && !portlist.isArray()) {
    log_error("getAllEthPortDetailsByAdapter: the port list passed in is not an array");
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  }
  Json::Value EthIndicesResponse;
  try {
    EthIndicesResponse = libGetEthPhyPortIndicesByAdapter(single_request("indexStr", index));
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetEthPhyPortIndicesByAdapter got\t\t\tUser exception %d: %s, returned "
             "INTERNAL_OPER_FAILED",
             index.c_str(), e.getErrorCode(), e.getErrorString().c_str());
    log_error_fmt_done();
    log_error(kExit);
    return e.errCode;
  } catch (const std::exception& e) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "libGetEthPhyPortIndicesByAdapter got std \t\t\texception: %s-%p,  returned "
             "INTERNAL_OPER_FAILED",
             index.c_str(), static_cast<const void*>(e.what()));
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  } catch (...) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetEthPhyPortIndicesByAdapter got\t\t\tdefault exception,  returned "
             "INTERNAL_OPER_FAILED",
             index.c_str());
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  }
  AgentRefusal refusal = read_refusal(EthIndicesResponse);
  if (refusal.present) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "%s - libGetEthPhyPortIndicesByAdapter got User\t\t\texception %d: %s, returned "
             "INTERNAL_OPER_FAILED",
             index.c_str(), refusal.code, refusal.message.c_str());
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  }
  if (EthIndicesResponse.isNull() || !has_member(EthIndicesResponse, STR_INDEX_STRINGS) ||
      !EthIndicesResponse[STR_INDEX_STRINGS].isArray()) {
    snprintf(gLogBuf, sizeof gLogBuf,
             "Unable to get adapater details for \t\t\t%s returned INTERNAL_OPER_FAILED",
             index.c_str());
    log_error_fmt_done();
    log_error(kExit);
    return INTERNAL_OPER_FAILED;
  }
  const Json::Value& ports = EthIndicesResponse[STR_INDEX_STRINGS];
  for (Json::ArrayIndex i = 0; i < ports.size(); ++i) {
    if (!ports[i].isString()) {
      snprintf(gLogBuf, sizeof gLogBuf, "Skipping Eth port %u of %s: its index is not a string", i,
               index.c_str());
      log_error_fmt_done();
      continue;
    }
    std::string port_index = ports[i].asString();
    Json::Value port;
    if (getEthPortDetails(port_index, port) == 0) {
      portlist.append(port);
    } else {
      snprintf(gLogBuf, sizeof gLogBuf, "Unable to get Eth port data for %s", port_index.c_str());
      log_error_fmt_done();
    }
  }
  return 0;
}

unsigned int qrvl_get_num_of_adapters() {
  unsigned int count = libGetNumOfAdapters();
  snprintf(gLogBuf, sizeof gLogBuf, "getDeviceVector QRVL Adapter Count = %d\n",
           static_cast<int>(count));
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
  return count;
}
