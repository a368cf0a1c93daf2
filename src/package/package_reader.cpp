// Finding the package in the firmware folder and reading its version string. The first member
// (the boot image itself, possibly hundreds of MiB) is stepped over with a seek, never read.
#include "package/package_reader.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files/regular_file.h"
#include "log/log.h"
#include "tar_archive.h"
#include "vxins_host_api.h"
#include "vxins_trace.h"

namespace vxins {
namespace package {

namespace {

const size_t kNameBufSize = 256;
const size_t kVersionBufSize = 256;
const char kVersionOpen[] = "<version>";
const char kVersionClose[] = "</version>";
const int kVersionOpenLen = static_cast<int>(sizeof kVersionOpen - 1);  // 9

int folder_fail(int code) {
  log::utility.error("<-- get_fwfile_from_path()");
  return code;
}

// What one version read holds; released on every return.
struct ReaderState {
  FILE* fp = nullptr;
  char* member_text = nullptr;
  bool scratch_created = false;
  char scratch_name[kNameBufSize] = {};

  ReaderState() = default;
  ReaderState(const ReaderState&) = delete;
  ReaderState& operator=(const ReaderState&) = delete;
  ~ReaderState() {
    if (fp != nullptr) fclose(fp);
    free(member_text);
    // Only a scratch file this call created is removed: a file or link of that name that was
    // there before belongs to someone else.
    if (scratch_created) remove(scratch_name);
  }
};

// Opens the package for reading only if it is a regular file, checked on the descriptor that is
// then read: the host's path check happened earlier, and a FIFO swapped in since must neither
// block the host's thread in open nor be read. Null otherwise.
FILE* open_package(const std::string& path) {
  files::RegularFile file;
  if (!file.open(path)) return nullptr;
  FILE* fp = fdopen(file.fd(), "rb");
  if (fp != nullptr) file.release();
  return fp;
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

// The step the reader takes after the first member, by the first member's name: a package whose
// first member is not its boot.txt gets a scratch file in the current folder, one that is gets
// opened a second time. Both only prove the folder or the package usable.
int check_after_first_member(ReaderState& st, const TarHeader& first,
                             const std::string& package_path) {
  snprintf(st.scratch_name, sizeof st.scratch_name, "tmp_%lx",
           static_cast<unsigned long>(pthread_self()));
  char first_name[sizeof first.filename + 1];
  memcpy(first_name, first.filename, sizeof first.filename);
  first_name[sizeof first.filename] = '\0';
  if (strstr(first_name, "boot.txt") == nullptr) {
    if (create_scratch(st)) return 0;
    return reader_fail(VXINS_RC_BAD_VERSION_MEMBER,
                       "strstr of VXINSLIB_QUORVEL_BOOT_IMAGE_DETAILS failed");
  }
  FILE* again = open_package(package_path);
  if (again == nullptr) {
    return reader_fail(VXINS_RC_BAD_VERSION_MEMBER,
                       "Else case of strstr(VXINSLIB_QUORVEL_BOOT_IMAGE_DETAILS) failed");
  }
  fclose(again);
  return 0;
}

// Reads the second member's whole text into st.member_text (NUL-terminated).
int read_version_member(ReaderState& st) {
  TarHeader hdr;
  int rc = read_member_header(st.fp, hdr, kSecondMember);
  if (rc != 0) return rc;
  int64_t size = 0;
  rc = checked_size(st.fp, hdr, kSecondMember, size);
  if (rc != 0) return rc;
  // A size the address space cannot hold (a 32-bit process, a member of gigabytes).
  if (static_cast<uint64_t>(size) >= SIZE_MAX)
    return reader_fail(VXINS_RC_NO_MEMORY, kSecondMember.negative_size);
  // One byte more than the member holds, for the terminator: the member's last byte is part of
  // the text ("</version>" may end the member without a newline).
  st.member_text = static_cast<char*>(calloc(static_cast<size_t>(size) + 1, 1));
  if (st.member_text == nullptr)
    return reader_fail(VXINS_RC_NO_MEMORY, kSecondMember.negative_size);
  if (fread(st.member_text, 1, static_cast<size_t>(size), st.fp) < static_cast<size_t>(size))
    return reader_fail(kSecondMember.bad_code, kSecondMember.bad_size);
  return 0;
}

// The version between the tags of text. A closing tag before the opening one, or a version that
// does not fit its 255 characters, is refused rather than cut: a cut version would be flashed
// and reported as if it were whole.
int extract_version(const char* text, std::string& version) {
  // Both tags are searched from the start of the text; an empty member holds neither.
  const char* open_tag = strstr(text, kVersionOpen);
  const char* close_tag = open_tag != nullptr ? strstr(text, kVersionClose) : nullptr;
  if (close_tag == nullptr)
    return reader_fail(VXINS_RC_BAD_VERSION_MEMBER, "strstr of Version Failed");
  ptrdiff_t len = close_tag - open_tag - kVersionOpenLen;
  if (len < 0 || len > static_cast<ptrdiff_t>(kVersionBufSize - 1)) {
    char why[128];
    snprintf(why, sizeof why, "Version length(%ld) is out of range(0..%d)",
             static_cast<long>(len), static_cast<int>(kVersionBufSize - 1));
    return reader_fail(VXINS_RC_BAD_VERSION_MEMBER, why);
  }
  version.assign(open_tag + kVersionOpenLen, static_cast<size_t>(len));
  version.resize(strlen(version.c_str()));  // as C text: a NUL in the member ends the version
  log::utility.info(trace::kPackageVersion, version.c_str());
  return 0;
}

}  // namespace

int single_entry_of(const std::string& folder, std::string& name, log::Trace trace,
                    std::vector<std::string>* entries) {
  const bool logged = trace == log::Trace::kLogged;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) {
    int err = errno;  // logging may change errno
    if (!logged) return err != 0 ? err : VXINS_RC_INVALID_ARG;
    log::utility.error("ERROR:Open directory(%s)failed with error code=%d, err_string=%s",
                       folder.c_str(), err, strerror(err));
    return folder_fail(err != 0 ? err : VXINS_RC_INVALID_ARG);
  }
  char entry_name[kNameBufSize];
  std::string found;
  int count = 0;
  for (struct dirent* ent = readdir(dir); ent != nullptr; ent = readdir(dir)) {
    snprintf(entry_name, sizeof entry_name, "%s", ent->d_name);
    if (logged) log::utility.info("%s", entry_name);
    if (strcmp(entry_name, ".") == 0 || strcmp(entry_name, "..") == 0) continue;
    // Every other entry counts, subfolders and links included: the host must hand over a
    // folder that holds the package and nothing else.
    ++count;
    found = entry_name;
    if (entries != nullptr) entries->push_back(found);
  }
  closedir(dir);
  if (count == 1) {
    name = found;
    return 0;
  }
  if (!logged) return VXINS_RC_INVALID_ARG;
  log::utility.error(
      "ERROR: There are zero or more than 1 file present in the given directory(%s)",
      folder.c_str());
  log::utility.error("Which one is the firmware file?, got confused and returning error=%d",
                     VXINS_RC_INVALID_ARG);
  return folder_fail(VXINS_RC_INVALID_ARG);
}

std::string bare_file_name(const std::string& path) {
  std::string::size_type cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

int read_package_version(const std::string& package_path, std::string& version) {
  ReaderState st;
  st.fp = open_package(package_path);
  if (st.fp == nullptr) {
    log::utility.info("ERROR(%d)-FW File(%s) open failed", VXINS_RC_FW_OPEN_FAILED,
                      package_path.c_str());
    log::utility.info("<-- getFwVersionFromFwFile()");
    return VXINS_RC_FW_OPEN_FAILED;
  }
  // First member: normally the package's top folder; its data is skipped, never read.
  TarHeader first;
  int rc = read_member_header(st.fp, first, kFirstMember);
  if (rc == 0) rc = skip_member_data(st.fp, first, kFirstMember);
  if (rc == 0) rc = check_after_first_member(st, first, package_path);
  if (rc == 0) rc = read_version_member(st);
  if (rc == 0) rc = extract_version(st.member_text, version);
  return rc;
}

}  // namespace package
}  // namespace vxins
