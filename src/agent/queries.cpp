// The agent query methods. Every call goes through run_query, which holds the guarded call,
// the error-answer check and the shape check; each method only names its call, its acceptance
// test and its own log texts (QueryLines). Answers are type-checked before any as*() or member
// lookup, because JsonCpp throws on a lookup in a value of the wrong type.
#include "agent/queries.h"

#include "agent/answer_values.h"
#include "entry_points.h"
#include "guarded_call.h"
#include "log/log.h"
#include "vxins_host_api.h"
#include "vxins_trace.h"

namespace vxins {
namespace agent {

namespace {

const char kIndexStrings[] = "indexStrings";
const int kFailed = VXINS_RC_INTERNAL_OPER_FAILED;

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
    if (error.isMember("code")) read_scalar(error["code"], refusal.code);
    if (error.isMember("message") && error["message"].isString())
      refusal.message = error["message"].asString();
  }
  return refusal;
}

bool has_member(const Json::Value& answer, const char* key) {
  return answer.isObject() && answer.isMember(key);
}

// A second ("exit") line; nullptr where the method logs none at that point.
void log_exit(const char* line) {
  if (line != nullptr) log::utility.error("%s", line);
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

// The format strings come from the tables below, each written for exactly these arguments.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

// The line of a call that threw; returns the code the method reports.
int log_thrown(const std::string& index, const QueryLines& lines, const CallOutcome& outcome) {
  const char* i = index.c_str();
  switch (outcome.kind) {
    case CallOutcome::Kind::kAgentError:
      log::utility.error(lines.agent_error, i, outcome.code, outcome.text.c_str());
      log_exit(lines.agent_error_exit);
      return outcome.code;
    case CallOutcome::Kind::kStdException:
      if (lines.what_as_address)
        log::utility.error(lines.std_error, i, outcome.what_address);
      else
        log::utility.error(lines.std_error, i, outcome.text.c_str());
      break;
    default:
      log::utility.error(lines.other_error, i);
      break;
  }
  log_exit(lines.exception_exit);
  return kFailed;
}

// Calls the agent and stores its answer in `answer` (left as it was when the call throws),
// then checks for an error answer and the method's acceptance test. Returns 0, the thrown
// HbaAgentError's errCode, or 1001.
template <typename Call, typename Accept>
int run_query(const std::string& index, const QueryLines& lines, Call call, Accept accepted,
              Json::Value& answer) {
  CallOutcome outcome = guarded_call([&] { answer = call(); });
  if (outcome.threw()) return log_thrown(index, lines, outcome);
  AgentRefusal refusal = read_refusal(answer);
  if (refusal.present) {
    log::utility.error(lines.refusal, index.c_str(), refusal.code, refusal.message.c_str());
    log_exit(lines.refusal_exit);
    return kFailed;
  }
  if (!accepted(answer)) {
    log::utility.error(lines.rejected, index.c_str(), kFailed);
    log_exit(lines.rejected_exit);
    return kFailed;
  }
  return 0;
}

#pragma GCC diagnostic pop

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

// The port indices of an adapter's list answer, then each port's details appended to ports.
template <typename PortQuery, typename OnFailure>
void collect_ports(const std::string& adapter, const Json::Value& indices, const char* kind,
                   PortQuery query, OnFailure on_failure, Json::Value& ports) {
  for (Json::ArrayIndex i = 0; i < indices.size(); ++i) {
    if (!indices[i].isString()) {
      log::utility.error("Skipping %s port %u of %s: its index is not a string", kind, i,
                         adapter.c_str());
      continue;
    }
    std::string port_index = indices[i].asString();
    Json::Value port;
    int rc = query(port_index, port);
    if (rc == 0)
      ports.append(port);
    else
      on_failure(port_index, rc);
  }
}

}  // namespace

int adapter_details(const std::string& index, Json::Value& adapter) {
  int rc = run_query(
      index, kAdapterLines, [&] { return libGetHbaByWwn(index_request(index)); },
      [](const Json::Value& a) {
        return !a.isNull() && has_member(a, "hbaData") && has_member(a, "driver");
      },
      adapter);
  if (rc != 0) return rc;
  log::utility.info("%s", trace::kAdapterAnswered);
  return 0;
}

int advanced_adapter_info(const std::string& index, Json::Value& answer) {
  return run_query(
      index, kAdvAdapterLines,
      [&] { return libGetAdvAdapterData(single_request("indexStr", index)); }, not_null, answer);
}

int fc_port_details(const std::string& index, Json::Value& port) {
  return run_query(
      index, kFcPortLines, [&] { return libGetPortByWwn(single_request("wwn", index)); },
      not_null, port);
}

int eth_port_details(const std::string& index, Json::Value& port) {
  return run_query(
      index, kEthPortLines, [&] { return libGetEthPortByEthMac(single_request("mac", index)); },
      [](const Json::Value& p) {
        return !p.isNull() && has_member(p, "ethData") && p["ethData"].isObject();
      },
      port);
}

int all_fc_port_details(const std::string& index, Json::Value& ports) {
  if (!ports.isNull() && !ports.isArray()) {
    log::utility.error("getAllFcPortDetailsByAdapter: the port list passed in is not an array");
    log::utility.error("%s", kAllFcFailed);
    return kFailed;
  }
  Json::Value answer;
  int rc = run_query(
      index, kAllFcLines,
      [&] { return libGetFcPhyPortIndicesByAdapter(single_request("indexStr", index)); },
      not_null, answer);
  if (rc != 0) return rc;
  if (!has_member(answer, kIndexStrings)) {
    log::utility.error(
        "Unable to get adapater details. !FcIndicesResponse.isMember(STR_INDEX_STRINGS)");
    log::utility.error("%s", kAllFcFailed);
    return kFailed;
  }
  if (!answer[kIndexStrings].isArray()) {
    log::utility.error("%s", kAllFcFailed);
    return kFailed;
  }
  collect_ports(
      index, answer[kIndexStrings], "Fc",
      [](const std::string& port, Json::Value& out) {
        log::utility.error("Fetch the Fc port details for %s", port.c_str());
        return fc_port_details(port, out);
      },
      [](const std::string& port, int port_rc) {
        log::utility.error("Unable to fetch the Fc port details for %s, returned(retVal=%d)",
                           port.c_str(), port_rc);
      },
      ports);
  return 0;
}

int all_eth_port_details(const std::string& index, Json::Value& ports) {
  // Appending to anything but an array (or null) would make JsonCpp throw.
  if (!ports.isNull() && !ports.isArray()) {
    log::utility.error("getAllEthPortDetailsByAdapter: the port list passed in is not an array");
    log::utility.error("%s", kAllEthExit);
    return kFailed;
  }
  Json::Value answer;
  int rc = run_query(
      index, kAllEthLines,
      [&] { return libGetEthPhyPortIndicesByAdapter(single_request("indexStr", index)); },
      [](const Json::Value& r) {
        return !r.isNull() && has_member(r, kIndexStrings) && r[kIndexStrings].isArray();
      },
      answer);
  if (rc != 0) return rc;
  collect_ports(index, answer[kIndexStrings], "Eth", eth_port_details,
                [](const std::string& port, int) {
                  log::utility.error("Unable to get Eth port data for %s", port.c_str());
                },
                ports);
  return 0;
}

}  // namespace agent
}  // namespace vxins
