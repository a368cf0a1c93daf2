// Version comparison: four dotted integer fields, compared from Major to Patch; the first field
// that differs decides. Fields are read as atoi would read them (blanks, sign, digits up to the
// first non-digit), but without atoi's undefined behaviour on values beyond int.
#include "inventory/firmware_action.h"

#include <cctype>
#include <climits>

#include "log/log.h"

namespace vxins {
namespace inventory {

namespace {

// Each action with the text a record stores for it; a file's word is compared with it in any
// letter case.
struct ActionWords {
  fw_action_status_t action;
  const char* text;
};

const ActionWords kActionWords[] = {
    {FW_STATUS_UPGRADE, "Upgrade"},
    {FW_STATUS_DOWNGRADE, "Downgrade"},
    {FW_STATUS_REWRITE, "Rewrite"},
    {FW_STATUS_MISMATCH, "FW mismatch"},
    {FW_STATUS_SKIP, "Skip"},
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The text between begin and end equals `text` but for letter case.
bool same_word(const std::string& value, size_t begin, size_t end, const char* text) {
  size_t i = begin;
  for (; i < end && *text != '\0'; ++i, ++text) {
    if (ascii_lower(value[i]) != ascii_lower(*text)) return false;
  }
  return i == end && *text == '\0';
}

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

// The field that decides between two versions, compared in this order.
struct FieldStep {
  const char* log_line;
  int FwVersionFields::*field;
};

const FieldStep kFieldSteps[] = {
    {"Comparing Major Version", &FwVersionFields::major},
    {"Comparing Minor Version", &FwVersionFields::minor},
    {"Comparing Maintenance Version", &FwVersionFields::maint},
    {"Comparing Patch Version", &FwVersionFields::patch},
};

}  // namespace

fw_action_status_t action_for_versions(const std::string& offered, const std::string& flashed) {
  if (offered.empty() || flashed.empty()) {
    log::utility.info("Passed_fwver or flashed_fwver size is zero. So returning upgrade");
    return FW_STATUS_UPGRADE;
  }
  FwVersionFields a = split_version(offered);
  FwVersionFields b = split_version(flashed);
  for (const FieldStep& step : kFieldSteps) {
    log::utility.info("%s", step.log_line);
    if (a.*step.field != b.*step.field)
      return a.*step.field < b.*step.field ? FW_STATUS_DOWNGRADE : FW_STATUS_UPGRADE;
  }
  return FW_STATUS_REWRITE;
}

const char* action_text(int action) {
  for (const ActionWords& words : kActionWords) {
    if (words.action == action) return words.text;
  }
  return "Skip";
}

ActionWord read_action_word(const std::string& value, fw_action_status_t& action) {
  size_t begin = 0;
  size_t end = value.size();
  while (begin < end && is_blank(value[begin])) ++begin;
  while (end > begin && is_blank(value[end - 1])) --end;
  if (begin == end) return ActionWord::kNoWord;
  for (const ActionWords& words : kActionWords) {
    if (same_word(value, begin, end, words.text)) {
      action = words.action;
      return ActionWord::kAction;
    }
  }
  return ActionWord::kUnknownWord;
}

std::string known_action_words() {
  const size_t count = sizeof(kActionWords) / sizeof(kActionWords[0]);
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    if (i != 0) out += i + 1 == count ? " or " : ", ";
    out += kActionWords[i].text;
  }
  return out;
}

}  // namespace inventory
}  // namespace vxins
