// Walking the ustar archive. A forged size field must not make the host's process seek or
// allocate beyond the file: every size is checked against what the file still holds.
#include "tar_archive.h"

#include <cstring>
#include <sys/stat.h>

#include "log/log.h"
#include "vxins_host_api.h"

namespace vxins {
namespace package {

namespace {

const int kTarBlock = 512;

// Bytes of the package from the current position to its end (0 when unknown, e.g. a device).
int64_t bytes_left(FILE* fp) {
  struct stat st;
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  off_t pos = ftello(fp);
  if (pos < 0 || pos > st.st_size) return 0;
  return static_cast<int64_t>(st.st_size) - static_cast<int64_t>(pos);
}

bool has_ustar_magic(const TarHeader& hdr) { return memcmp(hdr.magic, "ustar", 5) == 0; }

// pax extended headers ('x' for the next member, 'g' global) and GNU long names ('L' for the
// name, 'K' for the link target) describe the member that follows them; they are no members.
bool is_member_metadata(const TarHeader& hdr) {
  return hdr.linkindicator == 'x' || hdr.linkindicator == 'g' || hdr.linkindicator == 'L' ||
         hdr.linkindicator == 'K';
}

}  // namespace

const MemberLines kFirstMember = {VXINS_RC_BAD_TAR_HEADER,
                                  "sizeof(fw_tar_hdr_t) is not matched with fread",
                                  true,
                                  "Tar Hdr USTART failed",
                                  "FRead of filesize failed",
                                  "fbuf Malloc failed"};
const MemberLines kSecondMember = {VXINS_RC_BAD_VERSION_MEMBER,
                                   "FRead of fw_xmlfile_hdr failed",
                                   false,
                                   "fw_xmlfile_hdr ustar failed",
                                   "Fread of xml_filesize Failed",
                                   "xml_fbuf malloc failed"};

int reader_fail(int code, const char* text) {
  log::utility.info("%s", text);
  log::utility.info("<-- getFwVersionFromFwFile()");
  return code;
}

int64_t decode_size(const unsigned char (&field)[12]) {
  size_t i = 0;
  while (i < sizeof field && field[i] == ' ') ++i;
  size_t n = 0;
  while (i + n < sizeof field && field[i + n] != '\0' && field[i + n] != ' ') ++n;
  // Eleven 7s, a legal size of 8 GiB - 1, already exceed int: summed in 64 bits. Past the
  // eleventh digit the power of 8 no longer fits 32 bits and the digit is worth nothing.
  int64_t result = 0;
  size_t terms = n < 11 ? n : 11;
  for (size_t k = 0; k < terms; ++k) {
    int64_t digit = static_cast<int64_t>(field[i + n - 1 - k]) - '0';
    result += digit * (int64_t{1} << (3 * k));
  }
  return result;
}

int checked_size(FILE* fp, const TarHeader& hdr, const MemberLines& lines, int64_t& size) {
  size = decode_size(hdr.filesize);
  if (size < 0) return reader_fail(VXINS_RC_NO_MEMORY, lines.negative_size);
  if (size > bytes_left(fp)) return reader_fail(lines.bad_code, lines.bad_size);
  return 0;
}

int skip_member_data(FILE* fp, const TarHeader& hdr, const MemberLines& lines) {
  int64_t size = 0;
  int rc = checked_size(fp, hdr, lines, size);
  if (rc != 0) return rc;
  int64_t padded = (size + kTarBlock - 1) / kTarBlock * kTarBlock;
  if (fseeko(fp, static_cast<off_t>(padded), SEEK_CUR) != 0)
    return reader_fail(lines.bad_code, lines.bad_size);
  return 0;
}

int read_member_header(FILE* fp, TarHeader& hdr, const MemberLines& lines) {
  for (;;) {
    size_t got = fread(&hdr, 1, sizeof hdr, fp);
    if (got < sizeof hdr) {
      if (!lines.log_read_count) return reader_fail(lines.bad_code, lines.short_header);
      log::utility.info("%s", lines.short_header);
      log::utility.info("sizeof(fw_tar_hdr_t) = %d, fread_size=%d", static_cast<int>(sizeof hdr),
                        static_cast<int>(got));
      log::utility.info("<-- getFwVersionFromFwFile()");
      return lines.bad_code;
    }
    if (!has_ustar_magic(hdr)) return reader_fail(lines.bad_code, lines.bad_magic);
    if (!is_member_metadata(hdr)) return 0;
    // Each pass consumes at least one block of the file, so the loop ends at its end.
    int rc = skip_member_data(fp, hdr, lines);
    if (rc != 0) return rc;
  }
}

}  // namespace package
}  // namespace vxins
