// Linked into every test that is not declared a writer of the trace log: the machine's log may
// hold another program's call, which a stray line (a reader test tracing what it parses) would
// leave looking unfinished, so the log points at /dev/null before any test runs. A LogCapture
// points it at a file of its own and back.
#include <gtest/gtest.h>

#include "vxins_log.h"

namespace {

class QuietTraceLog : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(vxins_log_set_path("/dev/null")); }
};

::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QuietTraceLog);

}  // namespace
