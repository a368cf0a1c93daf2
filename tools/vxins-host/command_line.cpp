// The command line as two tables, commands and options, that both the parser and --help read.
// The parser is our own so that every refusal names the problem the way the user typed it.
#include "command_line.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "inventory/firmware_action.h"
#include "output.h"

namespace vxhost {

namespace {

enum : unsigned {
  kDiscoverBit = 1,
  kFlashBit = 2,
  kShowBit = 4,
  kSetActionBit = 8,
  kHistoryBit = 16,
  kHistoryShowBit = 32,
  kReplayBit = 64,
  kDevicesBit = 128,
  kHistoryPruneBit = 256,
  kSelectBit = 512,
  kCallBits = kDiscoverBit | kFlashBit | kDevicesBit,
  kLockBits = kCallBits | kSetActionBit,
  kFileBits = kShowBit | kSetActionBit | kSelectBit,
  kHistoryBits = kHistoryBit | kHistoryShowBit | kHistoryPruneBit,
  kAllBits = 1023,
};

struct CommandEntry {
  const char* name;
  Command command;
  unsigned bit;
  const char* operands;  // as the usage line shows them
  const char* needs;     // the operands a short command line lacks, in words
  int min_operands, max_operands;  // max -1: no limit
  const char* summary;
};

const CommandEntry kCommands[] = {
    {"discover", Command::kDiscover, kDiscoverBit, "DISCOVERY_FILE FIRMWARE_DIR",
     "DISCOVERY_FILE and FIRMWARE_DIR", 2, 2,
     "list the adapters (oem_do_discovery_with_files) and show what the plug-in proposes"},
    {"flash", Command::kFlash, kFlashBit, "DISCOVERY_FILE FIRMWARE_FILE_OR_DIR",
     "DISCOVERY_FILE and FIRMWARE_FILE_OR_DIR", 2, 2,
     "flash the adapters of the discovery file (oem_do_flash_with_file) and show what this "
     "call did to each adapter"},
    {"devices", Command::kDevices, kDevicesBit, "", "", 0, 0,
     "list the adapters, their functions and active versions through the plug-in's own "
     "discovery, without a firmware package"},
    {"show", Command::kShow, kShowBit, "DISCOVERY_FILE", "DISCOVERY_FILE", 1, 1,
     "show the devices of a discovery file as the plug-in will treat them"},
    {"set-action", Command::kSetAction, kSetActionBit,
     "DISCOVERY_FILE ACTION (ENTRY... | --adapter ENTRY | --all) [--force]",
     "DISCOVERY_FILE and ACTION", 2, -1,
     "set Skip, Upgrade, Downgrade or Rewrite on devices of a discovery file (as root, under "
     "the run lock)"},
    {"select", Command::kSelect, kSelectBit, "DISCOVERY_FILE ENTRY...",
     "DISCOVERY_FILE and an ENTRY", 2, -1,
     "name the adapters the entries (MAC/WWN, PCI address, adapter) stand for, read-only"},
    {"history", Command::kHistory, kHistoryBit, "", "", 0, 0,
     "list the recorded discover, flash and devices runs, the most recently started first"},
    {"history show", Command::kHistoryShow, kHistoryShowBit, "ID", "the run's ID", 1, 1,
     "show one recorded run (with --log its archived trace)"},
    {"history prune", Command::kHistoryPrune, kHistoryPruneBit, "[--keep N]", "", 0, 0,
     "remove the discovery files and traces of all but the last N runs (their records stay)"},
    {"replay-to-inventory", Command::kReplayToInventory, kReplayBit, "RECORDING [-o FILE]",
     "RECORDING", 1, 1,
     "turn a recording (--record) into a simulator inventory, to vary the recorded machine"},
};

struct OptionEntry {
  const char* name;
  const char* value;  // null: a flag
  unsigned commands;
  const char* help;
};

const OptionEntry kOptions[] = {
    {"--plugin", "PATH", kCallBits,
     "the plug-in to load (default: the one installed or built beside vxins-host)"},
    {"--agent", "DIR", kCallBits,
     "folder holding the agent library libdznaj.so (e.g. the simulator), instead of the "
     "loader's search path"},
    {"--json", nullptr, kAllBits, "machine-readable output (JSON, with schema_version)"},
    {"--log", nullptr, kCallBits | kHistoryShowBit, "also print the trace of this call (or run)"},
    {"--record", "FILE", kCallBits,
     "record every agent call of this run to FILE (the recorder in front of the agent library)"},
    {"--quiet", nullptr, kCallBits, "no progress lines"},
    {"--no-wait", nullptr, kLockBits,
     "fail at once (exit 3) when another run holds the run lock (as --lock-timeout 0)"},
    {"--lock-timeout", "SECONDS", kLockBits,
     "wait at most this long for the run lock, then fail (exit 3); default: as long as it takes"},
    {"--history-db", "PATH", kCallBits | kFileBits | kHistoryBits,
     "the run history database (default $VXINS_HISTORY_DB, else "
     "/var/lib/qrvlvxins/history.db)"},
    {"--all", nullptr, kSetActionBit, "set-action: every device of the file"},
    {"--adapter", "ENTRY", kSetActionBit,
     "set-action: every function of the adapter the entry names (repeatable)"},
    {"--force", nullptr, kSetActionBit,
     "set-action: set Skip on part of an adapter anyway (the plug-in still flashes it)"},
    {"--limit", "N", kHistoryBit, "history: list at most N runs (default 20)"},
    {"--keep", "N", kHistoryPruneBit,
     "history prune: keep the files and traces of the N most recently started runs (default: "
     "the rule every run applies, 100)"},
    {"--output", "FILE", kReplayBit,
     "replay-to-inventory: write the inventory to FILE (-o FILE; default: standard output)"},
    {"--help", nullptr, kAllBits, "this help"},
    {"--version", nullptr, kAllBits, "the version of vxins-host"},
};

// Short forms, each standing for one long option.
const char* const kShortOptions[][2] = {{"-h", "--help"}, {"-o", "--output"}};

const OptionEntry* find_option(const std::string& name) {
  for (const OptionEntry& option : kOptions)
    if (name == option.name) return &option;
  return nullptr;
}

// The long name of an option as typed: "-o" is "--output", "--agent=x" is "--agent".
std::string option_name(const std::string& typed) {
  for (const auto& alias : kShortOptions)
    if (typed == alias[0]) return alias[1];
  return typed.substr(0, typed.find('='));
}

const CommandEntry* find_command(const std::string& name) {
  for (const CommandEntry& entry : kCommands)
    if (name == entry.name) return &entry;
  return nullptr;
}

std::string usage_of(const CommandEntry* entry) {
  std::string what = entry != nullptr ? std::string(entry->name) + (*entry->operands ? " " : "") +
                                           entry->operands
                                     : "discover|flash|devices|show|set-action|select|history|"
                                       "replay-to-inventory ...";
  return "usage: vxins-host [OPTIONS] " + what + "  (vxins-host --help for more)";
}

// Seconds as typed: digits with at most one decimal point, at most a day; false otherwise.
bool seconds_value(const std::string& text, double& out) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789.") != std::string::npos ||
      text.find('.') != text.rfind('.') || text == ".")
    return false;
  out = strtod(text.c_str(), nullptr);
  return out <= 86400;
}

// A whole number from 1 up, as typed; false for anything else.
bool positive_number(const std::string& text, int64_t max, int64_t& out) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text)
    if (!isdigit(static_cast<unsigned char>(c))) return false;
  out = strtoll(text.c_str(), nullptr, 10);
  return out >= 1 && out <= max;
}

struct Given {
  const OptionEntry* option;
  std::string value;
};

// Splits argv into options (with their values) and operands; false at the first option that
// is unknown, lacks its value or has one it does not take.
bool split_arguments(const std::vector<std::string>& args, std::vector<Given>& options,
                     std::vector<std::string>& operands, std::string& error) {
  bool only_operands = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (only_operands || a.size() < 2 || a[0] != '-') {
      operands.push_back(a);
      continue;
    }
    if (a == "--") {
      only_operands = true;
      continue;
    }
    const std::string typed = a.substr(0, a.find('=')), name = option_name(a);
    const OptionEntry* option = find_option(name);
    if (option == nullptr) {
      error = "unknown option '" + name + "'";
      return false;
    }
    Given g{option, ""};
    bool inline_value = a.find('=') != std::string::npos;
    if (option->value == nullptr && inline_value) {
      error = "option " + typed + " takes no value";
      return false;
    }
    if (option->value != nullptr) {
      if (inline_value) {
        g.value = a.substr(a.find('=') + 1);
      } else if (i + 1 < args.size() && args[i + 1].compare(0, 2, "--") != 0) {
        g.value = args[++i];
      } else {
        error = "option " + typed + " needs a value (" + option->value + ")";
        return false;
      }
    }
    options.push_back(g);
  }
  return true;
}

// The command named by the first operands ("history show" takes two); null when unknown.
const CommandEntry* command_of(std::vector<std::string>& operands, std::string& error) {
  if (operands.empty()) {
    error = "no command given (discover, flash, devices, show, set-action, select, history or "
            "replay-to-inventory)";
    return nullptr;
  }
  std::string name = operands[0];
  if (name == "history" && operands.size() > 1) {
    if (operands[1] != "show" && operands[1] != "prune") {
      error = "unknown history command '" + operands[1] +
              "' (history, history show ID or history prune)";
      return nullptr;
    }
    name = "history " + operands[1];
  }
  const CommandEntry* entry = find_command(name);
  if (entry == nullptr) {
    error = "unknown command '" + name + "'";
    return nullptr;
  }
  const int words =
      entry->command == Command::kHistoryShow || entry->command == Command::kHistoryPrune ? 2 : 1;
  operands.erase(operands.begin(), operands.begin() + words);
  return entry;
}

bool take_operands(const CommandEntry& entry, const std::vector<std::string>& operands, Options& o,
                   std::string& error) {
  int n = static_cast<int>(operands.size());
  if (n < entry.min_operands) {
    error = std::string(entry.name) + " needs " + entry.needs;
    return false;
  }
  if (entry.max_operands >= 0 && n > entry.max_operands) {
    error = std::string(entry.name) + ": unexpected argument '" + operands[entry.max_operands] +
            "'";
    return false;
  }
  if (entry.command == Command::kHistoryShow) {
    if (!positive_number(operands[0], INT64_MAX / 2, o.run_id)) {
      error = "history show: the run ID is a whole number from 1 up, not '" + operands[0] + "'";
      return false;
    }
    return true;
  }
  if (entry.command == Command::kReplayToInventory) {
    o.recording = operands[0];
    return true;
  }
  if (n >= 1) o.discovery_file = operands[0];
  if (entry.command == Command::kSelect) {
    o.entries.assign(operands.begin() + 1, operands.end());
    return true;
  }
  if (n >= 2) (entry.command == Command::kSetAction ? o.action : o.firmware) = operands[1];
  if (entry.command == Command::kSetAction)
    o.entries.assign(operands.begin() + 2, operands.end());
  return true;
}

bool take_option(const CommandEntry& entry, const Given& g, Options& o, std::string& error) {
  if ((g.option->commands & entry.bit) == 0) {
    error = "option " + std::string(g.option->name) + " does not apply to " + entry.name;
    return false;
  }
  const std::string name = g.option->name;
  if (g.option->value != nullptr && g.value.empty()) {
    error = "option " + name + " needs a " + (name == "--agent" ? "folder" : "value") +
            ", not an empty name";
    return false;
  }
  if (name == "--plugin") o.plugin = g.value;
  if (name == "--agent") o.agent = g.value;
  if (name == "--record") o.record = g.value;
  if (name == "--output") o.output = g.value;
  if (name == "--history-db") o.history_db = g.value;
  if (name == "--log") o.log = true;
  if (name == "--quiet") o.quiet = true;
  if (name == "--no-wait" || name == "--lock-timeout") {
    double seconds = 0;
    if (o.lock_timeout >= 0) {
      error = "--no-wait is --lock-timeout 0: give one of them, once";
      return false;
    }
    if (name == "--lock-timeout" && !seconds_value(g.value, seconds)) {
      error = "option --lock-timeout needs a number of seconds from 0 to 86400, not '" +
              g.value + "'";
      return false;
    }
    o.lock_timeout = seconds;
  }
  if (name == "--all") o.all = true;
  if (name == "--force") o.force = true;
  if (name == "--adapter") o.adapters.push_back(g.value);
  if (name == "--limit" || name == "--keep") {
    int64_t n = 0;
    if (!positive_number(g.value, 1000000, n)) {
      error = "option " + name + " needs a whole number from 1 up, not '" + g.value + "'";
      return false;
    }
    (name == "--limit" ? o.limit : o.keep) = static_cast<int>(n);
  }
  return true;
}

// set-action: an action word as the plug-in reads it (any case; its own form is written), one
// an operator sets (not the plug-in's "FW mismatch"), and exactly one way of naming the devices.
bool check_set_action(Options& o, std::string& error) {
  fw_action_status_t action = FW_STATUS_MISMATCH;
  if (vxins::inventory::read_action_word(o.action, action) !=
          vxins::inventory::ActionWord::kAction ||
      action == FW_STATUS_MISMATCH) {
    error = "unknown action '" + o.action + "' (Skip, Upgrade, Downgrade or Rewrite)";
    return false;
  }
  o.action = vxins::inventory::action_text(action);
  int ways = (o.all ? 1 : 0) + (o.adapters.empty() ? 0 : 1) + (o.entries.empty() ? 0 : 1);
  if (ways == 0) {
    error = "set-action needs the devices to change: ENTRY..., --adapter ENTRY or --all";
    return false;
  }
  if (ways > 1) {
    error = "set-action takes one of ENTRY..., --adapter ENTRY and --all, not several";
    return false;
  }
  return true;
}

}  // namespace

bool parse_command_line(int argc, char** argv, Options& o, std::string& error,
                        std::string& usage) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  o.argv.assign(argv, argv + argc);
  for (const std::string& a : args) {
    if (a == "--") break;
    o.json = o.json || a == "--json";
  }
  usage = usage_of(nullptr);
  std::vector<Given> options;
  std::vector<std::string> operands;
  if (!split_arguments(args, options, operands, error)) return false;
  for (const Given& g : options) {
    o.help = o.help || strcmp(g.option->name, "--help") == 0;
    o.version = o.version || strcmp(g.option->name, "--version") == 0;
  }
  if (o.help || o.version) return true;
  const CommandEntry* entry = command_of(operands, error);
  if (entry == nullptr) return false;
  o.command = entry->command;
  o.command_name = entry->name;
  usage = usage_of(entry);
  if (!take_operands(*entry, operands, o, error)) return false;
  for (const Given& g : options)
    if (!take_option(*entry, g, o, error)) return false;
  return entry->command != Command::kSetAction || check_set_action(o, error);
}

std::string help_text() {
  std::string text =
      "vxins-host drives the boot-firmware update plug-in libqrvlvxins.so as the host "
      "framework does,\nshows and edits its discovery files, and keeps a history of its "
      "runs.\n\nCommands:\n";
  for (const CommandEntry& c : kCommands) {
    text += "  vxins-host [OPTIONS] " + std::string(c.name) + (*c.operands ? " " : "") +
            c.operands + "\n      " + c.summary + "\n";
  }
  text += "\nOptions:\n";
  for (const OptionEntry& opt : kOptions) {
    std::string head = std::string(opt.name) + (opt.value ? std::string(" ") + opt.value : "");
    text += "  " + head + std::string(head.size() < 20 ? 20 - head.size() : 1, ' ') + opt.help +
            "\n";
  }
  text +=
      "\nENTRY: a function's MAC address or WWN, a PCI address (BUS:DEV, BUS:DEV.FN, "
      "DOMAIN:BUS:DEV,\nDOMAIN:BUS:DEV.FN) or an adapter as vxins-host names it (0a:00, "
      "0a:00#2).\n";
  text +=
      "\nExit status: 0 success; 1 the plug-in reported a failure, or an adapter was not "
      "flashed;\n2 bad command line; 3 the host could not do its part (plug-in, agent, file, "
      "lock).\nSee vxins-host(1).\n";
  return text;
}

std::string version_number() { return VXINS_HOST_VERSION; }

std::string version_text() {
  return std::string("vxins-host ") + VXINS_HOST_VERSION + " (qrvlvxins; JSON schema_version " +
         std::to_string(kJsonSchemaVersion) + ")\n";
}

}  // namespace vxhost
