#include "e2e_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include <tinyxml2.h>

namespace vxe2e {

Plugin& Plugin::get() {
  static Plugin plugin;
  return plugin;
}

Plugin::Plugin() {
  std::string error;
  if (!lib_.open(VXINS_PLUGIN_PATH, error)) throw std::runtime_error("dlopen plug-in: " + error);
  if (lib_.missing() != nullptr)
    throw std::runtime_error(std::string("plug-in lacks ") + lib_.missing());
}

int Plugin::discover(const char* discovery_file, const char* fw_dir) {
  return lib_.discover(const_cast<char*>(discovery_file), const_cast<char*>(fw_dir));
}

int Plugin::flash(const char* discovery_file, const char* fw_file_or_dir) {
  return lib_.flash(const_cast<char*>(discovery_file), const_cast<char*>(fw_file_or_dir));
}

int Plugin::pci(const char* fw_file, bool force, int bus, int dev, int fn) {
  return lib_.pci(const_cast<char*>(fw_file), force, bus, dev, fn);
}

SimMachine::SimMachine(const std::string& inventory_json) {
  if (inventory_json.empty()) {
    unsetenv("DZNAJ_SIM_INVENTORY");
  } else {
    vxtest::write_file(dir_.file("inventory.json"), inventory_json);
    setenv("DZNAJ_SIM_INVENTORY", dir_.file("inventory.json").c_str(), 1);
  }
  setenv("DZNAJ_SIM_JOURNAL", dir_.file("journal.jsonl").c_str(), 1);
  setenv("DZNAJ_SIM_STATE", dir_.file("state.json").c_str(), 1);
}

SimMachine::~SimMachine() {
  unsetenv("DZNAJ_SIM_INVENTORY");
  unsetenv("DZNAJ_SIM_JOURNAL");
  unsetenv("DZNAJ_SIM_STATE");
}

std::vector<Json::Value> SimMachine::journal() const {
  std::vector<Json::Value> out;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  for (const std::string& line : vxtest::split_lines(vxtest::read_file(dir_.file("journal.jsonl")))) {
    Json::Value v;
    std::string errs;
    if (!reader->parse(line.data(), line.data() + line.size(), &v, &errs))
      throw std::runtime_error("bad journal line: " + line);
    out.push_back(v);
  }
  return out;
}

std::vector<Json::Value> SimMachine::calls(const std::string& symbol) const {
  std::vector<Json::Value> out;
  for (const Json::Value& v : journal())
    if (v["symbol"].asString() == symbol) out.push_back(v);
  return out;
}

void SimMachine::clear_journal() const { remove(dir_.file("journal.jsonl").c_str()); }

Json::Value sim_adapter(const std::string& index, const std::string& model, int port_count,
                        const std::string& flashed_version, unsigned vendor, unsigned device) {
  Json::Value a(Json::objectValue);
  a["index"] = index;
  a["model"] = model;
  a["portCount"] = port_count;
  a["pcie"]["vendorID"] = vendor;
  a["pcie"]["deviceID"] = device;
  a["pcie"]["subSystemVendorID"] = vendor;
  a["pcie"]["subSystemID"] = 0x00ABu;
  a["storageDriverVersion"] = "10.02.09.00-k debug";
  a["networkDriverVersion"] = "8.74.3.0 (ql)";
  a["flashedBiosVersion"] = flashed_version;
  a["ethPorts"] = Json::Value(Json::arrayValue);
  a["fcPorts"] = Json::Value(Json::arrayValue);
  return a;
}

void add_eth_port(Json::Value& adapter, const std::string& mac, const std::string& hw_path) {
  Json::Value p(Json::objectValue);
  p["mac"] = mac;
  p["hardwarePath"] = hw_path;
  adapter["ethPorts"].append(p);
}

void add_fc_port(Json::Value& adapter, const std::string& wwn, const std::string& node_wwn,
                 const std::string& hw_path, const std::string& mode) {
  Json::Value p(Json::objectValue);
  p["wwn"] = wwn;
  p["nodeWwn"] = node_wwn;
  p["hardwarePath"] = hw_path;
  p["portMode"] = mode;
  adapter["fcPorts"].append(p);
}

std::string inventory_text(const std::vector<Json::Value>& adapters, const Json::Value& extra) {
  Json::Value inv = extra;
  inv["adapters"] = Json::Value(Json::arrayValue);
  for (const Json::Value& a : adapters) inv["adapters"].append(a);
  Json::StreamWriterBuilder w;
  return Json::writeString(w, inv);
}

std::string make_fw_dir(const vxtest::TempDir& base, const std::string& version,
                        const std::string& name) {
  std::string dir = base.file("fw-" + version);
  if (vxtest::run("mkdir -p " + vxtest::shell_quote(dir)) != 0)
    throw std::runtime_error("mkdir " + dir);
  if (!vxtest::make_package_with_version(dir + "/" + name, version))
    throw std::runtime_error("tar failed for " + dir);
  return dir;
}

namespace {

void read_leaves(const tinyxml2::XMLElement* parent, std::map<std::string, std::string>& values,
                 std::vector<std::string>& order, const char* skip) {
  for (const tinyxml2::XMLElement* e = parent->FirstChildElement(); e; e = e->NextSiblingElement()) {
    if (skip && std::string(e->Name()) == skip) continue;
    const char* v = e->Attribute("value");
    values[e->Name()] = v ? v : "";
    order.push_back(e->Name());
  }
}

}  // namespace

bool parse_discovery(const std::string& path, XmlDiscovery& out, std::string& error) {
  tinyxml2::XMLDocument doc;
  if (doc.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) {
    error = doc.ErrorStr() ? doc.ErrorStr() : "load failed";
    return false;
  }
  const tinyxml2::XMLElement* root = doc.FirstChildElement("vx_rom_discovery");
  if (!root) {
    error = "no vx_rom_discovery root";
    return false;
  }
  out = XmlDiscovery();
  out.root_version = root->Attribute("version") ? root->Attribute("version") : "";
  std::vector<std::string> header_order;
  read_leaves(root, out.header, header_order, "devices");
  const tinyxml2::XMLElement* devices = root->FirstChildElement("devices");
  if (!devices) {
    error = "no devices element";
    return false;
  }
  for (const tinyxml2::XMLElement* d = devices->FirstChildElement("device"); d;
       d = d->NextSiblingElement("device")) {
    XmlDevice dev;
    read_leaves(d, dev.dev, dev.dev_order, "fw_item");
    const tinyxml2::XMLElement* fw = d->FirstChildElement("fw_item");
    if (fw) read_leaves(fw, dev.fw, dev.fw_order, nullptr);
    out.devices.push_back(dev);
  }
  return true;
}

int run_driver(const std::string& ld_path, const std::vector<std::string>& args,
               const std::string& wrapper) {
  std::string cmd = "LD_LIBRARY_PATH=" + vxtest::shell_quote(ld_path) + " " + wrapper + " " +
                    vxtest::shell_quote(VXINS_DRIVER_PATH) + " " +
                    vxtest::shell_quote(VXINS_PLUGIN_PATH);
  for (const std::string& a : args) cmd += " " + vxtest::shell_quote(a);
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -2000;
  char buf[64] = "";
  bool got = fgets(buf, sizeof buf, p) != nullptr;
  int status = pclose(p);
  if (!got || status != 0) return -3000;
  return atoi(buf);
}

std::vector<std::string> log_lines_containing(const std::string& needle) {
  std::vector<std::string> out;
  for (const std::string& line : vxtest::trace_log_lines())
    if (line.find(needle) != std::string::npos) out.push_back(line);
  return out;
}

}  // namespace vxe2e
