// The trace log's path and the texts of the trace lines that the tools around the plug-in read
// back (vxins-host's progress, per-adapter outcomes and quotes). The plug-in logs with these
// formats and the tools take their lines apart by the same ones, so the two cannot drift; a text
// here changes the log, byte for byte, and so the golden traces.
#ifndef VXINS_TRACE_H
#define VXINS_TRACE_H

// The one trace log of the machine; vxlogfname holds it at load time.
#define VXINS_TRACE_LOG_PATH "/var/log/libqrvlvxins.log"
// What the agent's flash reports on success, and the update pass's line begins with.
#define VXINS_TRACE_FLASH_SUCCESS "BOOT UPDATE SUCCESS"

namespace vxins {
namespace trace {

constexpr char kLogPath[] = VXINS_TRACE_LOG_PATH;

// The banner each discovery and flash call restarts the log with (four messages).
constexpr char kBannerRule[] = "************************************";
constexpr char kBannerStarted[] = "\tLog started on %s\n";
constexpr char kBannerFile[] = "Log file (%s) is successfully opened for writing.";

// The package reader.
constexpr char kPackageVersion[] = "Read BOOT TAR FW Version is %s";

// The agent session: its initialisation's own failures, and its close, which ends every call
// that opened it.
constexpr char kAgentEntryPointsFailed[] = "<-- qrvl_vxinslib_init(): znaj_entry point failed";
constexpr char kInitAnswerNull[] = "libInitHbaLib returns NULL";
constexpr char kInitAnswerMalformed[] = "libInitHbaLib returned a malformed answer (%s)";
constexpr char kInitFailed[] = "libInitHbaLib is failed with - %d";
constexpr char kSessionClosed[] = "<-- ~qrvl_vxinslib_init() Destructor.";

// The enumeration: the agent's adapters, and each adapter it makes no device of.
constexpr char kAdapterCount[] = "Num of Adapters is %d";
constexpr char kNoAdapters[] = "No adapters in the system!";
constexpr char kZeroAdapters[] =
    "Adapter count AdapterIndexString response returned zero adapters!";
constexpr char kAdapterAnswered[] = "<-- ZnajCxnMethods::getAdapterDetails()-success";
constexpr char kAdapterInfoFailed[] = "Unable to get Adapter info %d - %s";
constexpr char kAdapterNull[] = "adapter is NULL for %s";
constexpr char kNoPorts[] = "There are no ports associated to Adapter id %d - %s";
constexpr char kPortCount[] = "There are %d ports associated to Adapter id %d";
constexpr char kModel[] = "Model=%s";
constexpr char kAdvancedInfoFailed[] = "Unable to get Advanced Adapter info %d - %s";
constexpr char kFlashedVersion[] = "Flashed_bios_info for the adapter %s is %s\n";
constexpr char kNoFlashedVersion[] =
    "Flashed_bios_info for the adapter %s is NULL.\t\t\t\tSo assigning upgrade as action "
    "status\n";
// A device record refusing a value it has no field for. The enumeration sets one such value (the
// firmware type) on every record it creates, so each record leaves this line exactly once, after
// its adapter's Flashed_bios_info line: the host counts an adapter's functions by it, the records
// of the discovery file adapter by adapter.
constexpr char kUnknownAttribute[] = "DEFAULT : Unknown Dev attrib";
constexpr char kEthInfoFailed[] = "Unable to get Eth info %d - %s";
constexpr char kEthListNull[] = "Eth Enum is NULL for %s";
constexpr char kFcInfoFailed[] = "Unable to get Fc info %d - %s";
constexpr char kFcListNull[] = "Fc Enum is NULL for %s";
// After an adapter's Ethernet records, the number of records made so far.
constexpr char kEthernetRecordsMade[] = "Number of Quorvel Ethernet Devices added is %d";
constexpr char kMalformedAnswer[] = "Malformed agent answer for adapter %d (%s): %s is not %s";
constexpr char kEnumerationExit[] = "<--qrvl_enumerate_devices()";

// The discovery and flash sequences, and the lines that end them.
constexpr char kDiscoveryCallEnds[] = "<--oem_do_discovery_with_files()\n";
constexpr char kFlashCallEnds[] = "<--oem_do_flash_with_file()\n";
constexpr char kPciCall[] = "<--> oem_do_full_flash_PCI()\n";
constexpr char kPackageOpenFailed[] = "FW FILE (%s)Open Failed.";
constexpr char kDeviceCount[] = "Number of QuorvelDevices is %d";
constexpr char kEnumerationFailed[] = "Quorvel Device Enumeration Failed\n";
constexpr char kFlashCallBegins[] = "-->oem_do_flash_with_file()\n";
constexpr char kDiscoveryFileOpenFailed[] =
    "DISC FILE Open Failed.\n\t\t\t<--oem_do_flash_with_file()\n";
constexpr char kLibraryNotInitialized[] =
    "Library is not initialized.\n\t\t\t<--oem_do_flash_with_file()\n";
constexpr char kFileListsNoDevice[] =
    "No Quorvel Devices Found\n.\t\t\t<--oem_do_flash_with_file()\n";
constexpr char kAllSkip[] = "All Action Status Values are Set to Skip\n";
constexpr char kPackageMismatch[] = "Passed=%s != DiscoveryFw file=%s";
constexpr char kPackageVersionMismatch[] = "Passed version=%s != DiscoveryFw version=%s";
// The agent's initialisation result, when it is one the host would read as a flash outcome.
constexpr char kInitResultIsFlashCode[] =
    "Agent initialisation result %d is a flash result code: returned INTERNAL_OPER_FAILED";
constexpr char kPackageMatches[] = "PassedFw file(%s) == DiscoveryFw file(%s)";

// The update pass, device by device in file order, and the agent's flash of one adapter.
constexpr char kDeviceSkipped[] = "Quorvel device(%d) is set to Skip, not flashed";
constexpr char kNoIdentifier[] = "Quorvel device(%d) has no MAC address or WWN: not matched";
constexpr char kIdentifierOnTwoAdapters[] =
    "Quorvel device(%d): %s belongs to adapters %s and %s: not matched";
constexpr char kPassEnded[] = "ERROR:(%d), upgrade failed.\t\t\tNo quorvel devices found\n";
constexpr char kAdapterNotListed[] =
    "Adapter %s is not among the agent's listed adapters: not flashed";
constexpr char kFlashReturned[] = "Flash upgrade returned %d\n";
constexpr char kFlashSuccess[] = VXINS_TRACE_FLASH_SUCCESS;
constexpr char kFlashFailurePrefix[] = "ERROR:BOOT UPDATE FAILED:";
constexpr char kFlashSucceeded[] = VXINS_TRACE_FLASH_SUCCESS
    ":Firmware update success on %s.\n\t\t\t\t\t\tChange will take place after reboot";
constexpr char kFlashFailed[] = "ERROR:(%d)- fw update failed:%s\n";

}  // namespace trace
}  // namespace vxins

#endif
