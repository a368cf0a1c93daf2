// The ustar archive as the package reader walks it: header blocks, size fields and the metadata
// entries that pax and GNU tar put before a member. Used only by package_reader.cpp; every size
// a header claims is checked against the file before anything is sought or allocated.
#ifndef VXINS_PACKAGE_TAR_ARCHIVE_H
#define VXINS_PACKAGE_TAR_ARCHIVE_H

#include <cstdint>
#include <cstdio>

namespace vxins {
namespace package {

// One ustar header block, read whole with a single read. Only the name, the size, the magic and
// the type flag are looked at; the checksum is not.
struct TarHeader {
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
};
static_assert(sizeof(TarHeader) == 512, "a tar header is one 512-byte block");

// The failures met on the way to one member and over its size, as the trace names them.
struct MemberLines {
  int bad_code;               // short header, wrong magic, size beyond the file
  const char* short_header;   // a header cut short by the end of the file
  bool log_read_count;        // the short read's byte count follows on a line of its own
  const char* bad_magic;
  const char* bad_size;       // a size beyond what the file still holds
  const char* negative_size;  // a size that names no buffer (1004)
};
// Those of the first member (the archive's start) and of the second (the version member).
extern const MemberLines kFirstMember;
extern const MemberLines kSecondMember;

// Logs a failure of the version reader and its exit line; returns code.
int reader_fail(int code, const char* text);

// The value of a 12-byte size field: the octal digits after any leading blanks, up to a NUL
// or a blank (GNU tar ends it with a NUL, bsdtar with a blank), decoded in 64 bits; no other
// character is rejected and only the last eleven digits count.
int64_t decode_size(const unsigned char (&field)[12]);

// Reads the next member's header into hdr, stepping over the metadata entries before it (pax
// extended headers, GNU long names). Every header on the way must carry the ustar magic and
// every metadata size must fit the file. 0, or the member's failure code (logged).
int read_member_header(FILE* fp, TarHeader& hdr, const MemberLines& lines);
// The header's size, checked against the rest of the file: 0, or the failure code (logged).
int checked_size(FILE* fp, const TarHeader& hdr, const MemberLines& lines, int64_t& size);
// Steps over a member's data and the zero fill up to the next whole block.
int skip_member_data(FILE* fp, const TarHeader& hdr, const MemberLines& lines);

}  // namespace package
}  // namespace vxins

#endif
