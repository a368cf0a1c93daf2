// The progress text, as written into a pipe, for a flash of three adapters (one taking 41 s, one
// failing, one quick; a fourth skipped) and a discovery of three (one the agent does not answer
// for): on a terminal (status line redrawn in place, only the adapters' lines left), not on a
// terminal, and quiet; and a flash whose whole trace takes back a line printed during the call.
#include "progress.h"

#include "adapter_groups.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using vxhost::FileDevice;
using vxhost::Progress;
using vxhost::TimedLine;

FileDevice device(int position, const char* id, const char* bus, const char* product,
                  bool skipped = false) {
  return FileDevice{position, id, bus, "00", "0", product, "1.0", "2.0",
                    skipped ? "Skip" : "Upgrade", skipped};
}

const std::vector<FileDevice> kFile = {
    device(0, "21:00:00:0e:1e:c4:51:10", "a", "QF2742 HBA"),
    device(1, "21:00:00:0e:1e:c4:51:11", "a", "QF2742 HBA"),
    device(2, "00:0e:1e:11:22:30", "3", "Spare NIC", true),
    device(3, "00:0e:1e:d2:7a:40", "81", "QC8442 CNA"),
    device(4, "00:0e:1e:e5:19:30", "4", ""),
};

// A trace line at its time, or (text empty) a tick of the follower.
struct Step {
  double at;
  const char* text;
};

const std::vector<Step> kFlash = {
    {0.5, "LOG_INFO : -->oem_do_flash_with_file()"},
    {1.7, ""},
    {2.0, "LOG_ERROR : PassedFw file(p.tar) == DiscoveryFw file(p.tar)"},
    {20.2, ""},
    {43.0, "LOG_INFO : Flash upgrade returned 0"},
    {43.0, "LOG_INFO : BOOT UPDATE SUCCESS:Firmware update success on 20:00:00:0e:1e:c4:51:10."},
    {43.0, "\t\t\t\t\t\tChange will take place after reboot"},
    {43.1, "LOG_INFO : Quorvel device(2) is set to Skip, not flashed"},
    {55.0, "LOG_INFO : ERROR:(5)- fw update failed:ERROR:BOOT UPDATE FAILED:image rejected"},
    {56.5, "LOG_INFO : BOOT UPDATE SUCCESS:Firmware update success on 00:0e:1e:e5:19:30."},
    {57.0, "LOG_INFO : --> ~qrvl_vxinslib_init() Destructor."},
};

const std::vector<Step> kDiscovery = {
    {0.1, ""},
    {0.3, "LOG_INFO : Num of Adapters is 3"},
    {0.4, "LOG_INFO : <-- ZnajCxnMethods::getAdapterDetails()-success"},
    {0.4, "LOG_INFO : There are 2 ports associated to Adapter id 1"},
    {0.4, "LOG_INFO : Model=Quorvel-QF2742"},
    {0.5, "LOG_INFO : Flashed_bios_info for the adapter 20:00:00:0e:1e:c4:51:10 is 3.0.2.1"},
    {0.5, ""},
    {1.6, ""},
    {2.4, "LOG_ERROR : 00:0e:1e:d2:7a:40 - libGetHbaByWwn got User exception 5:\t\t\ttimeout"},
    {2.5, "LOG_INFO : Unable to get Adapter info 2 - 00:0e:1e:d2:7a:40"},
    {2.6, "LOG_INFO : <-- ZnajCxnMethods::getAdapterDetails()-success"},
    {2.6, "LOG_INFO : There are 2 ports associated to Adapter id 3"},
    {2.6, "LOG_INFO : Model=Quorvel-QE3422"},
    {2.7, "LOG_INFO : Flashed_bios_info for the adapter 00:0e:1e:e5:19:30 is NULL.\t\t\t\tSo "
          "assigning upgrade as action status"},
    {3.0, "LOG_INFO : Number of QuorvelDevices is 4"},
};

// A flash whose trace ends after the first of two adapters: the line printed for it is taken
// back when the call is over.
const std::vector<FileDevice> kTwo = {device(0, "A0", "1", "P"), device(1, "B0", "2", "Q")};
const std::vector<Step> kCutShort = {
    {1, "LOG_ERROR : PassedFw file(p.tar) == DiscoveryFw file(p.tar)"},
    {3, "LOG_INFO : BOOT UPDATE SUCCESS:Firmware update success on X."},
};
const char kUnknown[] = "unknown: the trace does not line up with the discovery file: the trace "
                        "ends before the update pass reached B0\n";

struct Row {
  const char* name;
  const std::vector<FileDevice>* plan;  // a flash of these devices, else (null) a discovery
  const std::vector<Step>& steps;
  bool terminal, quiet;
  std::string expected;
};

const char kFlash1[] = "[1/3] flashing 21:00:00:0e:1e:c4:51:10 (QF2742 HBA): ok, 41 s\n";
const char kFlash2[] =
    "[2/3] flashing 00:0e:1e:d2:7a:40 (QC8442 CNA): failed: image rejected, 12 s\n";
const char kFlash3[] = "[3/3] flashing 00:0e:1e:e5:19:30: ok, 1.5 s\n";
const char kDisc1[] =
    "[1/3] adapter 20:00:00:0e:1e:c4:51:10 (Quorvel-QF2742): 2 ports, firmware 3.0.2.1, 2.1 s\n";
const char kDisc2[] =
    "[2/3] adapter 00:0e:1e:d2:7a:40: not read: the agent did not answer for it, 0.1 s\n";
const char kDisc3[] =
    "[3/3] adapter 00:0e:1e:e5:19:30 (Quorvel-QE3422): 2 ports, firmware not reported, 0.2 s\n";
#define E "\r\033[K"

TEST(ProgressTest, PrintedText) {
  const Row rows[] = {
      {"FlashNotOnATerminal", &kFile, kFlash, false, false,
       std::string(kFlash1) + kFlash2 + kFlash3},
      {"FlashOnATerminal", &kFile, kFlash, true, false,
       E "checking the package and the adapters ... 0 s"
       E "checking the package and the adapters ... 1 s"
       E "[1/3] flashing 21:00:00:0e:1e:c4:51:10 (QF2742 HBA) ... 0 s"
       E "[1/3] flashing 21:00:00:0e:1e:c4:51:10 (QF2742 HBA) ... 18 s"
       E "[1/3] flashing 21:00:00:0e:1e:c4:51:10 (QF2742 HBA) ... 41 s"
       E + std::string(kFlash1) +
       E "[2/3] flashing 00:0e:1e:d2:7a:40 (QC8442 CNA) ... 0 s"
       E + kFlash2 +
       E "[3/3] flashing 00:0e:1e:e5:19:30 ... 0 s"
       E + kFlash3},
      {"FlashQuiet", &kFile, kFlash, true, true, ""},
      {"DiscoveryNotOnATerminal", nullptr, kDiscovery, false, false,
       std::string(kDisc1) + kDisc2 + kDisc3},
      {"DiscoveryOnATerminal", nullptr, kDiscovery, true, false,
       E "listing the adapters ... 0 s"
       E "[1/3] reading adapter 1 ... 0 s"
       E "[1/3] reading adapter 1 ... 1 s"
       E "[1/3] reading adapter 1 ... 2 s"
       E + std::string(kDisc1) + E + kDisc2 +
       E "[3/3] reading adapter 3 ... 0 s"
       E + kDisc3},
      {"DiscoveryQuiet", nullptr, kDiscovery, false, true, ""},
      {"FlashTakenBack", &kTwo, kCutShort, false, false,
       std::string("[1/2] flashing A0 (P): ok, 2.0 s\n[1/2] flashing A0 (P): ") + kUnknown +
           "[2/2] flashing B0 (Q): " + kUnknown},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* out = fdopen(fds[1], "w");
    ASSERT_NE(out, nullptr);
    {
      std::unique_ptr<Progress> progress(
          row.plan != nullptr
              ? new Progress(row.terminal, row.quiet, out, *row.plan,
                             vxhost::group_adapters(*row.plan, {}, "grouped by bus here"))
              : new Progress(row.terminal, row.quiet, out));
      for (const Step& step : row.steps) {
        if (*step.text == '\0')
          progress->on_tick(step.at);
        else
          progress->on_line(TimedLine{step.text, step.at});
      }
      progress->finish();
    }
    fclose(out);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, n);
    close(fds[0]);
    EXPECT_EQ(text, row.expected);
  }
}

}  // namespace
