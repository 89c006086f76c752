#include "station/YieldReport.h"

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "store/ResultsStore.h"

namespace zel {
namespace {

std::string Field(const nlohmann::json& record, const char* name) {
  const auto it = record.find(name);
  return it != record.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string KeyOf(const CResultRow& row, YieldBy by) {
  switch (by) {
    case YieldBy::Day: return row.started.substr(0, 10);
    case YieldBy::Image: return row.imageSha256.empty() ? "(not read)" : row.imageSha256;
    case YieldBy::Station: return row.station.empty() ? "(unnamed)" : row.station;
    case YieldBy::Port: {
      const std::string port = row.alias.empty() ? row.port : row.alias + " (" + row.port + ")";
      return row.station.empty() ? port : row.station + " " + port;
    }
    case YieldBy::Cause: return row.outcome != "failed" ? "(" + row.outcome + ")" : row.cause;
  }
  return {};
}

void Count(CYieldGroup& group, const std::string& outcome) {
  if (outcome == "succeeded") ++group.loaded;
  if (outcome == "failed") ++group.failed;
  if (outcome == "cancelled") ++group.cancelled;
}

}  // namespace

std::vector<CResultRow> ReadResults(const std::vector<std::string>& paths, const std::string& since,
                                    size_t& skipped, std::vector<std::string>& unreadable) {
  std::vector<CResultRow> rows;
  skipped = 0;
  for (const std::string& path : paths) {
    std::vector<std::string> lines;
    if (IsStoreAddress(path)) {
      CStoreAddress address;
      std::string error;
      if (!ParseStoreAddress(path, address, error) || !ReadStoredRecords(address, since, lines, error)) {
        unreadable.push_back((address.shown.empty() ? std::string("odbc:...") : address.shown) + ": " +
                             error);
        continue;
      }
    } else {
      std::ifstream file(path, std::ios::binary);
      if (!file) {
        unreadable.push_back(path + ": it cannot be read");
        continue;
      }
      for (std::string line; std::getline(file, line);) lines.push_back(std::move(line));
    }
    for (const std::string& line : lines) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      const auto record = nlohmann::json::parse(line, nullptr, false);
      CResultRow row;
      if (!record.is_discarded() && record.is_object()) {
        row.started = Field(record, "started");
        row.outcome = Field(record, "outcome");
      }
      if (row.started.size() < 10 || row.outcome.empty()) {
        ++skipped;
        continue;
      }
      row.station = Field(record, "station");
      row.port = Field(record, "port");
      row.alias = Field(record, "alias");
      row.imageSha256 = Field(record, "imageSha256");
      row.image = Field(record, "image");
      row.cause = Field(record, "cause");
      rows.push_back(std::move(row));
    }
  }
  return rows;
}

bool ParseYieldBy(const std::string& name, YieldBy& by) {
  static const std::map<std::string, YieldBy> kNames{{"day", YieldBy::Day},
                                                     {"image", YieldBy::Image},
                                                     {"station", YieldBy::Station},
                                                     {"port", YieldBy::Port},
                                                     {"cause", YieldBy::Cause}};
  const auto it = kNames.find(name);
  if (it == kNames.end()) return false;
  by = it->second;
  return true;
}

CYieldReport MakeYieldReport(const std::vector<CResultRow>& rows, YieldBy by, const std::string& since) {
  std::map<std::string, CYieldGroup> groups;
  CYieldReport report;
  report.total.key = "all";
  for (const CResultRow& row : rows) {
    // Times as records keep them sort as text; a date stands for its start.
    if (!since.empty() && row.started.compare(0, since.size(), since) < 0) continue;
    CYieldGroup& group = groups[KeyOf(row, by)];
    Count(group, row.outcome);
    Count(report.total, row.outcome);
  }
  for (auto& [key, group] : groups) {
    group.key = key;
    report.groups.push_back(group);
  }
  return report;
}

}  // namespace zel
