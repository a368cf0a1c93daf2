// Per-adapter JSON and its one table.
#include "adapter_report.h"

#include <cstdio>

#include "device_labels.h"
#include "report.h"

namespace vxhost {

namespace {

const Outcome kOutcomes[] = {Outcome::kFlashed, Outcome::kFailed, Outcome::kSkipped,
                             Outcome::kNotAttempted};

// "flashed, 41 s", "failed: image rejected", "not attempted: the pass ended", "skipped".
std::string outcome_cell(const Json::Value& a) {
  std::string cell = a["outcome"].asString();
  if (cell == outcome_name(Outcome::kFlashed) && a["seconds"].asDouble() > 0)
    cell += ", " + seconds_text(a["seconds"].asDouble());
  if (!a["reason"].asString().empty()) cell += ": " + a["reason"].asString();
  return cell;
}

std::string functions_cell(const Json::Value& ids) {
  if (ids.empty()) return "-";
  std::string cell = ids[0].asString();
  if (ids.size() > 1) cell += " +" + std::to_string(ids.size() - 1);
  return cell;
}

Json::Value identifiers_json(const std::vector<std::string>& ids) {
  Json::Value arr(Json::arrayValue);
  for (const std::string& id : ids) arr.append(id);
  return arr;
}

}  // namespace

Json::Value flash_adapters_json(const std::vector<AdapterOutcome>& outcomes) {
  Json::Value arr(Json::arrayValue);
  for (const AdapterOutcome& o : outcomes) {
    Json::Value v(Json::objectValue);
    v["adapter"] = adapter_label(o.adapter);
    v["identifiers"] = identifiers_json(o.identifiers);
    v["product"] = o.product;
    v["before"] = o.before;
    v["offered"] = o.offered;
    v["outcome"] = outcome_name(o.outcome);
    v["reason"] = o.reason;
    v["agent_index"] = o.agent_index;
    v["seconds"] = o.seconds;
    arr.append(v);
  }
  return arr;
}

Json::Value discovered_adapters_json(const std::vector<ViewDevice>& devices) {
  Json::Value arr(Json::arrayValue);
  std::vector<std::string> keys;
  for (const ViewDevice& d : devices) {
    const std::string key = adapter_key(d.file);
    Json::ArrayIndex at = 0;
    while (at < keys.size() && keys[at] != key) ++at;
    if (at == keys.size()) {
      keys.push_back(key);
      Json::Value v(Json::objectValue);
      v["adapter"] = adapter_label(key);
      v["identifiers"] = Json::Value(Json::arrayValue);
      v["product"] = d.file.product;
      v["before"] = d.file.active_version;
      v["offered"] = d.file.offered_version;
      v["proposed"] = d.file.action;
      arr.append(v);
    }
    arr[at]["identifiers"].append(d.file.mac_or_wwn);
  }
  return arr;
}

std::string adapters_table(const Json::Value& adapters) {
  const bool flash = !adapters.empty() && adapters[0].isMember("outcome");
  std::vector<std::vector<std::string>> rows = {
      {"ADAPTER", "FUNCTIONS", "PRODUCT", "BEFORE", "OFFERED", flash ? "OUTCOME" : "PROPOSED"}};
  for (const Json::Value& a : adapters) {
    rows.push_back({a["adapter"].asString(), functions_cell(a["identifiers"]),
                    a["product"].asString(), a["before"].asString(), a["offered"].asString(),
                    flash ? outcome_cell(a) : a["proposed"].asString()});
  }
  return format_table(rows);
}

Json::Value outcome_counts(const Json::Value& adapters) {
  Json::Value counts(Json::objectValue);
  for (Outcome o : kOutcomes) counts[outcome_name(o)] = 0;
  for (const Json::Value& a : adapters) {
    const std::string name = a["outcome"].asString();
    if (counts.isMember(name)) counts[name] = counts[name].asInt() + 1;
  }
  return counts;
}

std::string counts_line(const Json::Value& counts, bool nonzero_only) {
  std::string line;
  for (Outcome o : kOutcomes) {
    if (nonzero_only && counts[outcome_name(o)].asInt() == 0) continue;
    if (!line.empty()) line += ", ";
    line += std::to_string(counts[outcome_name(o)].asInt()) + " " + outcome_name(o);
  }
  return line;
}

std::string unflashed_reason(const Json::Value& adapters) {
  std::string list;
  int flashed = 0;
  for (const Json::Value& a : adapters) {
    const std::string outcome = a["outcome"].asString();
    if (outcome == outcome_name(Outcome::kFlashed)) ++flashed;
    if (outcome == outcome_name(Outcome::kFlashed) || outcome == outcome_name(Outcome::kSkipped))
      continue;
    list += (list.empty() ? "" : "; ") + a["adapter"].asString() + " " + outcome;
    if (!a["reason"].asString().empty()) list += " (" + a["reason"].asString() + ")";
  }
  if (!list.empty()) return "not every adapter you chose was flashed: " + list;
  return flashed == 0 ? "no adapter was flashed" : "";
}

}  // namespace vxhost
