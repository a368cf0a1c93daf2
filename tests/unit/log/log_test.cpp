// The level helpers: each writes its level's prefix, and each channel cuts a message where the
// plug-in always has (299 characters for the entry points, 399 elsewhere), so a long path or
// agent text loses its end at the same place on every release.
#include "log/log.h"

#include <gtest/gtest.h>

#include <string>

#include "log_capture.h"

namespace {

TEST(LogChannelTest, WritesTheLevelAndCutsAtTheChannelsSize) {
  vxtest::LogCapture log;
  const std::string big(1000, 'x');
  vxins::log::entry.info("%s", big.c_str());
  vxins::log::utility.error("%s", big.c_str());
  vxins::log::entry.debug("%s", big.c_str());
  vxins::log::utility.warn("%s: 100%% of %s", "done", "%d %s");
  const std::vector<std::string> expected = {
      "LOG_INFO : " + big.substr(0, 299), "LOG_ERROR : " + big.substr(0, 399),
      "LOG_DEBUG : " + big.substr(0, 299), "LOG_WARN : done: 100% of %d %s"};
  EXPECT_EQ(log.lines(), expected);
}

}  // namespace
