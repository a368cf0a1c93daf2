// vxins-host's checks of the firmware path before a discover or flash call: each shape of folder
// or package gives the plug-in's result code and a cause naming the path, and the package's name
// is the plug-in's own reading of it. (Folders root may not write are checked end to end, as
// another user.)
#include "prechecks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "vxins_host_api.h"

namespace {

struct Case {
  const char* name;
  bool flash;
  std::function<std::string(const vxtest::TempDir&)> firmware;  // lays out the path, returns it
  int code;                                                     // 0: no finding
  std::string cause;  // the whole cause, {tmp} the test's folder; one * stands for any text
  std::string package;
};

std::string folder_with(const vxtest::TempDir& tmp, const std::vector<std::string>& files) {
  const std::string fw = tmp.file("fw");
  EXPECT_EQ(::mkdir(fw.c_str(), 0755), 0);
  for (const std::string& f : files) vxtest::write_file(fw + "/" + f, "x");
  return fw;
}

using vxtest::Replaced;

// `pattern` is the whole text, but for one '*' that stands for any text.
bool Matches(const std::string& text, const std::string& pattern) {
  const std::string::size_type star = pattern.find('*');
  if (star == std::string::npos) return text == pattern;
  const std::string head = pattern.substr(0, star), tail = pattern.substr(star + 1);
  return text.size() >= head.size() + tail.size() && text.compare(0, head.size(), head) == 0 &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Prechecks, EachFirmwarePathGivesThePluginsResultAndNamesTheCause) {
  const Case cases[] = {
      {"missing path", false, [](const vxtest::TempDir& t) { return t.file("none"); }, -1,
       "the firmware path {tmp}/none does not exist", ""},
      {"discover given the package", false,
       [](const vxtest::TempDir& t) { return folder_with(t, {"p.tar"}) + "/p.tar"; },
       VXINS_RC_INVALID_ARG,
       "the firmware path {tmp}/fw/p.tar is not a folder: discover takes the folder holding the "
       "package",
       ""},
      {"empty folder", false, [](const vxtest::TempDir& t) { return folder_with(t, {}); },
       VXINS_RC_INVALID_ARG,
       "the firmware folder {tmp}/fw is empty: it must hold the package alone", ""},
      {"five entries, three named", false,
       [](const vxtest::TempDir& t) {
         return folder_with(t, {"a", "b", "c", "d", "e"});
       },
       VXINS_RC_INVALID_ARG,
       "the firmware folder {tmp}/fw holds 5 entries (*, ...): it must hold the package alone", ""},
      {"discover: the one entry is a folder", false,
       [](const vxtest::TempDir& t) {
         const std::string fw = folder_with(t, {});
         EXPECT_EQ(::mkdir((fw + "/p.tar").c_str(), 0755), 0);
         return fw;
       },
       VXINS_RC_FW_OPEN_FAILED, "the package {tmp}/fw/p.tar is a folder, not a regular file",
       "p.tar"},
      {"flash: the one entry is a FIFO", true,
       [](const vxtest::TempDir& t) {
         const std::string fw = folder_with(t, {});
         EXPECT_EQ(::mkfifo((fw + "/p.tar").c_str(), 0644), 0);
         return fw;
       },
       VXINS_RC_FW_MISMATCH, "the package {tmp}/fw/p.tar is a FIFO, not a regular file", "p.tar"},
      {"flash given the package", true,
       [](const vxtest::TempDir& t) { return folder_with(t, {"p.tar"}) + "/p.tar"; }, 0, "",
       "p.tar"},
      // The plug-in takes a name's last part after '/' or '\', and so does the host.
      {"a backslash in the name", false,
       [](const vxtest::TempDir& t) { return folder_with(t, {"old\\p.tar"}); }, 0, "", "p.tar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vxtest::TempDir tmp;
    const std::string firmware = c.firmware(tmp);
    std::string package = "stale";
    const std::vector<vxhost::Finding> found =
        vxhost::check_before_call(c.flash, tmp.file("d.xml"), firmware, package);
    EXPECT_EQ(package, c.package);
    if (c.code == 0) {
      EXPECT_TRUE(found.empty()) << found.front().cause;
      continue;
    }
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].code, c.code);
    EXPECT_TRUE(Matches(found[0].cause, Replaced(c.cause, "{tmp}", tmp.path()))) << found[0].cause;
  }
}

}  // namespace
