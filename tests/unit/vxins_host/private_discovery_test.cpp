// What devices hands the plug-in: a package real tar lists as the plug-in expects (a folder
// first, then the member holding the version) and extracts to the version text, in a private
// folder that goes, with whatever a call left in it, when the object does.
#include "private_discovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "test_support.h"

namespace {

TEST(PrivateDiscoveryTest, ThePackageIsOneRealTarReadsAndTheFolderGoes) {
  vxtest::TempDir tmp;
  setenv("TMPDIR", tmp.path().c_str(), 1);
  std::string folder, package;
  {
    vxhost::PrivateDiscovery files;
    std::string error;
    ASSERT_TRUE(files.create(error)) << error;
    folder = files.folder();
    EXPECT_EQ(folder.compare(0, tmp.path().size(), tmp.path()), 0) << folder;
    struct stat st;
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    package = files.firmware_dir() + "/vxins-host-devices.tar";
    const std::string q = vxtest::shell_quote(package), out = tmp.file("out");
    ASSERT_EQ(vxtest::run("tar -tf " + q + " >" + vxtest::shell_quote(out)), 0);
    EXPECT_EQ(vxtest::read_file(out), "fw/\nfw/version.txt\n");
    ASSERT_EQ(vxtest::run("tar -xOf " + q + " fw/version.txt >" + vxtest::shell_quote(out)), 0);
    EXPECT_EQ(vxtest::read_file(out), "<version>0.0.0.0</version>\n");
    ASSERT_EQ(vxtest::run("bsdtar -tvf " + q + " >/dev/null"), 0);  // another reader agrees
    // What a call leaves: the discovery file, a scratch file, a temporary beside the file.
    for (const char* left : {"devices.xml", "tmp_1234", ".vxins-discovery-1-2-x.tmp"})
      vxtest::write_file(folder + "/" + left, "x");
  }
  EXPECT_FALSE(vxtest::file_exists(folder));
  unsetenv("TMPDIR");
}

}  // namespace
