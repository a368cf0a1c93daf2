// The plug-in's result-code table, worded for the operator. One number may stand for several
// situations (codes from lower layers pass up unchanged), so each text names all of them.
#include "result_codes.h"

#include <cstdlib>
#include <cstring>

#include "trace_texts.h"
#include "vxins_host_api.h"
#include "vxins_trace.h"

namespace vxhost {

namespace {

struct Row {
  int code;
  const char* name;
  const char* discover;  // text for the discovery call
  const char* flash;     // text for the flash call (null: same as discover)
};

const Row kRows[] = {
    {VXINS_RC_DISCOVERY_OK, "VXINS_RC_DISCOVERY_OK",
     "discovery completed and the discovery file was written",
     "unexpected for a flash call (0 is discovery's success)"},
    {VXINS_RC_FLASH_DONE, "VXINS_RC_FLASH_DONE", "unexpected for a discovery call",
     "the update pass ran; what it did to each adapter is in this call's trace (vxins-host "
     "lists it per adapter)"},
    {VXINS_RC_ALL_SKIP, "VXINS_RC_ALL_SKIP", "unexpected for a discovery call",
     "nothing was flashed: every device in the discovery file is set to Skip"},
    {VXINS_RC_NO_ADAPTERS, "VXINS_RC_NO_ADAPTERS",
     "no adapters: the agent library found none, so no discovery file remains",
     "no adapters: the agent library reports none, or the discovery file lists no device"},
    {VXINS_RC_AGENT_LOAD_FAILED, "VXINS_RC_AGENT_LOAD_FAILED",
     "the agent library libdznaj.so could not be loaded (not on the loader's search path? "
     "see --agent)",
     nullptr},
    {VXINS_RC_FW_MISMATCH, "VXINS_RC_FW_MISMATCH", "unexpected for a discovery call",
     "the firmware package cannot be opened, or its file name or the version it holds differs "
     "from the discovery file's firmware_file or version; nothing was flashed"},
    {VXINS_RC_FW_OPEN_FAILED, "VXINS_RC_FW_OPEN_FAILED",
     "the firmware package in the firmware folder cannot be opened or read",
     "the firmware package cannot be opened or read"},
    {VXINS_RC_DISC_FILE_OPEN_FAILED, "VXINS_RC_DISC_FILE_OPEN_FAILED",
     "unexpected for a discovery call", "the discovery file cannot be opened"},
    {VXINS_RC_NOT_SUPPORTED, "VXINS_RC_NOT_SUPPORTED", "flashing by PCI address is not supported",
     nullptr},
    {VXINS_RC_INTERNAL_OPER_FAILED, "VXINS_RC_INTERNAL_OPER_FAILED",
     "internal operation failed: the discovery file could not be written (is its folder "
     "writable, the disk not full?), or the agent library gave no answer to its "
     "initialisation, or its adapter list is missing or malformed",
     "internal operation failed: the discovery file could not be read for sure (the trace log "
     "names the line) or could not be rewritten with the outcome, or the agent library gave no "
     "answer to its initialisation or answered 1 or 3 (which would read as a flash result), or "
     "its adapter list is missing or malformed"},
    {VXINS_RC_INVALID_ARG, "VXINS_RC_INVALID_ARG",
     "invalid argument: a path is missing, the firmware path is not a folder, or the firmware "
     "folder does not hold exactly one file",
     "invalid argument: a path is missing, or the firmware folder does not hold exactly one "
     "file"},
    {VXINS_RC_NO_MEMORY, "VXINS_RC_NO_MEMORY", "out of memory while reading the firmware package",
     nullptr},
    {VXINS_RC_BAD_TAR_HEADER, "VXINS_RC_BAD_TAR_HEADER",
     "the firmware package is not a ustar tar archive (its first header or first member is "
     "short or malformed)",
     nullptr},
    {VXINS_RC_BAD_VERSION_MEMBER, "VXINS_RC_BAD_VERSION_MEMBER",
     "the firmware package's second member is missing, malformed or holds no <version> "
     "element, or the package reader could not create its scratch file tmp_<thread> in the "
     "current folder",
     nullptr},
    {-1, "",
     "the firmware path does not exist or cannot be examined, or an entry point of the agent "
     "library could not be resolved",
     nullptr},
};

// The trace messages that produce a result, each with what it means. `code` 0: the message's
// number is the result (the agent's own initialisation answer).
struct Cause {
  bool discover, flash;  // the calls whose path logs it
  int code;
  const char* format;
  const char* meaning;
  bool file_rewritten = false;  // the path rewrites the discovery file before it returns
};

const Cause kCauses[] = {
    {false, true, VXINS_RC_INTERNAL_OPER_FAILED, vxins::trace::kInitResultIsFlashCode,
     "the agent library's initialisation answered a code that would read as a flash result "
     "(1: the pass ran, 3: all skipped), so the plug-in returned 1001 instead; nothing was "
     "flashed"},
    {true, true, 0, vxins::trace::kInitFailed,
     "the agent library's initialisation failed with its own code, which the plug-in returns "
     "unchanged (it is not the plug-in's code of that number); nothing was done"},
    {false, true, VXINS_RC_FW_MISMATCH, vxins::trace::kPackageVersionMismatch,
     "the package holds another version than the discovery file was made for (a package "
     "rebuilt under the same name?); nothing was flashed",
     true},
    {false, true, VXINS_RC_FW_MISMATCH, vxins::trace::kPackageMismatch,
     "the package's file name is not the discovery file's firmware_file; nothing was flashed",
     true},
    {false, true, VXINS_RC_FW_MISMATCH, vxins::trace::kPackageOpenFailed,
     "the firmware package cannot be opened; nothing was flashed"},
    {true, false, VXINS_RC_FW_OPEN_FAILED, vxins::trace::kPackageOpenFailed,
     "the firmware package cannot be opened"},
    {true, true, VXINS_RC_NO_ADAPTERS, vxins::trace::kNoAdapters,
     "no adapters: the agent library reports none"},
    {true, true, VXINS_RC_NO_ADAPTERS, vxins::trace::kZeroAdapters,
     "no adapters: the agent library lists none"},
    {false, true, VXINS_RC_NO_ADAPTERS, vxins::trace::kFileListsNoDevice,
     "the discovery file lists no device; nothing was flashed"},
    {false, true, VXINS_RC_DISC_FILE_OPEN_FAILED, vxins::trace::kDiscoveryFileOpenFailed,
     "the discovery file cannot be opened"},
};

// The number after a message's head, as the plug-in printed it.
bool number_after(const std::string& message, const std::string& head, int& number) {
  const char* begin = message.c_str() + head.size();
  char* end = nullptr;
  long value = strtol(begin, &end, 10);
  number = static_cast<int>(value);
  return end != begin && *end == '\0';
}

}  // namespace

ResultMeaning explain_result(Call call, int code, const std::vector<TimedLine>& trace) {
  for (const Cause& c : kCauses) {
    if (!(call == Call::Flash ? c.flash : c.discover) || (c.code != 0 && c.code != code)) continue;
    const std::string head = format_piece(c.format, 0);
    for (const TimedLine& line : trace) {
      if (!line.message_starts_with(head)) continue;
      const std::string m = line.message();
      int number = 0;
      if (c.code == 0 && (!number_after(m, head, number) || number != code)) continue;
      ResultMeaning meaning = c.code == 0 ? ResultMeaning() : describe_result(call, code);
      meaning.meaning = std::string(c.meaning) + " (the trace: \"" + m + "\")";
      meaning.line = m;
      meaning.agent_code = c.code == 0;
      meaning.file_rewritten = c.file_rewritten;
      return meaning;
    }
  }
  return describe_result(call, code);
}

ResultMeaning describe_result(Call call, int code) {
  for (const Row& row : kRows) {
    if (row.code != code) continue;
    const char* text = (call == Call::Flash && row.flash != nullptr) ? row.flash : row.discover;
    return ResultMeaning{row.name, text, "", false};
  }
  std::string text = "the agent library's initialisation answered " + std::to_string(code);
  if (code > 0) {
    // Positive codes outside the table are also the error number of opening the firmware folder.
    text =
        "the firmware folder could not be opened (" + std::string(strerror(code)) + "), or " + text;
  }
  return ResultMeaning{"", text, "", false};
}

bool writes_discovery_file(Call call, int code, const ResultMeaning& meaning) {
  if (meaning.agent_code) return false;
  if (call == Call::Discover) return code == VXINS_RC_DISCOVERY_OK;
  return code == VXINS_RC_FLASH_DONE || code == VXINS_RC_ALL_SKIP ||
         (code == VXINS_RC_FW_MISMATCH && meaning.file_rewritten);
}

}  // namespace vxhost
