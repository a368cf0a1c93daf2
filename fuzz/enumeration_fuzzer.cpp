// Fuzz target: the adapter enumeration against the in-process fake agent
// (tests/support/fake_agent.h), whose inventory is the fuzz input, a JSON object (anything else
// is ignored): "count", "index", "adapters" {index: {"hba", "adv", "eth", "fc"}} and "ports",
// each answer as the agent gives it; a missing answer is null, {"@throw": ...} is thrown. The
// count defaults to 1. The enumeration must return a documented code and never throw; its
// records must survive the discovery file's writer and reader unchanged (round_trip.h).
#include <cstdint>
#include <memory>
#include <string>

#include <json/json.h>

#include "discovery/discovery_writer.h"
#include "fake_agent.h"
#include "fuzz_support.h"
#include "inventory/enumeration.h"
#include "round_trip.h"

namespace {

std::string g_discovery;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vxfuzz::init();
  g_discovery = vxfuzz::scratch("discovery.xml");
  fake::install();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  builder["stackLimit"] = 64;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value answers;
  std::string errors;
  const char* text = reinterpret_cast<const char*>(data);
  try {
    if (!reader->parse(text, text + size, &answers, &errors) || !answers.isObject()) return 0;
  } catch (const std::exception&) {  // the parser's own nesting limit
    return 0;
  }
  if (answers["count"].isNull()) answers["count"] = 1;
  fake::reset();
  fake::g_fake = answers;

  vxins::inventory::DeviceList records;
  int rc = 0;
  try {
    rc = vxins::inventory::enumerate_devices("3.1.0.0", "qrvl_boot_3100.tar", records);
  } catch (...) {
    vxfuzz::fail("an exception left enumerate_devices");
  }
  if (rc != 0 && rc != 4 && rc != 1001) vxfuzz::fail("undocumented code " + std::to_string(rc));
  if (rc == 4 && !records.empty()) vxfuzz::fail("no adapters, yet records");

  for (const auto& dev : records) {
    if (dev == nullptr) vxfuzz::fail("the enumeration appended a null record");
    dev->log_fields();
  }
  if (rc == 0) {
    if (!vxins::discovery::write_discovery_file(g_discovery, records))
      vxfuzz::fail("the discovery file was not written");
    vxfuzz::check_discovery_file(g_discovery, records, nullptr);
  }
  fake::reset();
  return 0;
}
