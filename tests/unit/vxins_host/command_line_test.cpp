// vxins-host's command line read in-process: what each accepted line sets, and every refusal in
// one line of the user's words with the usage of the command it names.
#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vxhost::Command;
using vxhost::Options;

// Parses "vxins-host <args>"; `error` and `usage` as the parser leaves them.
bool Parse(std::vector<std::string> args, Options& o, std::string& error, std::string& usage) {
  args.insert(args.begin(), "vxins-host");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  return vxhost::parse_command_line(static_cast<int>(argv.size()), argv.data(), o, error, usage);
}

TEST(CommandLineTest, WrongLinesAreNamedInOneLineWithTheirUsage) {
  struct Row {
    std::vector<std::string> args;
    std::string error;
    std::string usage;  // after "usage: vxins-host [OPTIONS] "
  };
  const std::string any = "discover|flash|show|set-action|history|replay-to-inventory ...";
  const std::string set_action = "set-action DISCOVERY_FILE ACTION (MAC_OR_WWN... | --adapter "
                                 "BUS:DEV | --all)";
  const Row rows[] = {
      {{}, "no command given (discover, flash, show, set-action, history or replay-to-inventory)",
       any},
      {{"frobnicate"}, "unknown command 'frobnicate'", any},
      {{"discover", "d.xml"}, "discover needs DISCOVERY_FILE and FIRMWARE_DIR",
       "discover DISCOVERY_FILE FIRMWARE_DIR"},
      {{"flash"}, "flash needs DISCOVERY_FILE and FIRMWARE_FILE_OR_DIR",
       "flash DISCOVERY_FILE FIRMWARE_FILE_OR_DIR"},
      {{"show", "d.xml", "extra"}, "show: unexpected argument 'extra'", "show DISCOVERY_FILE"},
      {{"set-action", "d.xml", "Skip"},
       "set-action needs the devices to change: MAC_OR_WWN..., --adapter BUS:DEV or --all",
       set_action},
      {{"set-action", "d.xml", "Skip", "--all", "00:0e:1e:e5:19:30"},
       "set-action takes one of MAC_OR_WWN..., --adapter BUS:DEV and --all, not several",
       set_action},
      {{"set-action", "d.xml", "Erase", "--all"},
       "unknown action 'Erase' (Skip, Upgrade, Downgrade or Rewrite)", set_action},
      {{"--plugin"}, "option --plugin needs a value (PATH)", any},
      {{"--plugin", "--json", "show", "d.xml"}, "option --plugin needs a value (PATH)", any},
      {{"--agent", "", "discover", "d", "f"}, "option --agent needs a folder, not an empty name",
       "discover DISCOVERY_FILE FIRMWARE_DIR"},
      {{"--bogus-option", "show", "d.xml"}, "unknown option '--bogus-option'", any},
      {{"--quiet=1", "discover", "d", "f"}, "option --quiet takes no value", any},
      {{"show", "--log", "d.xml"}, "option --log does not apply to show", "show DISCOVERY_FILE"},
      {{"show", "d.xml", "--record", "r.jsonl"}, "option --record does not apply to show",
       "show DISCOVERY_FILE"},
      {{"history", "--limit", "0"}, "option --limit needs a whole number from 1 up, not '0'",
       "history"},
      {{"history", "--limit=1000001"},
       "option --limit needs a whole number from 1 up, not '1000001'", "history"},
      {{"history", "frob"}, "unknown history command 'frob' (history, or history show ID)", any},
      {{"history", "show", "x1"}, "history show: the run ID is a whole number from 1 up, not 'x1'",
       "history show ID"},
      {{"replay-to-inventory"}, "replay-to-inventory needs RECORDING",
       "replay-to-inventory RECORDING [-o FILE]"},
      {{"replay-to-inventory", "r.jsonl", "-o"}, "option -o needs a value (FILE)", any},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.error);
    Options o;
    std::string error, usage;
    EXPECT_FALSE(Parse(r.args, o, error, usage));
    EXPECT_EQ(error, r.error);
    EXPECT_EQ(usage, "usage: vxins-host [OPTIONS] " + r.usage + "  (vxins-host --help for more)");
  }
  // --json anywhere before "--" makes the refusal JSON.
  Options o;
  std::string error, usage;
  ASSERT_FALSE(Parse({"frobnicate", "--json"}, o, error, usage));
  EXPECT_TRUE(o.json);
}

TEST(CommandLineTest, AcceptedLinesSetTheirOptions) {
  Options o;
  std::string error, usage;
  ASSERT_TRUE(Parse({"--agent=/opt/a", "flash", "--plugin", "p.so", "d.xml", "fw", "--json",
                     "--log", "--quiet", "--no-wait", "--record", "r.jsonl", "--history-db",
                     "h.db"},
                    o, error, usage))
      << error;
  EXPECT_EQ(o.command, Command::kFlash);
  EXPECT_EQ(o.command_name, "flash");
  EXPECT_EQ(std::vector<std::string>({o.agent, o.plugin, o.discovery_file, o.firmware, o.record,
                                      o.history_db}),
            std::vector<std::string>({"/opt/a", "p.so", "d.xml", "fw", "r.jsonl", "h.db"}));
  EXPECT_TRUE(o.json && o.log && o.quiet && o.no_wait);
  EXPECT_EQ(o.argv.size(), 15u);

  // set-action: the action in its capitalised form; "--" ends the options (--json too).
  Options s;
  ASSERT_TRUE(Parse({"set-action", "d.xml", "sKIP", "--", "--odd", "21:00:00:0e:1e:c4:51:10"}, s,
                    error, usage))
      << error;
  EXPECT_EQ(s.action, "Skip");
  EXPECT_EQ(s.ids, std::vector<std::string>({"--odd", "21:00:00:0e:1e:c4:51:10"}));
  Options a;
  ASSERT_TRUE(Parse({"set-action", "d.xml", "rewrite", "--adapter", "81:00", "--adapter=0a:00"},
                    a, error, usage))
      << error;
  EXPECT_EQ(a.action, "Rewrite");
  EXPECT_EQ(a.adapters, std::vector<std::string>({"81:00", "0a:00"}));

  Options n;
  ASSERT_TRUE(Parse({"show", "--", "--json"}, n, error, usage)) << error;
  EXPECT_FALSE(n.json);
  EXPECT_EQ(n.discovery_file, "--json");
  Options h;
  ASSERT_TRUE(Parse({"history", "show", "42", "--log"}, h, error, usage)) << error;
  EXPECT_EQ(h.command, Command::kHistoryShow);
  EXPECT_EQ(h.run_id, 42);
  Options l;
  ASSERT_TRUE(Parse({"history", "--limit", "5"}, l, error, usage)) << error;
  EXPECT_EQ(l.limit, 5);
  Options r;
  ASSERT_TRUE(Parse({"replay-to-inventory", "r.jsonl", "-o", "inv.json"}, r, error, usage));
  EXPECT_EQ(r.recording + " " + r.output, "r.jsonl inv.json");
  // --help and --version win over everything else on the line, a wrong command included.
  Options v;
  ASSERT_TRUE(Parse({"frobnicate", "--version"}, v, error, usage));
  EXPECT_TRUE(v.version);
}

}  // namespace
