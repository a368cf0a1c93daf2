// The entry-point table against the real simulator: every pointer holds its own symbol of the
// library after a load, and the default stubs answer nothing.
#include "agent/entry_points.h"

#include <dlfcn.h>

#include "agent_test_env.h"

namespace {

using EntryPointsTest = agenttest::AgentTest;

TEST_F(EntryPointsTest, EachPointerHoldsItsOwnSymbol) {
  use_inventory(agenttest::default_inventory());
  ASSERT_EQ(vxins::agent::load_entry_points(), 0);
  ASSERT_TRUE(vxins::agent::entry_points_loaded());
  const std::pair<void*, const char*> pairs[] = {
      {reinterpret_cast<void*>(libGetRequestID), "getRequestID"},
      {reinterpret_cast<void*>(libInitHbaLib), "init_hba_lib"},
      {reinterpret_cast<void*>(libGetAgtVersion), "get_agt_version"},
      {reinterpret_cast<void*>(libFreeHbaLib), "free_hba_lib"},
      {reinterpret_cast<void*>(libGetHbaByWwn), "getHbaByWwn"},
      {reinterpret_cast<void*>(libGetNumOfAdapters), "getNumberOfAdapters"},
      {reinterpret_cast<void*>(libGetAllAdapterIndexString), "getAllAdaptersIndexString"},
      {reinterpret_cast<void*>(libGetEthPhyPortIndicesByAdapter),
       "getEthPhyPortIndicesByAdapter"},
      {reinterpret_cast<void*>(libGetEthPortByEthMac), "getEthPortByEthMac"},
      {reinterpret_cast<void*>(libGetPortByWwn), "getPortByWwn"},
      {reinterpret_cast<void*>(libGetFcByFcWwn), "getFcByFcWwn"},
      {reinterpret_cast<void*>(libSetPortByWwn), "setPortByWwn"},
      {reinterpret_cast<void*>(libGetFcoeByPort), "getFcoeByPort"},
      {reinterpret_cast<void*>(libGetFcPhyPortIndicesByAdapter), "getFcPhyPortIndicesByAdapter"},
      {reinterpret_cast<void*>(libHbaFlashUpgrade), "hba_flashUpgrade"},
      {reinterpret_cast<void*>(libGetAdvAdapterData), "getAdvAdapterData"}};
  for (const auto& p : pairs) {
    void* own = dlsym(gLibHandle, p.second);
    EXPECT_NE(own, nullptr) << p.second;
    EXPECT_EQ(p.first, own) << p.second;
  }
  vxins::agent::unload_entry_points();
  EXPECT_FALSE(vxins::agent::entry_points_loaded());
  EXPECT_FALSE(agenttest::agent_mapped());
}

TEST(DefaultStubsTest, AnswerNothing) {
  EXPECT_TRUE(default_JsonReqFP(Json::Value("x")).isNull());
  EXPECT_EQ(default_voidRetStrFP(), nullptr);
  EXPECT_EQ(default_voidRetUIntFP(), 0xFFFFu);
  EXPECT_EQ(default_voidRetIntFP(), -1);
  char buf[8] = "";
  EXPECT_EQ(default_flashUpgradeFP(buf, buf, 0, 0, buf, sizeof buf), -1);
}

}  // namespace
