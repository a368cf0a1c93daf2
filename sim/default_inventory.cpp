// The built-in inventory: an FC HBA, a CNA and an Ethernet adapter whose flashed versions make a
// 3.1.0.0 package an upgrade, a downgrade and a rewrite respectively. Keep inventories/default.json
// identical (a test compares them).
#include "default_inventory.h"

namespace dznajsim {

const char* default_inventory_text() {
  return R"json(
{
  "agentVersion": "7.4.2-sim",
  "init": {"result": 0},
  "adapters": [
    {
      "index": "20:00:00:0e:1e:c4:51:10",
      "model": "Quorvel-QF2742",
      "portCount": 2,
      "pcie": {"vendorID": 4215, "deviceID": 8305, "subSystemVendorID": 4215, "subSystemID": 171},
      "storageDriverVersion": "10.02.09.00-k debug",
      "flashedBiosVersion": "3.0.2.1",
      "ethPorts": [],
      "fcPorts": [
        {"wwn": "21:00:00:0e:1e:c4:51:10", "nodeWwn": "20:00:00:0e:1e:c4:51:10",
         "hardwarePath": "0000:0a:00.0", "portMode": "FC"},
        {"wwn": "21:00:00:0e:1e:c4:51:11", "nodeWwn": "20:00:00:0e:1e:c4:51:11",
         "hardwarePath": "0000:0a:00.1", "portMode": "FC"}
      ],
      "flash": {"result": 0}
    },
    {
      "index": "00:0e:1e:d2:7a:40",
      "model": "Quorvel-QC8442",
      "portCount": 2,
      "pcie": {"vendorID": 4215, "deviceID": 32880, "subSystemVendorID": 4215, "subSystemID": 567},
      "storageDriverVersion": "10.02.08.200-k fcoe",
      "networkDriverVersion": "1.10.2.4 nx",
      "flashedBiosVersion": "3.2.0.0_b17",
      "ethPorts": [
        {"mac": "00:0e:1e:d2:7a:40", "hardwarePath": "0000:81:00.0"},
        {"mac": "00:0e:1e:d2:7a:42", "hardwarePath": "0000:81:00.1"}
      ],
      "fcPorts": [
        {"wwn": "21:00:00:0e:1e:d2:7a:41", "nodeWwn": "20:00:00:0e:1e:d2:7a:41",
         "hardwarePath": "0000:81:00.2", "portMode": "CNA"},
        {"wwn": "21:00:00:0e:1e:d2:7a:43", "nodeWwn": "20:00:00:0e:1e:d2:7a:43",
         "hardwarePath": "0000:81:00.3", "portMode": "CNA"}
      ],
      "flash": {"result": 0}
    },
    {
      "index": "00:0e:1e:e5:19:30",
      "model": "Quorvel-QE3422",
      "portCount": 2,
      "pcie": {"vendorID": 4215, "deviceID": 32800, "subSystemVendorID": 4156, "subSystemID": 8954},
      "networkDriverVersion": "2.0.4.1 eth",
      "flashedBiosVersion": "3.1.0.0",
      "ethPorts": [
        {"mac": "00:0e:1e:e5:19:30", "hardwarePath": "0000:04:00.0"},
        {"mac": "00:0e:1e:e5:19:31", "hardwarePath": "0000:04:00.1"}
      ],
      "fcPorts": [],
      "flash": {"result": 0}
    }
  ],
  "faults": []
}
)json";
}

}  // namespace dznajsim
