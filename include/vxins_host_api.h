// The plug-in's interface to the host firmware-update framework: the three exported C
// functions and the result codes they return. The host owns every path argument; the plug-in
// neither modifies nor frees them. No exception ever leaves these functions.
#ifndef VXINS_HOST_API_H
#define VXINS_HOST_API_H

#ifdef __cplusplus
extern "C" {
#endif

// Result codes that reach the host (a code from a lower layer passes up unchanged).
enum {
  VXINS_RC_DISCOVERY_OK = 0,
  VXINS_RC_FLASH_DONE = 1,           // the update pass ran; outcome in the log and the file
  VXINS_RC_ALL_SKIP = 3,             // every device in the discovery file is set to Skip
  VXINS_RC_NO_ADAPTERS = 4,
  VXINS_RC_AGENT_LOAD_FAILED = 6,
  VXINS_RC_FW_MISMATCH = 8,          // flash: package cannot be opened, or another file name
                                     // or version than the discovery file's
  VXINS_RC_FW_OPEN_FAILED = 9,
  VXINS_RC_DISC_FILE_OPEN_FAILED = 11,
  VXINS_RC_NOT_SUPPORTED = 1000,
  VXINS_RC_INTERNAL_OPER_FAILED = 1001,
  VXINS_RC_INVALID_ARG = 1002,
  VXINS_RC_NO_MEMORY = 1004,
  VXINS_RC_BAD_TAR_HEADER = 1006,
  VXINS_RC_BAD_VERSION_MEMBER = 1007
};

__attribute__((visibility("default"))) int oem_do_discovery_with_files(char* discovery_file,
                                                                        char* fw_file_path);
__attribute__((visibility("default"))) int oem_do_flash_with_file(char* discovery_file,
                                                                   char* firmware_file_or_path);
#ifdef __cplusplus
__attribute__((visibility("default"))) int oem_do_full_flash_PCI(char* firmware_file, bool force,
                                                                  int PCIBus, int PCIDevice,
                                                                  int PCIFunction);
#endif

#ifdef __cplusplus
}
#endif

#endif
