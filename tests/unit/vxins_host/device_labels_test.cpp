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
    const char *id, *bus, *dev, *fn, *product;
    const char *type, *kind, *address;
  };
  const Row rows[] = {
      {"21:00:00:0e:1e:c4:51:11", "a", "00", "1", kHba, "FC", "WWN", "0a:00.1"},
      {"20:00:00:0e:1e:d2:7a:43", "81", "0", "3", kCna, "FCoE", "WWN", "81:00.3"},
      {"00:0e:1e:d2:7a:42", "81", "00", "1", kCna, "Eth", "MAC", "81:00.1"},
      {"21:00:00:0E:1E:C4:51:11", "0a", "1f", "f", kHba, "FC", "WWN", "0a:1f.f"},
      // Not a list of two-digit octets, or of another length: neither kind.
      {"00:0e:1e:d2:7a", "4", "0", "0", kHba, "?", "unknown", "04:00.0"},
      {"00-0e-1e-d2-7a-42", "4", "0", "0", kHba, "?", "unknown", "04:00.0"},
      {"0:0e:1e:d2:7a:42:", "4", "0", "0", kHba, "?", "unknown", "04:00.0"},
      {"", "4", "0", "0", kHba, "?", "unknown", "04:00.0"},
      // Values that are no hexadecimal numbers are shown as the file holds them.
      {"00:0e:1e:e5:19:30", "zz", "00", "x", "", "Eth", "MAC", "zz:00.x"},
      {"00:0e:1e:e5:19:30", "12345", "0", "0", "", "Eth", "MAC", "12345:0.0"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.id) + " at " + r.bus + ":" + r.dev + "." + r.fn);
    FileDevice d{0, r.id, r.bus, r.dev, r.fn, r.product, "", "", "", false};
    EXPECT_EQ(vxhost::device_type(d), r.type);
    EXPECT_EQ(vxhost::id_kind(r.id), r.kind);
    EXPECT_EQ(vxhost::pci_address(d), r.address);
  }
}

TEST(DeviceLabelsTest, AdapterAddressesAreReadAsTypedAndMatchTheirFunctions) {
  struct Row {
    const char* text;
    bool ok;
    unsigned long bus, dev;
    const char* label;
  };
  const Row rows[] = {
      {"81:00", true, 0x81, 0, "81:00"}, {"a:0", true, 0xa, 0, "0a:00"},
      {"0A:1F", true, 0xa, 0x1f, "0a:1f"}, {"zz", false, 0, 0, "zz"},
      {"0a", false, 0, 0, "0a"},         {":00", false, 0, 0, ":00"},
      {"0a:", false, 0, 0, "0a:"},       {"12345:00", false, 0, 0, "12345:00"},
      {"0a:0g", false, 0, 0, "0a:0g"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    unsigned long bus = 99, dev = 99;
    ASSERT_EQ(vxhost::parse_bus_dev(r.text, bus, dev), r.ok);
    if (r.ok) {
      EXPECT_EQ(bus, r.bus);
      EXPECT_EQ(dev, r.dev);
    }
    EXPECT_EQ(vxhost::adapter_label(r.text), r.label);
  }
  // A device is on the adapter whose numbers its bus and device spell, however written.
  const FileDevice cna{0, "00:0e:1e:d2:7a:42", "81", "0", "1", kCna, "", "", "", false};
  const FileDevice odd{0, "00:0e:1e:d2:7a:42", "zz", "00", "1", kCna, "", "", "", false};
  EXPECT_TRUE(vxhost::on_adapter(cna, 0x81, 0));
  EXPECT_FALSE(vxhost::on_adapter(cna, 0x81, 1));
  EXPECT_FALSE(vxhost::on_adapter(cna, 0x18, 0));
  EXPECT_FALSE(vxhost::on_adapter(odd, 0, 0));
}

}  // namespace
