// The enumeration's trace, adapter by adapter: "Flashed_bios_info for the adapter INDEX is
// VERSION" names the adapter whose records follow and the version it reported, one
// kUnknownAttribute line per record; an adapter the agent gave no answer for makes none. The
// counts the enumeration logs must agree, and the device count ends it (a discovery's).
#include "adapter_groups.h"

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
  std::string index, version;
  size_t records = 0;
};

struct EnumerationTexts {
  const std::string count = format_piece(t::kAdapterCount, 0);
  const std::string named = format_piece(t::kFlashedVersion, 0);
  const std::string named_body = format_piece(t::kFlashedVersion, 1);
  const std::string no_version_tail = format_piece(t::kNoFlashedVersion, 1);
  const std::string begins = format_piece(t::kAdapterAnswered, 0);
  const std::string record = t::kUnknownAttribute;
  const std::string eth_made = format_piece(t::kEthernetRecordsMade, 0);
  const std::string total = format_piece(t::kDeviceCount, 0);
  // Lines after which the adapter being read makes no record, and the enumeration's failures.
  const std::vector<std::string> no_records = {
      format_piece(t::kAdapterInfoFailed, 0), format_piece(t::kAdapterNull, 0),
      format_piece(t::kNoPorts, 0), format_piece(t::kAdvancedInfoFailed, 0)};
  const std::vector<std::string> failed = {format_piece(t::kEnumerationFailed, 0),
                                           format_piece(t::kEnumerationExit, 0)};
  // The first letters of all of the above: a flash's update pass writes some 100,000 lines
  // after its enumeration, and a line beginning with none of them is none of them.
  std::string first_letters() const {
    std::string letters;
    for (const std::string* head : {&count, &named, &begins, &record, &eth_made, &total})
      letters += head->substr(0, 1);
    for (const auto* heads : {&no_records, &failed})
      for (const std::string& head : *heads) letters += head.substr(0, 1);
    return letters;
  }
  const std::string letters = first_letters();
};

const EnumerationTexts& texts() {
  static const EnumerationTexts enumeration_texts;
  return enumeration_texts;
}

// The number at the start of `text`; false when there is none.
bool number_at(const std::string& text, long& out) {
  char* end = nullptr;
  out = strtol(text.c_str(), &end, 10);
  return end != text.c_str();
}

// The version the plug-in compares and writes as active: cut before a build suffix, " " for none.
std::string written_version(const std::string& reported) {
  if (reported.empty()) return " ";
  return reported.substr(0, reported.size() - build_suffix(reported).size());
}

// Each adapter the call's enumeration made records of, in order. False with the reason.
bool enumerated_adapters(const std::vector<TimedLine>& trace, std::vector<Enumerated>& out,
                         std::string& why) {
  const EnumerationTexts& x = texts();
  bool started = false, open = false;
  size_t made = 0;
  for (const TimedLine& line : trace) {
    if (line.message_starts_with(x.count)) {
      if (started) return why = "the trace holds two enumerations", false;
      started = true;
      continue;
    }
    if (!started || !line.is_message() || line.message_at == line.text.size() ||
        x.letters.find(line.text[line.message_at]) == std::string::npos)
      continue;
    // Most lines are none of these: each is told by its head, and copied only when its text
    // is wanted.
    const auto is = [&line](const std::string& head) { return line.message_starts_with(head); };
    long n = 0;
    if (is(x.named) && line.text.find(x.named_body, line.message_at + x.named.size()) !=
                           std::string::npos) {
      const std::string m = line.message();
      const size_t body = m.find(x.named_body, x.named.size());
      const std::string rest = m.substr(body);
      out.push_back({m.substr(x.named.size(), body - x.named.size()),
                     rest == x.no_version_tail ? "" : rest.substr(x.named_body.size()), 0});
      open = true;
    } else if (is(x.begins)) {
      open = false;
    } else if (is(x.record) && line.text.size() - line.message_at == x.record.size()) {
      if (!open) return why = "the trace holds a device record of no adapter", false;
      ++out.back().records;
      ++made;
    } else if (is(x.eth_made) || is(x.total)) {
      const std::string m = line.message();
      if (!number_at(m.substr(m.find(" is ") + 4), n) || n != static_cast<long>(made))
        return why = "the enumeration's count of records does not match its lines", false;
      if (is(x.total)) break;  // the discovery's enumeration is over; nothing after is its own
    } else {
      for (const std::string& head : x.no_records)
        if (is(head)) open = false;
      for (const std::string& head : x.failed)
        if (is(head)) return why = "the enumeration failed", false;
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

std::string build_suffix(const std::string& version) {
  const size_t at = version.find('_');
  return at == std::string::npos || at == 0 ? std::string() : version.substr(at);
}

bool up_to_date(const std::string& proposed, const std::string& reported,
                const std::string& offered) {
  return proposed == "Rewrite" && build_suffix(reported) == build_suffix(offered);
}

bool reported_devices(const std::vector<TimedLine>& trace, const std::vector<FileDevice>& written,
                      std::vector<ReportedDevice>& out, std::string& why) {
  std::vector<Enumerated> adapters;
  out.clear();
  if (!enumerated_adapters(trace, adapters, why)) return false;
  for (const Enumerated& a : adapters)
    out.insert(out.end(), a.records, ReportedDevice{a.index, a.version});
  if (out.size() != written.size()) {
    why = "the enumeration made " + std::to_string(out.size()) + " device record(s), the file " +
          "it wrote holds " + std::to_string(written.size());
    out.clear();
    return false;
  }
  for (size_t i = 0; i < written.size(); ++i) {
    if (written_version(out[i].version) == written[i].active_version) continue;
    why = "the enumeration reported version \"" + out[i].version + "\" for device " +
          std::to_string(i + 1) + ", whose active version in the file is \"" +
          written[i].active_version + "\"";
    out.clear();
    return false;
  }
  return true;
}

bool indexes_from_trace(const std::vector<TimedLine>& trace, const std::vector<FileDevice>& written,
                        AgentIndexes& indexes, std::string& why, ReportedVersions* versions) {
  std::vector<ReportedDevice> reported;
  if (!reported_devices(trace, written, reported, why)) return false;
  indexes.clear();
  ReportedVersions told;
  std::set<std::string> on_two;
  for (size_t i = 0; i < written.size(); ++i) {
    const std::string& id = written[i].mac_or_wwn;
    auto placed = indexes.emplace(id, reported[i].agent_index);
    if (!placed.second && placed.first->second != reported[i].agent_index) on_two.insert(id);
    told.emplace(id, reported[i].version);
  }
  // The plug-in matches such an identifier to no adapter; neither does the grouping.
  for (const std::string& id : on_two) {
    indexes.erase(id);
    told.erase(id);
  }
  if (versions != nullptr) *versions = told;
  return true;
}

bool indexes_from_history(const std::string& db_path, const std::vector<FileDevice>& devices,
                          AgentIndexes& indexes, std::string& why) {
  History db;
  bool exists = false;
  // Only read: a lookup creates no database and migrates none.
  if (!db.open_existing(db_path, exists, why)) return false;
  if (!exists) {
    why = "no history database at " + db_path;
    return false;
  }
  const std::set<std::string> wanted = identifiers_of(devices);
  bool found_one = false;
  const auto matches = [&](const RunRecord& run) {
    AgentIndexes found;
    bool usable = run.adapters.isArray() && !run.adapters.empty();
    for (const Json::Value& a : run.adapters) {
      usable = usable && a.isObject() && a["grouping"] == "agent" && a["agent_index"].isString() &&
               !a["agent_index"].asString().empty() && a["identifiers"].isArray();
      if (!usable) return true;
      for (const Json::Value& id : a["identifiers"])
        if (id.isString()) found.emplace(id.asString(), a["agent_index"].asString());
    }
    std::set<std::string> ids;
    for (const auto& entry : found) ids.insert(entry.first);
    if (ids != wanted) return true;
    indexes = found;
    found_one = true;
    return false;
  };
  if (!db.each_run(kRunsSearched, matches, why)) return false;
  if (!found_one) why = "no run recorded in " + db_path + " wrote a file of these devices";
  return found_one;
}

void set_reported_versions(AdapterGroups& groups, const std::vector<FileDevice>& devices,
                           const ReportedVersions& versions) {
  groups.reported.assign(devices.size(), std::string());
  for (size_t i = 0; i < devices.size(); ++i) {
    auto told = versions.find(devices[i].mac_or_wwn);
    if (told != versions.end()) groups.reported[i] = told->second;
  }
}

AdapterGroups group_adapters(const std::vector<FileDevice>& devices, const AgentIndexes& indexes,
                             const std::string& unknown_why, const ReportedVersions& versions) {
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
  set_reported_versions(g, devices, versions);
  return g;
}

AdapterGroups recorded_groups(const std::string& db_path, const std::vector<FileDevice>& devices) {
  AgentIndexes indexes;
  std::string why;
  if (!indexes_from_history(db_path, devices, indexes, why)) indexes.clear();
  return group_adapters(devices, indexes, why);
}

}  // namespace vxhost
