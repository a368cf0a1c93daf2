// Reading the discovery file back into records: every written value, unknown tags, action words,
// hand-edited and damaged files, the leaves it refuses to guess at, and thousands of devices.
#include "discovery/discovery_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "discovery/discovery_writer.h"
#include "discovery_test_util.h"

namespace {

using disctest::DeviceList;
using disctest::DeviceRecord;
using disctest::expected_leaves;
using disctest::kFooter;
using disctest::kHeader;
using disctest::make_port;
using disctest::parse_with_tinyxml2;
using disctest::PortValues;
using disctest::XmlDevice;
using vxins::discovery::read_discovery_file;
using vxins::discovery::read_discovery_text;
using vxins::discovery::ReadReport;
using vxins::discovery::Refusal;
using vxins::log::Trace;
using vxins::discovery::write_discovery_file;
using vxins::inventory::DeviceInfo;
using vxtest::LogCapture;
using vxtest::read_file;
using vxtest::TempDir;
using vxtest::write_file;

void expect_record(const DeviceRecord& rec, const PortValues& v) {
  const DeviceInfo& i = rec.info();
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
  EXPECT_EQ(i.fw_dev.action, v.action);
  EXPECT_EQ(i.fw_dev.action_st, "");
  EXPECT_EQ(i.fw_dev.duration, "60");
  EXPECT_EQ(i.fw_dev.msg, "VX Reserved");
  EXPECT_EQ(i.fw_dev.shared_val, "no");
}

// A quote inside a value used to end it early on reading, and markup in it broke the file.
TEST(DiscoveryReaderTest, RoundTripGivesBackEveryValueAndLogsUnknownTags) {
  LogCapture log;
  TempDir dir;
  PortValues odd = disctest::eth_port();
  odd.product = "A&B <x> \"q\" 'a' &amp; &#38;";
  odd.mac_or_wwn = "tab\there";
  odd.fw_file = "line1\nline2\r\nend";
  odd.fw_id = "\"\"\"";
  odd.active_version = "<>";
  DeviceList list;
  list.push_back(make_port(odd, "0"));
  list.push_back(make_port(disctest::fc_port(), "1"));
  const std::string path = dir.file("discovery.xml");
  ASSERT_TRUE(write_discovery_file(path, list));

  std::vector<XmlDevice> devs = parse_with_tinyxml2(path);
  ASSERT_EQ(devs.size(), 2u);
  EXPECT_TRUE(devs[0] == expected_leaves(odd));
  EXPECT_TRUE(devs[1] == expected_leaves(disctest::fc_port()));

  log.clear();
  DeviceList back;
  ASSERT_EQ(read_discovery_file(path, back), 0);
  ASSERT_EQ(back.size(), 2u);
  expect_record(*back[0], odd);
  expect_record(*back[1], disctest::fc_port());
  EXPECT_TRUE(back[0]->values().empty());
  EXPECT_EQ(back[0]->adapter_index(), "");
  EXPECT_EQ(back[0]->action_code(), FW_STATUS_UPGRADE);
  EXPECT_EQ(back[1]->action_code(), FW_STATUS_REWRITE);
  EXPECT_EQ(log.count("LOG_ERROR : ERROR:DEV Unknown Tag"), 2u);
  EXPECT_EQ(log.count("LOG_ERROR : FW ERROR:Unknown Tag"), 2u);
  EXPECT_EQ(log.count("LOG_DEBUG : --> DisplayDeviceAttribs()"), 2u);
  // Four positions logged per leaf: 12 device leaves and 10 firmware leaves per device.
  EXPECT_EQ(log.count("LOG_INFO : first XML_TAG_START_STR found at:3"), 2u * 12);
  EXPECT_EQ(log.count("LOG_INFO : first XML_TAG_START_STR found at:4"), 2u * 10);
}

TEST(DiscoveryReaderTest, AppendsToTheListAndHandlesUnreadableFiles) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  disctest::two_ports(list);
  const std::string path = dir.file("discovery.xml");
  ASSERT_TRUE(write_discovery_file(path, list));

  DeviceList back;
  back.push_back(nullptr);
  ASSERT_EQ(read_discovery_file(path, back), 0);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0], nullptr);

  // No regular file under the name: no device, and a FIFO (which used to block the reader
  // until a writer showed up) is never waited on.
  const std::string fifo = dir.file("fifo.xml");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  DeviceList none;
  for (const std::string& unreadable : {dir.file("missing.xml"), dir.path(), fifo}) {
    log.clear();
    EXPECT_EQ(read_discovery_file(unreadable, none), 0) << unreadable;
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"LOG_ERROR : XML file open failed",
                                                     "LOG_ERROR : <--read_XML_file()"}));
  }
  log.clear();
  EXPECT_EQ(read_discovery_file("", none), 1001);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"LOG_ERROR : get_number_of_tags failed",
                                                   "<-- read_xmlfile()."}));
}

TEST(DiscoveryReaderTest, ActionWordsSetCodeAndSkipFlag) {
  struct ActionCase {
    const char* word;
    fw_action_status_t code;
    bool skip;
  };
  // Any letter case, blanks around the word ignored; no word at all leaves the code a record
  // starts with, which is not a skip.
  const std::vector<ActionCase> cases = {
      {"Upgrade", FW_STATUS_UPGRADE, false},     {"upgrade", FW_STATUS_UPGRADE, false},
      {"Downgrade", FW_STATUS_DOWNGRADE, false}, {"downgrade", FW_STATUS_DOWNGRADE, false},
      {"Rewrite", FW_STATUS_REWRITE, false},     {"rewrite", FW_STATUS_REWRITE, false},
      {"FW mismatch", FW_STATUS_MISMATCH, false}, {"fw mismatch", FW_STATUS_MISMATCH, false},
      {"Skip", FW_STATUS_SKIP, true},            {"skip", FW_STATUS_SKIP, true},
      {"SKIP", FW_STATUS_SKIP, true},            {"UPGRADE", FW_STATUS_UPGRADE, false},
      {"Skip ", FW_STATUS_SKIP, true},           {"\tfW MisMatch  ", FW_STATUS_MISMATCH, false},
      {"", FW_STATUS_SKIP, false},               {"  ", FW_STATUS_SKIP, false},
  };
  LogCapture log;
  TempDir dir;
  std::string text = kHeader;
  for (const ActionCase& c : cases) {
    text += "\n\t\t<device>\n\t\t\t<fw_item>\n\t\t\t\t<action value=\"" +
            std::string(c.word) + "\"/>\n\t\t\t</fw_item>\n\t\t</device>";
  }
  const std::string path = dir.file("actions.xml");
  write_file(path, text + kFooter);
  DeviceList back;
  ASSERT_EQ(read_discovery_file(path, back), 0);
  ASSERT_EQ(back.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(back[i]->action_code(), cases[i].code) << cases[i].word;
    EXPECT_EQ(back[i]->skipped(), cases[i].skip) << cases[i].word;
    EXPECT_EQ(back[i]->info().fw_dev.action, cases[i].word);
  }
}

TEST(DiscoveryReaderTest, ReadsHandEditedFileWithoutFailing) {
  LogCapture log;
  DeviceList back;
  ASSERT_EQ(
      read_discovery_file(std::string(VXINS_FIXTURES_DIR) + "/discovery/hand_edited.xml", back),
      0);
  ASSERT_EQ(back.size(), 2u);  // the third is commented out
  const DeviceInfo& a = back[0]->info();
  EXPECT_EQ(a.mac_or_wwn, "00:0E:1E:0A:0B:0C");
  EXPECT_EQ(a.bus_num, "6");  // single quotes
  EXPECT_EQ(a.dev_num, "");   // empty value, element with its end tag
  EXPECT_EQ(a.fn_num, "2");   // after </fw_item>: still a device leaf
  EXPECT_EQ(a.dev_type, "Eth");  // tab before the attribute, blanks around "=" and before "/>"
  EXPECT_EQ(a.slot_num, "");  // no slotnumber leaf in this element
  EXPECT_EQ(a.fw_dev.fw_version, "3.64.02");
  EXPECT_EQ(a.fw_dev.fw_file, "Q3664A.tar");  // a comment after it on the line
  EXPECT_EQ(a.fw_dev.action, "skip");         // a character reference
  EXPECT_TRUE(back[0]->skipped());
  const DeviceInfo& b = back[1]->info();
  EXPECT_EQ(b.mac_or_wwn, "21:00:00:0e:1e:0a:0b:0d");
  EXPECT_EQ(b.fw_dev.active_version, "3.63.10");  // CRLF line ends
  EXPECT_EQ(b.fw_dev.action, "Rewrite");
  EXPECT_FALSE(back[1]->skipped());
  // Device lines without a leaf the reader fills: nictype, "junk", the empty line.
  EXPECT_EQ(log.count("LOG_ERROR : ERROR:DEV Unknown Tag"), 3u);
  // Firmware lines: type, the misspelt "Version".
  EXPECT_EQ(log.count("LOG_ERROR : FW ERROR:Unknown Tag"), 2u);
}

// A leaf the reader fills that it cannot read for sure makes it refuse the whole file: read
// any other way, a "Skip" written like this was lost and the adapter flashed.
TEST(DiscoveryReaderTest, RefusesLeavesItCannotReadForSure) {
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
      {mac, "\n<action value=\"Skpi\"/>",
       "line 11 (device 1): the action \"Skpi\" is none of Upgrade, Downgrade, Rewrite, "
       "FW mismatch or Skip"},
      {mac, "\n<action value=\"FW  mismatch\"/>", "the action \"FW  mismatch\" is none of"},
      {mac + "\n\t\t\t<fw_item><action value=\"Skip\"/>", "",
       "the action leaf shares its line with a device or fw_item tag"},
  };
  LogCapture log;
  TempDir dir;
  const std::string path = dir.file("refused.xml");
  for (const Refused& c : cases) {
    std::string text = kHeader + "\n\t\t<device>" + c.device_lines + "\n\t\t\t<fw_item>" +
                       c.fw_lines + "\n\t\t\t</fw_item>\n\t\t</device>" + kFooter;
    write_file(path, text);
    DeviceList back;
    ReadReport report;
    EXPECT_EQ(read_discovery_file(path, back, Trace::kLogged, &report), 1001) << c.why;
    const Refusal& r = report.refusal;
    std::string why = "line " + std::to_string(r.line) +
                      (r.device != 0 ? " (device " + std::to_string(r.device) + ")" : "") +
                      ": " + r.why;
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
    const bool named = r.device != 0 && !c.device_lines.empty();
    EXPECT_EQ(r.device_id, named ? "00:0e:1e:00:00:01" : "") << why;
    EXPECT_NE(log.text().find("LOG_ERROR : Discovery file " + path + " line "), std::string::npos);
    EXPECT_EQ(read_file(path), text);
  }
}

// vxins-host reads what the plug-in will read, from the bytes it holds, while the machine's
// trace log may be another call's: quietly, nothing is logged, and the report says where each
// device's action value stands in the bytes (comments before it on its line or lines before it
// taken into account), why a file is refused, and where an action word naming no action stands.
TEST(DiscoveryReaderTest, QuietReadingOfATextLogsNothingAndReportsWhatItSaw) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  disctest::two_ports(list);
  const std::string path = dir.file("discovery.xml");
  ASSERT_TRUE(write_discovery_file(path, list));
  const std::string text = read_file(path);
  std::vector<size_t> action_lines;
  const std::vector<std::string> lines = vxtest::split_lines(text);
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].find("<action value=") != std::string::npos) action_lines.push_back(i + 1);
  ASSERT_EQ(action_lines.size(), 2u);

  DeviceList logged, quiet;
  ASSERT_EQ(read_discovery_file(path, logged), 0);
  EXPECT_NE(log.take(), "");
  ReadReport report;
  ASSERT_EQ(read_discovery_text("ignored", text, quiet, Trace::kQuiet, &report), 0);
  ASSERT_EQ(read_discovery_file(path, quiet, Trace::kQuiet), 0);
  EXPECT_EQ(log.text(), "");
  ASSERT_EQ(quiet.size(), 2 * logged.size());
  for (size_t i = 0; i < quiet.size(); ++i) {
    const DeviceRecord& want = *logged[i % logged.size()];
    EXPECT_EQ(quiet[i]->mac_or_wwn(), want.mac_or_wwn());
    EXPECT_EQ(quiet[i]->info().fw_dev.action, want.info().fw_dev.action);
  }
  ASSERT_EQ(report.action_values.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const vxins::discovery::ValueSpan& v = report.action_values[i];
    EXPECT_TRUE(v.found);
    const size_t leaf = text.find("<action value=\"", i == 0 ? 0 : report.action_values[0].offset);
    EXPECT_EQ(v.offset, leaf + 15);
    EXPECT_EQ(text.substr(v.offset, v.length), quiet[i]->info().fw_dev.action);
  }
  EXPECT_EQ(report.takes_effect, "deferred");
  EXPECT_TRUE(report.refusal.why.empty());

  // Comments: one over lines before the leaf, one before it on its line, one in its value.
  std::string commented = text;
  const size_t leaf = commented.find("<action value=\"");
  commented.replace(leaf + 16, 0, "<!--x-->");
  commented.replace(leaf, 0, "<!-- before -->");
  commented.replace(commented.rfind("\n", leaf), 0, "<!-- over\nlines -->");
  DeviceList again;
  ReadReport with_comments;
  ASSERT_EQ(read_discovery_text("", commented, again, Trace::kQuiet, &with_comments), 0);
  const vxins::discovery::ValueSpan& first = with_comments.action_values[0];
  std::string in_value = quiet[0]->info().fw_dev.action;
  in_value.insert(1, "<!--x-->");
  EXPECT_EQ(commented.substr(first.offset, first.length), in_value);
  const vxins::discovery::ValueSpan& second = with_comments.action_values[1];
  EXPECT_EQ(commented.substr(second.offset, second.length), quiet[1]->info().fw_dev.action);

  // An action word naming no action: refused, with where it stands.
  std::string typo = text;
  typo.replace(text.find("<action value=\"") + 15, quiet[0]->info().fw_dev.action.size(), "Skpi");
  ReadReport unknown;
  EXPECT_EQ(read_discovery_text("", typo, again, Trace::kQuiet, &unknown), 1001);
  ASSERT_TRUE(unknown.refusal.unknown_action.found);
  EXPECT_EQ(typo.substr(unknown.refusal.unknown_action.offset,
                        unknown.refusal.unknown_action.length),
            "Skpi");

  // Refused: where and why, and still nothing logged.
  std::string broken = text;
  broken.replace(broken.find("<action value=\"") + 15, 0, "\n");
  DeviceList none;
  ReadReport refused;
  EXPECT_EQ(read_discovery_text(path, broken, none, Trace::kQuiet, &refused), 1001);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(refused.refusal.line, action_lines[0]);
  EXPECT_EQ(refused.refusal.device, 1u);
  EXPECT_EQ(refused.refusal.device_id, list[0]->mac_or_wwn());
  EXPECT_EQ(refused.refusal.why,
            "the action leaf cannot be read: the value of value does not end on its line");
  EXPECT_FALSE(refused.refusal.unknown_action.found);
  EXPECT_EQ(log.text(), "");
}

TEST(DiscoveryReaderTest, FirstLineDeviceLosesTheLastElement) {
  LogCapture log;
  TempDir dir;
  const std::string path = dir.file("bare.xml");
  write_file(path,
             "<device>\n<macaddress value=\"A\"/>\n</device>\n<device>\n"
             "<macaddress value=\"B\"/>\n</device>\n");
  DeviceList back;
  ASSERT_EQ(read_discovery_file(path, back), 0);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0]->mac_or_wwn(), "A");
}

// One device element of a hand-damaged file: a MAC address and an action, with or without its
// "</device>" line.
std::string damaged_device(const std::string& mac, const std::string& action, bool closed) {
  return "\n\t\t<device>\n\t\t\t<macaddress value=\"" + mac +
         "\"/>\n\t\t\t<fw_item>\n\t\t\t\t<action value=\"" + action +
         "\"/>\n\t\t\t\t<version value=\"3.1.0.0\"/>\n\t\t\t</fw_item>" +
         (closed ? "\n\t\t</device>" : "");
}

// A device element without its "</device>" line used to run on through every later element: it
// took the last device's values (its MAC address, a later "Skip"), and a damaged file of a few
// hundred devices kept the host's thread busy for minutes and wrote a trace log of hundreds of
// megabytes, as every later line was read again for each device.
TEST(DiscoveryReaderTest, ElementWithoutClosingLineEndsAtTheNextDevice) {
  LogCapture log;
  TempDir dir;
  const std::string path = dir.file("damaged.xml");
  write_file(path, kHeader + damaged_device("A", "Upgrade", false) +
                       damaged_device("B", "Skip", true) + damaged_device("C", "Rewrite", true) +
                       kFooter);
  DeviceList back;
  ASSERT_EQ(read_discovery_file(path, back), 0);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0]->mac_or_wwn(), "A");
  EXPECT_EQ(back[0]->info().fw_dev.action, "Upgrade");
  EXPECT_FALSE(back[0]->skipped());
  EXPECT_EQ(back[1]->mac_or_wwn(), "B");
  EXPECT_TRUE(back[1]->skipped());
  EXPECT_EQ(back[2]->mac_or_wwn(), "C");

  // Every leaf line of a file where no element is closed is split once, whatever its size.
  std::string text = kHeader;
  const int n = 300;
  for (int i = 0; i < n; ++i) text += damaged_device("M" + std::to_string(i), "Upgrade", false);
  write_file(path, text + kFooter);
  DeviceList many;
  log.clear();
  ASSERT_EQ(read_discovery_file(path, many), 0);
  ASSERT_EQ(many.size(), static_cast<size_t>(n));
  EXPECT_EQ(many[n - 1]->mac_or_wwn(), "M" + std::to_string(n - 1));
  EXPECT_EQ(many[0]->mac_or_wwn(), "M0");
  size_t splits = 0;
  for (const std::string& line : log.lines())
    splits += line.rfind("LOG_INFO : first XML_TAG_START_STR found at:", 0) == 0;
  // Three leaves per device, and the closing lines of the document that the last, unclosed
  // element runs into.
  EXPECT_EQ(splits, static_cast<size_t>(n) * 3 + 2);
}

// The time it takes is measured on the line reader itself (xml_reader_test): here the trace
// log's own cost would hide it.
TEST(DiscoveryReaderTest, ReadsThousandsOfDevicesBackIntoTheWrittenRecords) {
  LogCapture log;
  TempDir dir;
  DeviceList list;
  std::vector<PortValues> values;
  for (int i = 0; i < 2000; ++i) {
    PortValues v = i % 2 ? disctest::fc_port() : disctest::eth_port();
    v.mac_or_wwn = "port-" + std::to_string(i);
    v.bus = std::to_string(i % 256);
    values.push_back(v);
    list.push_back(make_port(v));
  }
  const std::string large = dir.file("2000.xml");
  ASSERT_TRUE(write_discovery_file(large, list));

  DeviceList back;
  ASSERT_EQ(read_discovery_file(large, back), 0);
  ASSERT_EQ(back.size(), 2000u);
  for (size_t i = 0; i < back.size(); ++i) expect_record(*back[i], values[i]);
  EXPECT_EQ(parse_with_tinyxml2(large).size(), 2000u);
}

}  // namespace
