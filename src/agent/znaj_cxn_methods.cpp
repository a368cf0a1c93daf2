// The agent query methods. Every call through an entry-point pointer goes through run_query,
// which holds the try block, the error-answer check and the shape check; each method only
// names its call, its acceptance test and its own log texts. Answers are type-checked before
// any as*() or member lookup, because JsonCpp throws on a lookup in a value of the wrong type
// and a malformed agent answer must not escape as one.
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

// An error answer: an object with an "error" member. Its code is read as JsonCpp converts it
// and its message only when it is text (0 and "" otherwise), so a malformed refusal is still a
// refusal.
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
    if (error.isMember("code")) qrvl_agent_scalar(error["code"], refusal.code);
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

// A second ("exit") line; nullptr where the method logs none at that point.
void log_exit(const char* line) {
  if (line != nullptr) log_error(line);
}

// What one query method logs on each failure path, in the order it is logged. The texts differ
// from method to method (tabs, wording), so each method keeps its own; the arguments each
// format takes are fixed here and must not be changed in a single table entry.
struct QueryLines {
  const char* agent_error;  // HbaAgentError: index, getErrorCode(), getErrorString()
  const char* agent_error_exit;
  const char* std_error;  // std::exception: index, then what() (or its address, see below)
  bool what_as_address;   // std_error prints the address of what() with %p, not the text
  const char* other_error;     // any other thrown object: index
  const char* exception_exit;  // after std_error and after other_error
  const char* refusal;  // error answer: index, "error"."code", "error"."message"
  const char* refusal_exit;
  // Answer rejected by the shape check: formatted with the index and INTERNAL_OPER_FAILED, in
  // that order; a line that names fewer of them leaves the rest unused.
  const char* rejected;
  const char* rejected_exit;
};

// Calls the agent inside a try block and stores its answer in `answer` (left as it was when
// the call throws), then checks for an error answer and the method's acceptance test. Returns
// 0, the thrown HbaAgentError's errCode, or INTERNAL_OPER_FAILED. The handlers only log: the
// exception object belongs to the agent library.
template <typename Call, typename Accept>
int run_query(const std::string& index, const QueryLines& lines, Call call, Accept accepted,
              Json::Value& answer) {
  try {
    answer = call();
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof gLogBuf, lines.agent_error, index.c_str(), e.getErrorCode(),
             e.getErrorString().c_str());
    log_error_fmt_done();
    log_exit(lines.agent_error_exit);
    return e.errCode;
  } catch (const std::exception& e) {
    if (lines.what_as_address) {
      snprintf(gLogBuf, sizeof gLogBuf, lines.std_error, index.c_str(),
               static_cast<const void*>(e.what()));
    } else {
      snprintf(gLogBuf, sizeof gLogBuf, lines.std_error, index.c_str(), e.what());
    }
    log_error_fmt_done();
    log_exit(lines.exception_exit);
    return INTERNAL_OPER_FAILED;
  } catch (...) {
    snprintf(gLogBuf, sizeof gLogBuf, lines.other_error, index.c_str());
    log_error_fmt_done();
    log_exit(lines.exception_exit);
    return INTERNAL_OPER_FAILED;
  }
  AgentRefusal refusal = read_refusal(answer);
  if (refusal.present) {
    snprintf(gLogBuf, sizeof gLogBuf, lines.refusal, index.c_str(), refusal.code,
             refusal.message.c_str());
    log_error_fmt_done();
    log_exit(lines.refusal_exit);
    return INTERNAL_OPER_FAILED;
  }
  if (!accepted(answer)) {
    snprintf(gLogBuf, sizeof gLogBuf, lines.rejected, index.c_str(), INTERNAL_OPER_FAILED);
    log_error_fmt_done();
    log_exit(lines.rejected_exit);
    return INTERNAL_OPER_FAILED;
  }
  return 0;
}

bool not_null(const Json::Value& answer) { return !answer.isNull(); }

const char kAdapterExit[] = "<-- ZnajCxnMethods::getAdapterDetails()";
const QueryLines kAdapterLines = {
    "%s - libGetHbaByWwn got User exception %d:\t\t\t%s, returned INTERNAL_OPER_FAILED",
    kAdapterExit,
    "libGetHbaByWwn got std exception: %s-%p,\t\t\treturned INTERNAL_OPER_FAILED",
    true,
    "%s - libGetHbaByWwn got default exception,\t\t\treturned INTERNAL_OPER_FAILED",
    kAdapterExit,
    "%s - libGetHbaByWwn got User exception %d:\t\t\t%s, returned INTERNAL_OPER_FAILED",
    kAdapterExit,
    "Unable to get adapater details for %s-%d\t\t\treturned with INTERNAL_OPER_FAILED",
    kAdapterExit,
};

const QueryLines kAdvAdapterLines = {
    "%s - libGetAdvAdapterData got User exception %d: %s",
    nullptr,
    "%s - libGetAdvAdapterData got std exception: %s",
    false,
    "libGetAdvAdapterData got default exception for %s",
    nullptr,
    "%s - libGetAdvAdapterData returned error %d: %s, returned INTERNAL_OPER_FAILED",
    "<-- ZnajCxnMethods::getAdvAdapterInfo()",
    "Adv Info is NOT available",
    nullptr,
};

const char kFcPortFailed[] = "<-- ZnajCxnMethods::getFcPortDetails()-INTERNAL_OPER_FAILED";
const QueryLines kFcPortLines = {
    "%s - libGetPortByWwn got User exception %d: %s",
    "<-- ZnajCxnMethods::getFcPortDetails()-failed",
    "%s - libGetPortByWwn got std exception: %s",
    false,
    "libGetPortByWwn got default exception for %s",
    kFcPortFailed,
    "%s - libGetPortByWwn got User exception %d: %s, returned INTERNAL_OPER_FAILED",
    nullptr,
    "FC Port Info is NOT available",
    kFcPortFailed,
};

const char kEthPortFailed[] = "<-- ZnajCxnMethods::getEthPortDetails()-INTERNAL_OPER_FAILED";
const QueryLines kEthPortLines = {
    "%s - libGetEthPortByEthMac got User exception %d: %s",
    "<-- ZnajCxnMethods::getEthPortDetails()-failed",
    "%s - libGetEthPortByEthMac got std exception: %s",
    false,
    "libGetEthPortByEthMac got default exception for %s",
    kEthPortFailed,
    "%s - libGetEthPortByEthMac got User \t\t\texception %d: %s, returned "
    "INTERNAL_OPER_FAILED",
    "<-- ZnajCxnMethods::getEthPortDetails()",
    "Ethernet Port Info is NOT available",
    kEthPortFailed,
};

const QueryLines kPortLines = {
    "%s - libGetPortByWwn got User exception %d: %s",
    nullptr,
    "%s - libGetPortByWwn got std exception: %s",
    false,
    "libGetPortByWwn got default exception for %s",
    nullptr,
    "%s - libGetPortByWwn got User exception %d: %s, returned INTERNAL_OPER_FAILED",
    "<-- ZnajCxnMethods::getPortDetails()",
    "Port Info is NOT available",
    nullptr,
};

const char kAllFcExit[] = "<-- ZnajCxnMethods::getAllFcPortDetailsByAdapter()";
const char kAllFcFailed[] =
    "<-- ZnajCxnMethods::getAllFcPortDetailsByAdapter() returned INTERNAL_OPER_FAILED";
// The shape check here covers only a null answer; the method itself checks "indexStrings",
// because each of its missing parts has its own line.
const QueryLines kAllFcLines = {
    "%s - libGetFcPhyPortIndicesByAdapter got User exception %d: %s, returned "
    "j.getErrorCode()",
    kAllFcExit,
    "libGetFcPhyPortIndicesByAdapter got std exception: %s-%p,  returned "
    "INTERNAL_OPER_FAILED",
    true,
    "%s - libGetFcPhyPortIndicesByAdapter got default exception,  returned "
    "INTERNAL_OPER_FAILED",
    kAllFcExit,
    "%s - libGetFcPhyPortIndicesByAdapter got User exception %d: %s, returned "
    "INTERNAL_OPER_FAILED",
    kAllFcExit,
    "Unable to get adapater details. FcIndicesResponse.isNull()",
    kAllFcFailed,
};

const char kAllEthExit[] = "<-- ZnajCxnMethods::getAllEthPortDetailsByAdapter()";
const QueryLines kAllEthLines = {
    "%s - libGetEthPhyPortIndicesByAdapter got\t\t\tUser exception %d: %s, returned "
    "INTERNAL_OPER_FAILED",
    kAllEthExit,
    "libGetEthPhyPortIndicesByAdapter got std \t\t\texception: %s-%p,  returned "
    "INTERNAL_OPER_FAILED",
    true,
    "%s - libGetEthPhyPortIndicesByAdapter got\t\t\tdefault exception,  returned "
    "INTERNAL_OPER_FAILED",
    kAllEthExit,
    "%s - libGetEthPhyPortIndicesByAdapter got User\t\t\texception %d: %s, returned "
    "INTERNAL_OPER_FAILED",
    kAllEthExit,
    "Unable to get adapater details for \t\t\t%s returned INTERNAL_OPER_FAILED",
    kAllEthExit,
};

}  // namespace

ZnajCxnMethods* ZnajCxnMethods::m_znajCxnMethodsObj = nullptr;

ZnajCxnMethods* ZnajCxnMethods::getZnajCxnMethodsInstance() {
  if (m_znajCxnMethodsObj == nullptr) m_znajCxnMethodsObj = &gznajCxnMethodsObj;
  return m_znajCxnMethodsObj;
}

int ZnajCxnMethods::getAdapterDetails(std::string index, Json::Value& adapter) {
  int rc = run_query(
      index, kAdapterLines, [&] { return libGetHbaByWwn(index_request(index)); },
      [](const Json::Value& a) {
        return !a.isNull() && has_member(a, "hbaData") && has_member(a, "driver");
      },
      adapter);
  if (rc != 0) return rc;
  VXINS_LOG_TRACE(LOG_INFO, "<-- ZnajCxnMethods::getAdapterDetails()-success");
  return 0;
}

int ZnajCxnMethods::getAdvAdapterInfo(std::string index, Json::Value& flash_resp) {
  return run_query(
      index, kAdvAdapterLines,
      [&] { return libGetAdvAdapterData(single_request("indexStr", index)); }, not_null,
      flash_resp);
}

int ZnajCxnMethods::getFcPortDetails(std::string index, Json::Value& fcport) {
  return run_query(
      index, kFcPortLines, [&] { return libGetPortByWwn(single_request("wwn", index)); },
      not_null, fcport);
}

int ZnajCxnMethods::getEthPortDetails(std::string index, Json::Value& port) {
  return run_query(
      index, kEthPortLines, [&] { return libGetEthPortByEthMac(single_request("mac", index)); },
      [](const Json::Value& p) {
        return !p.isNull() && has_member(p, "ethData") && p["ethData"].isObject();
      },
      port);
}

int ZnajCxnMethods::getPortDetails(std::string index, Json::Value& port) {
  return run_query(
      index, kPortLines, [&] { return libGetPortByWwn(index_request(index)); }, not_null, port);
}

int ZnajCxnMethods::getAllFcPortDetailsByAdapter(std::string index, Json::Value& portlist) {
  if (!portlist.isNull() && !portlist.isArray()) {
    log_error("getAllFcPortDetailsByAdapter: the port list passed in is not an array");
    log_error(kAllFcFailed);
    return INTERNAL_OPER_FAILED;
  }
  Json::Value FcIndicesResponse;
  int rc = run_query(
      index, kAllFcLines,
      [&] { return libGetFcPhyPortIndicesByAdapter(single_request("indexStr", index)); },
      not_null, FcIndicesResponse);
  if (rc != 0) return rc;
  if (!has_member(FcIndicesResponse, STR_INDEX_STRINGS)) {
    log_error("Unable to get adapater details. !FcIndicesResponse.isMember(STR_INDEX_STRINGS)");
    log_error(kAllFcFailed);
    return INTERNAL_OPER_FAILED;
  }
  const Json::Value& ports = FcIndicesResponse[STR_INDEX_STRINGS];
  if (!ports.isArray()) {
    log_error(kAllFcFailed);
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
    int port_rc = getFcPortDetails(port_index, fcport);
    if (port_rc == 0) {
      portlist.append(fcport);
    } else {
      snprintf(gLogBuf, sizeof gLogBuf,
               "Unable to fetch the Fc port details for %s, returned(retVal=%d)",
               port_index.c_str(), port_rc);
      log_error_fmt_done();
    }
  }
  return 0;
}

int ZnajCxnMethods::getAllEthPortDetailsByAdapter(std::string index, Json::Value& portlist) {
  // Appending to anything but an array (or null) would make JsonCpp throw.
  if (!portlist.isNull() && !portlist.isArray()) {
    log_error("getAllEthPortDetailsByAdapter: the port list passed in is not an array");
    log_error(kAllEthExit);
    return INTERNAL_OPER_FAILED;
  }
  Json::Value EthIndicesResponse;
  int rc = run_query(
      index, kAllEthLines,
      [&] { return libGetEthPhyPortIndicesByAdapter(single_request("indexStr", index)); },
      [](const Json::Value& r) {
        return !r.isNull() && has_member(r, STR_INDEX_STRINGS) && r[STR_INDEX_STRINGS].isArray();
      },
      EthIndicesResponse);
  if (rc != 0) return rc;
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

namespace {

// The check and the conversion both come from JsonCpp, so they cannot disagree.
template <typename T>
bool convert_scalar(const Json::Value& value, Json::ValueType to, T (Json::Value::*as)() const,
                    T& out) {
  if (!value.isConvertibleTo(to)) return false;
  out = (value.*as)();
  return true;
}

}  // namespace

bool qrvl_agent_scalar(const Json::Value& value, std::string& out) {
  return convert_scalar(value, Json::stringValue, &Json::Value::asString, out);
}

bool qrvl_agent_scalar(const Json::Value& value, Json::UInt& out) {
  return convert_scalar(value, Json::uintValue, &Json::Value::asUInt, out);
}

bool qrvl_agent_scalar(const Json::Value& value, Json::Int& out) {
  return convert_scalar(value, Json::intValue, &Json::Value::asInt, out);
}

unsigned int qrvl_get_num_of_adapters() {
  unsigned int count = libGetNumOfAdapters();
  snprintf(gLogBuf, sizeof gLogBuf, "getDeviceVector QRVL Adapter Count = %d\n",
           static_cast<int>(count));
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
  return count;
}
