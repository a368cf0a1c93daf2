// Adapter enumeration against the in-process fake agent: record order and attributes, version
// and action rules, hardware paths, every failure of the adapter list and of single adapters,
// and malformed agent answers.
#include "inventory/enumeration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "agent/entry_points.h"
#include "fake_agent.h"
#include "log_capture.h"

namespace {

using vxins::inventory::AttributeValue;
using vxins::inventory::DeviceInfo;
using vxins::inventory::DeviceList;
using vxins::inventory::DeviceRecord;
using vxtest::ContainsInOrder;

const char kPkgVer[] = "3.0.3.0";
const char kPkgFile[] = "qrvl_boot_3.0.3.0.tar";
const char kExit[] = "LOG_ERROR : <--qrvl_enumerate_devices()";

const std::string kIdx1 = "21:00:00:0e:1e:c0:00:01";
const std::string kIdx2 = "21:00:00:0e:1e:c0:00:02";

// "section|identifier|tag=value" of each value a record will write, in order.
std::vector<std::string> value_texts(const DeviceRecord& dev) {
  std::vector<std::string> out;
  for (const AttributeValue& v : dev.values())
    out.push_back(std::to_string(static_cast<int>(v.attribute->section)) + "|" +
                  std::to_string(v.attribute->id) + "|" + v.attribute->tag + "=" + v.value);
  return out;
}

std::string index_of(const DeviceList& list, size_t i) { return list.at(i)->adapter_index(); }
const DeviceInfo& info(const DeviceList& list, size_t i) { return list.at(i)->info(); }

class EnumerationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    fake::install();
  }

  int enumerate(DeviceList& list) {
    int rc = -12345;
    EXPECT_NO_THROW(rc = vxins::inventory::enumerate_devices(kPkgVer, kPkgFile, list));
    return rc;
  }

  // A converged adapter with two Ethernet and two FC ports (one of them in CNA mode).
  static void add_cna_adapter(const std::string& idx, const std::string& flashed = "3.0.2.1") {
    fake::add_adapter(idx, fake::adapter_details("Quorvel-QC8442", 2, 0x1d7a, 0x8442, 0x1d7a, 2),
                      flashed);
    const std::string tail = idx.substr(idx.size() - 2);
    fake::add_eth_port(idx, "00:0e:1e:c0:" + tail + ":10", "0000:0a:00.0");
    fake::add_eth_port(idx, "00:0e:1e:c0:" + tail + ":11", "0000:0a:00.1");
    fake::add_fc_port(idx, "21:00:00:0e:1e:c0:" + tail + ":20", "20:00:00:0e:1e:c0:" + tail + ":20",
                      "0000:0a:00.2", "CNA");
    fake::add_fc_port(idx, "21:00:00:0e:1e:c0:" + tail + ":21", "20:00:00:0e:1e:c0:" + tail + ":21",
                      "0000:0a:00.3", "FC");
  }

  // A plain FC HBA with one port.
  static void add_fc_adapter(const std::string& idx, const std::string& flashed = "3.0.2.1",
                             const std::string& hwpath = "0000:81:00.0") {
    fake::add_adapter(idx, fake::adapter_details("Quorvel-QF2742", 2, 0x1d7a, 0x2742, 0x1d7a, 1),
                      flashed);
    fake::add_fc_port(idx, "21:00:00:0e:1e:f0:" + idx.substr(idx.size() - 2) + ":30",
                      "20:00:00:0e:1e:f0:00:30", hwpath, "FC");
  }

  vxtest::LogCapture log;
};

TEST_F(EnumerationTest, ConvergedAdapterYieldsEthernetThenFcRecordsWithAllAttributes) {
  add_cna_adapter(kIdx1);
  DeviceList list;
  ASSERT_EQ(enumerate(list), 0);
  ASSERT_EQ(list.size(), 4u);

  const std::vector<std::string> common_head = {
      "1|0|device_id value=1d7a.8442.1d7a.2", "1|8|devid value=8442", "1|7|venid value=1d7a",
      "1|10|subdevid value=2",               "1|9|subvenid value=1d7a"};
  auto tail = [](const std::string& active, const std::string& action) {
    return std::vector<std::string>{"2|3|version value=3.0.3.0",
                                    "2|19|firmware_file value=qrvl_boot_3.0.3.0.tar",
                                    "2|20|active_version value=" + active,
                                    "2|21|action value=" + action,
                                    "2|22|action_status value=",
                                    "2|23|duration value=60",
                                    "2|24|message value=VX Reserved",
                                    "2|25|shared value=no"};
  };
  auto record = [&](const std::string& product, const std::string& mac, const std::string& fn,
                    const std::string& fw_id) {
    std::vector<std::string> r = common_head;
    r.push_back("1|11|product_id value=" + product);
    r.push_back("1|6|nictype value= ");
    r.push_back("1|16|macaddress value=" + mac);
    r.push_back("1|12|busnumber value=a");
    r.push_back("1|13|devicenumber value=00");
    r.push_back("1|14|funcnumber value=" + fn);
    r.push_back("2|18|firmware_id value=" + fw_id);
    for (const auto& t : tail("3.0.2.1", "Upgrade")) r.push_back(t);
    return r;
  };
  EXPECT_EQ(value_texts(*list[0]),
            record("Quorvel 10G Ethernet Adapter", "00:0e:1e:c0:01:10", "0", "5.1.7"));
  EXPECT_EQ(value_texts(*list[1]),
            record("Quorvel 10G Ethernet Adapter", "00:0e:1e:c0:01:11", "1", "5.1.7"));
  EXPECT_EQ(value_texts(*list[2]),
            record("Quorvel QC8400 Series Dual-Port 25GbE Converged Network Adapter",
                   "20:00:00:0e:1e:c0:01:20", "2", "10.02.08.00-k"));
  EXPECT_EQ(value_texts(*list[3]),
            record("Quorvel QC8400 Series Dual-Port 32Gb Fibre Channel HBA",
                   "21:00:00:0e:1e:c0:01:21", "3", "10.02.08.00-k"));

  const char* types[] = {"Eth", "Eth", "FCoE", "Fc"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(info(list, i).dev_type, types[i]);
    EXPECT_EQ(index_of(list, i), kIdx1);
    EXPECT_EQ(info(list, i).slot_num, "");
    EXPECT_EQ(info(list, i).hdr.version, "");
    EXPECT_FALSE(list[i]->skipped());
    EXPECT_EQ(list[i]->action_code(), FW_STATUS_SKIP);
  }
  // The firmware-type attribute has no field: one trace per record.
  EXPECT_EQ(log.count("LOG_ERROR : DEFAULT : Unknown Dev attrib"), 4u);
  EXPECT_EQ(log.count(kExit), 0u);
}

TEST_F(EnumerationTest, QueriesTheAgentInTheDocumentedOrder) {
  add_fc_adapter(kIdx1);
  fake::add_eth_port(kIdx1, "00:0e:1e:f0:01:10", "0000:81:00.1");
  DeviceList list;
  ASSERT_EQ(enumerate(list), 0);
  EXPECT_EQ(fake::g_calls, (std::vector<std::string>{
                               "getNumberOfAdapters",
                               "getAllAdaptersIndexString null=1",
                               "getHbaByWwn wwn=" + kIdx1,
                               "getAdvAdapterData indexStr=" + kIdx1,
                               "getEthPhyPortIndicesByAdapter indexStr=" + kIdx1,
                               "getEthPortByEthMac mac=00:0e:1e:f0:01:10",
                               "getFcPhyPortIndicesByAdapter indexStr=" + kIdx1,
                               "getPortByWwn wwn=21:00:00:0e:1e:f0:01:30",
                           }));
  EXPECT_TRUE(ContainsInOrder(
      log.lines(),
      {"LOG_INFO : getDeviceVector QRVL Adapter Count = 1", "", "LOG_INFO : Num of Adapters is 1",
       "LOG_INFO : The PCI E INFO IS:", "LOG_INFO : 1d7a.2742.1d7a.1",
       "LOG_INFO : There are 2 ports associated to Adapter id 1",
       "LOG_INFO : Model=Quorvel-QF2742",
       "LOG_INFO : Flashed_bios_info for the adapter " + kIdx1 + " is 3.0.2.1", "",
       "LOG_ERROR : DEFAULT : Unknown Dev attrib", "LOG_INFO : Comparing Major Version",
       "LOG_INFO : Number of Quorvel Ethernet Devices added is 1",
       "LOG_INFO : Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA",
       "LOG_ERROR : DEFAULT : Unknown Dev attrib", "LOG_INFO : Comparing Major Version"}));
}

TEST_F(EnumerationTest, RecordsAlreadyInTheListStayFirstAndAreCounted) {
  add_cna_adapter(kIdx1);
  DeviceList list;
  list.emplace_back(new DeviceRecord("earlier-1"));
  list.emplace_back(new DeviceRecord("earlier-2"));
  const DeviceRecord* first = list[0].get();
  ASSERT_EQ(enumerate(list), 0);
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list[0].get(), first);
  EXPECT_EQ(index_of(list, 1), "earlier-2");
  EXPECT_EQ(index_of(list, 2), kIdx1);
  EXPECT_EQ(log.count("LOG_INFO : Number of Quorvel Ethernet Devices added is 4"), 1u);
  // A second call appends a second set after the first.
  ASSERT_EQ(enumerate(list), 0);
  EXPECT_EQ(list.size(), 10u);
}

TEST_F(EnumerationTest, AdaptersFollowTheIndexOrder) {
  add_fc_adapter(kIdx2);
  add_cna_adapter(kIdx1);
  DeviceList list;
  ASSERT_EQ(enumerate(list), 0);
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(index_of(list, 0), kIdx2);
  EXPECT_EQ(info(list, 0).dev_type, "Fc");
  for (size_t i = 1; i < 5; ++i) EXPECT_EQ(index_of(list, i), kIdx1);
  EXPECT_EQ(log.count("LOG_INFO : Number of Quorvel Ethernet Devices added is 3"), 1u);
  EXPECT_EQ(log.count("LOG_INFO : There are 2 ports associated to Adapter id 2"), 1u);
}

TEST_F(EnumerationTest, IdentifiersAreLowerCaseHexWithoutLeadingZeros) {
  fake::add_adapter(kIdx1, fake::adapter_details("Quorvel-QF2742", 2, 0x00AB, 0xBEEF, 0, 0x0010),
                    "3.0.2.1");
  fake::add_fc_port(kIdx1, "21:00:00:0e:1e:00:00:01", "", "0000:0a:00.1", "FC");
  DeviceList list;
  ASSERT_EQ(enumerate(list), 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(info(list, 0).ven_id, "ab");
  EXPECT_EQ(info(list, 0).dev_id, "beef");
  EXPECT_EQ(info(list, 0).sub_ven_id, "0");
  EXPECT_EQ(info(list, 0).sub_dev_id, "10");
  EXPECT_EQ(info(list, 0).dev_desc, "ab.beef.0.10");
  EXPECT_TRUE(ContainsInOrder(log.lines(), {"LOG_INFO : The PCI E INFO IS:", "LOG_INFO : ab.beef.0.10"}));
}

TEST_F(EnumerationTest, DriverVersionsAreCutAtAFirstBlankAfterTheStart) {
  struct Case {
    const char* text;  // nullptr: member absent
    const char* want;
  };
  const Case cases[] = {{"10.2.1 build 7", "10.2.1"}, {" 10.2.1 x", " 10.2.1 x"},
                        {"10.2.1", "10.2.1"},         {"", ""},
                        {nullptr, ""},                {"a b", "a"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(absent)");
    fake::reset();
    add_cna_adapter(kIdx1);
    Json::Value& drv = fake::adapter(kIdx1)["hba"]["driver"];
    drv = Json::Value(Json::objectValue);
    if (c.text) {
      drv["storageDriverVersion"] = c.text;
      drv["networkDriverVersion"] = std::string("n") + c.text;
    }
    DeviceList list;
    ASSERT_EQ(enumerate(list), 0);
    ASSERT_EQ(list.size(), 4u);
    const std::string net_want =
        c.text ? (std::string("n") + c.text).substr(0, std::string(std::string("n") + c.text).find(' '))
               : "";
    EXPECT_EQ(info(list, 0).fw_dev.fw_id, net_want);  // Ethernet: network driver
    EXPECT_EQ(info(list, 3).fw_dev.fw_id, c.want);    // FC: storage driver
  }
}

TEST_F(EnumerationTest, PortModeCnaSelectsFcoeAndTheNodeWwn) {
  const char* modes[] = {"CNA", "cna", "FC", "", "CNA "};
  for (const char* mode : modes) {
    SCOPED_TRACE(std::string("\"") + mode + "\"");
    fake::reset();
    fake::add_adapter(kIdx1, fake::adapter_details("Quorvel-QC8442", 1, 1, 2, 3, 4), "3.0.3.0");
    fake::add_fc_port(kIdx1, "21:00:00:0e:1e:00:00:aa", "20:00:00:0e:1e:00:00:aa", "0000:0a:00.1",
                      mode);
    DeviceList list;
    ASSERT_EQ(enumerate(list), 0);
    ASSERT_EQ(list.size(), 1u);
    const bool cna = std::string(mode) == "CNA";
    EXPECT_EQ(info(list, 0).dev_type, cna ? "FCoE" : "Fc");
    EXPECT_EQ(info(list, 0).mac_or_wwn,
              cna ? "20:00:00:0e:1e:00:00:aa" : "21:00:00:0e:1e:00:00:aa");
    EXPECT_EQ(info(list, 0).prod_id,
              cna ? "Quorvel QC8400 Series Single-Port 25GbE Converged Network Adapter"
                  : "Quorvel QC8400 Series Single-Port 32Gb Fibre Channel HBA");
  }
}

TEST_F(EnumerationTest, ProductNameComesFromTheModelTableAndMayBeEmpty) {
  struct Case {
    const char* model;
    unsigned ports;
    const char* mode;
    const char* want;
  };
  const Case cases[] = {
      {"Quorvel-QC8442", 3, "FC", ""},
      {"Quorvel-QF2800", 2, "CNA", ""},
      {"Quorvel-QF9999", 2, "FC", "Invalid Model"},
      {"Quorvel-QF2742", 2, "FC", "Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    fake::reset();
    fake::add_adapter(kIdx1, fake::adapter_details(c.model, c.ports, 1, 2, 3, 4), "3.0.3.0");
    fake::add_fc_port(kIdx1, "21:00:00:0e:1e:00:00:aa", "20:00:00:0e:1e:00:00:aa", "0000:0a:00.1",
                      c.mode);
    DeviceList list;
    ASSERT_EQ(enumerate(list), 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(info(list, 0).prod_id, c.want);
  }
}

TEST_F(EnumerationTest, RecordsCarryBusDeviceFunctionOfTheirPaths) {
  struct Case {
    const char* path;
    const char* bus;
    const char* dev;
    const char* fn;
  };
  const Case cases[] = {
      {"0000:0a:00.1", "a", "00", "1"},   {"0000:81:00.0", "81", "00", "0"},
      {"0000:00:1c.0", "0", "1c", "0"},   {"0001:1a:0f.7", "1a", "0f", "7"},
      {"0000:a:00.1", "a", "00", "1"},    {"0000:0ab:00.1", "0ab", "00", "1"},
      // Malformed paths give the fields they have and empty text for the rest.
      {"", "", "", ""},                   {"garbage", "", "", ""},
      {"0000:0a", "a", "", ""},           {"0000:0a:00", "a", "00", ""},
      {"0000:0a:00.", "a", "00", ""},     {":::", "", ":", ""},
      {"0000:0a:00.1.2", "a", "00", "1.2"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.path + "\"");
    fake::reset();
    fake::add_adapter(kIdx1, fake::adapter_details("Quorvel-QC8442", 2, 1, 2, 3, 4), "3.0.3.0");
    fake::add_eth_port(kIdx1, "00:0e:1e:00:00:01", c.path);
    fake::add_fc_port(kIdx1, "21:00:00:0e:1e:00:00:aa", "", c.path, "FC");
    DeviceList list;
    ASSERT_EQ(enumerate(list), 0);
    ASSERT_EQ(list.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(info(list, i).bus_num, c.bus);
      EXPECT_EQ(info(list, i).dev_num, c.dev);
      EXPECT_EQ(info(list, i).fn_num, c.fn);
    }
  }
}

TEST_F(EnumerationTest, ActionAndActiveVersionFollowTheFlashedVersion) {
  struct Case {
    const char* flashed;  // nullptr: member absent
    const char* active;
    const char* action;
    bool compared;
  };
  const Case cases[] = {
      {"3.0.2.1", "3.0.2.1", "Upgrade", true},
      {"3.1.0.0", "3.1.0.0", "Downgrade", true},
      {"3.0.3.0", "3.0.3.0", "Rewrite", true},
      {"3.0.3.0_b12", "3.0.3.0", "Rewrite", true},
      {"3.0.4.0_b1_x", "3.0.4.0", "Downgrade", true},
      {"_3.0.3.0", "_3.0.3.0", "Upgrade", true},
      {"", " ", "Upgrade", false},
      {nullptr, " ", "Upgrade", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flashed ? c.flashed : "(absent)");
    fake::reset();
    add_fc_adapter(kIdx1);
    Json::Value& adv = fake::adapter(kIdx1)["adv"];
    adv = Json::Value(Json::objectValue);
    adv["other"] = 1;
    if (c.flashed) adv["flashedBiosVersion"] = c.flashed;
    log.clear();
    DeviceList list;
    ASSERT_EQ(enumerate(list), 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(info(list, 0).fw_dev.active_version, c.active);
    EXPECT_EQ(info(list, 0).fw_dev.action, c.action);
    EXPECT_EQ(info(list, 0).fw_dev.fw_version, kPkgVer);
    EXPECT_EQ(log.count("LOG_INFO : Comparing Major Version"), c.compared ? 1u : 0u);
    const std::string flashed = c.flashed ? c.flashed : "";
    if (flashed.empty()) {
      EXPECT_EQ(log.count("LOG_INFO : Flashed_bios_info for the adapter " + kIdx1 +
                          " is NULL.\t\t\t\tSo assigning upgrade as action status"),
                1u);
      EXPECT_EQ(log.count("LOG_INFO : Passed_fwver or flashed_fwver size is zero. So returning upgrade"),
                0u);
    } else {
      EXPECT_EQ(log.count("LOG_INFO : Flashed_bios_info for the adapter " + kIdx1 + " is " + flashed),
                1u);
    }
    const bool cut = flashed.find('_') != std::string::npos && flashed.find('_') > 0;
    EXPECT_EQ(log.count("LOG_INFO : Original Flashed Info = " + flashed + ", Temp FlashedBios=" +
                        std::string(c.active)),
              cut ? 1u : 0u);
  }
}

// ---- Failures of the adapter list ----

TEST_F(EnumerationTest, NoAdaptersReturnsFour) {
  add_fc_adapter(kIdx1);
  fake::g_fake["count"] = 0;
  DeviceList list;
  EXPECT_EQ(enumerate(list), 4);
  EXPECT_EQ(list.size(), 0u);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "LOG_INFO : getDeviceVector QRVL Adapter Count = 0", "",
                             "LOG_ERROR : No adapters in the system!", kExit}));
  EXPECT_EQ(fake::g_calls, std::vector<std::string>{"getNumberOfAdapters"});
}

TEST_F(EnumerationTest, UnusableIndexAnswerReturns1001) {
  Json::Value no_member(Json::objectValue);
  no_member["other"] = Json::Value(Json::arrayValue);
  Json::Value not_array;
  not_array["indexStrings"] = kIdx1;
  Json::Value array_answer(Json::arrayValue);
  array_answer.append(kIdx1);
  const Json::Value answers[] = {Json::Value(), no_member, not_array, array_answer,
                                 Json::Value("indexStrings")};
  for (const Json::Value& answer : answers) {
    SCOPED_TRACE(answer.toStyledString());
    fake::reset();
    add_fc_adapter(kIdx1);
    fake::g_fake["index"] = answer;
    log.clear();
    DeviceList list;
    list.emplace_back(new DeviceRecord("kept"));
    EXPECT_EQ(enumerate(list), 1001);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "LOG_INFO : getDeviceVector QRVL Adapter Count = 1", "",
                               "LOG_INFO : libGetAllAdapterIndexString returns NULL.", kExit}));
  }
}

TEST_F(EnumerationTest, EmptyIndexListReturnsFour) {
  fake::g_fake["count"] = 3;
  DeviceList list;
  EXPECT_EQ(enumerate(list), 4);
  EXPECT_EQ(list.size(), 0u);
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{
                "LOG_INFO : getDeviceVector QRVL Adapter Count = 3", "",
                "LOG_INFO : Num of Adapters is 0",
                "LOG_ERROR : Adapter count AdapterIndexString response returned zero adapters!",
                kExit}));
}

TEST_F(EnumerationTest, IndexListDecidesTheAdapterCount) {
  add_fc_adapter(kIdx1);
  add_fc_adapter(kIdx2);
  fake::g_fake["count"] = 7;
  DeviceList list;
  EXPECT_EQ(enumerate(list), 0);
  EXPECT_EQ(list.size(), 2u);
  EXPECT_EQ(log.count("LOG_INFO : Num of Adapters is 2"), 1u);
}

// The adapter count and index list calls are not guarded by the query layer; an agent that
// threw there used to take the exception out of the enumeration.
TEST_F(EnumerationTest, ThrowingDirectAgentCallsReturn1001) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::string line;
  };
  const Case cases[] = {
      {"count throws agent error", [] { fake::g_fake["count"] = fake::thrower("agent"); },
       "LOG_ERROR : libGetNumOfAdapters got User exception -7: fake agent refused"},
      {"count throws std", [] { fake::g_fake["count"] = fake::thrower("std"); },
       "LOG_ERROR : libGetNumOfAdapters failed: fake std failure, returned INTERNAL_OPER_FAILED"},
      {"count unbound", [] { libGetNumOfAdapters = nullptr; },
       "LOG_ERROR : libGetNumOfAdapters failed: entry point not bound, returned "
       "INTERNAL_OPER_FAILED"},
      {"index list throws other",
       [] { fake::g_fake["index"] = fake::thrower("other"); },
       "LOG_ERROR : libGetAllAdapterIndexString failed: default exception, returned "
       "INTERNAL_OPER_FAILED"},
      {"index list throws agent error",
       [] { fake::g_fake["index"] = fake::thrower("agent"); },
       "LOG_ERROR : libGetAllAdapterIndexString got User exception -7: fake agent refused"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake::reset();
    fake::install();
    add_fc_adapter(kIdx1);
    c.arrange();
    log.clear();
    DeviceList list;
    EXPECT_EQ(enumerate(list), 1001);
    EXPECT_EQ(list.size(), 0u);
    const auto lines = log.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], c.line);
    EXPECT_EQ(lines.back(), kExit);
  }
}

// ---- Failures of single adapters: the adapter is skipped, the others are listed ----

struct SkipCase {
  const char* what;
  std::function<void()> break_first;  // spoils adapter kIdx1
  std::string line;                   // the enumeration's own trace of the skip
  size_t first_records;               // records that adapter 1 still yields
};

TEST_F(EnumerationTest, FailingAdapterIsSkippedAndTheNextListed) {
  Json::Value refusal;
  refusal["error"]["code"] = 16;
  refusal["error"]["message"] = "adapter busy";
  const std::string a1 = "1 - " + kIdx1;
  const std::vector<SkipCase> cases = {
      {"details agent error", [] { fake::adapter(kIdx1)["hba"] = fake::thrower("agent"); },
       "LOG_INFO : Unable to get Adapter info " + a1, 0},
      {"details std exception", [] { fake::adapter(kIdx1)["hba"] = fake::thrower("std"); },
       "LOG_INFO : Unable to get Adapter info " + a1, 0},
      {"details other exception",
       [] { fake::adapter(kIdx1)["hba"] = fake::thrower("other"); },
       "LOG_INFO : Unable to get Adapter info " + a1, 0},
      {"details refused", [refusal] { fake::adapter(kIdx1)["hba"] = refusal; },
       "LOG_INFO : Unable to get Adapter info " + a1, 0},
      {"details null", [] { fake::adapter(kIdx1).removeMember("hba"); },
       "LOG_INFO : Unable to get Adapter info " + a1, 0},
      {"details without driver",
       [] { fake::adapter(kIdx1)["hba"].removeMember("driver"); },
       "LOG_INFO : Unable to get Adapter info " + a1, 0},
      {"no ports", [] { fake::adapter(kIdx1)["hba"]["hbaData"]["portCount"] = 0; },
       "LOG_INFO : There are no ports associated to Adapter id " + a1, 0},
      {"port count absent",
       [] { fake::adapter(kIdx1)["hba"]["hbaData"].removeMember("portCount"); },
       "LOG_INFO : There are no ports associated to Adapter id " + a1, 0},
      {"advanced agent error", [] { fake::adapter(kIdx1)["adv"] = fake::thrower("agent"); },
       "LOG_INFO : Unable to get Advanced Adapter info " + a1, 0},
      {"advanced std exception", [] { fake::adapter(kIdx1)["adv"] = fake::thrower("std"); },
       "LOG_INFO : Unable to get Advanced Adapter info " + a1, 0},
      {"advanced refused", [refusal] { fake::adapter(kIdx1)["adv"] = refusal; },
       "LOG_INFO : Unable to get Advanced Adapter info " + a1, 0},
      {"advanced null", [] { fake::adapter(kIdx1).removeMember("adv"); },
       "LOG_INFO : Unable to get Advanced Adapter info " + a1, 0},
      {"FC list throws", [] { fake::adapter(kIdx1)["fc"] = fake::thrower("agent"); },
       "LOG_INFO : Unable to get Fc info " + a1, 2},
      {"FC list refused", [refusal] { fake::adapter(kIdx1)["fc"] = refusal; },
       "LOG_INFO : Unable to get Fc info " + a1, 2},
      {"every FC port fails",
       [] {
         fake::port("21:00:00:0e:1e:c0:01:20") = fake::thrower("std");
         fake::g_fake["ports"].removeMember("21:00:00:0e:1e:c0:01:21");
       },
       "LOG_INFO : Fc Enum is NULL for " + kIdx1, 2},
      {"Eth list throws", [] { fake::adapter(kIdx1)["eth"] = fake::thrower("other"); },
       "LOG_ERROR : Unable to get Eth info " + a1, 2},
      {"every Eth port fails",
       [] {
         fake::port("00:0e:1e:c0:01:10") = fake::thrower("agent");
         fake::port("00:0e:1e:c0:01:11") = Json::Value();
       },
       "LOG_ERROR : Eth Enum is NULL for " + kIdx1, 2},
  };
  for (const SkipCase& c : cases) {
    SCOPED_TRACE(c.what);
    fake::reset();
    add_cna_adapter(kIdx1);
    add_fc_adapter(kIdx2);
    c.break_first();
    log.clear();
    DeviceList list;
    EXPECT_EQ(enumerate(list), 0);
    ASSERT_EQ(list.size(), c.first_records + 1);
    for (size_t i = 0; i < c.first_records; ++i) EXPECT_EQ(index_of(list, i), kIdx1);
    EXPECT_EQ(list.back()->adapter_index(), kIdx2);
    EXPECT_EQ(log.count(c.line), 1u);
    EXPECT_EQ(log.count(kExit), 0u);
  }
}

TEST_F(EnumerationTest, FailedEthernetListStillLeavesFcRecords) {
  add_cna_adapter(kIdx1);
  fake::adapter(kIdx1)["eth"] = fake::thrower("std");
  DeviceList list;
  ASSERT_EQ(enumerate(list), 0);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(info(list, 0).dev_type, "FCoE");
  EXPECT_EQ(info(list, 1).dev_type, "Fc");
  EXPECT_TRUE(ContainsInOrder(log.lines(), {"LOG_ERROR : Unable to get Eth info 1 - " + kIdx1,
                                            "LOG_ERROR : Eth Enum is NULL for " + kIdx1,
                                            "LOG_INFO : Number of Quorvel Ethernet Devices added is 0"}));
}

TEST_F(EnumerationTest, OneFailingPortLeavesTheOthers) {
  add_cna_adapter(kIdx1);
  fake::port("00:0e:1e:c0:01:10") = fake::thrower("std");
  fake::port("21:00:00:0e:1e:c0:01:21") = fake::thrower("other");
  DeviceList list;
  ASSERT_EQ(enumerate(list), 0);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(info(list, 0).mac_or_wwn, "00:0e:1e:c0:01:11");
  EXPECT_EQ(info(list, 1).mac_or_wwn, "20:00:00:0e:1e:c0:01:20");
}

TEST_F(EnumerationTest, EveryAdapterSkippedStillReturnsZero) {
  add_fc_adapter(kIdx1);
  add_fc_adapter(kIdx2);
  fake::adapter(kIdx1)["hba"] = fake::thrower("std");
  fake::adapter(kIdx2)["adv"] = fake::thrower("agent");
  DeviceList list;
  EXPECT_EQ(enumerate(list), 0);
  EXPECT_EQ(list.size(), 0u);
  EXPECT_EQ(log.count("LOG_INFO : Unable to get Adapter info 1 - " + kIdx1), 1u);
  EXPECT_EQ(log.count("LOG_INFO : Unable to get Advanced Adapter info 2 - " + kIdx2), 1u);
}

// ---- Malformed answers ----

// Members present with null values read as if absent: empty text, 0.
TEST_F(EnumerationTest, NullMembersReadAsEmpty) {
  add_cna_adapter(kIdx1);
  Json::Value& d = fake::adapter(kIdx1)["hba"];
  d["hbaData"]["model"] = Json::Value();
  d["pcieInfo"]["vendorID"] = Json::Value();
  d["driver"]["storageDriverVersion"] = Json::Value();
  fake::port("21:00:00:0e:1e:c0:01:21")["portMode"] = Json::Value();
  DeviceList list;
  ASSERT_EQ(enumerate(list), 0);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(info(list, 3).ven_id, "0");
  EXPECT_EQ(info(list, 3).prod_id, "Invalid Model");
  EXPECT_EQ(info(list, 3).fw_dev.fw_id, "");
  EXPECT_EQ(info(list, 3).dev_type, "Fc");
}

// The "tag=value" texts of a record's values.
std::vector<std::string> attribs(const DeviceRecord& dev) {
  std::vector<std::string> out;
  for (const AttributeValue& v : dev.values()) out.push_back(v.attribute->tag + ("=" + v.value));
  return out;
}

// Scalars are read as JsonCpp's asString / asUInt convert them; these used to fail the whole
// enumeration with 1001.
TEST_F(EnumerationTest, ScalarsReadAsJsonCppConvertsThem) {
  struct Case {
    const char* what;
    std::function<void(Json::Value& details)> set;  // changes adapter kIdx1's answers
    std::vector<std::pair<size_t, std::string>> want;  // record, one of its attributes
  };
  const std::string fc = "Quorvel QC8400 Series ";
  const Case cases[] = {
      {"storage driver version is 10",
       [](Json::Value& d) { d["driver"]["storageDriverVersion"] = 10; },
       {{2, "firmware_id value=10"}, {3, "firmware_id value=10"}, {0, "firmware_id value=5.1.7"}}},
      {"network driver version is 8.5",
       [](Json::Value& d) { d["driver"]["networkDriverVersion"] = 8.5; },
       {{0, "firmware_id value=8.5"}, {1, "firmware_id value=8.5"}}},
      {"port count is 2.0", [](Json::Value& d) { d["hbaData"]["portCount"] = 2.0; },
       {{3, "product_id value=" + fc + "Dual-Port 32Gb Fibre Channel HBA"}}},
      {"port count is 1.5", [](Json::Value& d) { d["hbaData"]["portCount"] = 1.5; },
       {{3, "product_id value=" + fc + "Single-Port 32Gb Fibre Channel HBA"}}},
      {"port count is true", [](Json::Value& d) { d["hbaData"]["portCount"] = true; },
       {{3, "product_id value=" + fc + "Single-Port 32Gb Fibre Channel HBA"}}},
      {"vendor ID is 4215.0", [](Json::Value& d) { d["pcieInfo"]["vendorID"] = 4215.0; },
       {{0, "device_id value=1077.8442.1d7a.2"}, {3, "venid value=1077"}}},
      {"subsystem ID is 2.25", [](Json::Value& d) { d["pcieInfo"]["subSystemID"] = 2.25; },
       {{1, "subdevid value=2"}}},
      {"subsystem vendor ID is false",
       [](Json::Value& d) { d["pcieInfo"]["subSystemVendorID"] = false; },
       {{2, "subvenid value=0"}}},
      {"model is a number", [](Json::Value& d) { d["hbaData"]["model"] = 8442; },
       {{3, "product_id value=Invalid Model"}}},
      {"flashed version is 3",
       [](Json::Value&) { fake::adapter(kIdx1)["adv"]["flashedBiosVersion"] = 3; },
       {{0, "active_version value=3"}, {3, "active_version value=3"}}},
      {"Ethernet MAC is true",
       [](Json::Value&) { fake::port("00:0e:1e:c0:01:10")["ethData"]["macAddress"] = true; },
       {{0, "macaddress value=true"}, {1, "macaddress value=00:0e:1e:c0:01:11"}}},
      {"FC hardware path is 1.5",
       [](Json::Value&) { fake::port("21:00:00:0e:1e:c0:01:21")["hardwarePath"] = 1.5; },
       {{3, "busnumber value="}, {2, "busnumber value=a"}}},
      {"FC wwn is 5", [](Json::Value&) { fake::port("21:00:00:0e:1e:c0:01:21")["wwn"] = 5; },
       {{3, "macaddress value=5"}}},
      {"CNA port mode is false",
       [](Json::Value&) { fake::port("21:00:00:0e:1e:c0:01:20")["portMode"] = false; },
       {{2, "macaddress value=21:00:00:0e:1e:c0:01:20"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake::reset();
    add_cna_adapter(kIdx1);
    c.set(fake::adapter(kIdx1)["hba"]);
    log.clear();
    DeviceList list;
    ASSERT_EQ(enumerate(list), 0);
    ASSERT_EQ(list.size(), 4u);
    for (const auto& w : c.want) {
      const std::vector<std::string> got = attribs(*list[w.first]);
      EXPECT_NE(std::find(got.begin(), got.end(), w.second), got.end())
          << "record " << w.first << " lacks " << w.second;
    }
    EXPECT_EQ(log.count(kExit), 0u);
  }
}

struct MalformedCase {
  const char* what;
  std::function<void()> spoil;  // spoils adapter kIdx2
  std::string line;
  size_t records;  // records left in the list (adapter 1 has four)
};

// A member that JsonCpp's as*() refuses used to throw out of the enumeration; it is now
// reported and the enumeration fails with 1001, keeping what it had appended.
TEST_F(EnumerationTest, WrongTypeMembersFailWith1001) {
  auto details = [] () -> Json::Value& { return fake::adapter(kIdx2)["hba"]; };
  auto fcport = [] () -> Json::Value& {
    return fake::port("21:00:00:0e:1e:c0:02:20");
  };
  auto ethdata = [] () -> Json::Value& {
    return fake::port("00:0e:1e:c0:02:10")["ethData"];
  };
  const std::string a2 = "LOG_ERROR : Malformed agent answer for adapter 2 (" + kIdx2 + "): ";
  const std::vector<MalformedCase> cases = {
      {"hbaData is text", [&] { details()["hbaData"] = "QC8442"; },
       a2 + "hbaData is not an object", 4},
      {"port count is text", [&] { details()["hbaData"]["portCount"] = "2"; },
       a2 + "hbaData/portCount is not an unsigned number", 4},
      {"port count is negative", [&] { details()["hbaData"]["portCount"] = -2; },
       a2 + "hbaData/portCount is not an unsigned number", 4},
      {"port count is 1e12", [&] { details()["hbaData"]["portCount"] = 1e12; },
       a2 + "hbaData/portCount is not an unsigned number", 4},
      {"port count is 2^40", [&] { details()["hbaData"]["portCount"] = Json::Int64(1) << 40; },
       a2 + "hbaData/portCount is not an unsigned number", 4},
      {"model is an object",
       [&] { details()["hbaData"]["model"] = Json::Value(Json::objectValue); },
       a2 + "hbaData/model is not a string", 4},
      {"pcieInfo is an array", [&] { details()["pcieInfo"] = Json::Value(Json::arrayValue); },
       a2 + "pcieInfo is not an object", 4},
      {"vendor ID is text", [&] { details()["pcieInfo"]["vendorID"] = "1d7a"; },
       a2 + "pcieInfo/vendorID is not an unsigned number", 4},
      {"device ID is negative", [&] { details()["pcieInfo"]["deviceID"] = -1; },
       a2 + "pcieInfo/deviceID is not an unsigned number", 4},
      {"device ID is -1.0", [&] { details()["pcieInfo"]["deviceID"] = -1.0; },
       a2 + "pcieInfo/deviceID is not an unsigned number", 4},
      {"subsystem vendor ID too large",
       [&] { details()["pcieInfo"]["subSystemVendorID"] = 4294967296.0; },
       a2 + "pcieInfo/subSystemVendorID is not an unsigned number", 4},
      {"driver is text", [&] { details()["driver"] = "10.2"; }, a2 + "driver is not an object",
       4},
      {"network driver version is an object",
       [&] {
         Json::Value v;
         v["v"] = 1;
         details()["driver"]["networkDriverVersion"] = v;
       },
       a2 + "driver/networkDriverVersion is not a string", 4},
      {"flashed version is an array",
       [] { fake::adapter(kIdx2)["adv"]["flashedBiosVersion"] = Json::Value(Json::arrayValue); },
       a2 + "flashedBiosVersion is not a string", 4},
      {"advanced answer is text", [] { fake::adapter(kIdx2)["adv"] = "3.0.3.0"; },
       a2 + "advanced adapter answer is not an object", 4},
      {"Ethernet MAC is an object",
       [&] { ethdata()["macAddress"] = Json::Value(Json::objectValue); },
       a2 + "Ethernet port 1 ethData/macAddress is not a string", 4},
      {"FC node wwn is an array", [&] { fcport()["nodeWwn"] = Json::Value(Json::arrayValue); },
       a2 + "FC port 1 nodeWwn is not a string", 6},
      {"FC port answer is text", [&] { fcport() = "21:00:00:0e:1e:c0:02:20"; },
       a2 + "FC port 1 answer is not an object", 6},
      {"second FC port malformed",
       [] {
         fake::port("21:00:00:0e:1e:c0:02:21")["wwn"] = Json::Value(Json::arrayValue);
       },
       a2 + "FC port 2 wwn is not a string", 7},
      {"index string is a number", [] { fake::g_fake["order"][1] = 2; },
       "LOG_ERROR : Malformed agent answer: indexStrings element 2 is not a string", 4},
      {"index string is null", [] { fake::g_fake["order"][1] = Json::Value(); },
       "LOG_ERROR : Malformed agent answer: indexStrings element 2 is not a string", 4},
  };
  for (const MalformedCase& c : cases) {
    SCOPED_TRACE(c.what);
    fake::reset();
    add_cna_adapter(kIdx1);
    add_cna_adapter(kIdx2);
    c.spoil();
    log.clear();
    DeviceList list;
    EXPECT_EQ(enumerate(list), 1001);
    ASSERT_EQ(list.size(), c.records);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(index_of(list, i), kIdx1);
    const auto lines = log.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], c.line);
    EXPECT_EQ(lines.back(), kExit);
  }
}

}  // namespace
