// The enumeration's trace, adapter by adapter: "Flashed_bios_info for the adapter INDEX is ..."
// names the adapter whose records follow, one "Unknown Dev attrib" line per record; an adapter
// the agent gave no answer for makes none. The counts the enumeration logs must agree.
#include "adapter_groups.h"

#include <sys/stat.h>

#include <cstdlib>
#include <set>

#include "device_labels.h"
#include "history.h"
#include "trace_texts.h"
#include "vxins_trace.h"

namespace vxhost {

namespace {

namespace t = vxins::trace;

// Runs looked at, newest first, for the one that wrote a file's identifiers.
const int kRunsSearched = 50;

struct Enumerated {
  std::string index;
  size_t records = 0;
};

// The number at the start of `text`; false when there is none.
bool number_at(const std::string& text, long& out) {
  char* end = nullptr;
  out = strtol(text.c_str(), &end, 10);
  return end != text.c_str();
}

// Each adapter the call's enumeration made records of, in order. False with the reason.
bool enumerated_adapters(const std::vector<TimedLine>& trace, std::vector<Enumerated>& out,
                         std::string& why) {
  const std::string count = format_piece(t::kAdapterCount, 0),
                    named = format_piece(t::kFlashedVersion, 0),
                    named_body = format_piece(t::kFlashedVersion, 1),
                    begins = format_piece(t::kAdapterAnswered, 0),
                    record = t::kRecordWithoutTypeField,
                    eth_made = format_piece(t::kEthernetRecordsMade, 0),
                    total = format_piece(t::kDeviceCount, 0);
  // Lines after which the adapter being read makes no record.
  const char* const no_records[] = {t::kAdapterInfoFailed, t::kAdapterNull, t::kNoPorts,
                                    t::kAdvancedInfoFailed};
  const char* const failed[] = {t::kEnumerationFailed, t::kEnumerationExit};
  bool started = false, open = false;
  size_t made = 0;
  for (const TimedLine& line : trace) {
    std::string m;
    if (!trace_message(line.text, m)) continue;
    if (starts_with(m, count)) {
      if (started) return why = "the trace holds two enumerations", false;
      started = true;
      continue;
    }
    if (!started) continue;
    long n = 0;
    if (starts_with(m, named) && m.find(named_body, named.size()) != std::string::npos) {
      out.push_back({m.substr(named.size(), m.find(named_body, named.size()) - named.size()), 0});
      open = true;
    } else if (starts_with(m, begins)) {
      open = false;
    } else if (m == record) {
      if (!open) return why = "the trace holds a device record of no adapter", false;
      ++out.back().records;
      ++made;
    } else if ((starts_with(m, eth_made) || starts_with(m, total)) &&
               (!number_at(m.substr(m.find(" is ") + 4), n) || n != static_cast<long>(made))) {
      return why = "the enumeration's count of records does not match its lines", false;
    } else {
      for (const char* format : no_records)
        if (starts_with(m, format_piece(format, 0))) open = false;
      for (const char* format : failed)
        if (starts_with(m, format_piece(format, 0)))
          return why = "the enumeration failed", false;
    }
  }
  if (!started) return why = "the trace holds no enumeration", false;
  return true;
}

std::set<std::string> identifiers_of(const std::vector<FileDevice>& devices) {
  std::set<std::string> ids;
  for (const FileDevice& d : devices) ids.insert(d.mac_or_wwn);
  return ids;
}

}  // namespace

bool indexes_from_trace(const std::vector<TimedLine>& trace, const std::vector<FileDevice>& written,
                        AgentIndexes& indexes, std::string& why) {
  std::vector<Enumerated> adapters;
  if (!enumerated_adapters(trace, adapters, why)) return false;
  size_t records = 0;
  for (const Enumerated& a : adapters) records += a.records;
  if (records != written.size()) {
    why = "the enumeration made " + std::to_string(records) + " device record(s), the file " +
          "it wrote holds " + std::to_string(written.size());
    return false;
  }
  indexes.clear();
  std::set<std::string> on_two;
  size_t at = 0;
  for (const Enumerated& a : adapters) {
    for (size_t k = 0; k < a.records; ++k, ++at) {
      const std::string& id = written[at].mac_or_wwn;
      auto placed = indexes.emplace(id, a.index);
      if (!placed.second && placed.first->second != a.index) on_two.insert(id);
    }
  }
  // The plug-in matches such an identifier to no adapter; neither does the grouping.
  for (const std::string& id : on_two) indexes.erase(id);
  return true;
}

bool indexes_from_history(const std::string& db_path, const std::vector<FileDevice>& devices,
                          AgentIndexes& indexes, std::string& why) {
  struct stat st;
  if (stat(db_path.c_str(), &st) != 0) {
    why = "no history database at " + db_path;
    return false;
  }
  History db;
  std::vector<RunRecord> runs;
  if (!db.open(db_path, why) || !db.list(kRunsSearched, runs, why)) return false;
  const std::set<std::string> wanted = identifiers_of(devices);
  for (const RunRecord& run : runs) {
    AgentIndexes found;
    bool usable = run.adapters.isArray() && !run.adapters.empty();
    for (const Json::Value& a : run.adapters) {
      usable = usable && a.isObject() && a["grouping"] == "agent" && a["agent_index"].isString() &&
               !a["agent_index"].asString().empty() && a["identifiers"].isArray();
      if (!usable) break;
      for (const Json::Value& id : a["identifiers"])
        if (id.isString()) found.emplace(id.asString(), a["agent_index"].asString());
    }
    std::set<std::string> ids;
    for (const auto& entry : found) ids.insert(entry.first);
    if (usable && ids == wanted) {
      indexes = found;
      return true;
    }
  }
  why = "no run recorded in " + db_path + " wrote a file of these devices";
  return false;
}

AdapterGroups group_adapters(const std::vector<FileDevice>& devices, const AgentIndexes& indexes,
                             const std::string& unknown_why) {
  AdapterGroups g;
  g.by_agent = true;
  for (const FileDevice& d : devices) {
    if (indexes.count(d.mac_or_wwn) != 0) continue;
    g.by_agent = false;
    g.unknown_why = !unknown_why.empty() ? unknown_why
                    : d.mac_or_wwn.empty()
                        ? "device " + std::to_string(d.position + 1) + " has no MAC address or WWN"
                        : "the adapter of " + d.mac_or_wwn + " is not known";
    break;
  }
  std::vector<std::string> keys;
  std::map<std::string, int> label_uses;
  for (size_t i = 0; i < devices.size(); ++i) {
    const FileDevice& d = devices[i];
    const std::string address = adapter_label(adapter_key(d));
    const std::string key = g.by_agent ? "agent " + indexes.at(d.mac_or_wwn) : address;
    size_t at = 0;
    while (at < keys.size() && keys[at] != key) ++at;
    if (at == keys.size()) {
      keys.push_back(key);
      const int uses = ++label_uses[address];
      g.groups.push_back({uses == 1 ? address : address + "#" + std::to_string(uses),
                          g.by_agent ? indexes.at(d.mac_or_wwn) : std::string(), {}});
    }
    g.groups[at].devices.push_back(i);
    g.group_of.push_back(at);
  }
  return g;
}

AdapterGroups recorded_groups(const std::string& db_path, const std::vector<FileDevice>& devices) {
  AgentIndexes indexes;
  std::string why;
  if (!indexes_from_history(db_path, devices, indexes, why)) indexes.clear();
  return group_adapters(devices, indexes, why);
}

}  // namespace vxhost
