// Builds the device list from the agent's answers: one record per Ethernet port, then one per
// FC/FCoE port, adapter by adapter in the agent's index order.
#include "inventory/enumeration.h"

#include <cstdint>
#include <cstdio>

#include <json/json.h>

#include "agent/adapters.h"
#include "agent/queries.h"
#include "answer_reader.h"
#include "model_names.h"
#include "log/log.h"
#include "vxins_host_api.h"
#include "vxins_trace.h"

namespace vxins {
namespace inventory {

namespace {

// Everything a record takes from its adapter.
struct AdapterInfo {
  std::string index;
  std::string pcie_dev_id_str;
  std::string ven_id, dev_id, sub_ven_id, sub_dev_id;
  std::string storage_drv_ver, network_drv_ver;
  std::string model;
  uint32_t port_count = 0;
  std::string flashed_bios_info;
};

// What one port contributes to its record.
struct PortInfo {
  const char* type;
  std::string product;
  std::string mac_or_wwn;
  std::string hw_path;
  const std::string* fw_id;
};

// What the package offers, and the list the records go to.
struct Target {
  const std::string& package_version;
  const std::string& package_name;
  DeviceList& devices;
};

// How the work on one adapter ended: done or given up (the next adapter follows), or stopped
// by an answer the enumeration cannot read (the whole enumeration fails).
enum class Step { kNextAdapter, kContinue, kMalformed };

std::string hex_text(uint32_t value) {
  char buf[16];
  snprintf(buf, sizeof buf, "%x", value);
  return buf;
}

// Keeps the text before the first sep when sep sits after the first character.
std::string cut_at_first(const std::string& text, char sep) {
  std::string::size_type pos = text.find(sep);
  if (pos != std::string::npos && pos > 0) return text.substr(0, pos);
  return text;
}

// Creates the record of one port and appends it; the order of the calls is the order of the
// record's values, and so of the leaves in the discovery file.
void append_record(const AdapterInfo& ad, const PortInfo& port, const Target& target) {
  std::string bus, dev, fn;
  parse_hardware_path(port.hw_path, bus, dev, fn);
  std::unique_ptr<DeviceRecord> rec(new DeviceRecord(ad.index));
  const std::pair<VXINS_DEV_CHAR_CONSTS, std::string> identity[] = {
      {DEV_CHAR_CONST_DEVICE_ID_VALUE, ad.pcie_dev_id_str},
      {DEV_CHAR_CONST_DEVID_VALUE, ad.dev_id},
      {DEV_CHAR_CONST_VENID_VALUE, ad.ven_id},
      {DEV_CHAR_CONST_SUBDEVID_VALUE, ad.sub_dev_id},
      {DEV_CHAR_CONST_SUBVENID_VALUE, ad.sub_ven_id},
      {DEV_CHAR_CONST_PRODUCT_ID_VALUE, port.product},
      {DEV_CHAR_CONST_TYPE_VALUE, port.type},
      {DEV_CHAR_CONST_MAC_ADDR_VALUE, port.mac_or_wwn},
      {DEV_CHAR_CONST_BUS_NUM_VALUE, bus},
      {DEV_CHAR_CONST_DEV_NUM_VALUE, dev},
      {DEV_CHAR_CONST_FUNC_NUM_VALUE, fn},
      {DEV_CHAR_CONST_FW_ID_VALUE, *port.fw_id},
      // The record has no firmware-type field; the call is kept for the trace it leaves.
      {DEV_CHAR_CONST_FW_TYPE_VALUE, "ROM"},
      {DEV_CHAR_CONST_FW_VERSION_VALUE, target.package_version},
      {DEV_CHAR_CONST_FW_FILE_VALUE, target.package_name},
  };
  for (const auto& v : identity) rec->set(v.first, v.second);
  // Nothing flashed (or nothing reported): offer the package as an upgrade. The comparison
  // logs what it compares, after the values above and before the outcome below.
  std::string active_version = " ";
  int action = FW_STATUS_UPGRADE;
  if (!ad.flashed_bios_info.empty()) {
    action = action_for_versions(target.package_version, ad.flashed_bios_info);
    active_version = ad.flashed_bios_info;
  }
  const std::pair<VXINS_DEV_CHAR_CONSTS, std::string> outcome[] = {
      {DEV_CHAR_CONST_ACTIVE_VERSION_VALUE, active_version},
      {DEV_CHAR_CONST_ACTION_VALUE, action_text(action)},
      {DEV_CHAR_CONST_ACTION_STATUS_VALUE, ""},
      {DEV_CHAR_CONST_DURATION_VALUE, "60"},
      {DEV_CHAR_CONST_MSG_VALUE, "VX Reserved"},
      {DEV_CHAR_CONST_SHARED_VALUE, "no"},
  };
  for (const auto& v : outcome) rec->set(v.first, v.second);
  target.devices.push_back(std::move(rec));
}

// One Ethernet record per element of the port list. False on a malformed element.
bool add_eth_records(const AnswerReader& rd, const AdapterInfo& ad, const Json::Value& portlist,
                     const Target& target) {
  if (portlist.isNull()) return true;
  if (!portlist.isArray()) return rd.wrong_type("Ethernet port list", "an array");
  for (Json::ArrayIndex i = 0; i < portlist.size(); ++i) {
    const std::string where = "Ethernet port " + std::to_string(i + 1) + " ";
    const Json::Value& elem = portlist[i];
    if (!elem.isObject() || !elem.isMember("ethData") || !elem["ethData"].isObject())
      return rd.wrong_type(where + "ethData", "an object");
    const Json::Value* eth = &elem["ethData"];
    PortInfo port{"Eth", "Quorvel 10G Ethernet Adapter", "", "", &ad.network_drv_ver};
    if (!rd.text(eth, "hardwarePath", where + "ethData/hardwarePath", port.hw_path) ||
        !rd.text(eth, "macAddress", where + "ethData/macAddress", port.mac_or_wwn))
      return false;
    append_record(ad, port, target);
  }
  return true;
}

// One FC or FCoE record per element of the port list. False on a malformed element.
bool add_fc_records(const AnswerReader& rd, const AdapterInfo& ad, const Json::Value& portlist,
                    const Target& target) {
  if (!portlist.isArray()) return rd.wrong_type("FC port list", "an array");
  for (Json::ArrayIndex i = 0; i < portlist.size(); ++i) {
    const std::string where = "FC port " + std::to_string(i + 1) + " ";
    const Json::Value& elem = portlist[i];
    if (!elem.isObject()) return rd.wrong_type(where + "answer", "an object");
    std::string wwn, node_wwn, hw_path, port_mode;
    if (!rd.text(&elem, "wwn", where + "wwn", wwn) ||
        !rd.text(&elem, "nodeWwn", where + "nodeWwn", node_wwn) ||
        !rd.text(&elem, "hardwarePath", where + "hardwarePath", hw_path) ||
        !rd.text(&elem, "portMode", where + "portMode", port_mode))
      return false;
    const bool is_cna = port_mode == "CNA";
    PortInfo port{is_cna ? "FCoE" : "Fc", product_name(ad.model, ad.port_count, is_cna),
                  is_cna ? node_wwn : wwn, hw_path, &ad.storage_drv_ver};
    append_record(ad, port, target);
  }
  return true;
}

// The adapter's identity, driver versions, model and port count from its answer.
bool read_adapter_answer(const AnswerReader& rd, const Json::Value& adapter, AdapterInfo& ad) {
  const Json::Value* hba = nullptr;
  const Json::Value* pcie = nullptr;
  const Json::Value* driver = nullptr;
  uint32_t ven = 0, dev = 0, sub_ven = 0, sub_dev = 0;
  if (!rd.object(&adapter, "hbaData", "hbaData", hba) ||
      !rd.text(hba, "model", "hbaData/model", ad.model) ||
      !rd.object(&adapter, "pcieInfo", "pcieInfo", pcie) ||
      !rd.number(pcie, "vendorID", "pcieInfo/vendorID", ven) ||
      !rd.number(pcie, "deviceID", "pcieInfo/deviceID", dev) ||
      !rd.number(pcie, "subSystemVendorID", "pcieInfo/subSystemVendorID", sub_ven) ||
      !rd.number(pcie, "subSystemID", "pcieInfo/subSystemID", sub_dev))
    return false;
  ad.ven_id = hex_text(ven);
  ad.dev_id = hex_text(dev);
  ad.sub_ven_id = hex_text(sub_ven);
  ad.sub_dev_id = hex_text(sub_dev);
  ad.pcie_dev_id_str = ad.ven_id + "." + ad.dev_id + "." + ad.sub_ven_id + "." + ad.sub_dev_id;
  log::utility.info("The PCI E INFO IS:");
  log::utility.info("%s", ad.pcie_dev_id_str.c_str());
  // Driver versions may carry build text after a blank ("10.2.1 build 7").
  if (!rd.object(&adapter, "driver", "driver", driver) ||
      !rd.text(driver, "storageDriverVersion", "driver/storageDriverVersion",
               ad.storage_drv_ver) ||
      !rd.text(driver, "networkDriverVersion", "driver/networkDriverVersion",
               ad.network_drv_ver))
    return false;
  ad.storage_drv_ver = cut_at_first(ad.storage_drv_ver, ' ');
  ad.network_drv_ver = cut_at_first(ad.network_drv_ver, ' ');
  return rd.number(hba, "portCount", "hbaData/portCount", ad.port_count);
}

// One of the adapter's two answers: kContinue with the answer object, kNextAdapter (logged)
// when the query failed or answered null, kMalformed when the answer is no object.
template <typename Query>
Step fetch_answer(const AnswerReader& rd, Query query, const char* failed_line, int number,
                  const std::string& index, const char* what, Json::Value& answer) {
  if (query(index, answer) != 0) {
    log::utility.info(failed_line, number, index.c_str());
    return Step::kNextAdapter;
  }
  if (answer.isNull()) {
    log::utility.info(trace::kAdapterNull, index.c_str());
    return Step::kNextAdapter;
  }
  if (answer.isObject()) return Step::kContinue;
  rd.wrong_type(what, "an object");
  return Step::kMalformed;
}

// Asks for the adapter, reads its answer and logs its ports.
Step query_adapter(const AnswerReader& rd, int number, AdapterInfo& ad) {
  Json::Value adapter;
  Step step = fetch_answer(rd, agent::adapter_details, trace::kAdapterInfoFailed, number, ad.index,
                           "adapter answer", adapter);
  if (step != Step::kContinue) return step;
  if (!read_adapter_answer(rd, adapter, ad)) return Step::kMalformed;
  if (ad.port_count == 0) {
    log::utility.info(trace::kNoPorts, number, ad.index.c_str());
    return Step::kNextAdapter;
  }
  log::utility.info(trace::kPortCount, static_cast<int>(ad.port_count), number);
  log::utility.info(trace::kModel, ad.model.c_str());
  return Step::kContinue;
}

// The version flashed on the adapter, cut before any "_build" suffix.
Step query_flashed_version(const AnswerReader& rd, int number, AdapterInfo& ad) {
  Json::Value answer;
  Step step = fetch_answer(rd, agent::advanced_adapter_info,
                           trace::kAdvancedInfoFailed, number, ad.index, "advanced adapter answer",
                           answer);
  if (step != Step::kContinue) return step;
  if (!rd.text(&answer, "flashedBiosVersion", "flashedBiosVersion", ad.flashed_bios_info))
    return Step::kMalformed;
  const char* index = ad.index.c_str();
  if (!ad.flashed_bios_info.empty())
    log::utility.info(trace::kFlashedVersion, index, ad.flashed_bios_info.c_str());
  else
    log::utility.info(trace::kNoFlashedVersion, index);
  // The agent may append build text after "_" ("3.0.3.0_b12"); only the version compares.
  const std::string cut = cut_at_first(ad.flashed_bios_info, '_');
  if (cut != ad.flashed_bios_info) {
    log::utility.info("Original Flashed Info = %s, Temp FlashedBios=%s\n",
                      ad.flashed_bios_info.c_str(), cut.c_str());
    ad.flashed_bios_info = cut;
  }
  return Step::kContinue;
}

// The adapter's ports: Ethernet first (a failed list does not stop the adapter: whatever it
// holds is still recorded), then FC.
Step add_port_records(const AnswerReader& rd, int number, const AdapterInfo& ad,
                      const Target& target) {
  const char* index = ad.index.c_str();
  Json::Value eth_list;
  if (agent::all_eth_port_details(ad.index, eth_list) != 0)
    log::utility.error(trace::kEthInfoFailed, number, index);
  if (eth_list.isNull()) log::utility.error(trace::kEthListNull, index);
  if (!add_eth_records(rd, ad, eth_list, target)) return Step::kMalformed;
  log::utility.info(trace::kEthernetRecordsMade,
                    static_cast<int>(target.devices.size()));
  Json::Value fc_list;
  if (agent::all_fc_port_details(ad.index, fc_list) != 0) {
    log::utility.info(trace::kFcInfoFailed, number, index);
    return Step::kNextAdapter;
  }
  if (fc_list.isNull()) {
    log::utility.info(trace::kFcListNull, index);
    return Step::kNextAdapter;
  }
  return add_fc_records(rd, ad, fc_list, target) ? Step::kNextAdapter : Step::kMalformed;
}

// The per-adapter steps. False only for a malformed answer (the whole enumeration then fails).
bool enumerate_adapter(int number, const std::string& index, const Target& target) {
  AdapterInfo ad;
  ad.index = index;
  AnswerReader rd(number, ad.index);
  Step step = query_adapter(rd, number, ad);
  if (step == Step::kContinue) step = query_flashed_version(rd, number, ad);
  if (step == Step::kContinue) step = add_port_records(rd, number, ad, target);
  return step != Step::kMalformed;
}

int fail(int code) {
  log::utility.error("%s", trace::kEnumerationExit);
  return code;
}

}  // namespace

int enumerate_devices(const std::string& package_version, const std::string& package_name,
                      DeviceList& devices) {
  uint32_t count = 0;
  if (!agent::adapter_count(count)) return fail(VXINS_RC_INTERNAL_OPER_FAILED);
  if (count == 0) {
    log::utility.error("%s", trace::kNoAdapters);
    return fail(VXINS_RC_NO_ADAPTERS);
  }
  Json::Value indices;
  if (!agent::adapter_index_list(indices)) return fail(VXINS_RC_INTERNAL_OPER_FAILED);
  const int num_adapters = static_cast<int>(indices.size());
  log::utility.info(trace::kAdapterCount, num_adapters);
  if (num_adapters == 0) {
    log::utility.error("%s", trace::kZeroAdapters);
    return fail(VXINS_RC_NO_ADAPTERS);
  }
  const Target target{package_version, package_name, devices};
  for (int number = 1; number <= num_adapters; ++number) {
    const Json::Value& elem = indices[static_cast<Json::ArrayIndex>(number - 1)];
    if (!elem.isString()) {
      log::utility.error("Malformed agent answer: indexStrings element %d is not a string",
                         number);
      return fail(VXINS_RC_INTERNAL_OPER_FAILED);
    }
    if (!enumerate_adapter(number, elem.asString(), target))
      return fail(VXINS_RC_INTERNAL_OPER_FAILED);
  }
  return 0;
}

}  // namespace inventory
}  // namespace vxins
