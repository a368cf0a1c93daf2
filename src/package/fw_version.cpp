// Version comparison: four dotted integer fields, compared from Major to Patch; the first field
// that differs decides. Fields are read as atoi would read them (blanks, sign, digits up to the
// first non-digit), but without atoi's undefined behaviour on values beyond int.
#include "package/fw_version.h"

#include <cctype>
#include <climits>

#include "vxins_log.h"

namespace {

struct FwVersionFields {
  int major = 0;
  int minor = 0;
  int maint = 0;
  int patch = 0;
};

int read_field(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;  // saturated either way
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// Major, Minor and Maintenance lie between the first three dots; Patch is everything after the
// third (a "_build" suffix stops the digits). A field that is missing reads as 0.
FwVersionFields split_version(const std::string& ver) {
  std::string field[4];
  size_t start = 0;
  int idx = 0;
  for (; idx < 3; ++idx) {
    size_t dot = ver.find('.', start);
    if (dot == std::string::npos) break;
    field[idx] = ver.substr(start, dot - start);
    start = dot + 1;
  }
  field[idx] = ver.substr(start);  // the rest: Patch after three dots, else the last field seen
  FwVersionFields out;
  out.major = read_field(field[0]);
  out.minor = read_field(field[1]);
  out.maint = read_field(field[2]);
  out.patch = read_field(field[3]);
  return out;
}

}  // namespace

fw_action_status_t getFwVerStatus(std::string passed_fwver, std::string flashed_fwver) {
  if (passed_fwver.empty() || flashed_fwver.empty()) {
    VXINS_LOG_TRACE(LOG_INFO, "Passed_fwver or flashed_fwver size is zero. So returning upgrade");
    return FW_STATUS_UPGRADE;
  }
  FwVersionFields offered = split_version(passed_fwver);
  FwVersionFields installed = split_version(flashed_fwver);

  VXINS_LOG_TRACE(LOG_INFO, "Comparing Major Version");
  if (offered.major != installed.major) {
    return offered.major < installed.major ? FW_STATUS_DOWNGRADE : FW_STATUS_UPGRADE;
  }
  VXINS_LOG_TRACE(LOG_INFO, "Comparing Minor Version");
  if (offered.minor != installed.minor) {
    return offered.minor < installed.minor ? FW_STATUS_DOWNGRADE : FW_STATUS_UPGRADE;
  }
  VXINS_LOG_TRACE(LOG_INFO, "Comparing Maintenance Version");
  if (offered.maint != installed.maint) {
    return offered.maint < installed.maint ? FW_STATUS_DOWNGRADE : FW_STATUS_UPGRADE;
  }
  VXINS_LOG_TRACE(LOG_INFO, "Comparing Patch Version");
  if (offered.patch == installed.patch) return FW_STATUS_REWRITE;
  return offered.patch < installed.patch ? FW_STATUS_DOWNGRADE : FW_STATUS_UPGRADE;
}
