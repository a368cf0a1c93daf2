// How vxins-host names a discovery file's devices and adapters: type and identifier kind by the
// octet count (and the product, for FCoE), the B:D.F and BUS:DEV addresses as operators read
// and type them, and which adapter a device belongs to.
#include "device_labels.h"

#include <gtest/gtest.h>

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
  // A device is on the adapter whose numbers its bus and device spell, however written.
  FileDevice d{0, "00:0e:1e:d2:7a:42", "81", "0", "1", kCna, "", "", "", false};
  EXPECT_TRUE(vxhost::on_adapter(d, 0x81, 0));
  EXPECT_FALSE(vxhost::on_adapter(d, 0x81, 1));
  d.bus = "zz";
  EXPECT_FALSE(vxhost::on_adapter(d, 0, 0));
}

}  // namespace
