// Per-adapter JSON and its one table.
#include "adapter_report.h"

#include <cstdio>

#include "device_labels.h"
#include "report.h"

namespace vxhost {

namespace {

const Outcome kOutcomes[] = {Outcome::kFlashed, Outcome::kFailed, Outcome::kSkipped,
                             Outcome::kNotAttempted, Outcome::kUnknown};

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

Json::Value strings_json(const std::vector<std::string>& texts) {
  Json::Value arr(Json::arrayValue);
  for (const std::string& text : texts) arr.append(text);
  return arr;
}

// The keys every adapter entry has, whatever the command: how it is named and grouped, its
// functions, and what the file says of it before any flash.
Json::Value adapter_entry(const AdapterOutcome& a, const char* grouping) {
  Json::Value v(Json::objectValue);
  v["adapter"] = a.adapter;
  v["agent_index"] = a.agent_index.empty() ? Json::Value() : Json::Value(a.agent_index);
  v["grouping"] = grouping;
  v["functions"] = strings_json(a.functions);
  v["identifiers"] = strings_json(a.identifiers);
  v["product"] = a.product;
  v["before"] = a.before;
  v["offered"] = a.offered;
  v["proposed"] = a.proposed;
  return v;
}

}  // namespace

Json::Value flash_adapters_json(const std::vector<AdapterOutcome>& outcomes, const char* grouping) {
  Json::Value arr(Json::arrayValue);
  for (const AdapterOutcome& o : outcomes) {
    Json::Value v = adapter_entry(o, grouping);
    v["outcome"] = outcome_name(o.outcome);
    v["reason"] = o.reason;
    v["seconds"] = o.seconds;
    arr.append(v);
  }
  return arr;
}

Json::Value discovered_adapters_json(const std::vector<ViewDevice>& devices,
                                     const AdapterGroups& groups) {
  std::vector<FileDevice> files;
  for (const ViewDevice& d : devices) files.push_back(d.file);
  Json::Value arr(Json::arrayValue);
  for (const AdapterOutcome& a : file_adapters(files, groups)) {
    Json::Value v = adapter_entry(a, groups.kind());
    v["up_to_date"] = up_to_date(a.proposed, a.before, a.offered);
    arr.append(v);
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
    if ((nonzero_only || o == Outcome::kUnknown) && counts[outcome_name(o)].asInt() == 0) continue;
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
