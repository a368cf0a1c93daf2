// The guarded call inside the shipped plug-in (hidden visibility, five exports) must still catch
// the agent's HbaAgentError by type: neither library exports the class's type information, so
// the match rests on the C++ runtime comparing type names. A discovery run with a throwing
// adapter query shows which handler caught it.
#include <cstdlib>

#include "agent_test_env.h"
#include "plugin_loader.h"

namespace {

TEST(GuardedCallTest, AgentErrorIsCaughtByTypeInsideThePlugin) {
  vxtest::TempDir dir;
  Json::Value inventory = agenttest::default_inventory();
  inventory["faults"].append(
      agenttest::fault("getHbaByWwn", "throwAgent", "20:00:00:0e:1e:c4:51:10", 5, "agent says no"));
  inventory["faults"].append(
      agenttest::fault("getHbaByWwn", "throwStd", "00:0e:1e:d2:7a:40", 0, "std says no"));
  vxtest::write_file(dir.file("inventory.json"), agenttest::to_text(inventory));
  setenv("DZNAJ_SIM_INVENTORY", dir.file("inventory.json").c_str(), 1);
  ASSERT_EQ(vxtest::run("mkdir " + vxtest::shell_quote(dir.file("fw"))), 0);
  ASSERT_TRUE(vxtest::make_package_with_version(dir.file("fw/qf-boot.tar"), "3.1.0.0"));

  vxplugin::PluginLibrary plugin;
  std::string error;
  ASSERT_TRUE(plugin.open(VXINS_PLUGIN_PATH, error)) << error;
  ASSERT_NE(plugin.discover, nullptr);
  std::string xml = dir.file("discovery.xml");
  std::string fw = dir.file("fw");
  int rc = plugin.discover(&xml[0], &fw[0]);
  plugin.close();
  unsetenv("DZNAJ_SIM_INVENTORY");
  EXPECT_EQ(rc, 0);

  std::vector<std::string> lines = vxtest::trace_log_lines();
  auto has = [&](const std::string& line) {
    for (const std::string& l : lines)
      if (l == line) return true;
    return false;
  };
  EXPECT_TRUE(
      has("LOG_ERROR : 20:00:00:0e:1e:c4:51:10 - libGetHbaByWwn got User exception "
          "5:\t\t\tagent says no, returned INTERNAL_OPER_FAILED"));
  EXPECT_FALSE(
      has("LOG_ERROR : 20:00:00:0e:1e:c4:51:10 - libGetHbaByWwn got default "
          "exception,\t\t\treturned INTERNAL_OPER_FAILED"));
  const std::string std_line = "LOG_ERROR : libGetHbaByWwn got std exception: 00:0e:1e:d2:7a:40-0x";
  bool std_caught = false;
  for (const std::string& l : lines) std_caught |= l.compare(0, std_line.size(), std_line) == 0;
  EXPECT_TRUE(std_caught);
}

}  // namespace
