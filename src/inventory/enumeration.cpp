// Builds the device list from the agent's answers: one record per Ethernet port, then one per
// FC/FCoE port, adapter by adapter in the agent's index order.
#include "inventory/enumeration.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>

#include <json/json.h>

#include "agent/znaj_cxn_methods.h"
#include "inventory/model_names.h"
#include "package/fw_version.h"
#include "vxins_log.h"
#include "znaj_agent.h"

namespace {

enum { ENUM_NO_ADAPTERS = 4, ENUM_INTERNAL_OPER_FAILED = 1001 };

const char kExitLine[] = "<--qrvl_enumerate_devices()";
const char kIndexStrings[] = "indexStrings";

// Everything a record takes from its adapter.
struct adapter_info_s {
  std::string index;
  std::string pcie_dev_id_str;
  std::string ven_id;
  std::string dev_id;
  std::string sub_ven_id;
  std::string sub_dev_id;
  std::string storage_drv_ver;
  std::string network_drv_ver;
  std::string model;
  uint32_t port_count = 0;
  std::string flashed_bios_info;
};

// What one port contributes to its record.
struct port_info_s {
  const char* type;
  std::string product;
  std::string mac_or_wwn;
  std::string hw_path;
  const std::string* fw_id;
};

// Reads members of one adapter's answers. Scalars are read as JsonCpp's asString / asUInt
// convert them (10 where text is expected reads "10", 2.0 where a count is expected reads 2,
// null reads "" or 0); a missing member reads as empty text or 0. The agent is not trusted: a
// value that conversion refuses (an object, an array, a negative or too large count) would
// make JsonCpp throw, so it is logged instead, naming the member and the adapter, and the
// reader answers false so that the enumeration can stop.
class AnswerReader {
 public:
  AnswerReader(int adIndex, const std::string& index) : m_adIndex(adIndex), m_index(index) {}

  // The member object of obj, or null when obj is null or lacks the member.
  bool object(const Json::Value* obj, const char* member, const std::string& where,
              const Json::Value*& out) {
    out = nullptr;
    const Json::Value* v = find(obj, member);
    if (v == nullptr || v->isNull()) return true;
    if (!v->isObject()) return wrong_type(where, "an object");
    out = v;
    return true;
  }

  bool text(const Json::Value* obj, const char* member, const std::string& where,
            std::string& out) {
    out.clear();
    const Json::Value* v = find(obj, member);
    if (v == nullptr || qrvl_agent_scalar(*v, out)) return true;
    return wrong_type(where, "a string");
  }

  bool number(const Json::Value* obj, const char* member, const std::string& where,
              uint32_t& out) {
    out = 0;
    const Json::Value* v = find(obj, member);
    Json::UInt value = 0;
    if (v != nullptr && !qrvl_agent_scalar(*v, value))
      return wrong_type(where, "an unsigned number");
    out = value;
    return true;
  }

  bool wrong_type(const std::string& where, const char* expected) {
    snprintf(gLogBuf, sizeof(gLogBuf),
             "Malformed agent answer for adapter %d (%s): %s is not %s", m_adIndex,
             m_index.c_str(), where.c_str(), expected);
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
    return false;
  }

 private:
  // obj must be null or an object: JsonCpp throws when a member of anything else is looked up.
  static const Json::Value* find(const Json::Value* obj, const char* member) {
    if (obj == nullptr || !obj->isObject() || !obj->isMember(member)) return nullptr;
    return &(*obj)[member];
  }

  int m_adIndex;
  const std::string& m_index;
};

std::string hex_text(uint32_t value) {
  char buf[16];
  snprintf(buf, sizeof(buf), "%x", value);
  return buf;
}

// Keeps the text before the first sep when sep sits after the first character.
std::string cut_at_first(const std::string& text, char sep) {
  std::string::size_type pos = text.find(sep);
  if (pos != std::string::npos && pos > 0) return text.substr(0, pos);
  return text;
}

// Creates the record of one port and appends it; the order of the calls is the order of the
// record's pairs, and so of the attributes in the discovery file.
void append_record(const adapter_info_s& ad, const port_info_s& port,
                   const std::string& passed_fwver, const std::string& fw_fname,
                   std::vector<CQrvlDevice*>& dev_list_vector) {
  std::string bus, dev, fn;
  qrvl_parse_hardware_path(port.hw_path, bus, dev, fn);

  std::unique_ptr<CQrvlDevice> rec(new CQrvlDevice(ad.index));
  rec->SetDeviceValue(DEV_CHAR_CONST_DEVICE_ID_VALUE, ad.pcie_dev_id_str);
  rec->SetDeviceValue(DEV_CHAR_CONST_DEVID_VALUE, ad.dev_id);
  rec->SetDeviceValue(DEV_CHAR_CONST_VENID_VALUE, ad.ven_id);
  rec->SetDeviceValue(DEV_CHAR_CONST_SUBDEVID_VALUE, ad.sub_dev_id);
  rec->SetDeviceValue(DEV_CHAR_CONST_SUBVENID_VALUE, ad.sub_ven_id);
  rec->SetDeviceValue(DEV_CHAR_CONST_PRODUCT_ID_VALUE, port.product);
  rec->SetDeviceValue(DEV_CHAR_CONST_TYPE_VALUE, port.type);
  rec->SetDeviceValue(DEV_CHAR_CONST_MAC_ADDR_VALUE, port.mac_or_wwn);
  rec->SetDeviceValue(DEV_CHAR_CONST_BUS_NUM_VALUE, bus);
  rec->SetDeviceValue(DEV_CHAR_CONST_DEV_NUM_VALUE, dev);
  rec->SetDeviceValue(DEV_CHAR_CONST_FUNC_NUM_VALUE, fn);
  rec->SetDeviceValue(DEV_CHAR_CONST_FW_ID_VALUE, *port.fw_id);
  // The record has no firmware-type field; the call is kept for the trace it leaves.
  rec->SetDeviceValue(DEV_CHAR_CONST_FW_TYPE_VALUE, "ROM");
  rec->SetDeviceValue(DEV_CHAR_CONST_FW_VERSION_VALUE, passed_fwver);
  rec->SetDeviceValue(DEV_CHAR_CONST_FW_FILE_VALUE, fw_fname);

  // Nothing flashed (or nothing reported): offer the package as an upgrade.
  std::string active_version = " ";
  int action = FW_STATUS_UPGRADE;
  if (!ad.flashed_bios_info.empty()) {
    action = getFwVerStatus(passed_fwver, ad.flashed_bios_info);
    active_version = ad.flashed_bios_info;
  }
  rec->SetDeviceValue(DEV_CHAR_CONST_ACTIVE_VERSION_VALUE, active_version);
  rec->SetDeviceValue(DEV_CHAR_CONST_ACTION_VALUE, qrvl_action_text(action));
  rec->SetDeviceValue(DEV_CHAR_CONST_ACTION_STATUS_VALUE, "");
  rec->SetDeviceValue(DEV_CHAR_CONST_DURATION_VALUE, "60");
  rec->SetDeviceValue(DEV_CHAR_CONST_MSG_VALUE, "VX Reserved");
  rec->SetDeviceValue(DEV_CHAR_CONST_SHARED_VALUE, "no");

  dev_list_vector.push_back(rec.get());
  rec.release();  // the list owns it now
}

// One Ethernet record per element of the port list. False on a malformed element.
bool add_eth_records(AnswerReader& rd, const adapter_info_s& ad, const Json::Value& portlist,
                     const std::string& passed_fwver, const std::string& fw_fname,
                     std::vector<CQrvlDevice*>& dev_list_vector) {
  if (portlist.isNull()) return true;
  if (!portlist.isArray()) return rd.wrong_type("Ethernet port list", "an array");
  for (Json::ArrayIndex i = 0; i < portlist.size(); ++i) {
    const std::string where = "Ethernet port " + std::to_string(i + 1) + " ";
    const Json::Value& elem = portlist[i];
    if (!elem.isObject() || !elem.isMember("ethData") || !elem["ethData"].isObject())
      return rd.wrong_type(where + "ethData", "an object");
    const Json::Value* eth = &elem["ethData"];
    port_info_s port;
    port.type = "Eth";
    port.product = "Quorvel 10G Ethernet Adapter";
    port.fw_id = &ad.network_drv_ver;
    if (!rd.text(eth, "hardwarePath", where + "ethData/hardwarePath", port.hw_path) ||
        !rd.text(eth, "macAddress", where + "ethData/macAddress", port.mac_or_wwn))
      return false;
    append_record(ad, port, passed_fwver, fw_fname, dev_list_vector);
  }
  return true;
}

// One FC or FCoE record per element of the port list. False on a malformed element.
bool add_fc_records(AnswerReader& rd, const adapter_info_s& ad, const Json::Value& portlist,
                    const std::string& passed_fwver, const std::string& fw_fname,
                    std::vector<CQrvlDevice*>& dev_list_vector) {
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

    char name[QRVL_MODEL_NAME_BUF_SIZE] = "";
    getDeviceNameForModel(ad.model.c_str(), ad.port_count, is_cna, name);

    port_info_s port;
    port.type = is_cna ? "FCoE" : "Fc";
    port.product = name;
    port.mac_or_wwn = is_cna ? node_wwn : wwn;
    port.hw_path = hw_path;
    port.fw_id = &ad.storage_drv_ver;
    append_record(ad, port, passed_fwver, fw_fname, dev_list_vector);
  }
  return true;
}

// The per-adapter steps. Returns false only for a malformed answer (the whole enumeration then
// fails); a failed query just ends the work on this adapter.
bool enumerate_adapter(ZnajCxnMethods* cxn, int adIndex, const std::string& index,
                       const std::string& passed_fwver, const std::string& fw_fname,
                       std::vector<CQrvlDevice*>& dev_list_vector) {
  AnswerReader rd(adIndex, index);
  adapter_info_s ad;
  ad.index = index;

  Json::Value adapter;
  if (cxn->getAdapterDetails(index, adapter) != 0) {
    snprintf(gLogBuf, sizeof(gLogBuf), "Unable to get Adapter info %d - %s", adIndex,
             index.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    return true;
  }
  if (adapter.isNull()) {
    snprintf(gLogBuf, sizeof(gLogBuf), "adapter is NULL for %s", index.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    return true;
  }
  if (!adapter.isObject()) return rd.wrong_type("adapter answer", "an object");

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
  VXINS_LOG_TRACE(LOG_INFO, "The PCI E INFO IS:");
  VXINS_LOG_TRACE(LOG_INFO, ad.pcie_dev_id_str.c_str());

  // Driver versions may carry build text after a blank ("10.2.1 build 7").
  if (!rd.object(&adapter, "driver", "driver", driver) ||
      !rd.text(driver, "storageDriverVersion", "driver/storageDriverVersion",
               ad.storage_drv_ver) ||
      !rd.text(driver, "networkDriverVersion", "driver/networkDriverVersion",
               ad.network_drv_ver))
    return false;
  ad.storage_drv_ver = cut_at_first(ad.storage_drv_ver, ' ');
  ad.network_drv_ver = cut_at_first(ad.network_drv_ver, ' ');

  if (!rd.number(hba, "portCount", "hbaData/portCount", ad.port_count)) return false;
  if (ad.port_count == 0) {
    snprintf(gLogBuf, sizeof(gLogBuf), "There are no ports associated to Adapter id %d - %s",
             adIndex, index.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    return true;
  }
  snprintf(gLogBuf, sizeof(gLogBuf), "There are %d ports associated to Adapter id %d",
           static_cast<int>(ad.port_count), adIndex);
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
  snprintf(gLogBuf, sizeof(gLogBuf), "Model=%s", ad.model.c_str());
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);

  Json::Value flash_resp;
  if (cxn->getAdvAdapterInfo(index, flash_resp) != 0) {
    snprintf(gLogBuf, sizeof(gLogBuf), "Unable to get Advanced Adapter info %d - %s", adIndex,
             index.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    return true;
  }
  if (flash_resp.isNull()) {
    snprintf(gLogBuf, sizeof(gLogBuf), "adapter is NULL for %s", index.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    return true;
  }
  if (!flash_resp.isObject()) return rd.wrong_type("advanced adapter answer", "an object");
  if (!rd.text(&flash_resp, "flashedBiosVersion", "flashedBiosVersion", ad.flashed_bios_info))
    return false;
  if (!ad.flashed_bios_info.empty()) {
    snprintf(gLogBuf, sizeof(gLogBuf), "Flashed_bios_info for the adapter %s is %s\n",
             index.c_str(), ad.flashed_bios_info.c_str());
  } else {
    snprintf(gLogBuf, sizeof(gLogBuf),
             "Flashed_bios_info for the adapter %s is NULL.\t\t\t\tSo assigning upgrade as "
             "action status\n",
             index.c_str());
  }
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
  // The agent may append build text after "_" ("3.0.3.0_b12"); only the version compares.
  const std::string cut = cut_at_first(ad.flashed_bios_info, '_');
  if (cut != ad.flashed_bios_info) {
    snprintf(gLogBuf, sizeof(gLogBuf), "Original Flashed Info = %s, Temp FlashedBios=%s\n",
             ad.flashed_bios_info.c_str(), cut.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    ad.flashed_bios_info = cut;
  }

  // A failed Ethernet list does not stop the adapter: whatever it holds is still recorded.
  Json::Value eth_list;
  if (cxn->getAllEthPortDetailsByAdapter(index, eth_list) != 0) {
    snprintf(gLogBuf, sizeof(gLogBuf), "Unable to get Eth info %d - %s", adIndex, index.c_str());
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
  }
  if (eth_list.isNull()) {
    snprintf(gLogBuf, sizeof(gLogBuf), "Eth Enum is NULL for %s", index.c_str());
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
  }
  if (!add_eth_records(rd, ad, eth_list, passed_fwver, fw_fname, dev_list_vector)) return false;
  snprintf(gLogBuf, sizeof(gLogBuf), "Number of Quorvel Ethernet Devices added is %d",
           static_cast<int>(dev_list_vector.size()));
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);

  Json::Value fc_list;
  if (cxn->getAllFcPortDetailsByAdapter(index, fc_list) != 0) {
    snprintf(gLogBuf, sizeof(gLogBuf), "Unable to get Fc info %d - %s", adIndex, index.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    return true;
  }
  if (fc_list.isNull()) {
    snprintf(gLogBuf, sizeof(gLogBuf), "Fc Enum is NULL for %s", index.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    return true;
  }
  return add_fc_records(rd, ad, fc_list, passed_fwver, fw_fname, dev_list_vector);
}

// The two direct agent calls have no guard of their own in the query layer; an exception from
// either must not leave the enumeration. Both report the failure and answer false.
void log_direct_call_failure(const char* call, const char* what) {
  snprintf(gLogBuf, sizeof(gLogBuf), "%s failed: %s, returned INTERNAL_OPER_FAILED", call, what);
  VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
}

bool agent_adapter_count(uint32_t& count) {
  const char kCall[] = "libGetNumOfAdapters";
  if (libGetNumOfAdapters == nullptr) {
    log_direct_call_failure(kCall, "entry point not bound");
    return false;
  }
  try {
    count = libGetNumOfAdapters();
    return true;
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof(gLogBuf), "%s got User exception %d: %s", kCall, e.getErrorCode(),
             e.getErrorString().c_str());
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
  } catch (const std::exception& e) {
    log_direct_call_failure(kCall, e.what());
  } catch (...) {
    log_direct_call_failure(kCall, "default exception");
  }
  return false;
}

bool agent_adapter_index_list(Json::Value& answer) {
  const char kCall[] = "libGetAllAdapterIndexString";
  if (libGetAllAdapterIndexString == nullptr) {
    log_direct_call_failure(kCall, "entry point not bound");
    return false;
  }
  try {
    answer = libGetAllAdapterIndexString(Json::Value());
    return true;
  } catch (const HbaAgentError& e) {
    snprintf(gLogBuf, sizeof(gLogBuf), "%s got User exception %d: %s", kCall, e.getErrorCode(),
             e.getErrorString().c_str());
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
  } catch (const std::exception& e) {
    log_direct_call_failure(kCall, e.what());
  } catch (...) {
    log_direct_call_failure(kCall, "default exception");
  }
  return false;
}

}  // namespace

void qrvl_parse_hardware_path(const std::string& path, std::string& bus, std::string& dev,
                              std::string& fn) {
  bus.clear();
  dev.clear();
  fn.clear();
  // domain ":" bus ":" device "." function; a missing separator ends the fields read so far.
  std::string::size_type p = path.find(':');
  if (p == std::string::npos) return;
  const std::string rest = path.substr(p + 1);
  p = rest.find(':');
  bus = rest.substr(0, p);
  if (bus.size() == 2 && bus[0] == '0') bus.erase(0, 1);
  if (p == std::string::npos) return;
  const std::string devfn = rest.substr(p + 1);
  p = devfn.find('.');
  dev = devfn.substr(0, p);
  if (p == std::string::npos) return;
  fn = devfn.substr(p + 1);
}

const char* qrvl_action_text(int action) {
  switch (action) {
    case FW_STATUS_UPGRADE:
      return "Upgrade";
    case FW_STATUS_DOWNGRADE:
      return "Downgrade";
    case FW_STATUS_MISMATCH:
      return "FW mismatch";
    case FW_STATUS_REWRITE:
      return "Rewrite";
    default:
      return "Skip";
  }
}

int qrvl_enumerate_devices(std::string passed_fwver, std::string fw_fname,
                           std::vector<CQrvlDevice*>& dev_list_vector) {
  ZnajCxnMethods* cxn = ZnajCxnMethods::getZnajCxnMethodsInstance();

  uint32_t count = 0;
  if (!agent_adapter_count(count)) {
    VXINS_LOG_TRACE(LOG_ERROR, kExitLine);
    return ENUM_INTERNAL_OPER_FAILED;
  }
  snprintf(gLogBuf, sizeof(gLogBuf), "getDeviceVector QRVL Adapter Count = %d\n",
           static_cast<int>(count));
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
  if (count == 0) {
    VXINS_LOG_TRACE(LOG_ERROR, "No adapters in the system!");
    VXINS_LOG_TRACE(LOG_ERROR, kExitLine);
    return ENUM_NO_ADAPTERS;
  }

  Json::Value index_answer;
  if (!agent_adapter_index_list(index_answer)) {
    VXINS_LOG_TRACE(LOG_ERROR, kExitLine);
    return ENUM_INTERNAL_OPER_FAILED;
  }
  // Anything but an object would make the member lookup throw; it is as unusable as null.
  if (!index_answer.isObject() || !index_answer.isMember(kIndexStrings) ||
      !index_answer[kIndexStrings].isArray()) {
    VXINS_LOG_TRACE(LOG_INFO, "libGetAllAdapterIndexString returns NULL.");
    VXINS_LOG_TRACE(LOG_ERROR, kExitLine);
    return ENUM_INTERNAL_OPER_FAILED;
  }
  const Json::Value& indices = index_answer[kIndexStrings];
  const int num_adapters = static_cast<int>(indices.size());
  snprintf(gLogBuf, sizeof(gLogBuf), "Num of Adapters is %d", num_adapters);
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
  if (num_adapters == 0) {
    VXINS_LOG_TRACE(LOG_ERROR, "Adapter count AdapterIndexString response returned zero adapters!");
    VXINS_LOG_TRACE(LOG_ERROR, kExitLine);
    return ENUM_NO_ADAPTERS;
  }

  for (int adIndex = 1; adIndex <= num_adapters; ++adIndex) {
    const Json::Value& elem = indices[static_cast<Json::ArrayIndex>(adIndex - 1)];
    if (!elem.isString()) {
      snprintf(gLogBuf, sizeof(gLogBuf),
               "Malformed agent answer: indexStrings element %d is not a string", adIndex);
      VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
      VXINS_LOG_TRACE(LOG_ERROR, kExitLine);
      return ENUM_INTERNAL_OPER_FAILED;
    }
    if (!enumerate_adapter(cxn, adIndex, elem.asString(), passed_fwver, fw_fname,
                           dev_list_vector)) {
      VXINS_LOG_TRACE(LOG_ERROR, kExitLine);
      return ENUM_INTERNAL_OPER_FAILED;
    }
  }
  return 0;
}
