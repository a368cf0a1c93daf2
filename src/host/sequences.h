// The bodies of the two host calls, in the order the host relies on (what is logged, which
// file exists after which failure). Called only by the exported entry points, which add the
// last-resort catch; these functions release the agent library and free every record on every
// path they return through.
#ifndef VXINS_HOST_SEQUENCES_H
#define VXINS_HOST_SEQUENCES_H

// Discovery: 0, or a result code (see vxins_host_api.h); 1001 also when the discovery file
// could not be written, or when the agent threw while its session was being closed.
int run_discovery(char* discovery_file, char* fw_file_path);
// Flash: 1 after the update pass, 3 all skip, 8 package mismatch, or a failure code; 1001
// replaces 1 when the agent threw while its session was being closed. A rewrite of the file
// that fails is logged and leaves the host's file as it was; the result does not change,
// since the adapters were flashed all the same.
int run_flash(char* discovery_file, char* firmware_file_or_path);

#endif
