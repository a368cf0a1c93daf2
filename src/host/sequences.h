// The bodies of the two host calls, in the order the host relies on (what is logged, which
// file exists after which failure). Called only by the exported entry points, which add the
// last-resort catch; these functions release the agent library and free every record on every
// path they return through.
#ifndef VXINS_HOST_SEQUENCES_H
#define VXINS_HOST_SEQUENCES_H

namespace vxins {
namespace host {

// Discovery: 0, or a result code (see vxins_host_api.h); 1001 also when the discovery file
// could not be written, or when the agent threw while its session was being closed.
int run_discovery(char* discovery_file, char* fw_file_path);
// Flash: 1 after the update pass, 3 all skip, 8 package mismatch, or a failure code; 1001 in
// place of any of those when the file could not be rewritten (the earlier file is removed), in
// place of 1 when the agent threw while its session was being closed, and in place of an agent
// initialisation result of 1 or 3.
int run_flash(char* discovery_file, char* firmware_file_or_path);

}  // namespace host
}  // namespace vxins

#endif
