// The query methods against the simulator's injected faults: codes, exact log lines and what
// the out-parameter holds, for every method and every way the agent can fail; then the port
// lists' edge cases and answers malformed enough to make JsonCpp throw if read unchecked.
#include "agent/znaj_cxn_methods.h"

#include "agent/agent_loader.h"
#include "agent_test_env.h"

namespace {

using agenttest::AgentTest;
using agenttest::default_inventory;
using agenttest::fault;
using agenttest::lines_match;

typedef int (ZnajCxnMethods::*Method)(std::string, Json::Value&);

const char kFcAdapter[] = "20:00:00:0e:1e:c4:51:10";
const char kCnaAdapter[] = "00:0e:1e:d2:7a:40";
const char kFcPort[] = "21:00:00:0e:1e:c4:51:10";
const char kEthPort[] = "00:0e:1e:d2:7a:42";

std::string err(const std::string& text) { return "LOG_ERROR : " + text; }

struct FaultCase {
  const char* name;
  Method method;
  const char* index;
  const char* symbol;
  const char* kind;
  int code;
  std::vector<std::string> lines;
  // What the out-parameter holds afterwards: "untouched" (the caller's value), "error" (the
  // agent's error answer), "answer" (the rejected answer), "null" (the null answer); "list":
  // a port list, the caller's array left as it was.
  const char* out;
};

// Parameters print as their case name (not as raw bytes, padding included).
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class QueryFaultTest : public AgentTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(QueryFaultTest, ReturnsCodeLogsAndKeepsOut) {
  const FaultCase& c = GetParam();
  Json::Value inventory = default_inventory();
  std::string kind = c.kind;
  inventory["faults"].append(fault(c.symbol, kind, c.index, kind == "error" ? 3 : 5,
                                   kind == "error" ? "bad index" : "agent says no"));
  ASSERT_EQ(open_session(inventory), 0);

  std::string held = c.out;
  Json::Value untouched("untouched");
  if (held == "list") {
    untouched = Json::Value(Json::arrayValue);
    untouched.append("untouched");
  }
  Json::Value out = untouched;
  ZnajCxnMethods* methods = ZnajCxnMethods::getZnajCxnMethodsInstance();
  EXPECT_EQ((methods->*c.method)(c.index, out), c.code);
  EXPECT_TRUE(lines_match(log_lines(), c.lines));
  if (held == "untouched" || held == "list") {
    EXPECT_EQ(out, untouched);
  } else if (held == "error") {
    ASSERT_TRUE(out.isObject()) << agenttest::to_text(out);
    EXPECT_EQ(out["error"]["code"].asInt(), 3);
    EXPECT_EQ(out["error"]["message"].asString(), "bad index");
  } else if (held == "null") {
    EXPECT_TRUE(out.isNull());
  } else {
    EXPECT_NE(out, Json::Value("untouched"));
    EXPECT_FALSE(out.isMember("error"));
  }
  // The call reached the agent with the index (the journal has it as thrown where it threw).
  Json::Value last = journal().back();
  EXPECT_EQ(last["symbol"].asString(), c.symbol);
  EXPECT_NE(agenttest::to_text(last["request"]).find(c.index), std::string::npos);
  if (kind.compare(0, 5, "throw") == 0) {
    EXPECT_EQ(last["threw"].asString(), kind);
  }
}

#define A "20:00:00:0e:1e:c4:51:10"
#define C "00:0e:1e:d2:7a:40"
#define F "21:00:00:0e:1e:c4:51:10"
#define E "00:0e:1e:d2:7a:42"

const char kAdapterExit[] = "<-- ZnajCxnMethods::getAdapterDetails()";
const char kFcFailed[] = "<-- ZnajCxnMethods::getFcPortDetails()-INTERNAL_OPER_FAILED";
const char kEthFailed[] = "<-- ZnajCxnMethods::getEthPortDetails()-INTERNAL_OPER_FAILED";
const char kFcListExit[] = "<-- ZnajCxnMethods::getAllFcPortDetailsByAdapter()";
const char kFcListFailed[] =
    "<-- ZnajCxnMethods::getAllFcPortDetailsByAdapter() returned INTERNAL_OPER_FAILED";
const char kEthListExit[] = "<-- ZnajCxnMethods::getAllEthPortDetailsByAdapter()";

INSTANTIATE_TEST_SUITE_P(
    AdapterDetails, QueryFaultTest,
    ::testing::Values(
        FaultCase{"AgentError",
                  &ZnajCxnMethods::getAdapterDetails,
                  A,
                  "getHbaByWwn",
                  "throwAgent",
                  5,
                  {err(A " - libGetHbaByWwn got User exception 5:\t\t\tagent says no, returned "
                         "INTERNAL_OPER_FAILED"),
                   err(kAdapterExit)},
                  "untouched"},
        FaultCase{"StdException",
                  &ZnajCxnMethods::getAdapterDetails,
                  A,
                  "getHbaByWwn",
                  "throwStd",
                  1001,
                  {err("libGetHbaByWwn got std exception: " A "-{PTR},\t\t\treturned "
                       "INTERNAL_OPER_FAILED"),
                   err(kAdapterExit)},
                  "untouched"},
        FaultCase{"OtherThrow",
                  &ZnajCxnMethods::getAdapterDetails,
                  A,
                  "getHbaByWwn",
                  "throwOther",
                  1001,
                  {err(A " - libGetHbaByWwn got default exception,\t\t\treturned "
                         "INTERNAL_OPER_FAILED"),
                   err(kAdapterExit)},
                  "untouched"},
        FaultCase{"ErrorAnswer",
                  &ZnajCxnMethods::getAdapterDetails,
                  A,
                  "getHbaByWwn",
                  "error",
                  1001,
                  {err(A " - libGetHbaByWwn got User exception 3:\t\t\tbad index, returned "
                         "INTERNAL_OPER_FAILED"),
                   err(kAdapterExit)},
                  "error"},
        // The simulator's shape for getHbaByWwn lacks "driver".
        FaultCase{"NoDriver",
                  &ZnajCxnMethods::getAdapterDetails,
                  A,
                  "getHbaByWwn",
                  "shape",
                  1001,
                  {err("Unable to get adapater details for " A
                       "-1001\t\t\treturned with INTERNAL_OPER_FAILED"),
                   err(kAdapterExit)},
                  "answer"},
        FaultCase{"NullAnswer",
                  &ZnajCxnMethods::getAdapterDetails,
                  C,
                  "getHbaByWwn",
                  "null",
                  1001,
                  {err("Unable to get adapater details for " C
                       "-1001\t\t\treturned with INTERNAL_OPER_FAILED"),
                   err(kAdapterExit)},
                  "null"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    AdvAdapterInfo, QueryFaultTest,
    ::testing::Values(
        FaultCase{"AgentError",
                  &ZnajCxnMethods::getAdvAdapterInfo,
                  A,
                  "getAdvAdapterData",
                  "throwAgent",
                  5,
                  {err(A " - libGetAdvAdapterData got User exception 5: agent says no")},
                  "untouched"},
        FaultCase{"StdException",
                  &ZnajCxnMethods::getAdvAdapterInfo,
                  A,
                  "getAdvAdapterData",
                  "throwStd",
                  1001,
                  {err(A " - libGetAdvAdapterData got std exception: agent says no")},
                  "untouched"},
        FaultCase{"OtherThrow",
                  &ZnajCxnMethods::getAdvAdapterInfo,
                  A,
                  "getAdvAdapterData",
                  "throwOther",
                  1001,
                  {err("libGetAdvAdapterData got default exception for " A)},
                  "untouched"},
        FaultCase{"ErrorAnswer",
                  &ZnajCxnMethods::getAdvAdapterInfo,
                  A,
                  "getAdvAdapterData",
                  "error",
                  1001,
                  {err(A " - libGetAdvAdapterData returned error 3: bad index, returned "
                         "INTERNAL_OPER_FAILED"),
                   err("<-- ZnajCxnMethods::getAdvAdapterInfo()")},
                  "error"},
        FaultCase{"NullAnswer",
                  &ZnajCxnMethods::getAdvAdapterInfo,
                  A,
                  "getAdvAdapterData",
                  "null",
                  1001,
                  {err("Adv Info is NOT available")},
                  "null"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    FcPortDetails, QueryFaultTest,
    ::testing::Values(
        FaultCase{"AgentError",
                  &ZnajCxnMethods::getFcPortDetails,
                  F,
                  "getPortByWwn",
                  "throwAgent",
                  5,
                  {err(F " - libGetPortByWwn got User exception 5: agent says no"),
                   err("<-- ZnajCxnMethods::getFcPortDetails()-failed")},
                  "untouched"},
        FaultCase{"StdException",
                  &ZnajCxnMethods::getFcPortDetails,
                  F,
                  "getPortByWwn",
                  "throwStd",
                  1001,
                  {err(F " - libGetPortByWwn got std exception: agent says no"), err(kFcFailed)},
                  "untouched"},
        FaultCase{"OtherThrow",
                  &ZnajCxnMethods::getFcPortDetails,
                  F,
                  "getPortByWwn",
                  "throwOther",
                  1001,
                  {err("libGetPortByWwn got default exception for " F), err(kFcFailed)},
                  "untouched"},
        FaultCase{"ErrorAnswer",
                  &ZnajCxnMethods::getFcPortDetails,
                  F,
                  "getPortByWwn",
                  "error",
                  1001,
                  {err(F " - libGetPortByWwn got User exception 3: bad index, returned "
                         "INTERNAL_OPER_FAILED")},
                  "error"},
        FaultCase{"NullAnswer",
                  &ZnajCxnMethods::getFcPortDetails,
                  F,
                  "getPortByWwn",
                  "null",
                  1001,
                  {err("FC Port Info is NOT available"), err(kFcFailed)},
                  "null"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    EthPortDetails, QueryFaultTest,
    ::testing::Values(
        FaultCase{"AgentError",
                  &ZnajCxnMethods::getEthPortDetails,
                  E,
                  "getEthPortByEthMac",
                  "throwAgent",
                  5,
                  {err(E " - libGetEthPortByEthMac got User exception 5: agent says no"),
                   err("<-- ZnajCxnMethods::getEthPortDetails()-failed")},
                  "untouched"},
        FaultCase{
            "StdException",
            &ZnajCxnMethods::getEthPortDetails,
            E,
            "getEthPortByEthMac",
            "throwStd",
            1001,
            {err(E " - libGetEthPortByEthMac got std exception: agent says no"), err(kEthFailed)},
            "untouched"},
        FaultCase{"OtherThrow",
                  &ZnajCxnMethods::getEthPortDetails,
                  E,
                  "getEthPortByEthMac",
                  "throwOther",
                  1001,
                  {err("libGetEthPortByEthMac got default exception for " E), err(kEthFailed)},
                  "untouched"},
        FaultCase{"ErrorAnswer",
                  &ZnajCxnMethods::getEthPortDetails,
                  E,
                  "getEthPortByEthMac",
                  "error",
                  1001,
                  {err(E " - libGetEthPortByEthMac got User \t\t\texception 3: bad index, returned "
                         "INTERNAL_OPER_FAILED"),
                   err("<-- ZnajCxnMethods::getEthPortDetails()")},
                  "error"},
        // The simulator's shape for getEthPortByEthMac has "ethData" as a string.
        FaultCase{"EthDataString",
                  &ZnajCxnMethods::getEthPortDetails,
                  E,
                  "getEthPortByEthMac",
                  "shape",
                  1001,
                  {err("Ethernet Port Info is NOT available"), err(kEthFailed)},
                  "answer"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    PortDetails, QueryFaultTest,
    ::testing::Values(FaultCase{"AgentError",
                                &ZnajCxnMethods::getPortDetails,
                                F,
                                "getPortByWwn",
                                "throwAgent",
                                5,
                                {err(F " - libGetPortByWwn got User exception 5: agent says no")},
                                "untouched"},
                      FaultCase{"StdException",
                                &ZnajCxnMethods::getPortDetails,
                                F,
                                "getPortByWwn",
                                "throwStd",
                                1001,
                                {err(F " - libGetPortByWwn got std exception: agent says no")},
                                "untouched"},
                      FaultCase{"OtherThrow",
                                &ZnajCxnMethods::getPortDetails,
                                F,
                                "getPortByWwn",
                                "throwOther",
                                1001,
                                {err("libGetPortByWwn got default exception for " F)},
                                "untouched"},
                      FaultCase{
                          "ErrorAnswer",
                          &ZnajCxnMethods::getPortDetails,
                          F,
                          "getPortByWwn",
                          "error",
                          1001,
                          {err(F " - libGetPortByWwn got User exception 3: bad index, returned "
                                 "INTERNAL_OPER_FAILED"),
                           err("<-- ZnajCxnMethods::getPortDetails()")},
                          "error"},
                      FaultCase{"NullAnswer",
                                &ZnajCxnMethods::getPortDetails,
                                F,
                                "getPortByWwn",
                                "null",
                                1001,
                                {err("Port Info is NOT available")},
                                "null"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// The port lists keep their answer locally: the caller's value is never replaced.
INSTANTIATE_TEST_SUITE_P(
    FcPortList, QueryFaultTest,
    ::testing::Values(
        FaultCase{"AgentError",
                  &ZnajCxnMethods::getAllFcPortDetailsByAdapter,
                  A,
                  "getFcPhyPortIndicesByAdapter",
                  "throwAgent",
                  5,
                  {err(A " - libGetFcPhyPortIndicesByAdapter got User exception 5: agent says no, "
                         "returned j.getErrorCode()"),
                   err(kFcListExit)},
                  "list"},
        FaultCase{"StdException",
                  &ZnajCxnMethods::getAllFcPortDetailsByAdapter,
                  A,
                  "getFcPhyPortIndicesByAdapter",
                  "throwStd",
                  1001,
                  {err("libGetFcPhyPortIndicesByAdapter got std exception: " A
                       "-{PTR},  returned INTERNAL_OPER_FAILED"),
                   err(kFcListExit)},
                  "list"},
        FaultCase{"OtherThrow",
                  &ZnajCxnMethods::getAllFcPortDetailsByAdapter,
                  A,
                  "getFcPhyPortIndicesByAdapter",
                  "throwOther",
                  1001,
                  {err(A " - libGetFcPhyPortIndicesByAdapter got default exception,  returned "
                         "INTERNAL_OPER_FAILED"),
                   err(kFcListExit)},
                  "list"},
        FaultCase{"ErrorAnswer",
                  &ZnajCxnMethods::getAllFcPortDetailsByAdapter,
                  A,
                  "getFcPhyPortIndicesByAdapter",
                  "error",
                  1001,
                  {err(A " - libGetFcPhyPortIndicesByAdapter got User exception 3: bad index, "
                         "returned INTERNAL_OPER_FAILED"),
                   err(kFcListExit)},
                  "list"},
        FaultCase{
            "NullAnswer",
            &ZnajCxnMethods::getAllFcPortDetailsByAdapter,
            A,
            "getFcPhyPortIndicesByAdapter",
            "null",
            1001,
            {err("Unable to get adapater details. FcIndicesResponse.isNull()"), err(kFcListFailed)},
            "list"},
        // "indexStrings" an object: only the exit line.
        FaultCase{"IndexStringsObject",
                  &ZnajCxnMethods::getAllFcPortDetailsByAdapter,
                  A,
                  "getFcPhyPortIndicesByAdapter",
                  "shape",
                  1001,
                  {err(kFcListFailed)},
                  "list"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    EthPortList, QueryFaultTest,
    ::testing::Values(
        FaultCase{
            "AgentError",
            &ZnajCxnMethods::getAllEthPortDetailsByAdapter,
            C,
            "getEthPhyPortIndicesByAdapter",
            "throwAgent",
            5,
            {err(C " - libGetEthPhyPortIndicesByAdapter got\t\t\tUser exception 5: agent says "
                   "no, returned INTERNAL_OPER_FAILED"),
             err(kEthListExit)},
            "list"},
        FaultCase{"StdException",
                  &ZnajCxnMethods::getAllEthPortDetailsByAdapter,
                  C,
                  "getEthPhyPortIndicesByAdapter",
                  "throwStd",
                  1001,
                  {err("libGetEthPhyPortIndicesByAdapter got std \t\t\texception: " C
                       "-{PTR},  returned INTERNAL_OPER_FAILED"),
                   err(kEthListExit)},
                  "list"},
        FaultCase{"OtherThrow",
                  &ZnajCxnMethods::getAllEthPortDetailsByAdapter,
                  C,
                  "getEthPhyPortIndicesByAdapter",
                  "throwOther",
                  1001,
                  {err(C " - libGetEthPhyPortIndicesByAdapter got\t\t\tdefault exception,  "
                         "returned INTERNAL_OPER_FAILED"),
                   err(kEthListExit)},
                  "list"},
        FaultCase{
            "ErrorAnswer",
            &ZnajCxnMethods::getAllEthPortDetailsByAdapter,
            C,
            "getEthPhyPortIndicesByAdapter",
            "error",
            1001,
            {err(C " - libGetEthPhyPortIndicesByAdapter got User\t\t\texception 3: bad index, "
                   "returned INTERNAL_OPER_FAILED"),
             err(kEthListExit)},
            "list"},
        FaultCase{
            "IndexStringsObject",
            &ZnajCxnMethods::getAllEthPortDetailsByAdapter,
            C,
            "getEthPhyPortIndicesByAdapter",
            "shape",
            1001,
            {err("Unable to get adapater details for \t\t\t" C " returned INTERNAL_OPER_FAILED"),
             err(kEthListExit)},
            "list"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

#undef A
#undef C
#undef F
#undef E

class QueryTest : public AgentTest {
 protected:
  ZnajCxnMethods* methods_ = ZnajCxnMethods::getZnajCxnMethodsInstance();
};

TEST_F(QueryTest, InstanceIsASingleton) {
  EXPECT_NE(methods_, nullptr);
  EXPECT_EQ(ZnajCxnMethods::getZnajCxnMethodsInstance(), methods_);
}

TEST_F(QueryTest, AdapterDetailsKeysByIndexLength) {
  ASSERT_EQ(open_session(default_inventory()), 0);
  Json::Value adapter;
  ASSERT_EQ(methods_->getAdapterDetails(kFcAdapter, adapter), 0);
  EXPECT_EQ(adapter["hbaData"]["model"].asString(), "Quorvel-QF2742");
  EXPECT_EQ(adapter["driver"]["storageDriverVersion"].asString(), "10.02.09.00-k debug");
  ASSERT_EQ(methods_->getAdapterDetails(kCnaAdapter, adapter), 0);
  EXPECT_EQ(adapter["hbaData"]["model"].asString(), "Quorvel-QC8442");
  EXPECT_TRUE(
      lines_match(log_lines(), {"LOG_INFO : <-- ZnajCxnMethods::getAdapterDetails()-success",
                                "LOG_INFO : <-- ZnajCxnMethods::getAdapterDetails()-success"}));
  std::vector<Json::Value> calls = journal();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(agenttest::to_text(calls[calls.size() - 2]["request"]),
            std::string("{\"wwn\":\"") + kFcAdapter + "\"}");
  EXPECT_EQ(agenttest::to_text(calls.back()["request"]),
            std::string("{\"mac\":\"") + kCnaAdapter + "\"}");
}

TEST_F(QueryTest, SingleQueriesSendTheirRequests) {
  ASSERT_EQ(open_session(default_inventory()), 0);
  Json::Value out;
  EXPECT_EQ(methods_->getAdvAdapterInfo(kCnaAdapter, out), 0);
  EXPECT_EQ(out["flashedBiosVersion"].asString(), "3.2.0.0_b17");
  EXPECT_EQ(methods_->getFcPortDetails(kFcPort, out), 0);
  EXPECT_EQ(out["hardwarePath"].asString(), "0000:0a:00.0");
  EXPECT_EQ(methods_->getEthPortDetails(kEthPort, out), 0);
  EXPECT_EQ(out["ethData"]["macAddress"].asString(), kEthPort);
  EXPECT_EQ(methods_->getPortDetails(kFcPort, out), 0);
  EXPECT_EQ(out["portMode"].asString(), "FC");
  EXPECT_TRUE(log_lines().empty());
  std::vector<Json::Value> calls = journal();
  ASSERT_GE(calls.size(), 4u);
  const char* expected[4][2] = {{"getAdvAdapterData", "{\"indexStr\":\"00:0e:1e:d2:7a:40\"}"},
                                {"getPortByWwn", "{\"wwn\":\"21:00:00:0e:1e:c4:51:10\"}"},
                                {"getEthPortByEthMac", "{\"mac\":\"00:0e:1e:d2:7a:42\"}"},
                                {"getPortByWwn", "{\"wwn\":\"21:00:00:0e:1e:c4:51:10\"}"}};
  for (size_t i = 0; i < 4; ++i) {
    const Json::Value& call = calls[calls.size() - 4 + i];
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
  ASSERT_EQ(open_session(inventory), 0);
  Json::Value portlist;
  EXPECT_EQ(methods_->getAllFcPortDetailsByAdapter(kFcAdapter, portlist), 0);
  ASSERT_TRUE(portlist.isArray());
  ASSERT_EQ(portlist.size(), 2u);
  EXPECT_EQ(portlist[0]["wwn"].asString(), "21:00:00:0e:1e:c4:51:10");
  EXPECT_EQ(portlist[1]["wwn"].asString(), "21:00:00:0e:1e:c4:51:12");
  EXPECT_TRUE(lines_match(
      log_lines(),
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
  inventory["faults"].append(fault("getEthPortByEthMac", "throwAgent", kEthPort, 4, "link down"));
  ASSERT_EQ(open_session(inventory), 0);
  Json::Value portlist;
  EXPECT_EQ(methods_->getAllEthPortDetailsByAdapter(kCnaAdapter, portlist), 0);
  ASSERT_EQ(portlist.size(), 1u);
  EXPECT_EQ(portlist[0]["ethData"]["macAddress"].asString(), "00:0e:1e:d2:7a:40");
  EXPECT_TRUE(lines_match(
      log_lines(),
      {err(std::string(kEthPort) + " - libGetEthPortByEthMac got User exception 4: link down"),
       err("<-- ZnajCxnMethods::getEthPortDetails()-failed"),
       err(std::string("Unable to get Eth port data for ") + kEthPort)}));
}

TEST_F(QueryTest, PortListsAppendToWhatTheCallerPassed) {
  ASSERT_EQ(open_session(default_inventory()), 0);
  Json::Value portlist(Json::arrayValue);
  portlist.append("earlier");
  EXPECT_EQ(methods_->getAllEthPortDetailsByAdapter(kCnaAdapter, portlist), 0);
  EXPECT_EQ(methods_->getAllFcPortDetailsByAdapter(kCnaAdapter, portlist), 0);
  ASSERT_EQ(portlist.size(), 5u);
  EXPECT_EQ(portlist[0].asString(), "earlier");
  EXPECT_EQ(portlist[2]["ethData"]["hardwarePath"].asString(), "0000:81:00.1");
  EXPECT_EQ(portlist[4]["portMode"].asString(), "CNA");
}

TEST_F(QueryTest, EmptyPortListsReturnAtOnce) {
  ASSERT_EQ(open_session(default_inventory()), 0);
  Json::Value portlist;
  // The FC HBA has no Ethernet ports, the Ethernet adapter no FC ports.
  EXPECT_EQ(methods_->getAllEthPortDetailsByAdapter(kFcAdapter, portlist), 0);
  EXPECT_EQ(methods_->getAllFcPortDetailsByAdapter("00:0e:1e:e5:19:30", portlist), 0);
  EXPECT_TRUE(portlist.isNull());
  EXPECT_TRUE(log_lines().empty());
}

TEST_F(QueryTest, FcListWithoutIndexStringsLogsBothLines) {
  Json::Value inventory = default_inventory();
  Json::Value f = fault("getFcPhyPortIndicesByAdapter", "answer", kFcAdapter);
  f["answer"] = Json::Value(Json::objectValue);
  inventory["faults"].append(f);
  ASSERT_EQ(open_session(inventory), 0);
  Json::Value portlist;
  EXPECT_EQ(methods_->getAllFcPortDetailsByAdapter(kFcAdapter, portlist), 1001);
  EXPECT_TRUE(lines_match(
      log_lines(),
      {err("Unable to get adapater details. !FcIndicesResponse.isMember(STR_INDEX_STRINGS)"),
       err(kFcListFailed)}));
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
  ASSERT_EQ(open_session(inventory), 0);

  Json::Value fcports;
  EXPECT_EQ(methods_->getAllFcPortDetailsByAdapter(kFcAdapter, fcports), 0);
  ASSERT_EQ(fcports.size(), 1u);
  EXPECT_EQ(fcports[0]["wwn"].asString(), "21:00:00:0e:1e:c4:51:11");
  Json::Value ethports;
  EXPECT_EQ(methods_->getAllEthPortDetailsByAdapter(kCnaAdapter, ethports), 0);
  ASSERT_EQ(ethports.size(), 1u);
  EXPECT_TRUE(lines_match(
      log_lines(),
      {err(std::string("Skipping Fc port 0 of ") + kFcAdapter + ": its index is not a string"),
       err("Fetch the Fc port details for 21:00:00:0e:1e:c4:51:11"),
       err(std::string("Skipping Fc port 2 of ") + kFcAdapter + ": its index is not a string"),
       err(std::string("Skipping Eth port 0 of ") + kCnaAdapter + ": its index is not a string")}));
}

// Answers of the wrong JSON type used to make JsonCpp throw out of the methods on member
// lookups and as*() reads; they are turned away with the method's usual lines.
struct MalformedCase {
  const char* name;
  Method method;
  const char* index;
  const char* symbol;
  const char* answer;
  int code;
  std::vector<std::string> lines;
};

// Parameters print as their case name (not as raw bytes, padding included).
void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class QueryMalformedTest : public AgentTest, public ::testing::WithParamInterface<MalformedCase> {};

TEST_P(QueryMalformedTest, IsRejectedWithoutThrowing) {
  const MalformedCase& c = GetParam();
  Json::Value inventory = default_inventory();
  Json::Value f = fault(c.symbol, "answer", c.index);
  f["answer"] = agenttest::parse(c.answer);
  inventory["faults"].append(f);
  ASSERT_EQ(open_session(inventory), 0);
  Json::Value out;
  int rc = -12345;
  EXPECT_NO_THROW(rc = (ZnajCxnMethods::getZnajCxnMethodsInstance()->*c.method)(c.index, out));
  EXPECT_EQ(rc, c.code);
  EXPECT_TRUE(lines_match(log_lines(), c.lines));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, QueryMalformedTest,
    ::testing::Values(
        MalformedCase{"AdapterAsString",
                      &ZnajCxnMethods::getAdapterDetails,
                      kFcAdapter,
                      "getHbaByWwn",
                      "\"adapter\"",
                      1001,
                      {err(std::string("Unable to get adapater details for ") + kFcAdapter +
                           "-1001\t\t\treturned with INTERNAL_OPER_FAILED"),
                       err(kAdapterExit)}},
        MalformedCase{
            "ErrorNotAnObject",
            &ZnajCxnMethods::getAdapterDetails,
            kFcAdapter,
            "getHbaByWwn",
            "{\"error\": \"boom\"}",
            1001,
            {err(std::string(kFcAdapter) + " - libGetHbaByWwn got User exception 0:\t\t\t, "
                                           "returned INTERNAL_OPER_FAILED"),
             err(kAdapterExit)}},
        MalformedCase{"ErrorMembersWrongTypes",
                      &ZnajCxnMethods::getFcPortDetails,
                      kFcPort,
                      "getPortByWwn",
                      "{\"error\": {\"code\": \"7\", \"message\": 7}}",
                      1001,
                      {err(std::string(kFcPort) + " - libGetPortByWwn got User exception 0: , "
                                                  "returned INTERNAL_OPER_FAILED")}},
        MalformedCase{"ErrorCodeTooLarge",
                      &ZnajCxnMethods::getPortDetails,
                      kFcPort,
                      "getPortByWwn",
                      "{\"error\": {\"code\": 4294967295, \"message\": \"m\"}}",
                      1001,
                      {err(std::string(kFcPort) + " - libGetPortByWwn got User exception 0: m, "
                                                  "returned INTERNAL_OPER_FAILED"),
                       err("<-- ZnajCxnMethods::getPortDetails()")}},
        // The code is read as JsonCpp's asInt reads it; only the log shows it.
        MalformedCase{"ErrorCodeFractional",
                      &ZnajCxnMethods::getFcPortDetails,
                      kFcPort,
                      "getPortByWwn",
                      "{\"error\": {\"code\": 3.5, \"message\": \"m\"}}",
                      1001,
                      {err(std::string(kFcPort) + " - libGetPortByWwn got User exception 3: m, "
                                                  "returned INTERNAL_OPER_FAILED")}},
        MalformedCase{"EthPortAsArray",
                      &ZnajCxnMethods::getEthPortDetails,
                      kEthPort,
                      "getEthPortByEthMac",
                      "[1, 2]",
                      1001,
                      {err("Ethernet Port Info is NOT available"), err(kEthFailed)}},
        MalformedCase{"EthListAsNumber",
                      &ZnajCxnMethods::getAllEthPortDetailsByAdapter,
                      kCnaAdapter,
                      "getEthPhyPortIndicesByAdapter",
                      "42",
                      1001,
                      {err(std::string("Unable to get adapater details for \t\t\t") + kCnaAdapter +
                           " returned INTERNAL_OPER_FAILED"),
                       err(kEthListExit)}},
        MalformedCase{
            "FcListAsString",
            &ZnajCxnMethods::getAllFcPortDetailsByAdapter,
            kFcAdapter,
            "getFcPhyPortIndicesByAdapter",
            "\"ports\"",
            1001,
            {err("Unable to get adapater details. !FcIndicesResponse.isMember(STR_INDEX_STRINGS)"),
             err(kFcListFailed)}},
        MalformedCase{
            "FcListErrorAsArray",
            &ZnajCxnMethods::getAllFcPortDetailsByAdapter,
            kFcAdapter,
            "getFcPhyPortIndicesByAdapter",
            "{\"error\": [1]}",
            1001,
            {err(std::string(kFcAdapter) + " - libGetFcPhyPortIndicesByAdapter got User "
                                           "exception 0: , returned INTERNAL_OPER_FAILED"),
             err(kFcListExit)}}),
    [](const ::testing::TestParamInfo<MalformedCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(QueryTest, PortListRefusesANonArrayToAppendTo) {
  // Appending to a caller's non-array value used to throw from JsonCpp after the agent call.
  ASSERT_EQ(open_session(default_inventory()), 0);
  Json::Value portlist("not a list");
  EXPECT_EQ(methods_->getAllFcPortDetailsByAdapter(kFcAdapter, portlist), 1001);
  EXPECT_EQ(methods_->getAllEthPortDetailsByAdapter(kCnaAdapter, portlist), 1001);
  EXPECT_EQ(portlist, Json::Value("not a list"));
}

TEST_F(QueryTest, AdapterCountIsLogged) {
  Json::Value inventory = default_inventory();
  ASSERT_EQ(open_session(inventory), 0);
  EXPECT_EQ(qrvl_get_num_of_adapters(), 3u);
  EXPECT_TRUE(lines_match(log_lines(), {"LOG_INFO : getDeviceVector QRVL Adapter Count = 3", ""}));
  ASSERT_EQ(qrvl_vxinslib_deinit(), 0);
  inventory["adapterCount"] = 7;
  ASSERT_EQ(open_session(inventory), 0);
  EXPECT_EQ(qrvl_get_num_of_adapters(), 7u);
}

}  // namespace
