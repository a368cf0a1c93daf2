// The query methods against the simulator's injected faults and malformed answers: codes, exact
// log lines, what the out-parameter holds and what reached the agent, for every method and every
// way the agent can fail; then the port lists' edge cases.
#include "agent/queries.h"

#include "agent_test_env.h"

namespace {

using agenttest::AgentTest;
using agenttest::default_inventory;
using agenttest::fault;
using agenttest::lines_match;
using namespace vxins::agent;

#define A "20:00:00:0e:1e:c4:51:10"  // the FC HBA
#define C "00:0e:1e:d2:7a:40"        // the CNA
#define F "21:00:00:0e:1e:c4:51:10"  // an FC port
#define E "00:0e:1e:d2:7a:42"        // an Ethernet port

std::string err(const std::string& text) { return "LOG_ERROR : " + text; }

typedef int (*QueryFn)(const std::string&, Json::Value&);

struct Query {
  const char* name;
  QueryFn fn;
  const char* index;
  const char* symbol;
  bool list;  // a port list: the caller's array is appended to, never replaced
};

const Query kAdapter = {"AdapterDetails", adapter_details, A, "getHbaByWwn", false};
const Query kAdapterByMac = {"AdapterDetailsByMac", adapter_details, C, "getHbaByWwn", false};
const Query kAdv = {"AdvAdapterInfo", advanced_adapter_info, A, "getAdvAdapterData", false};
const Query kFcPort = {"FcPortDetails", fc_port_details, F, "getPortByWwn", false};
const Query kEthPort = {"EthPortDetails", eth_port_details, E, "getEthPortByEthMac", false};
const Query kFcList = {"FcPortList", all_fc_port_details, A, "getFcPhyPortIndicesByAdapter", true};
const Query kEthList = {"EthPortList", all_eth_port_details, C, "getEthPhyPortIndicesByAdapter",
                        true};

// What the out-parameter holds afterwards.
enum class Out {
  kUntouched,  // the caller's value (also every port list's)
  kError,      // the agent's error answer
  kServed,     // the rejected answer: the row's own, or the simulator's wrong shape
  kNull,       // the null answer
};

struct FaultCase {
  const char* name;
  const Query* query;
  const char* kind;    // the simulator's fault kind; "answer" serves `answer` verbatim
  const char* answer;  // JSON, for "answer"
  int code;
  std::vector<std::string> lines;
  Out out;
};

// Parameters print as their case name (not as raw bytes, padding included).
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.query->name << "_" << c.name; }

class QueryFaultTest : public AgentTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(QueryFaultTest, ReturnsCodeLogsAndKeepsOut) {
  const FaultCase& c = GetParam();
  const Query& q = *c.query;
  const std::string kind = c.kind;
  Json::Value f = fault(q.symbol, kind, q.index, kind == "error" ? 3 : 5,
                        kind == "error" ? "bad index" : "agent says no");
  if (c.answer != nullptr) f["answer"] = agenttest::parse(c.answer);
  Json::Value inventory = default_inventory();
  inventory["faults"].append(f);
  ASSERT_EQ(start_session(inventory), 0);

  Json::Value untouched("untouched");
  if (q.list) {
    untouched = Json::Value(Json::arrayValue);
    untouched.append("untouched");
  }
  Json::Value out = untouched;
  int rc = -12345;
  // Answers of the wrong JSON type used to make JsonCpp throw out of the methods.
  EXPECT_NO_THROW(rc = q.fn(q.index, out));
  EXPECT_EQ(rc, c.code);
  EXPECT_TRUE(lines_match(log_.lines(), c.lines));
  switch (c.out) {
    case Out::kUntouched: EXPECT_EQ(out, untouched); break;
    case Out::kError:
      ASSERT_TRUE(out.isObject()) << agenttest::to_text(out);
      EXPECT_EQ(out["error"]["code"].asInt(), 3);
      EXPECT_EQ(out["error"]["message"].asString(), "bad index");
      break;
    case Out::kServed:
      if (c.answer != nullptr) {
        EXPECT_EQ(out, agenttest::parse(c.answer));
      } else {
        ASSERT_TRUE(out.isObject()) << agenttest::to_text(out);
        EXPECT_FALSE(out.isMember("error"));
      }
      break;
    case Out::kNull: EXPECT_TRUE(out.isNull()); break;
  }
  // The call reached the agent with the index (the journal has it as thrown where it threw).
  Json::Value last = journal().back();
  EXPECT_EQ(last["symbol"].asString(), q.symbol);
  EXPECT_NE(agenttest::to_text(last["request"]).find(q.index), std::string::npos);
  if (kind.compare(0, 5, "throw") == 0) {
    EXPECT_EQ(last["threw"].asString(), kind);
  }
}

const char kAdapterExit[] = "<-- ZnajCxnMethods::getAdapterDetails()";
const char kFcFailed[] = "<-- ZnajCxnMethods::getFcPortDetails()-INTERNAL_OPER_FAILED";
const char kEthFailed[] = "<-- ZnajCxnMethods::getEthPortDetails()-INTERNAL_OPER_FAILED";
const char kFcListExit[] = "<-- ZnajCxnMethods::getAllFcPortDetailsByAdapter()";
const char kFcListFailed[] =
    "<-- ZnajCxnMethods::getAllFcPortDetailsByAdapter() returned INTERNAL_OPER_FAILED";
const char kEthListExit[] = "<-- ZnajCxnMethods::getAllEthPortDetailsByAdapter()";
const char kNoIndexStrings[] =
    "Unable to get adapater details. !FcIndicesResponse.isMember(STR_INDEX_STRINGS)";

const FaultCase kFaultCases[] = {
    {"AgentError", &kAdapter, "throwAgent", nullptr, 5,
     {err(A " - libGetHbaByWwn got User exception 5:\t\t\tagent says no, returned "
            "INTERNAL_OPER_FAILED"),
      err(kAdapterExit)},
     Out::kUntouched},
    {"StdException", &kAdapter, "throwStd", nullptr, 1001,
     {err("libGetHbaByWwn got std exception: " A "-{PTR},\t\t\treturned INTERNAL_OPER_FAILED"),
      err(kAdapterExit)},
     Out::kUntouched},
    {"OtherThrow", &kAdapter, "throwOther", nullptr, 1001,
     {err(A " - libGetHbaByWwn got default exception,\t\t\treturned INTERNAL_OPER_FAILED"),
      err(kAdapterExit)},
     Out::kUntouched},
    {"ErrorAnswer", &kAdapter, "error", nullptr, 1001,
     {err(A " - libGetHbaByWwn got User exception 3:\t\t\tbad index, returned "
            "INTERNAL_OPER_FAILED"),
      err(kAdapterExit)},
     Out::kError},
    // The simulator's shape for getHbaByWwn lacks "driver".
    {"NoDriver", &kAdapter, "shape", nullptr, 1001,
     {err("Unable to get adapater details for " A "-1001\t\t\treturned with INTERNAL_OPER_FAILED"),
      err(kAdapterExit)},
     Out::kServed},
    {"NullAnswer", &kAdapterByMac, "null", nullptr, 1001,
     {err("Unable to get adapater details for " C "-1001\t\t\treturned with INTERNAL_OPER_FAILED"),
      err(kAdapterExit)},
     Out::kNull},
    {"AsString", &kAdapter, "answer", "\"adapter\"", 1001,
     {err("Unable to get adapater details for " A "-1001\t\t\treturned with INTERNAL_OPER_FAILED"),
      err(kAdapterExit)},
     Out::kServed},
    {"ErrorNotAnObject", &kAdapter, "answer", "{\"error\": \"boom\"}", 1001,
     {err(A " - libGetHbaByWwn got User exception 0:\t\t\t, returned INTERNAL_OPER_FAILED"),
      err(kAdapterExit)},
     Out::kServed},

    {"AgentError", &kAdv, "throwAgent", nullptr, 5,
     {err(A " - libGetAdvAdapterData got User exception 5: agent says no")}, Out::kUntouched},
    {"StdException", &kAdv, "throwStd", nullptr, 1001,
     {err(A " - libGetAdvAdapterData got std exception: agent says no")}, Out::kUntouched},
    {"OtherThrow", &kAdv, "throwOther", nullptr, 1001,
     {err("libGetAdvAdapterData got default exception for " A)}, Out::kUntouched},
    {"ErrorAnswer", &kAdv, "error", nullptr, 1001,
     {err(A " - libGetAdvAdapterData returned error 3: bad index, returned INTERNAL_OPER_FAILED"),
      err("<-- ZnajCxnMethods::getAdvAdapterInfo()")},
     Out::kError},
    {"NullAnswer", &kAdv, "null", nullptr, 1001, {err("Adv Info is NOT available")}, Out::kNull},

    {"AgentError", &kFcPort, "throwAgent", nullptr, 5,
     {err(F " - libGetPortByWwn got User exception 5: agent says no"),
      err("<-- ZnajCxnMethods::getFcPortDetails()-failed")},
     Out::kUntouched},
    {"StdException", &kFcPort, "throwStd", nullptr, 1001,
     {err(F " - libGetPortByWwn got std exception: agent says no"), err(kFcFailed)},
     Out::kUntouched},
    {"OtherThrow", &kFcPort, "throwOther", nullptr, 1001,
     {err("libGetPortByWwn got default exception for " F), err(kFcFailed)}, Out::kUntouched},
    {"ErrorAnswer", &kFcPort, "error", nullptr, 1001,
     {err(F " - libGetPortByWwn got User exception 3: bad index, returned INTERNAL_OPER_FAILED")},
     Out::kError},
    {"NullAnswer", &kFcPort, "null", nullptr, 1001,
     {err("FC Port Info is NOT available"), err(kFcFailed)}, Out::kNull},
    // An error answer's code is read as JsonCpp's asInt reads it, its message only when text.
    {"ErrorMembersWrongTypes", &kFcPort, "answer", "{\"error\": {\"code\": \"7\", \"message\": 7}}",
     1001, {err(F " - libGetPortByWwn got User exception 0: , returned INTERNAL_OPER_FAILED")},
     Out::kServed},
    {"ErrorCodeTooLarge", &kFcPort, "answer",
     "{\"error\": {\"code\": 4294967295, \"message\": \"m\"}}", 1001,
     {err(F " - libGetPortByWwn got User exception 0: m, returned INTERNAL_OPER_FAILED")},
     Out::kServed},
    {"ErrorCodeFractional", &kFcPort, "answer", "{\"error\": {\"code\": 3.5, \"message\": \"m\"}}",
     1001, {err(F " - libGetPortByWwn got User exception 3: m, returned INTERNAL_OPER_FAILED")},
     Out::kServed},

    {"AgentError", &kEthPort, "throwAgent", nullptr, 5,
     {err(E " - libGetEthPortByEthMac got User exception 5: agent says no"),
      err("<-- ZnajCxnMethods::getEthPortDetails()-failed")},
     Out::kUntouched},
    {"StdException", &kEthPort, "throwStd", nullptr, 1001,
     {err(E " - libGetEthPortByEthMac got std exception: agent says no"), err(kEthFailed)},
     Out::kUntouched},
    {"OtherThrow", &kEthPort, "throwOther", nullptr, 1001,
     {err("libGetEthPortByEthMac got default exception for " E), err(kEthFailed)},
     Out::kUntouched},
    {"ErrorAnswer", &kEthPort, "error", nullptr, 1001,
     {err(E " - libGetEthPortByEthMac got User \t\t\texception 3: bad index, returned "
            "INTERNAL_OPER_FAILED"),
      err("<-- ZnajCxnMethods::getEthPortDetails()")},
     Out::kError},
    // The simulator's shape for getEthPortByEthMac has "ethData" as a string.
    {"EthDataString", &kEthPort, "shape", nullptr, 1001,
     {err("Ethernet Port Info is NOT available"), err(kEthFailed)}, Out::kServed},
    {"AsArray", &kEthPort, "answer", "[1, 2]", 1001,
     {err("Ethernet Port Info is NOT available"), err(kEthFailed)}, Out::kServed},

    {"AgentError", &kFcList, "throwAgent", nullptr, 5,
     {err(A " - libGetFcPhyPortIndicesByAdapter got User exception 5: agent says no, returned "
            "j.getErrorCode()"),
      err(kFcListExit)},
     Out::kUntouched},
    {"StdException", &kFcList, "throwStd", nullptr, 1001,
     {err("libGetFcPhyPortIndicesByAdapter got std exception: " A
          "-{PTR},  returned INTERNAL_OPER_FAILED"),
      err(kFcListExit)},
     Out::kUntouched},
    {"OtherThrow", &kFcList, "throwOther", nullptr, 1001,
     {err(A " - libGetFcPhyPortIndicesByAdapter got default exception,  returned "
            "INTERNAL_OPER_FAILED"),
      err(kFcListExit)},
     Out::kUntouched},
    {"ErrorAnswer", &kFcList, "error", nullptr, 1001,
     {err(A " - libGetFcPhyPortIndicesByAdapter got User exception 3: bad index, returned "
            "INTERNAL_OPER_FAILED"),
      err(kFcListExit)},
     Out::kUntouched},
    {"NullAnswer", &kFcList, "null", nullptr, 1001,
     {err("Unable to get adapater details. FcIndicesResponse.isNull()"), err(kFcListFailed)},
     Out::kUntouched},
    // "indexStrings" an object: only the exit line.
    {"IndexStringsObject", &kFcList, "shape", nullptr, 1001, {err(kFcListFailed)},
     Out::kUntouched},
    {"NoIndexStrings", &kFcList, "answer", "{}", 1001,
     {err(kNoIndexStrings), err(kFcListFailed)}, Out::kUntouched},
    {"AsString", &kFcList, "answer", "\"ports\"", 1001,
     {err(kNoIndexStrings), err(kFcListFailed)}, Out::kUntouched},
    {"ErrorAsArray", &kFcList, "answer", "{\"error\": [1]}", 1001,
     {err(A " - libGetFcPhyPortIndicesByAdapter got User exception 0: , returned "
            "INTERNAL_OPER_FAILED"),
      err(kFcListExit)},
     Out::kUntouched},

    {"AgentError", &kEthList, "throwAgent", nullptr, 5,
     {err(C " - libGetEthPhyPortIndicesByAdapter got\t\t\tUser exception 5: agent says no, "
            "returned INTERNAL_OPER_FAILED"),
      err(kEthListExit)},
     Out::kUntouched},
    {"StdException", &kEthList, "throwStd", nullptr, 1001,
     {err("libGetEthPhyPortIndicesByAdapter got std \t\t\texception: " C
          "-{PTR},  returned INTERNAL_OPER_FAILED"),
      err(kEthListExit)},
     Out::kUntouched},
    {"OtherThrow", &kEthList, "throwOther", nullptr, 1001,
     {err(C " - libGetEthPhyPortIndicesByAdapter got\t\t\tdefault exception,  returned "
            "INTERNAL_OPER_FAILED"),
      err(kEthListExit)},
     Out::kUntouched},
    {"ErrorAnswer", &kEthList, "error", nullptr, 1001,
     {err(C " - libGetEthPhyPortIndicesByAdapter got User\t\t\texception 3: bad index, returned "
            "INTERNAL_OPER_FAILED"),
      err(kEthListExit)},
     Out::kUntouched},
    {"IndexStringsObject", &kEthList, "shape", nullptr, 1001,
     {err("Unable to get adapater details for \t\t\t" C " returned INTERNAL_OPER_FAILED"),
      err(kEthListExit)},
     Out::kUntouched},
    {"AsNumber", &kEthList, "answer", "42", 1001,
     {err("Unable to get adapater details for \t\t\t" C " returned INTERNAL_OPER_FAILED"),
      err(kEthListExit)},
     Out::kUntouched},
};

INSTANTIATE_TEST_SUITE_P(Faults, QueryFaultTest, ::testing::ValuesIn(kFaultCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                           return std::string(info.param.query->name) + "_" + info.param.name;
                         });

#undef A
#undef C
#undef F
#undef E

const char kFcAdapter[] = "20:00:00:0e:1e:c4:51:10";
const char kCnaAdapter[] = "00:0e:1e:d2:7a:40";
const char kEthPortMac[] = "00:0e:1e:d2:7a:42";

using QueryTest = AgentTest;

TEST_F(QueryTest, AdapterDetailsKeysByIndexLength) {
  ASSERT_EQ(start_session(default_inventory()), 0);
  Json::Value adapter;
  ASSERT_EQ(adapter_details(kFcAdapter, adapter), 0);
  EXPECT_EQ(adapter["hbaData"]["model"].asString(), "Quorvel-QF2742");
  EXPECT_EQ(adapter["driver"]["storageDriverVersion"].asString(), "10.02.09.00-k debug");
  ASSERT_EQ(adapter_details(kCnaAdapter, adapter), 0);
  EXPECT_EQ(adapter["hbaData"]["model"].asString(), "Quorvel-QC8442");
  EXPECT_TRUE(
      lines_match(log_.lines(), {"LOG_INFO : <-- ZnajCxnMethods::getAdapterDetails()-success",
                                 "LOG_INFO : <-- ZnajCxnMethods::getAdapterDetails()-success"}));
  std::vector<Json::Value> calls = journal();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(agenttest::to_text(calls[calls.size() - 2]["request"]),
            std::string("{\"wwn\":\"") + kFcAdapter + "\"}");
  EXPECT_EQ(agenttest::to_text(calls.back()["request"]),
            std::string("{\"mac\":\"") + kCnaAdapter + "\"}");
}

TEST_F(QueryTest, SingleQueriesSendTheirRequests) {
  ASSERT_EQ(start_session(default_inventory()), 0);
  Json::Value out;
  EXPECT_EQ(advanced_adapter_info(kCnaAdapter, out), 0);
  EXPECT_EQ(out["flashedBiosVersion"].asString(), "3.2.0.0_b17");
  EXPECT_EQ(fc_port_details("21:00:00:0e:1e:c4:51:10", out), 0);
  EXPECT_EQ(out["hardwarePath"].asString(), "0000:0a:00.0");
  EXPECT_EQ(eth_port_details(kEthPortMac, out), 0);
  EXPECT_EQ(out["ethData"]["macAddress"].asString(), kEthPortMac);
  EXPECT_TRUE(log_.lines().empty());
  std::vector<Json::Value> calls = journal();
  ASSERT_GE(calls.size(), 3u);
  const char* expected[3][2] = {{"getAdvAdapterData", "{\"indexStr\":\"00:0e:1e:d2:7a:40\"}"},
                                {"getPortByWwn", "{\"wwn\":\"21:00:00:0e:1e:c4:51:10\"}"},
                                {"getEthPortByEthMac", "{\"mac\":\"00:0e:1e:d2:7a:42\"}"}};
  for (size_t i = 0; i < 3; ++i) {
    const Json::Value& call = calls[calls.size() - 3 + i];
    EXPECT_EQ(call["symbol"].asString(), expected[i][0]);
    EXPECT_EQ(agenttest::to_text(call["request"]), expected[i][1]);
  }
}

TEST_F(QueryTest, FcListWithOneFailingPortKeepsTheOthers) {
  Json::Value inventory = default_inventory();
  Json::Value& ports = inventory["adapters"][0]["fcPorts"];
  Json::Value third = ports[1];
  third["wwn"] = "21:00:00:0e:1e:c4:51:12";
  ports.append(third);
  inventory["faults"].append(fault("getPortByWwn", "error", "21:00:00:0e:1e:c4:51:11", 3, "gone"));
  ASSERT_EQ(start_session(inventory), 0);
  Json::Value portlist;
  EXPECT_EQ(all_fc_port_details(kFcAdapter, portlist), 0);
  ASSERT_TRUE(portlist.isArray());
  ASSERT_EQ(portlist.size(), 2u);
  EXPECT_EQ(portlist[0]["wwn"].asString(), "21:00:00:0e:1e:c4:51:10");
  EXPECT_EQ(portlist[1]["wwn"].asString(), "21:00:00:0e:1e:c4:51:12");
  EXPECT_TRUE(lines_match(
      log_.lines(),
      {err("Fetch the Fc port details for 21:00:00:0e:1e:c4:51:10"),
       err("Fetch the Fc port details for 21:00:00:0e:1e:c4:51:11"),
       err("21:00:00:0e:1e:c4:51:11 - libGetPortByWwn got User exception 3: gone, returned "
           "INTERNAL_OPER_FAILED"),
       err("Unable to fetch the Fc port details for 21:00:00:0e:1e:c4:51:11, "
           "returned(retVal=1001)"),
       err("Fetch the Fc port details for 21:00:00:0e:1e:c4:51:12")}));
}

TEST_F(QueryTest, EthListWithOneFailingPortKeepsTheOther) {
  Json::Value inventory = default_inventory();
  inventory["faults"].append(
      fault("getEthPortByEthMac", "throwAgent", kEthPortMac, 4, "link down"));
  ASSERT_EQ(start_session(inventory), 0);
  Json::Value portlist;
  EXPECT_EQ(all_eth_port_details(kCnaAdapter, portlist), 0);
  ASSERT_EQ(portlist.size(), 1u);
  EXPECT_EQ(portlist[0]["ethData"]["macAddress"].asString(), "00:0e:1e:d2:7a:40");
  EXPECT_TRUE(lines_match(
      log_.lines(),
      {err(std::string(kEthPortMac) + " - libGetEthPortByEthMac got User exception 4: link down"),
       err("<-- ZnajCxnMethods::getEthPortDetails()-failed"),
       err(std::string("Unable to get Eth port data for ") + kEthPortMac)}));
}

TEST_F(QueryTest, PortListsAppendToWhatTheCallerPassed) {
  ASSERT_EQ(start_session(default_inventory()), 0);
  Json::Value portlist(Json::arrayValue);
  portlist.append("earlier");
  EXPECT_EQ(all_eth_port_details(kCnaAdapter, portlist), 0);
  EXPECT_EQ(all_fc_port_details(kCnaAdapter, portlist), 0);
  ASSERT_EQ(portlist.size(), 5u);
  EXPECT_EQ(portlist[0].asString(), "earlier");
  EXPECT_EQ(portlist[2]["ethData"]["hardwarePath"].asString(), "0000:81:00.1");
  EXPECT_EQ(portlist[4]["portMode"].asString(), "CNA");
}

TEST_F(QueryTest, EmptyPortListsReturnAtOnce) {
  ASSERT_EQ(start_session(default_inventory()), 0);
  Json::Value portlist;
  // The FC HBA has no Ethernet ports, the Ethernet adapter no FC ports.
  EXPECT_EQ(all_eth_port_details(kFcAdapter, portlist), 0);
  EXPECT_EQ(all_fc_port_details("00:0e:1e:e5:19:30", portlist), 0);
  EXPECT_TRUE(portlist.isNull());
  EXPECT_TRUE(log_.lines().empty());
}

TEST_F(QueryTest, PortListSkipsIndicesThatAreNotStrings) {
  // Non-string elements were read as C strings, which makes JsonCpp throw out of the method.
  Json::Value inventory = default_inventory();
  Json::Value fc = fault("getFcPhyPortIndicesByAdapter", "answer", kFcAdapter);
  fc["answer"] = agenttest::parse("{\"indexStrings\": [42, \"21:00:00:0e:1e:c4:51:11\", null]}");
  inventory["faults"].append(fc);
  Json::Value eth = fault("getEthPhyPortIndicesByAdapter", "answer", kCnaAdapter);
  eth["answer"] = agenttest::parse("{\"indexStrings\": [{\"mac\": 1}, \"00:0e:1e:d2:7a:40\"]}");
  inventory["faults"].append(eth);
  ASSERT_EQ(start_session(inventory), 0);

  Json::Value fcports;
  EXPECT_EQ(all_fc_port_details(kFcAdapter, fcports), 0);
  ASSERT_EQ(fcports.size(), 1u);
  EXPECT_EQ(fcports[0]["wwn"].asString(), "21:00:00:0e:1e:c4:51:11");
  Json::Value ethports;
  EXPECT_EQ(all_eth_port_details(kCnaAdapter, ethports), 0);
  ASSERT_EQ(ethports.size(), 1u);
  EXPECT_TRUE(lines_match(
      log_.lines(),
      {err(std::string("Skipping Fc port 0 of ") + kFcAdapter + ": its index is not a string"),
       err("Fetch the Fc port details for 21:00:00:0e:1e:c4:51:11"),
       err(std::string("Skipping Fc port 2 of ") + kFcAdapter + ": its index is not a string"),
       err(std::string("Skipping Eth port 0 of ") + kCnaAdapter + ": its index is not a string")}));
}

TEST_F(QueryTest, PortListRefusesANonArrayToAppendTo) {
  // Appending to a caller's non-array value used to throw from JsonCpp after the agent call.
  ASSERT_EQ(start_session(default_inventory()), 0);
  Json::Value portlist("not a list");
  EXPECT_EQ(all_fc_port_details(kFcAdapter, portlist), 1001);
  EXPECT_EQ(all_eth_port_details(kCnaAdapter, portlist), 1001);
  EXPECT_EQ(portlist, Json::Value("not a list"));
}

}  // namespace
