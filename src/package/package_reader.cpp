// Finding the package in the firmware directory and reading its version string.
//
// The package comes from outside the plug-in, so every size a tar header claims is checked
// against what the file really holds before anything is read or allocated: a forged size field
// must not make the host's process allocate gigabytes, and the first member (the boot image
// itself, possibly hundreds of MiB) is stepped over with a seek rather than read.
#include "package/package_reader.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vxins_host_api.h"
#include "vxins_log.h"

namespace {

const int kTarBlock = 512;
const size_t kNameBufSize = 256;
const size_t kVersionBufSize = 256;
const char kVersionOpen[] = "<version>";
const char kVersionClose[] = "</version>";
const int kVersionOpenLen = static_cast<int>(sizeof kVersionOpen - 1);  // 9

void log_fwfile_exit() { VXINS_LOG_TRACE(LOG_ERROR, "<-- get_fwfile_from_path()"); }

// Every message of the version reader goes to LOG_INFO, formatted into gLogBuf first.
void log_reader(const char* text) {
  if (text != gLogBuf) snprintf(gLogBuf, sizeof gLogBuf, "%s", text);
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
}

// Value of the n characters of octal text at `text`, summed in 64 bits (eleven 7s, a legal size
// of 8 GiB - 1, already exceed int). No character is rejected; get_boot_power is 0 from power
// 11 on, so only the last eleven characters count.
int64_t octal_value(const unsigned char* text, size_t n) {
  int64_t result = 0;
  size_t terms = n < 11 ? n : 11;
  for (size_t k = 0; k < terms; ++k) {
    int64_t digit = static_cast<int64_t>(text[n - 1 - k]) - 48;
    result += digit * static_cast<int64_t>(get_boot_power(static_cast<int>(k)));
  }
  return result;
}

// The size field is 12 bytes of octal digits ended by a NUL or a blank: GNU tar writes
// "00000000033\0", bsdtar "00000000033 " (no NUL at all), and old archives pad with leading
// blanks. Only the digits are decoded, since a blank would count as a digit worth -16 and so
// turn every bsdtar size into garbage; a field without any terminator stops at its 12th byte.
// Decoded in 64 bits: a boot image past 2 GiB is stepped over like any other.
int64_t decode_size(const unsigned char (&field)[12]) {
  size_t i = 0;
  while (i < sizeof field && field[i] == ' ') ++i;
  size_t n = 0;
  while (i + n < sizeof field && field[i + n] != '\0' && field[i + n] != ' ') ++n;
  return octal_value(field + i, n);
}

bool has_ustar_magic(const fw_tar_hdr_t& hdr) { return memcmp(hdr.magic, "ustar", 5) == 0; }

// What one version read holds; released on every return.
struct ReaderState {
  FILE* fp = nullptr;
  char* xml_fbuf = nullptr;
  bool scratch_created = false;
  char scratch_name[kNameBufSize] = {};

  ReaderState() = default;
  ReaderState(const ReaderState&) = delete;
  ReaderState& operator=(const ReaderState&) = delete;
  ~ReaderState() {
    if (fp != nullptr) fclose(fp);
    free(xml_fbuf);
    // Only a scratch file this call created is removed: a file or link of that name that was
    // there before belongs to someone else.
    if (scratch_created) remove(scratch_name);
  }
};

int reader_fail(int code, const char* text) {
  log_reader(text);
  log_reader("<-- getFwVersionFromFwFile()");
  return code;
}

// Bytes of the package from the current position to its end (0 when unknown, e.g. a device).
int64_t bytes_left(FILE* fp) {
  struct stat st;
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  off_t pos = ftello(fp);
  if (pos < 0 || pos > st.st_size) return 0;
  return static_cast<int64_t>(st.st_size) - static_cast<int64_t>(pos);
}

// The failures met on the way to one member and over its size, as the trace names them: those
// of the first member (the archive's start) and those of the second (the version member).
struct MemberLines {
  int bad_code;               // short header, wrong magic, size beyond the file
  const char* short_header;   // a header cut short by the end of the file
  bool log_read_count;        // the short read's byte count follows on a line of its own
  const char* bad_magic;
  const char* bad_size;       // a size beyond what the file still holds
  const char* negative_size;  // a size that names no buffer (1004)
};

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

// Checks a header's size against the rest of the file before anything is sought or allocated:
// 0 with the size, else the member's failure code (logged).
int checked_size(FILE* fp, const fw_tar_hdr_t& hdr, const MemberLines& m, int64_t& size) {
  size = decode_size(hdr.filesize);
  if (size < 0) return reader_fail(VXINS_RC_NO_MEMORY, m.negative_size);
  if (size > bytes_left(fp)) return reader_fail(m.bad_code, m.bad_size);
  return 0;
}

// Steps over a member's data and the zero fill up to the next whole block.
int skip_member_data(FILE* fp, const fw_tar_hdr_t& hdr, const MemberLines& m) {
  int64_t size = 0;
  int rc = checked_size(fp, hdr, m, size);
  if (rc != 0) return rc;
  int64_t padded = (size + kTarBlock - 1) / kTarBlock * kTarBlock;
  if (fseeko(fp, static_cast<off_t>(padded), SEEK_CUR) != 0) {
    return reader_fail(m.bad_code, m.bad_size);
  }
  return 0;
}

// pax extended headers ('x' for the next member, 'g' global) and GNU long names ('L' for the
// name, 'K' for the link target) describe the member that follows them; they are no members.
bool is_member_metadata(const fw_tar_hdr_t& hdr) {
  return hdr.linkindicator == 'x' || hdr.linkindicator == 'g' || hdr.linkindicator == 'L' ||
         hdr.linkindicator == 'K';
}

// Reads the next member's header into hdr, stepping over the metadata entries before it (pax
// and GNU tar write them, Python's tarfile too). Every header on the way must carry the ustar
// magic and every metadata size must fit the file. 0, or the member's failure code (logged).
int read_member_header(FILE* fp, fw_tar_hdr_t& hdr, const MemberLines& m) {
  for (;;) {
    size_t got = fread(&hdr, 1, sizeof hdr, fp);
    if (got < sizeof hdr) {
      if (!m.log_read_count) return reader_fail(m.bad_code, m.short_header);
      log_reader(m.short_header);
      snprintf(gLogBuf, sizeof gLogBuf, "sizeof(fw_tar_hdr_t) = %d, fread_size=%d",
               static_cast<int>(sizeof hdr), static_cast<int>(got));
      VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
      log_reader("<-- getFwVersionFromFwFile()");
      return m.bad_code;
    }
    if (!has_ustar_magic(hdr)) return reader_fail(m.bad_code, m.bad_magic);
    if (!is_member_metadata(hdr)) return 0;
    // Each pass consumes at least one block of the file, so the loop ends at its end.
    int rc = skip_member_data(fp, hdr, m);
    if (rc != 0) return rc;
  }
}

// Creates the empty scratch file without following a link or touching an existing file.
// Returns false only when the name was free and the file still could not be created.
bool create_scratch(ReaderState& st) {
  int fd = open(st.scratch_name, O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    st.scratch_created = true;
    close(fd);
    return true;
  }
  return errno == EEXIST;
}

// Opens the package for reading only if it is a regular file, checked on the descriptor that is
// then read: the host's path check happened earlier, and a FIFO swapped in since must neither
// block the host's thread in open nor be read. Null (errno set) otherwise.
FILE* open_package(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return nullptr;
  }
  FILE* fp = fdopen(fd, "rb");
  if (fp == nullptr) close(fd);
  return fp;
}

}  // namespace

int get_boot_power(int pwr) {
  // Unsigned shifts: past 8^10 the power wraps to 0 as 32-bit arithmetic does, without the
  // undefined behaviour of overflowing a signed shift.
  uint32_t value = 1;
  for (int i = 0; i < pwr; ++i) value <<= 3;
  return static_cast<int>(value);
}

int conv_octal_to_decimal(unsigned char* octal) {
  if (octal == nullptr) return 0;
  int64_t result = octal_value(octal, strlen(reinterpret_cast<const char*>(octal)));
  if (result > INT_MAX) return INT_MAX;
  if (result < INT_MIN) return INT_MIN;
  return static_cast<int>(result);
}

int get_fwfile_from_path(char* dirpath, char* fw_fname) {
  if (dirpath == nullptr) {
    snprintf(gLogBuf, sizeof gLogBuf, "ERROR:directory path is NULL, so error code=%d",
             VXINS_RC_INVALID_ARG);
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
    log_fwfile_exit();
    return VXINS_RC_INVALID_ARG;
  }
  if (fw_fname == nullptr) {
    snprintf(gLogBuf, sizeof gLogBuf, "ERROR:file name buffer is NULL, so error code=%d",
             VXINS_RC_INVALID_ARG);
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
    log_fwfile_exit();
    return VXINS_RC_INVALID_ARG;
  }

  DIR* dir = opendir(dirpath);
  if (dir == nullptr) {
    int err = errno;  // logging may change errno
    snprintf(gLogBuf, sizeof gLogBuf,
             "ERROR:Open directory(%s)failed with error code=%d, err_string=%s", dirpath, err,
             strerror(err));
    VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
    log_fwfile_exit();
    return err != 0 ? err : VXINS_RC_INVALID_ARG;
  }

  char entry_name[kNameBufSize];
  char found_name[kNameBufSize] = {};
  int count = 0;
  for (struct dirent* ent = readdir(dir); ent != nullptr; ent = readdir(dir)) {
    memset(entry_name, 0, sizeof entry_name);
    snprintf(entry_name, sizeof entry_name, "%s", ent->d_name);
    VXINS_LOG_TRACE(LOG_INFO, entry_name);
    if (strcmp(entry_name, ".") == 0 || strcmp(entry_name, "..") == 0) continue;
    // Every other entry counts, subdirectories and links included: the host must hand over a
    // directory that holds the package and nothing else.
    ++count;
    snprintf(found_name, sizeof found_name, "%s", entry_name);
  }

  if (count == 1) {
    snprintf(fw_fname, kNameBufSize, "%s", found_name);
    closedir(dir);
    return 0;
  }

  snprintf(gLogBuf, sizeof gLogBuf,
           "ERROR: There are zero or more than 1 file present in the given directory(%s)", dirpath);
  VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
  snprintf(gLogBuf, sizeof gLogBuf,
           "Which one is the firmware file?, got confused and returning error=%d",
           VXINS_RC_INVALID_ARG);
  VXINS_LOG_TRACE(LOG_ERROR, gLogBuf);
  log_fwfile_exit();
  closedir(dir);
  return VXINS_RC_INVALID_ARG;
}

int getFwVersionFromFwFile(std::string fw_file, std::string& fw_ver_from_file) {
  ReaderState st;
  st.fp = open_package(fw_file);
  if (st.fp == nullptr) {
    snprintf(gLogBuf, sizeof gLogBuf, "ERROR(%d)-FW File(%s) open failed",
             VXINS_RC_FW_OPEN_FAILED, fw_file.c_str());
    VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
    log_reader("<-- getFwVersionFromFwFile()");
    return VXINS_RC_FW_OPEN_FAILED;
  }

  // First member: normally the package's top directory; its data is skipped, never read.
  fw_tar_hdr_t fw_hdr;
  int rc = read_member_header(st.fp, fw_hdr, kFirstMember);
  if (rc != 0) return rc;
  rc = skip_member_data(st.fp, fw_hdr, kFirstMember);
  if (rc != 0) return rc;

  snprintf(st.scratch_name, sizeof st.scratch_name, "tmp_%lx",
           static_cast<unsigned long>(pthread_self()));

  char first_name[sizeof fw_hdr.filename + 1];
  memcpy(first_name, fw_hdr.filename, sizeof fw_hdr.filename);
  first_name[sizeof fw_hdr.filename] = '\0';
  if (strstr(first_name, "boot.txt") == nullptr) {
    if (!create_scratch(st)) {
      return reader_fail(VXINS_RC_BAD_VERSION_MEMBER,
                         "strstr of VXINSLIB_QUORVEL_BOOT_IMAGE_DETAILS failed");
    }
  } else {
    FILE* again = open_package(fw_file);
    if (again == nullptr) {
      return reader_fail(VXINS_RC_BAD_VERSION_MEMBER,
                         "Else case of strstr(VXINSLIB_QUORVEL_BOOT_IMAGE_DETAILS) failed");
    }
    fclose(again);
  }

  // Second member: the version text.
  fw_tar_hdr_t fw_xmlfile_hdr;
  rc = read_member_header(st.fp, fw_xmlfile_hdr, kSecondMember);
  if (rc != 0) return rc;
  int64_t xml_filesize = 0;
  rc = checked_size(st.fp, fw_xmlfile_hdr, kSecondMember, xml_filesize);
  if (rc != 0) return rc;
  // A size the address space cannot hold (a 32-bit process, a member of gigabytes).
  if (static_cast<uint64_t>(xml_filesize) >= SIZE_MAX) {
    return reader_fail(VXINS_RC_NO_MEMORY, kSecondMember.negative_size);
  }
  // One byte more than the member holds, for the terminator: the member's last byte is part of
  // the text ("</version>" may end the member without a newline).
  st.xml_fbuf = static_cast<char*>(calloc(static_cast<size_t>(xml_filesize) + 1, 1));
  if (st.xml_fbuf == nullptr) return reader_fail(VXINS_RC_NO_MEMORY, kSecondMember.negative_size);
  if (fread(st.xml_fbuf, 1, static_cast<size_t>(xml_filesize), st.fp) <
      static_cast<size_t>(xml_filesize)) {
    return reader_fail(kSecondMember.bad_code, kSecondMember.bad_size);
  }
  st.xml_fbuf[xml_filesize] = '\0';

  // Both tags are searched from the start of the text; an empty member holds neither.
  const char* open_tag = strstr(st.xml_fbuf, kVersionOpen);
  if (open_tag == nullptr) return reader_fail(VXINS_RC_BAD_VERSION_MEMBER, "strstr of Version Failed");
  const char* close_tag = strstr(st.xml_fbuf, kVersionClose);
  if (close_tag == nullptr) return reader_fail(VXINS_RC_BAD_VERSION_MEMBER, "strstr of Version Failed");

  // A closing tag before the opening one, or a version that does not fit its 255 characters, is
  // refused rather than cut: a cut version would be flashed and reported as if it were whole.
  ptrdiff_t len = close_tag - open_tag - kVersionOpenLen;
  if (len < 0 || len > static_cast<ptrdiff_t>(kVersionBufSize - 1)) {
    snprintf(gLogBuf, sizeof gLogBuf, "Version length(%ld) is out of range(0..%d)",
             static_cast<long>(len), static_cast<int>(kVersionBufSize - 1));
    return reader_fail(VXINS_RC_BAD_VERSION_MEMBER, gLogBuf);
  }
  char version[kVersionBufSize] = {};
  memcpy(version, open_tag + kVersionOpenLen, static_cast<size_t>(len));
  version[len] = '\0';
  fw_ver_from_file = version;

  snprintf(gLogBuf, sizeof gLogBuf, "Read BOOT TAR FW Version is %s", version);
  VXINS_LOG_TRACE(LOG_INFO, gLogBuf);
  return 0;
}
