// The discovery file: golden layouts, reading back into records (tags, action words, edited
// files), the rewrite after a flash, and the atomic replacement of the file.
#include "discovery/discovery_file.h"
#include "discovery/atomic_output.h"

#include <gtest/gtest.h>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <set>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include "discovery_test_util.h"

namespace {

using disctest::DeviceList;
using disctest::expected_leaves;
using disctest::fixture;
using disctest::folder_entries;
using disctest::LogCapture;
using disctest::make_port;
using disctest::parse_with_tinyxml2;
using disctest::PortValues;
using disctest::XmlDevice;
using vxtest::read_file;
using vxtest::TempDir;
using vxtest::write_file;

const std::string kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<vx_rom_discovery version=\"2.0.0.0\">\n"
    "\t<type value=\" \"/>\n\t<alt_name value=\" \"/>\n\t<version value=\" \"/>\n"
    "\t<takes_effect value=\"deferred\"/>\n\t<devices>";
const std::string kFooter = "\n\t</devices>\n</vx_rom_discovery>";

void two_ports(DeviceList& list) {
  list.devices.push_back(make_port(disctest::eth_port(), "0"));
  list.devices.push_back(make_port(disctest::fc_port(), "1"));
}

void expect_record(const CQrvlDevice& rec, const PortValues& v, const std::string& status = "") {
  const dev_char_t& i = rec.info();
  EXPECT_EQ(i.dev_desc, v.device_id);
  EXPECT_EQ(i.dev_id, v.devid);
  EXPECT_EQ(i.ven_id, v.venid);
  EXPECT_EQ(i.sub_dev_id, v.subdevid);
  EXPECT_EQ(i.sub_ven_id, v.subvenid);
  EXPECT_EQ(i.prod_id, v.product);
  EXPECT_EQ(i.mac_or_wwn, v.mac_or_wwn);
  EXPECT_EQ(i.bus_num, v.bus);
  EXPECT_EQ(i.dev_num, v.dev);
  EXPECT_EQ(i.fn_num, v.fn);
  EXPECT_EQ(i.slot_num, "FFFFFFFF");
  EXPECT_EQ(i.dev_type, "");  // the nictype leaf is not read back
  EXPECT_EQ(i.fw_dev.fw_id, v.fw_id);
  EXPECT_EQ(i.fw_dev.fw_version, v.fw_version);
  EXPECT_EQ(i.fw_dev.fw_file, v.fw_file);
  EXPECT_EQ(i.fw_dev.active_version, v.active_version);
  EXPECT_EQ(rec.fw_version_str(), v.active_version);
  EXPECT_EQ(i.fw_dev.action, v.action);
  EXPECT_EQ(i.fw_dev.action_st, status);
  EXPECT_EQ(i.fw_dev.duration, "60");
  EXPECT_EQ(i.fw_dev.msg, "VX Reserved");
  EXPECT_EQ(i.fw_dev.shared_val, "no");
}

TEST(DiscoveryWriteTest, MatchesGoldenFileForEthernetAndFcPorts) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  std::string path = dir.file("discovery.xml");
  write_to_xmlfile(path, list.devices);
  EXPECT_EQ(read_file(path), fixture("two_ports.xml"));
  std::vector<XmlDevice> devs = parse_with_tinyxml2(path);
  ASSERT_EQ(devs.size(), 2u);
  EXPECT_TRUE(devs[0] == expected_leaves(disctest::eth_port()));
  EXPECT_TRUE(devs[1] == expected_leaves(disctest::fc_port()));
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"discovery.xml"});
}

TEST(DiscoveryWriteTest, LogsFileNameAndEveryDevice) {
  TempDir dir;
  DeviceList list;
  two_ports(list);
  list.devices.insert(list.devices.begin() + 1, nullptr);
  std::string path = dir.file("discovery.xml");
  LogCapture log;
  write_to_xmlfile(path, list.devices);
  const std::string per_dev_a = "LOG_INFO : **********************************\n\n";
  const std::string per_dev_c = "LOG_INFO : MY MAPPED VALUES ARE\n\n";
  EXPECT_EQ(log.text(), "LOG_INFO : File Name : " + path +
                            "\nNumber of Devices : 3\nDevList:\n\n" + per_dev_a +
                            "LOG_INFO : ********Device[0]****************\n\n" + per_dev_c +
                            "LOG_ERROR : DeviceListVector[1]-NOT A Valid object\n\n" + per_dev_a +
                            "LOG_INFO : ********Device[2]****************\n\n" + per_dev_c);
  // The null entry is skipped; its neighbours are written.
  EXPECT_EQ(read_file(path), fixture("two_ports.xml"));
}

TEST(DiscoveryWriteTest, EmptyListAndRecordWithoutPairs) {
  LogCapture log;
  TempDir dir;
  std::string path = dir.file("discovery.xml");
  DeviceList list;
  write_to_xmlfile(path, list.devices);
  EXPECT_EQ(read_file(path), kHeader + kFooter);
  EXPECT_TRUE(parse_with_tinyxml2(path).empty());

  list.devices.push_back(new CQrvlDevice("3"));
  write_to_xmlfile(path, list.devices);
  EXPECT_EQ(read_file(path), kHeader +
                                 "\n\t\t<device>\n\t\t\t<slotnumber value=\"FFFFFFFF\"/>"
                                 "\n\t\t\t<fw_item>\n\t\t\t\t<type value=\"ROM\"/>"
                                 "\n\t\t\t</fw_item>\n\t\t</device>" +
                                 kFooter);
  std::vector<XmlDevice> devs = parse_with_tinyxml2(path);
  ASSERT_EQ(devs.size(), 1u);
  EXPECT_EQ(devs[0].device, (disctest::Leaves{{"slotnumber", "FFFFFFFF"}}));
  EXPECT_EQ(devs[0].fw_item, (disctest::Leaves{{"type", "ROM"}}));
}

TEST(DiscoveryWriteTest, EmptyNameWritesNothing) {
  LogCapture log;
  DeviceList list;
  two_ports(list);
  log.clear();
  write_to_xmlfile("", list.devices);
  std::vector<std::string> lines = log.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "LOG_ERROR : XML file not initialized to write");
  EXPECT_EQ(lines[1], "LOG_ERROR : <--open_XML_file_to_write()");
  // Four header leaves, then 12 device and 10 firmware leaves for each of the two records.
  EXPECT_EQ(log.count("LOG_ERROR : <--create_child_tag()"), 4u + 2 * 22);
}

// A quote inside a value used to end it early on reading, and markup in it broke the file.
TEST(DiscoveryReadTest, RoundTripGivesBackEveryValueAndLogsUnknownTags) {
  LogCapture log;
  TempDir dir;
  PortValues odd = disctest::eth_port();
  odd.product = "A&B <x> \"q\" 'a' &amp; &#38;";
  odd.mac_or_wwn = "tab\there";
  odd.fw_file = "line1\nline2\r\nend";
  odd.fw_id = "\"\"\"";
  odd.active_version = "<>";
  DeviceList list;
  list.devices.push_back(make_port(odd, "0"));
  list.devices.push_back(make_port(disctest::fc_port(), "1"));
  std::string path = dir.file("discovery.xml");
  write_to_xmlfile(path, list.devices);

  std::vector<XmlDevice> devs = parse_with_tinyxml2(path);
  ASSERT_EQ(devs.size(), 2u);
  EXPECT_TRUE(devs[0] == expected_leaves(odd));
  EXPECT_TRUE(devs[1] == expected_leaves(disctest::fc_port()));

  log.clear();
  DeviceList back;
  ASSERT_EQ(read_from_xmlfile(path, back.devices), 0);
  ASSERT_EQ(back.devices.size(), 2u);
  expect_record(*back.devices[0], odd);
  expect_record(*back.devices[1], disctest::fc_port());
  std::vector<dev_tag_val_pair_t> pairs;
  back.devices[0]->getDeviceAttribs(pairs);
  EXPECT_TRUE(pairs.empty());
  std::string index = "unset";
  back.devices[0]->get_index(index);
  EXPECT_EQ(index, "");
  EXPECT_EQ(back.devices[0]->action_value(), FW_STATUS_UPGRADE);
  EXPECT_EQ(back.devices[1]->action_value(), FW_STATUS_REWRITE);
  EXPECT_EQ(log.count("LOG_ERROR : ERROR:DEV Unknown Tag"), 2u);
  EXPECT_EQ(log.count("LOG_ERROR : FW ERROR:Unknown Tag"), 2u);
  EXPECT_EQ(log.count("LOG_DEBUG : --> DisplayDeviceAttribs()"), 2u);
  // Four positions logged per leaf: 12 device leaves and 10 firmware leaves per device.
  EXPECT_EQ(log.count("LOG_INFO : first XML_TAG_START_STR found at:3"), 2u * 12);
  EXPECT_EQ(log.count("LOG_INFO : first XML_TAG_START_STR found at:4"), 2u * 10);
}

TEST(DiscoveryReadTest, AppendsToTheListAndHandlesUnreadableFiles) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  std::string path = dir.file("discovery.xml");
  write_to_xmlfile(path, list.devices);

  DeviceList back;
  back.devices.push_back(nullptr);
  ASSERT_EQ(read_from_xmlfile(path, back.devices), 0);
  ASSERT_EQ(back.devices.size(), 3u);
  EXPECT_EQ(back.devices[0], nullptr);

  log.clear();
  DeviceList none;
  EXPECT_EQ(read_from_xmlfile(dir.file("missing.xml"), none.devices), 0);
  EXPECT_TRUE(none.devices.empty());
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"LOG_ERROR : XML file open failed",
                                                   "LOG_ERROR : <--read_XML_file()"}));
  log.clear();
  EXPECT_EQ(read_from_xmlfile("", none.devices), 1001);
  EXPECT_TRUE(none.devices.empty());
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{
                "LOG_ERROR : XML_file not initialzied", "LOG_ERROR : read_XML_file()",
                "LOG_ERROR : XML file not initialized to display",
                "LOG_ERROR : <--get_number_of_tags()", "LOG_ERROR : get_number_of_tags failed",
                "<-- read_xmlfile()."}));
}

struct ActionCase {
  const char* word;
  fw_action_status_t code;
  bool skip;
};

TEST(DiscoveryReadTest, ActionWordsSetCodeAndSkipFlag) {
  // An unknown word leaves the code a record starts with, which is not a skip.
  const std::vector<ActionCase> cases = {
      {"Upgrade", FW_STATUS_UPGRADE, false},     {"upgrade", FW_STATUS_UPGRADE, false},
      {"Downgrade", FW_STATUS_DOWNGRADE, false}, {"downgrade", FW_STATUS_DOWNGRADE, false},
      {"Rewrite", FW_STATUS_REWRITE, false},     {"rewrite", FW_STATUS_REWRITE, false},
      {"FW mismatch", FW_STATUS_MISMATCH, false}, {"fw mismatch", FW_STATUS_MISMATCH, false},
      {"Skip", FW_STATUS_SKIP, true},            {"skip", FW_STATUS_SKIP, true},
      {"SKIP", FW_STATUS_SKIP, false},           {"UPGRADE", FW_STATUS_SKIP, false},
      {"Skip ", FW_STATUS_SKIP, false},          {"", FW_STATUS_SKIP, false},
  };
  LogCapture log;
  TempDir dir;
  std::string text = kHeader;
  for (const ActionCase& c : cases) {
    text += "\n\t\t<device>\n\t\t\t<fw_item>\n\t\t\t\t<action value=\"" +
            std::string(c.word) + "\"/>\n\t\t\t</fw_item>\n\t\t</device>";
  }
  text += kFooter;
  std::string path = dir.file("actions.xml");
  write_file(path, text);
  DeviceList back;
  ASSERT_EQ(read_from_xmlfile(path, back.devices), 0);
  ASSERT_EQ(back.devices.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(back.devices[i]->action_value(), cases[i].code) << cases[i].word;
    EXPECT_EQ(back.devices[i]->IsDeviceActionSetToSkip(), cases[i].skip) << cases[i].word;
    std::string action;
    back.devices[i]->get_action_val(action);
    EXPECT_EQ(action, cases[i].word);
  }
}

TEST(DiscoveryReadTest, ReadsHandEditedFileWithoutFailing) {
  LogCapture log;
  DeviceList back;
  ASSERT_EQ(read_from_xmlfile(std::string(VXINS_FIXTURES_DIR) + "/discovery/hand_edited.xml",
                              back.devices),
            0);
  ASSERT_EQ(back.devices.size(), 2u);  // the third is commented out
  const dev_char_t& a = back.devices[0]->info();
  EXPECT_EQ(a.mac_or_wwn, "00:0E:1E:0A:0B:0C");
  EXPECT_EQ(a.bus_num, "6");  // single quotes
  EXPECT_EQ(a.dev_num, "");   // empty value, element with its end tag
  EXPECT_EQ(a.fn_num, "2");   // after </fw_item>: still a device leaf
  EXPECT_EQ(a.dev_type, "Eth");  // tab before the attribute, blanks around "=" and before "/>"
  EXPECT_EQ(a.slot_num, "");  // no slotnumber leaf in this element
  EXPECT_EQ(a.fw_dev.fw_version, "3.64.02");
  EXPECT_EQ(a.fw_dev.fw_file, "Q3664A.tar");  // a comment after it on the line
  EXPECT_EQ(a.fw_dev.action, "skip");         // a character reference
  EXPECT_TRUE(back.devices[0]->IsDeviceActionSetToSkip());
  const dev_char_t& b = back.devices[1]->info();
  EXPECT_EQ(b.mac_or_wwn, "21:00:00:0e:1e:0a:0b:0d");
  EXPECT_EQ(b.fw_dev.active_version, "3.63.10");  // CRLF line ends
  EXPECT_EQ(b.fw_dev.action, "Rewrite");
  EXPECT_FALSE(back.devices[1]->IsDeviceActionSetToSkip());
  // Device lines without a leaf the reader fills: nictype, "junk", the empty line.
  EXPECT_EQ(log.count("LOG_ERROR : ERROR:DEV Unknown Tag"), 3u);
  // Firmware lines: type, the misspelt "Version".
  EXPECT_EQ(log.count("LOG_ERROR : FW ERROR:Unknown Tag"), 2u);
}

// A leaf the reader fills that it cannot read for sure makes it refuse the whole file: read
// any other way, a "Skip" written like this was lost and the adapter flashed.
TEST(DiscoveryReadTest, RefusesLeavesItCannotReadForSure) {
  struct Refused {
    std::string device_lines, fw_lines, why;
  };
  const std::string mac = "\n\t\t\t<macaddress value=\"00:0e:1e:00:00:01\"/>";
  const std::vector<Refused> cases = {
      {mac, "\n<action value=\"Sk\nip\"/>", "line 11 (device 1): the action leaf cannot be read: "
                                            "the value of value does not end on its line"},
      {mac, "\n<action value=Skip/>", "the value of value is not quoted"},
      {mac, "\n<action val=\"Skip\"/>", "it has an attribute other than value"},
      {mac, "\n<action value=\"Skip\" by=\"me\"/>", "it has an attribute other than value"},
      {mac, "\n<action/>", "it has no value attribute"},
      {mac, "\n<action>Skip</action>", "it has no value attribute"},
      {mac, "\n<action value=\"Skip\"", "the tag does not end on its line"},
      {mac, "\n<action value=\"Upgrade\"/>\n<action value=\"Skip\"/>", "comes twice in one device"},
      {mac + mac, "", "the macaddress leaf comes twice in one device"},
      {mac, "\n<type value=\"ROM\"/><action value=\"Skip\"/>", "shares its line with other markup"},
      {mac, "\n<action value=\"Skip\"/><action value=\"Skip\"/>", "leaves share a line"},
      {mac, "\n<action value=\"Skip\">x</action>", "its element does not end on its line"},
      {mac + "\n<action value=\"Skip\"/>", "", "stands outside its firmware section"},
      {"", "\n<macaddress value=\"00:0e:1e:00:00:01\"/>", "stands outside its device section"},
      {mac, "\n<!-- <action value=\"Upgrade\"/>", "line 11: a comment is not closed"},
      {mac + "\n\t\t\t<fw_item><action value=\"Skip\"/>", "",
       "the action leaf shares its line with a device or fw_item tag"},
  };
  LogCapture log;
  TempDir dir;
  std::string path = dir.file("refused.xml");
  for (const Refused& c : cases) {
    std::string text = kHeader + "\n\t\t<device>" + c.device_lines + "\n\t\t\t<fw_item>" +
                       c.fw_lines + "\n\t\t\t</fw_item>\n\t\t</device>" + kFooter;
    write_file(path, text);
    DeviceList back;
    std::string why;
    EXPECT_EQ(read_from_xmlfile(path, back.devices, &why), 1001) << c.why;
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
    EXPECT_NE(log.text().find("LOG_ERROR : Discovery file " + path + " line "), std::string::npos);
    EXPECT_EQ(read_file(path), text);
  }
}

TEST(DiscoveryReadTest, FirstLineDeviceLosesTheLastElement) {
  LogCapture log;
  TempDir dir;
  std::string path = dir.file("bare.xml");
  write_file(path,
             "<device>\n<macaddress value=\"A\"/>\n</device>\n<device>\n"
             "<macaddress value=\"B\"/>\n</device>\n");
  DeviceList back;
  ASSERT_EQ(read_from_xmlfile(path, back.devices), 0);
  ASSERT_EQ(back.devices.size(), 1u);
  EXPECT_EQ(back.devices[0]->info().mac_or_wwn, "A");
}

// One device element of a hand-damaged file: a MAC address and an action, with or without its
// "</device>" line.
std::string DamagedDevice(const std::string& mac, const std::string& action, bool closed) {
  return "\n\t\t<device>\n\t\t\t<macaddress value=\"" + mac +
         "\"/>\n\t\t\t<fw_item>\n\t\t\t\t<action value=\"" + action +
         "\"/>\n\t\t\t\t<version value=\"3.1.0.0\"/>\n\t\t\t</fw_item>" +
         (closed ? "\n\t\t</device>" : "");
}

// A device element without its "</device>" line used to run on through every later element: it
// took the last device's values (its MAC address, a later "Skip"), and a damaged file of a few
// hundred devices kept the host's thread busy for minutes and wrote a trace log of hundreds of
// megabytes, as every later line was read again for each device.
TEST(DiscoveryReadTest, ElementWithoutClosingLineEndsAtTheNextDevice) {
  LogCapture log;
  TempDir dir;
  std::string path = dir.file("damaged.xml");
  write_file(path, kHeader + DamagedDevice("A", "Upgrade", false) + DamagedDevice("B", "Skip", true) +
                       DamagedDevice("C", "Rewrite", true) + kFooter);
  DeviceList back;
  ASSERT_EQ(read_from_xmlfile(path, back.devices), 0);
  ASSERT_EQ(back.devices.size(), 3u);
  EXPECT_EQ(back.devices[0]->info().mac_or_wwn, "A");
  EXPECT_EQ(back.devices[0]->info().fw_dev.action, "Upgrade");
  EXPECT_FALSE(back.devices[0]->IsDeviceActionSetToSkip());
  EXPECT_EQ(back.devices[1]->info().mac_or_wwn, "B");
  EXPECT_TRUE(back.devices[1]->IsDeviceActionSetToSkip());
  EXPECT_EQ(back.devices[2]->info().mac_or_wwn, "C");

  // Every leaf line of a file where no element is closed is split once, whatever its size.
  std::string text = kHeader;
  const int n = 300;
  for (int i = 0; i < n; ++i) text += DamagedDevice("M" + std::to_string(i), "Upgrade", false);
  write_file(path, text + kFooter);
  DeviceList many;
  log.clear();
  ASSERT_EQ(read_from_xmlfile(path, many.devices), 0);
  ASSERT_EQ(many.devices.size(), static_cast<size_t>(n));
  EXPECT_EQ(many.devices[n - 1]->info().mac_or_wwn, "M" + std::to_string(n - 1));
  EXPECT_EQ(many.devices[0]->info().mac_or_wwn, "M0");
  size_t splits = 0;
  for (const std::string& line : log.lines())
    splits += line.rfind("LOG_INFO : first XML_TAG_START_STR found at:", 0) == 0;
  // Three leaves per device, and the closing lines of the document that the last, unclosed
  // element runs into.
  EXPECT_EQ(splits, static_cast<size_t>(n) * 3 + 2);
}

struct StatusCase {
  int code;
  const char* text;
};

TEST(DiscoveryRewriteTest, WritesOutcomeAndOldValuesIntoEveryDevice) {
  TempDir dir;
  DeviceList list;
  two_ports(list);
  std::string path = dir.file("discovery.xml");
  {
    LogCapture log;
    modify_and_write_to_xmlfile(path, list.devices, 8, "3.60.00", "Q3660A.tar", "3.59.00", {});
    EXPECT_EQ(read_file(path), fixture("two_ports_rewritten.xml"));
    EXPECT_EQ(log.text(), "LOG_INFO : ********Device[0]****************\n\n"
                          "LOG_INFO : ********Device[1]****************\n\n");
  }
  LogCapture log;
  for (const StatusCase& c : std::vector<StatusCase>{{1, "1"}, {-1, ""}, {8, "8"}, {0, "0"},
                                                     {-1001, "-1001"}}) {
    modify_and_write_to_xmlfile(path, list.devices, c.code, "v", "f", "a", {});
    std::vector<XmlDevice> devs = parse_with_tinyxml2(path);
    ASSERT_EQ(devs.size(), 2u);
    for (const XmlDevice& d : devs) {
      ASSERT_EQ(d.fw_item.size(), 10u);
      EXPECT_EQ(d.fw_item[2], std::make_pair(std::string("version"), std::string("v")));
      EXPECT_EQ(d.fw_item[3], std::make_pair(std::string("firmware_file"), std::string("f")));
      EXPECT_EQ(d.fw_item[4], std::make_pair(std::string("active_version"), std::string("a")));
      EXPECT_EQ(d.fw_item[6], std::make_pair(std::string("action_status"), std::string(c.text)));
    }
    EXPECT_EQ(devs[0].fw_item[5].second, "Upgrade");
    EXPECT_EQ(devs[1].fw_item[5].second, "Rewrite");
  }
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"discovery.xml"});
}

// The rewrite used to spread the first device's "Skip" onto every device and drop every other
// one: after a refused flash the operator retried with the rewritten file, and the adapter
// they had skipped was flashed.
TEST(DiscoveryRewriteTest, SkipStaysWithTheIdentifierItWasSetOn) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  disctest::PortValues no_id = disctest::eth_port();
  no_id.mac_or_wwn = "";
  list.devices.push_back(make_port(no_id, "2"));
  const std::string eth = disctest::eth_port().mac_or_wwn, fc = disctest::fc_port().mac_or_wwn;
  std::string path = dir.file("discovery.xml");
  const std::vector<std::pair<std::set<std::string>, std::vector<std::string>>> cases = {
      {{}, {"Upgrade", "Rewrite", "Upgrade"}},
      {{eth}, {"Skip", "Rewrite", "Upgrade"}},
      {{fc}, {"Upgrade", "Skip", "Upgrade"}},
      {{"", "21:00:00:00:00:00:00:99"}, {"Upgrade", "Rewrite", "Skip"}},
      {{eth, fc, ""}, {"Skip", "Skip", "Skip"}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(modify_and_write_to_xmlfile(path, list.devices, 1, "v", "f", "a", c.first));
    DeviceList back;
    ASSERT_EQ(read_from_xmlfile(path, back.devices), 0);
    ASSERT_EQ(back.devices.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      std::string action;
      back.devices[i]->get_action_val(action);
      EXPECT_EQ(action, c.second[i]) << i;
      EXPECT_EQ(back.devices[i]->IsDeviceActionSetToSkip(), c.second[i] == "Skip") << i;
    }
  }
}

// Stops the process from writing files beyond `bytes` for the life of the object, the way a
// full disk would stop it.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    struct rlimit lim = old_;
    lim.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &lim) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, old_handler_);
  }
  bool ok() const { return ok_; }

 private:
  struct rlimit old_;
  sighandler_t old_handler_;
  bool ok_;
};

// A write that failed half way left a truncated file behind, the old one already deleted.
TEST(DiscoveryAtomicTest, FailedWriteKeepsThePreviousFile) {
  LogCapture log;
  TempDir dir;
  DeviceList small;
  two_ports(small);
  std::string path = dir.file("discovery.xml");
  write_to_xmlfile(path, small.devices);
  const std::string before = read_file(path);
  ASSERT_EQ(before, fixture("two_ports.xml"));

  DeviceList big;
  for (int i = 0; i < 200; ++i) big.devices.push_back(make_port(disctest::eth_port()));
  log.clear();
  {
    FileSizeLimit limit(32 * 1024);
    ASSERT_TRUE(limit.ok());
    EXPECT_FALSE(write_to_xmlfile(path, big.devices));
  }
  EXPECT_EQ(read_file(path), before);
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"discovery.xml"});
  std::vector<std::string> lines = log.lines();
  ASSERT_FALSE(lines.empty());
  const std::string prefix = "LOG_ERROR : Discovery file " + path + " not written: ";
  EXPECT_EQ(lines.back().compare(0, prefix.size(), prefix), 0) << lines.back();
  EXPECT_NE(lines.back().find("File too large"), std::string::npos) << lines.back();

  // A rewrite after a flash that fails removes the earlier file: kept, it would report an
  // earlier call's outcome as this one's.
  {
    FileSizeLimit limit(32 * 1024);
    ASSERT_TRUE(limit.ok());
    EXPECT_FALSE(modify_and_write_to_xmlfile(path, big.devices, 1, "v", "f", "a", {}));
  }
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{});
}

TEST(DiscoveryAtomicTest, UnwritableTargetsLeaveNothingBehind) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  log.clear();

  std::string missing = dir.file("no/such/dir/discovery.xml");
  write_to_xmlfile(missing, list.devices);
  EXPECT_FALSE(vxtest::file_exists(missing));
  std::vector<std::string> lines = log.lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("LOG_ERROR : Discovery file " + missing +
                               " not written: cannot create temporary file " + dir.path() +
                               "/no/such/dir/.vxins-discovery-",
                           0),
            0u)
      << lines[0];
  EXPECT_NE(lines[0].find(": No such file or directory"), std::string::npos);
  EXPECT_EQ(lines[1], "LOG_ERROR : <-- Unable to open discovery file");

  // A directory in the target's place cannot be replaced: it stays, and so does its content.
  std::string target_dir = dir.file("taken");
  ASSERT_EQ(mkdir(target_dir.c_str(), 0755), 0);
  write_file(target_dir + "/inside", "x");
  log.clear();
  write_to_xmlfile(target_dir, list.devices);
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"taken"});
  EXPECT_EQ(folder_entries(target_dir), std::vector<std::string>{"inside"});
  EXPECT_EQ(log.lines().back(),
            "LOG_ERROR : Discovery file " + target_dir + " not written: rename failed: Is a directory");
}

TEST(DiscoveryAtomicTest, ReplacesSymlinkAndKeepsOpenReadersWhole) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  std::string victim = dir.file("victim");
  std::string path = dir.file("discovery.xml");
  write_file(victim, "keep me");
  ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
  write_to_xmlfile(path, list.devices);
  struct stat st;
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(read_file(victim), "keep me");
  EXPECT_EQ(read_file(path), fixture("two_ports.xml"));

  // A reader that opened the old file goes on seeing all of it while the new one is written.
  int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  DeviceList other;
  write_to_xmlfile(path, other.devices);
  std::string old_seen;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) old_seen.append(buf, static_cast<size_t>(n));
  close(fd);
  EXPECT_EQ(old_seen, fixture("two_ports.xml"));
  EXPECT_EQ(read_file(path), kHeader + kFooter);
  EXPECT_EQ(folder_entries(dir.path()), (std::vector<std::string>{"discovery.xml", "victim"}));
}

TEST(DiscoveryAtomicTest, NewFileGetsPermissionsFromUmask) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  for (mode_t mask : {022, 077, 002}) {
    std::string path = dir.file("perm" + std::to_string(mask) + ".xml");
    mode_t old = umask(mask);
    write_to_xmlfile(path, list.devices);
    umask(old);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << mask;
  }
}

TEST(DiscoveryAtomicTest, LongNamesAreHandledWithoutOverrun) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  two_ports(list);
  // A 300-byte path through nested folders, and the longest leaf name a folder allows.
  std::string deep = dir.path();
  for (int i = 0; i < 4; ++i) {
    deep += "/" + std::string(60, static_cast<char>('a' + i));
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
  }
  std::string long_path = deep + "/" + std::string(255, 'n');
  ASSERT_GT(long_path.size(), 256u);
  write_to_xmlfile(long_path, list.devices);
  EXPECT_EQ(read_file(long_path), fixture("two_ports.xml"));
  modify_and_write_to_xmlfile(long_path, list.devices, 8, "3.60.00", "Q3660A.tar", "3.59.00", {});
  EXPECT_EQ(read_file(long_path), fixture("two_ports_rewritten.xml"));
  EXPECT_EQ(folder_entries(deep), std::vector<std::string>{std::string(255, 'n')});

  // Too long for the file system: refused and logged, nothing written.
  log.clear();
  std::string too_long = dir.file(std::string(300, 'x'));
  modify_and_write_to_xmlfile(too_long, list.devices, 1, "v", "f", "a", {});
  EXPECT_EQ(log.lines().back(),
            "LOG_ERROR : Discovery file " + too_long + " not written: rename failed: File name too long");
  EXPECT_FALSE(vxtest::file_exists(too_long));
}

// The time it takes is measured on the parser itself (xml_parser_test): here the trace log's
// own cost would hide it.
TEST(DiscoveryReadTest, ReadsThousandsOfDevicesBackIntoTheWrittenRecords) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  std::vector<PortValues> values;
  for (int i = 0; i < 2000; ++i) {
    PortValues v = i % 2 ? disctest::fc_port() : disctest::eth_port();
    v.mac_or_wwn = "port-" + std::to_string(i);
    v.bus = std::to_string(i % 256);
    values.push_back(v);
    list.devices.push_back(make_port(v));
  }
  std::string large = dir.file("2000.xml");
  write_to_xmlfile(large, list.devices);

  DeviceList back;
  ASSERT_EQ(read_from_xmlfile(large, back.devices), 0);
  ASSERT_EQ(back.devices.size(), 2000u);
  for (size_t i = 0; i < back.devices.size(); ++i) expect_record(*back.devices[i], values[i]);
  EXPECT_EQ(parse_with_tinyxml2(large).size(), 2000u);
}

}  // namespace

namespace {

// A process id that is certainly not running: a child that has exited and been reaped.
pid_t dead_pid() {
  pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

std::string tmp_name(long pid, const std::string& rest = "-3-0badf00d.tmp") {
  return ".vxins-discovery-" + std::to_string(pid) + rest;
}

// A writer killed half way leaves its temporary; the next write removes it, and only it.
TEST(DiscoveryAtomicTest, StaleTemporariesOfDeadWritersAreSweptAndNothingElse) {
  LogCapture log;
  TempDir dir;
  const long dead = dead_pid();
  const std::string stale = tmp_name(dead);
  enum Kind { kFile, kLink, kFolder };
  struct Entry {
    std::string name;
    Kind kind;
    bool removed;
  };
  const std::vector<Entry> entries = {
      {stale, kFile, true},
      {tmp_name(dead, "-4294967295-ffffffff.tmp"), kFile, true},
      {tmp_name(getpid()), kFile, false},  // this process is writing it
      {tmp_name(1), kFile, false},         // a live process's
      {tmp_name(dead) + "~", kFile, false},
      {tmp_name(dead, "-3-0BADF00D.tmp"), kFile, false},
      {tmp_name(dead, "-3-badf00d.tmp"), kFile, false},
      {tmp_name(dead, "-03-0badf00d.tmp"), kFile, false},
      {tmp_name(dead, "--0badf00d.tmp"), kFile, false},
      {tmp_name(dead, "-4294967296-0badf00d.tmp"), kFile, false},
      {".vxins-discovery-0" + std::to_string(dead) + "-3-0badf00d.tmp", kFile, false},
      {".vxins-discovery-4294967297-3-0badf00d.tmp", kFile, false},
      {"x" + stale, kFile, false},
      {tmp_name(dead, "-5-0badf00d.tmp"), kLink, false},
      {tmp_name(dead, "-6-0badf00d.tmp"), kFolder, false},
      {"discovery.xml", kFile, false},
  };
  const std::string victim = dir.file("victim");
  write_file(victim, "keep me");
  std::vector<std::string> kept = {"victim"};
  for (const Entry& e : entries) {
    const std::string path = dir.file(e.name);
    if (e.kind == kFile) write_file(path, "<?xml");
    if (e.kind == kLink) {
      ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);
    }
    if (e.kind == kFolder) {
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    }
    if (!e.removed) kept.push_back(e.name);
  }
  std::sort(kept.begin(), kept.end());
  log.clear();
  EXPECT_EQ(remove_stale_discovery_temporaries(dir.path()), 2);
  EXPECT_EQ(folder_entries(dir.path()), kept);
  EXPECT_EQ(read_file(victim), "keep me");
  EXPECT_EQ(log.count("LOG_INFO : Removed " + dir.file(stale) + ", left by process " +
                      std::to_string(dead)),
            1u);

  // Every write sweeps its folder, whichever way it then writes.
  write_file(dir.file(stale), "<?xml");
  DeviceList list;
  two_ports(list);
  write_to_xmlfile(dir.file("discovery.xml"), list.devices);
  EXPECT_EQ(folder_entries(dir.path()), kept);
  EXPECT_EQ(read_file(dir.file("discovery.xml")), fixture("two_ports.xml"));
}

// Makes the calls of syscall nr whose argument arg carries any of the flag bits fail with err,
// in this process for the rest of its life.
bool refuse_syscall(int nr, int arg, uint32_t flags, int err) {
#if defined(__i386__)
  const uint32_t arch = AUDIT_ARCH_I386;
#else
  const uint32_t arch = AUDIT_ARCH_X86_64;
#endif
  // The arguments' low words, where a little-endian machine keeps them.
  struct sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<uint32_t>(offsetof(struct seccomp_data, args) + 8 * arg)),
      BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, flags, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<uint32_t>(err)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog prog = {static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

struct RefusalCase {
  const char* what;
  int nr, arg;
  uint32_t flags;
  int err;
};

// Where O_TMPFILE is refused the file is written under a temporary name; where the unnamed file
// cannot be linked (no /proc, no capability) its content is copied to one. Either way the
// target is replaced whole, with fopen's permissions, and nothing else is left.
TEST(DiscoveryAtomicTest, WritesWholeFileWhereAnUnnamedOneCannotBeMadeOrLinked) {
  const RefusalCase cases[] = {
      {"O_TMPFILE refused", __NR_openat, 2, O_TMPFILE & ~O_DIRECTORY, EOPNOTSUPP},
      {"linkat refused", __NR_linkat, 4, AT_EMPTY_PATH | AT_SYMLINK_FOLLOW, EPERM},
  };
  LogCapture log;
  DeviceList list;
  two_ports(list);
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.file("discovery.xml");
    write_file(path, "old");
    write_file(dir.file(tmp_name(dead_pid())), "<?xml");
    pid_t pid = fork();
    if (pid == 0) {
      if (!refuse_syscall(c.nr, c.arg, c.flags, c.err)) _exit(2);
      umask(027);
      write_to_xmlfile(path, list.devices);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(read_file(path), fixture("two_ports.xml"));
    EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"discovery.xml"});
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
  }
}

}  // namespace
