// Firmware package reader: finds the one package file in the firmware folder and reads the
// version string out of the package's tar archive (its second member). Called by the host
// sequences before any adapter is touched; it never extracts members and never trusts a
// header's size before checking it against the file. Result codes are those of vxins_host_api.h.
#ifndef VXINS_PACKAGE_PACKAGE_READER_H
#define VXINS_PACKAGE_PACKAGE_READER_H

#include <string>
#include <vector>

#include "log/log.h"

namespace vxins {
namespace package {

// The bare name of the single entry of folder (besides "." and ".."). 0; 1002 for a folder
// holding zero or several entries (subfolders count); the errno of a failed opendir. Quiet,
// it logs nothing (vxins-host's check before a call). `entries`, when given, receives every
// entry counted, in the folder's order.
int single_entry_of(const std::string& folder, std::string& name,
                    log::Trace trace = log::Trace::kLogged,
                    std::vector<std::string>* entries = nullptr);

// The package's bare file name, as the flash compares it with the discovery file's
// firmware_file: the part after the last "/" or "\"; the whole path when it holds neither.
std::string bare_file_name(const std::string& path);

// The text between "<version>" and "</version>" in the package's second member; pax extended
// headers and GNU long names are metadata of the member after them, not members. 0; 9 package
// not opened or not a regular file; 1006 bad first header or short first member; 1007 bad
// second header, short second member, no usable version element or scratch file not created;
// 1004 out of memory. On failure version keeps its previous value.
int read_package_version(const std::string& package_path, std::string& version);

}  // namespace package
}  // namespace vxins

#endif
