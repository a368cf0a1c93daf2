// The line reader: lines as they stand in the text, the device elements counted and collected
// with their quirks, and the cost of finding them all.
#include "discovery/xml_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace {

using vxins::discovery::ElementLines;
using vxins::discovery::XmlLines;

std::string join_lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// The device-element lookup exactly as the line-by-line definition states it: scan from the
// first line for every position asked for.
void reference_device_lines(const std::vector<std::string>& lines, unsigned int pos,
                            std::vector<std::string>& dev, std::vector<std::string>& fw) {
  size_t first = 0;
  unsigned int seen = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find("<device>") == std::string::npos) continue;
    if (++seen == pos) {
      first = i;
      break;
    }
  }
  bool dev_started = false, fw_started = false, fw_ended = false;
  for (size_t i = first; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (l.find("</device>") != std::string::npos) break;
    if (l.find("<device>") != std::string::npos) {
      if (dev_started) break;
      dev_started = true;
    } else if (l.find("<fw_item>") != std::string::npos) {
      fw_started = true;
    } else if (l.find("</fw_item>") != std::string::npos) {
      fw_ended = true;
    } else if (dev_started) {
      (fw_started && !fw_ended ? fw : dev).push_back(l);
    }
  }
}

// A discovery-shaped text with n device elements, each leaf value naming its device.
std::vector<std::string> discovery_lines(int n) {
  std::vector<std::string> lines = {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                                    "<vx_rom_discovery version=\"2.0.0.0\">",
                                    "\t<type value=\" \"/>", "\t<devices>"};
  for (int i = 0; i < n; ++i) {
    std::string id = std::to_string(i);
    lines.push_back("\t\t<device>");
    for (const char* leaf : {"device_id", "devid", "venid", "macaddress", "busnumber"})
      lines.push_back(std::string("\t\t\t<") + leaf + " value=\"" + id + "\"/>");
    lines.push_back("\t\t\t<fw_item>");
    for (const char* leaf : {"type", "firmware_id", "version", "action", "duration"})
      lines.push_back(std::string("\t\t\t\t<") + leaf + " value=\"" + id + "\"/>");
    lines.push_back("\t\t\t</fw_item>");
    lines.push_back("\t\t</device>");
  }
  lines.push_back("\t</devices>");
  lines.push_back("</vx_rom_discovery>");
  return lines;
}

// Takes `lines` as one text.
void read_lines(const std::vector<std::string>& lines, XmlLines& xml) {
  xml.parse(join_lines(lines));
}

TEST(XmlReaderTest, ReadsLinesKeepingCarriageReturnsAndLastLine) {
  const struct {
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"one\r\n\ttwo\n\nlast", {"one\r", "\ttwo", "", "last"}},
      {"one\n", {"one"}},
      {"\n", {""}},
      {"", {}},
  };
  for (const auto& c : cases) {
    XmlLines xml;
    xml.parse(c.text);
    EXPECT_EQ(xml.lines(), c.lines) << c.text;
  }
}

TEST(XmlReaderTest, CountsDeviceTagsWithTheirQuirks) {
  struct CountCase {
    const char* name;
    std::vector<std::string> lines;
    unsigned int expected;
  };
  const std::vector<CountCase> cases = {
      {"writer layout", discovery_lines(3), 3},
      {"first line is <device>", {"<device>", "<a/>", "</device>", "<device>", "</device>"}, 1},
      {"both tags on one line", {"x", "<device></device>", "y"}, 0},
      {"devices is not device", {"<devices>", "</devices>"}, 0},
      {"case matters", {"x", "<Device>", "</Device>"}, 0},
      {"back to back starts", {"x", "<device>", "<device>", "</device>"}, 1},
      {"one-line element then a real one",
       {"x", "<device><a/></device>", "<device>", "</device>"}, 1},
      {"empty file", {}, 0},
  };
  for (const CountCase& c : cases) {
    XmlLines xml;
    read_lines(c.lines, xml);
    EXPECT_EQ(xml.count_devices(), c.expected) << c.name;
  }
}

TEST(XmlReaderTest, CollectsTheLinesOfOneDeviceElement) {
  XmlLines xml;
  read_lines({"<devices>", "\t<device>", "\t\t<a value=\"1\"/>", "\t\t<fw_item>",
              "\t\t\t<b value=\"2\"/>", "\t\t</fw_item>", "\t\t<c value=\"3\"/>", "\t</device>",
              "\t<device>", "\t\t<d value=\"4\"/>", "\t</device>", "</devices>"},
             xml);
  const std::vector<std::string> first_device = {"\t\t<a value=\"1\"/>", "\t\t<c value=\"3\"/>"};
  // Positions 0 and past the last element read from the first line.
  for (unsigned int pos : {0u, 1u, 3u, 1000u}) {
    ElementLines lines;
    xml.device_lines(pos, lines);
    EXPECT_EQ(lines.device, first_device) << pos;
    EXPECT_EQ(lines.firmware, std::vector<std::string>{"\t\t\t<b value=\"2\"/>"}) << pos;
  }
  ElementLines second;
  xml.device_lines(2, second);
  EXPECT_EQ(second.device, std::vector<std::string>{"\t\t<d value=\"4\"/>"});
  EXPECT_TRUE(second.firmware.empty());
}

TEST(XmlReaderTest, DeviceLookupMatchesTheLineByLineDefinitionOnOddTexts) {
  const std::vector<std::string> vocabulary = {
      "<device>", "</device>", "<fw_item>", "</fw_item>", "\t<a value=\"1\"/>", "<devices>",
      "<device></device>", "junk", "<device><fw_item>", ""};
  std::mt19937 rng(20240611);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> lines;
    size_t n = rng() % 40;
    for (size_t i = 0; i < n; ++i)
      lines.push_back(vocabulary[rng() % vocabulary.size()] + std::to_string(i));
    XmlLines xml;
    read_lines(lines, xml);
    for (unsigned int k = 0; k <= n + 1; ++k) {
      ElementLines got;
      std::vector<std::string> want_dev, want_fw;
      xml.device_lines(k, got);
      reference_device_lines(lines, k, want_dev, want_fw);
      ASSERT_EQ(got.device, want_dev) << "round " << round << " position " << k;
      ASSERT_EQ(got.firmware, want_fw) << "round " << round << " position " << k;
    }
  }
}

// Takes a text of n device elements and fetches every element, once.
void read_all(const std::string& text, unsigned int n) {
  XmlLines xml;
  xml.parse(text);
  const unsigned int count = xml.count_devices();
  EXPECT_EQ(count, n);
  size_t lines = 0;
  for (unsigned int k = 1; k <= count; ++k) {
    ElementLines element;
    xml.device_lines(k, element);
    lines += element.device.size() + element.firmware.size();
  }
  EXPECT_EQ(lines, static_cast<size_t>(n) * 10);
}

// Seconds per read_all: repeated until a tenth of a second has passed, so that short runs are
// not lost in the noise of a shared machine; the best of three such measurements.
double seconds_to_read_all(const std::string& text, unsigned int n) {
  typedef std::chrono::steady_clock clock;
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    int cycles = 0;
    clock::time_point t0 = clock::now();
    double elapsed = 0;
    do {
      read_all(text, n);
      ++cycles;
      elapsed = std::chrono::duration<double>(clock::now() - t0).count();
    } while (elapsed < 0.1);
    best = std::min(best, elapsed / cycles);
  }
  return best;
}

// Finding each device element rescanned from the first line: reading all of them was quadratic.
TEST(XmlReaderTest, FindingEveryDeviceGrowsLinearly) {
  const std::string small = join_lines(discovery_lines(250));
  const std::string large = join_lines(discovery_lines(4000));
  double t_small = seconds_to_read_all(small, 250);
  double t_large = seconds_to_read_all(large, 4000);
  // Sixteen times the devices: about 16 when linear, about 256 when quadratic; the wide gap
  // keeps the verdict stable on a loaded machine and under sanitizers.
  EXPECT_LT(t_large / t_small, 64.0) << t_small << " s vs " << t_large << " s";
}

}  // namespace
