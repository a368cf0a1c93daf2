// The bodies of the two host calls, in the order the host relies on (what is logged, which
// file exists after which failure). Called only by the exported entry points, which add the
// last-resort catch; these functions release the agent library and free every record on every
// path they return through.
#ifndef VXINS_HOST_SEQUENCES_H
#define VXINS_HOST_SEQUENCES_H

// Discovery: 0, or a result code (see vxins_host_api.h).
int run_discovery(char* discovery_file, char* fw_file_path);
// Flash: 1 after the update pass, 3 all skip, 8 package mismatch, or a failure code.
int run_flash(char* discovery_file, char* firmware_file_or_path);

#endif
