// End-to-end harness: the shipped 32-bit plug-in loaded with dlopen into the test process, as
// the host framework loads it, talking to the agent simulator found on LD_LIBRARY_PATH; the
// simulator's inventory, journal and state files per test; discovery files read back with a
// real XML parser (tinyxml2).
#ifndef VXINS_E2E_SUPPORT_H
#define VXINS_E2E_SUPPORT_H

#include <map>
#include <string>
#include <vector>

#include <json/json.h>

#include "plugin_loader.h"
#include "test_support.h"

namespace vxe2e {

// The plug-in, loaded once for the whole process and called like the host does.
class Plugin {
 public:
  static Plugin& get();
  int discover(const char* discovery_file, const char* fw_dir);
  int flash(const char* discovery_file, const char* fw_file_or_dir);
  int pci(const char* fw_file, bool force, int bus, int dev, int fn);

 private:
  Plugin();
  vxplugin::PluginLibrary lib_;
};

// One simulated machine: inventory (empty text: the simulator's built-in one), journal and
// state files in a temporary folder; the environment is restored on destruction.
class SimMachine {
 public:
  explicit SimMachine(const std::string& inventory_json = "");
  ~SimMachine();
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  const vxtest::TempDir& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_.file(name); }
  // Every journal line, parsed.
  std::vector<Json::Value> journal() const;
  // Journal entries of one symbol.
  std::vector<Json::Value> calls(const std::string& symbol) const;
  void clear_journal() const;

 private:
  vxtest::TempDir dir_;
};

// Builders for simulator inventories: one adapter with its ports, as the simulator reads it.
Json::Value sim_adapter(const std::string& index, const std::string& model, int port_count,
                        const std::string& flashed_version, unsigned vendor = 0x1077,
                        unsigned device = 0x2071);
void add_eth_port(Json::Value& adapter, const std::string& mac, const std::string& hw_path);
void add_fc_port(Json::Value& adapter, const std::string& wwn, const std::string& node_wwn,
                 const std::string& hw_path, const std::string& mode = "FC");
// {"adapters": [...]} plus any extra members, as JSON text.
std::string inventory_text(const std::vector<Json::Value>& adapters,
                           const Json::Value& extra = Json::Value(Json::objectValue));

// A firmware folder holding one package (real GNU tar) with the given version; returns the
// folder, the package is "<dir>/<name>".
std::string make_fw_dir(const vxtest::TempDir& base, const std::string& version,
                        const std::string& name = "qrvl_boot_3100.tar");

// One device element of a discovery file, as a real XML parser reads it.
struct XmlDevice {
  std::map<std::string, std::string> dev;  // leaf name -> value attribute
  std::map<std::string, std::string> fw;   // leaves of fw_item
  std::vector<std::string> dev_order, fw_order;
};
struct XmlDiscovery {
  std::string root_version;
  std::map<std::string, std::string> header;
  std::vector<XmlDevice> devices;
};
// Parses with tinyxml2; false (and a reason) when the file is not well-formed or not a
// discovery document.
bool parse_discovery(const std::string& path, XmlDiscovery& out, std::string& error);

// Runs the stand-alone driver with LD_LIBRARY_PATH=ld_path, behind the command `wrapper` when
// one is given (e.g. setpriv); returns the printed result code, or a value below -1000 when the
// driver itself failed.
int run_driver(const std::string& ld_path, const std::vector<std::string>& args,
               const std::string& wrapper = "");

// Lines of the trace log that start with the given prefix text (after the level prefix).
std::vector<std::string> log_lines_containing(const std::string& needle);

}  // namespace vxe2e

#endif
