// Firmware package reader: finds the one package file in the firmware directory and reads the
// version string out of the package's tar archive (its second member). Called by the host entry
// points before any adapter is touched; it never extracts members and never trusts a header's
// size before checking it against the file. Result codes are those of vxins_host_api.h.
#ifndef VXINS_PACKAGE_READER_H
#define VXINS_PACKAGE_READER_H

#include <string>

// One ustar header block, read whole with a single read. Only filename, filesize, magic and the
// type flag (to step over pax and GNU long-name metadata) are looked at; the checksum is not.
typedef struct FW_TAR_HEADER_T {
  char filename[100];
  unsigned char filemode[8];
  unsigned char ouserid[8];
  unsigned char guserid[8];
  unsigned char filesize[12];
  unsigned char modifytime[12];
  unsigned char cheksum[8];
  unsigned char linkindicator;
  unsigned char linkfile[100];
  unsigned char magic[6];
  unsigned char rsvd[249];
} fw_tar_hdr_t;

static_assert(sizeof(fw_tar_hdr_t) == 512, "a tar header is one 512-byte block");

// Puts the bare name of the single entry of dirpath (besides "." and "..") into fw_fname, a
// 256-byte buffer. 0 on success; 1002 for a null path or a directory holding zero or several
// entries (subdirectories count); the errno of a failed opendir.
int get_fwfile_from_path(char* dirpath, char* fw_fname);

// Reads the text between "<version>" and "</version>" in the package's second member into
// fw_ver_from_file; pax extended headers and GNU long names are metadata of the member after
// them, not members. 0 on success; 9 package not opened or not a regular file; 1006 bad first
// header or short first member; 1007 bad second header, short second member, no usable version
// element or scratch file not created; 1004 out of memory. On failure fw_ver_from_file keeps its
// previous value.
int getFwVersionFromFwFile(std::string fw_file, std::string& fw_ver_from_file);

// Value of a NUL-terminated octal text. No character is rejected (each adds its code minus '0'
// times its power of 8); a value beyond the range of int saturates at INT_MAX or INT_MIN.
int conv_octal_to_decimal(unsigned char* octal);

// 8 to the power pwr, in 32-bit arithmetic: 1 for pwr <= 0, and 0 once the power no longer fits
// 32 bits (pwr >= 11).
int get_boot_power(int pwr);

#endif
