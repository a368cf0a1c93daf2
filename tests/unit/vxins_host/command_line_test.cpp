// vxins-host's command line read in-process: what accepted lines set, and every refusal in one
// line of the user's words with the usage of the command it names.
#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vxhost::Options;

std::string error, usage;  // as the last Parse left them

// Parses "vxins-host <args>" into `o`.
bool Parse(std::vector<std::string> args, Options& o) {
  args.insert(args.begin(), "vxins-host");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  return vxhost::parse_command_line(static_cast<int>(argv.size()), argv.data(), o, error, usage);
}

TEST(CommandLineTest, WrongLinesAreNamedInOneLineWithTheirUsage) {
  struct Row {
    std::vector<std::string> args;
    std::string error;
    std::string usage;  // how the usage goes on after "usage: vxins-host [OPTIONS] "
  };
  const std::string any =
      "discover|flash|devices|show|set-action|select|history|replay-to-inventory ...";
  const Row rows[] = {
      {{},
       "no command given (discover, flash, devices, show, set-action, select, history or "
       "replay-to-inventory)",
       any},
      {{"frobnicate"}, "unknown command 'frobnicate'", any},
      {{"discover", "d"}, "discover needs DISCOVERY_FILE and FIRMWARE_DIR",
       "discover DISCOVERY_FILE FIRMWARE_DIR  ("},
      {{"flash"}, "flash needs DISCOVERY_FILE and FIRMWARE_FILE_OR_DIR", "flash DISCOVERY_FILE"},
      {{"show", "d", "extra"}, "show: unexpected argument 'extra'", "show DISCOVERY_FILE  ("},
      {{"set-action", "d", "Skip"},
       "set-action needs the devices to change: ENTRY..., --adapter ENTRY or --all",
       "set-action DISCOVERY_FILE ACTION (ENTRY... | --adapter ENTRY | --all) [--force]"},
      {{"set-action", "d", "Skip", "--all", "00:0e:1e:e5:19:30"},
       "set-action takes one of ENTRY..., --adapter ENTRY and --all, not several",
       "set-action"},
      {{"select", "d"}, "select needs DISCOVERY_FILE and an ENTRY", "select DISCOVERY_FILE ENTRY..."},
      {{"select", "d", "81:00", "--force"}, "option --force does not apply to select", "select"},
      {{"flash", "d", "f", "--lock-timeout", "-1"},
       "option --lock-timeout needs a number of seconds from 0 to 86400, not '-1'", "flash"},
      {{"flash", "d", "f", "--lock-timeout=1e3"},
       "option --lock-timeout needs a number of seconds from 0 to 86400, not '1e3'", "flash"},
      {{"set-action", "d", "Skip", "--all", "--no-wait", "--lock-timeout", "5"},
       "--no-wait is --lock-timeout 0: give one of them, once", "set-action"},
      {{"show", "d", "--lock-timeout", "5"}, "option --lock-timeout does not apply to show",
       "show"},
      {{"set-action", "d", "Erase", "--all"},
       "unknown action 'Erase' (Skip, Upgrade, Downgrade or Rewrite)", "set-action"},
      // The plug-in's own word for a version it cannot compare is no operator's choice.
      {{"set-action", "d", "fw MISMATCH", "--all"},
       "unknown action 'fw MISMATCH' (Skip, Upgrade, Downgrade or Rewrite)", "set-action"},
      {{"--plugin"}, "option --plugin needs a value (PATH)", any},
      {{"--plugin", "--json", "show", "d"}, "option --plugin needs a value (PATH)", any},
      {{"--agent", "", "discover", "d", "f"}, "option --agent needs a folder, not an empty name",
       "discover"},
      {{"--bogus-option", "show", "d"}, "unknown option '--bogus-option'", any},
      {{"--quiet=1", "discover", "d", "f"}, "option --quiet takes no value", any},
      {{"show", "--log", "d"}, "option --log does not apply to show", "show"},
      {{"show", "d", "--record", "r"}, "option --record does not apply to show", "show"},
      {{"history", "--limit", "0"}, "option --limit needs a whole number from 1 up, not '0'",
       "history  ("},
      {{"history", "--limit=1000001"},
       "option --limit needs a whole number from 1 up, not '1000001'", "history"},
      {{"history", "frob"},
       "unknown history command 'frob' (history, history show ID or history prune)", any},
      {{"history", "prune", "--keep", "0"},
       "option --keep needs a whole number from 1 up, not '0'", "history prune [--keep N]"},
      {{"history", "prune", "5"}, "history prune: unexpected argument '5'", "history prune"},
      {{"history", "--keep", "5"}, "option --keep does not apply to history", "history  ("},
      {{"devices", "d"}, "devices: unexpected argument 'd'", "devices  ("},
      {{"devices", "--limit", "3"}, "option --limit does not apply to devices", "devices"},
      {{"history", "show", "x1"},
       "history show: the run ID is a whole number from 1 up, not 'x1'", "history show ID"},
      {{"replay-to-inventory"}, "replay-to-inventory needs RECORDING",
       "replay-to-inventory RECORDING [-o FILE]"},
      {{"replay-to-inventory", "r", "-o"}, "option -o needs a value (FILE)", any},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.error);
    Options o;
    EXPECT_FALSE(Parse(r.args, o));
    EXPECT_EQ(error, r.error);
    EXPECT_EQ(usage.find("usage: vxins-host [OPTIONS] " + r.usage), 0u) << usage;
  }
  Options o;  // --json anywhere before "--" makes the refusal JSON
  EXPECT_FALSE(Parse({"frobnicate", "--json"}, o));
  EXPECT_TRUE(o.json);
}

// What the e2e runs do not show: values after "=", repeated options, "--" ending the options
// (--json too), the action's capitalised form, the lock's wait, and --version over a wrong
// command.
TEST(CommandLineTest, AcceptedLinesSetTheirOptions) {
  Options s, a, n, v, w, x, y;
  ASSERT_TRUE(Parse({"set-action", "d", "sKIP", "--", "--odd", "21:00:00:0e:1e:c4:51:10"}, s));
  EXPECT_EQ(s.action, "Skip");
  EXPECT_EQ(s.entries, std::vector<std::string>({"--odd", "21:00:00:0e:1e:c4:51:10"}));
  EXPECT_EQ(s.lock_timeout, -1);  // waits as long as it takes
  ASSERT_TRUE(Parse({"discover", "d", "f", "--lock-timeout", "2.5"}, w));
  EXPECT_EQ(w.lock_timeout, 2.5);
  ASSERT_TRUE(Parse({"--no-wait", "set-action", "d", "Skip", "--all", "--force"}, x));
  EXPECT_EQ(x.lock_timeout, 0);
  EXPECT_TRUE(x.force);
  ASSERT_TRUE(Parse({"select", "d", "81:00", "0000:81:00.1"}, y));
  EXPECT_EQ(y.entries, std::vector<std::string>({"81:00", "0000:81:00.1"}));
  Options b;  // the action as the plug-in reads it, blanks around it too
  ASSERT_TRUE(Parse({"set-action", "d", " DOWNgrade\t", "--all"}, b));
  EXPECT_EQ(b.action, "Downgrade");
  ASSERT_TRUE(Parse({"set-action", "d", "rewrite", "--adapter", "81:00", "--adapter=0a:00"}, a));
  EXPECT_EQ(a.action, "Rewrite");
  EXPECT_EQ(a.adapters, std::vector<std::string>({"81:00", "0a:00"}));
  ASSERT_TRUE(Parse({"show", "--", "--json"}, n));
  EXPECT_EQ(n.discovery_file, "--json");
  EXPECT_FALSE(n.json);
  ASSERT_TRUE(Parse({"frobnicate", "--version"}, v));
  EXPECT_TRUE(v.version);
  // devices takes a discovery's options; history prune its number, by default the rule's own;
  // show and set-action name the history they look a file up in.
  Options d, p, k, h;
  ASSERT_TRUE(Parse({"--agent", "sim", "devices", "--no-wait", "--history-db", "h.db"}, d));
  EXPECT_EQ(d.command, vxhost::Command::kDevices);
  EXPECT_EQ(d.agent + d.history_db, "simh.db");
  EXPECT_EQ(d.lock_timeout, 0);
  ASSERT_TRUE(Parse({"history", "prune"}, p));
  EXPECT_EQ(p.command, vxhost::Command::kHistoryPrune);
  EXPECT_EQ(p.keep, 0);
  ASSERT_TRUE(Parse({"history", "prune", "--keep=7"}, k));
  EXPECT_EQ(k.keep, 7);
  ASSERT_TRUE(Parse({"show", "d", "--history-db", "h.db"}, h));
  EXPECT_EQ(h.history_db, "h.db");
}

}  // namespace
