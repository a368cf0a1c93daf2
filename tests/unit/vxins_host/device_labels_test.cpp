// How vxins-host names a discovery file's devices and adapters: type and identifier kind by the
// octet count (and the product, for FCoE), the B:D.F and BUS:DEV addresses as operators read
// and type them, and what an operator's entry names.
#include "device_labels.h"

#include <gtest/gtest.h>

#include "adapter_groups.h"
#include "device_entries.h"

namespace {

using vxhost::FileDevice;

const char kCna[] = "Quorvel QC8400 Series Dual-Port 25GbE Converged Network Adapter";
const char kHba[] = "Quorvel QF2742 Dual-Port 32Gb Fibre Channel HBA";

TEST(DeviceLabelsTest, DevicesAreNamedByTheirIdentifierProductAndAddress) {
  struct Row {
    const char *id, *bus, *dev, *fn, *product, *type, *kind, *address;
  };
  const Row rows[] = {
      {"21:00:00:0e:1e:c4:51:11", "a", "00", "1", kHba, "FC", "WWN", "0a:00.1"},
      {"20:00:00:0e:1e:d2:7a:43", "81", "0", "3", kCna, "FCoE", "WWN", "81:00.3"},
      {"00:0e:1e:d2:7a:42", "81", "00", "1", kCna, "Eth", "MAC", "81:00.1"},
      {"21:00:00:0E:1E:C4:51:11", "0a", "1f", "f", kHba, "FC", "WWN", "0a:1f.f"},
      // Not a list of two-digit octets, or of another length: neither kind.
      {"00:0e:1e:d2:7a", "4", "0", "0", kHba, "?", "unknown", "04:00.0"},
      {"0:0e:1e:d2:7a:42:", "4", "0", "0", kHba, "?", "unknown", "04:00.0"},
      // Values that are no hexadecimal numbers are shown as the file holds them.
      {"00:0e:1e:e5:19:30", "zz", "00", "x", "", "Eth", "MAC", "zz:00.x"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.id) + " at " + r.bus + ":" + r.dev + "." + r.fn);
    const FileDevice d{0, r.id, r.bus, r.dev, r.fn, r.product, "", "", "", false};
    EXPECT_EQ(vxhost::device_type(d), r.type);
    EXPECT_EQ(vxhost::id_kind(r.id), r.kind);
    EXPECT_EQ(vxhost::pci_address(d), r.address);
  }
}

TEST(DeviceLabelsTest, AdapterAddressesAreReadAsTypedAndMatchTheirFunctions) {
  const struct {
    const char* text;
    unsigned long bus, dev;
    const char* label;
  } accepted[] = {
      {"81:00", 0x81, 0, "81:00"}, {"a:0", 0xa, 0, "0a:00"}, {"0A:1F", 0xa, 0x1f, "0a:1f"}};
  for (const auto& r : accepted) {
    unsigned long bus = 0, dev = 0;
    EXPECT_TRUE(vxhost::parse_bus_dev(r.text, bus, dev)) << r.text;
    EXPECT_EQ(bus * 256 + dev, r.bus * 256 + r.dev) << r.text;
    EXPECT_EQ(vxhost::adapter_label(r.text), r.label);
  }
  // Anything else is refused, and shown as typed.
  for (const char* text : {"zz", "0a", ":00", "0a:", "12345:00", "0a:0g"}) {
    unsigned long bus, dev;
    EXPECT_FALSE(vxhost::parse_bus_dev(text, bus, dev)) << text;
    EXPECT_EQ(vxhost::adapter_label(text), text);
  }
  // A device is at the address its bus and device spell, however written.
  FileDevice d{0, "00:0e:1e:d2:7a:42", "81", "0", "1", kCna, "", "", "", false};
  vxhost::PciAddress address;
  ASSERT_TRUE(vxhost::parse_pci_address("81:00", address));
  EXPECT_TRUE(vxhost::at_address(d, address));
  ASSERT_TRUE(vxhost::parse_pci_address("81:01", address));
  EXPECT_FALSE(vxhost::at_address(d, address));
  d.bus = "zz";
  ASSERT_TRUE(vxhost::parse_pci_address("0:0", address));
  EXPECT_FALSE(vxhost::at_address(d, address));
}

// Every spelling of an entry names whole agent adapters: an adapter whose functions sit on two
// buses, and two adapters whose first functions share a B:D (the file holds no PCI domain).
TEST(DeviceLabelsTest, EntriesNameTheAgentsAdaptersInEverySpelling) {
  const std::vector<FileDevice> devices = {
      {0, "21:00:00:0e:1e:c4:51:10", "a", "00", "0", kHba, "", "", "", false},
      {1, "21:00:00:0e:1e:c4:51:11", "b", "00", "1", kHba, "", "", "", false},
      {2, "00:0e:1e:d2:7a:40", "81", "00", "0", kCna, "", "", "", false},
      {3, "00:0e:1e:d2:7a:42", "81", "00", "1", kCna, "", "", "", false},
      {4, "00:0e:1e:e5:19:30", "4", "00", "0", "", "", "", "", false},
      {5, "00:0e:1e:e5:29:30", "4", "00", "0", "", "", "", "", false},
  };
  const vxhost::AgentIndexes indexes = {
      {"21:00:00:0e:1e:c4:51:10", "X"}, {"21:00:00:0e:1e:c4:51:11", "X"},
      {"00:0e:1e:d2:7a:40", "Y"},       {"00:0e:1e:d2:7a:42", "Y"},
      {"00:0e:1e:e5:19:30", "Z1"},      {"00:0e:1e:e5:29:30", "Z2"}};
  const vxhost::AdapterGroups groups = vxhost::group_adapters(devices, indexes, "");
  ASSERT_TRUE(groups.by_agent);
  const struct {
    const char* entry;
    std::vector<size_t> devices;     // the functions it names
    std::vector<std::string> names;  // the adapters they belong to
  } rows[] = {
      {"21:00:00:0E:1E:C4:51:11", {1}, {"0a:00"}},
      {"0b:00.1", {1}, {"0a:00"}},
      {"0000:0B:00", {1}, {"0a:00"}},
      {"0:b:0.1", {1}, {"0a:00"}},
      {"0a:00", {0}, {"0a:00"}},
      {"81:00", {2, 3}, {"81:00"}},
      {"04:00", {4, 5}, {"04:00", "04:00#2"}},
      {"04:00#2", {5}, {"04:00#2"}},
      {"4:0#2", {5}, {"04:00#2"}},
      // Nothing: another domain, function or label, no spelling at all.
      {"0001:0a:00", {}, {}},
      {"81:00.7", {}, {}},
      {"04:00#3", {}, {}},
      {"zz", {}, {}},
      {"", {}, {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.entry);
    vxhost::EntryMatch match;
    EXPECT_EQ(vxhost::match_entry(r.entry, devices, groups, match), !r.devices.empty());
    EXPECT_EQ(match.devices, r.devices);
    std::vector<std::string> names;
    for (size_t g : match.groups) names.push_back(groups.groups[g].label);
    EXPECT_EQ(names, r.names);
  }
  // The agent's adapters, each named by its first function's B:D.
  std::vector<std::string> labels;
  for (const vxhost::AdapterGroup& g : groups.groups) labels.push_back(g.label + "=" + g.agent_index);
  EXPECT_EQ(labels, (std::vector<std::string>{"0a:00=X", "81:00=Y", "04:00=Z1", "04:00#2=Z2"}));
}

}  // namespace
