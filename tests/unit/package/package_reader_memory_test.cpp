// The package reader's memory does not grow with the package: a real tar package whose first
// member is a 200 MiB boot image is read with a few hundred KiB more than the process already
// had, and below 10 MiB in all (the first member is stepped over, never read).
#include <gtest/gtest.h>

#include <string>
#include <sys/resource.h>

#include "package/package_reader.h"
#include "test_support.h"
#include "vxins_log.h"

namespace {

long PeakRssKib() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

TEST(PackageMemoryTest, LargeFirstMemberIsNotReadIntoMemory) {
  vxtest::TempDir tmp;
  ASSERT_TRUE(vxins_log_set_path(tmp.file("trace.log").c_str()));
  const std::string staging = tmp.file("staging");
  const std::string package = tmp.file("qrvl_boot_3100.tar");
  // A sparse source file; tar stores every byte of it, so the package really holds 200 MiB.
  ASSERT_EQ(vxtest::run("mkdir -p " + vxtest::shell_quote(staging + "/fw") + " && truncate -s 200M " +
                        vxtest::shell_quote(staging + "/image.bin")),
            0);
  vxtest::write_file(staging + "/fw/boot.txt", "<version>3.1.0.0</version>\n");
  ASSERT_EQ(vxtest::run("tar --format=ustar --no-recursion -C " + vxtest::shell_quote(staging) +
                        " -cf " + vxtest::shell_quote(package) + " image.bin fw/boot.txt"),
            0);
  ASSERT_EQ(vxtest::run("rm -f " + vxtest::shell_quote(staging + "/image.bin")), 0);

  long before = PeakRssKib();
  std::string version;
  EXPECT_EQ(getFwVersionFromFwFile(package, version), 0);
  long after = PeakRssKib();
  EXPECT_EQ(version, "3.1.0.0");
  EXPECT_LT(after - before, 1024) << "peak grew from " << before << " KiB to " << after << " KiB";
#if !defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer's runtime and shadow memory alone take megabytes: only the growth counts
  // in that build.
  EXPECT_LT(after, 10 * 1024) << "peak " << after << " KiB";
#endif
}

}  // namespace
