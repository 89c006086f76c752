#include "cli/ResultsCommand.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/TransferSession.h"
#include "station/YieldReport.h"

namespace zel::cli {
namespace {

// "91.7", or empty before any box was loaded or failed.
std::string YieldNumber(const CYieldGroup& group) {
  if (group.YieldPercent() < 0) return {};
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", group.YieldPercent());
  return text;
}

// A field as RFC 4180 has it: quoted where it holds a comma, a quote or a
// line end, its quotes doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

nlohmann::ordered_json GroupJson(const CYieldGroup& group) {
  nlohmann::ordered_json json{
      {"key", group.key},       {"boxes", group.Boxes()},       {"loaded", group.loaded},
      {"failed", group.failed}, {"cancelled", group.cancelled}, {"yield", nullptr}};
  if (group.YieldPercent() >= 0) json["yield"] = std::round(group.YieldPercent() * 10) / 10;
  return json;
}

}  // namespace

int ShowResults(const CResultsCommand& command, std::FILE* out, std::FILE* err) {
  YieldBy by;
  if (!ParseYieldBy(command.by, by)) {
    std::fprintf(err, "boxfeed: --by takes day, image, station, port or cause, not '%s'\n",
                 command.by.c_str());
    return kExitUsage;
  }
  const bool date = command.since.size() >= 10 &&
                    std::isdigit(static_cast<unsigned char>(command.since[0])) && command.since[4] == '-' &&
                    command.since[7] == '-';
  if (!command.since.empty() && !date) {
    std::fprintf(err,
                 "boxfeed: --since takes a UTC date such as 2026-12-01, or a time such as "
                 "2026-12-01T06:00, not '%s'\n",
                 command.since.c_str());
    return kExitUsage;
  }
  size_t skipped = 0;
  std::vector<std::string> unreadable;
  const CYieldReport report =
      MakeYieldReport(ReadResults(command.files, command.since, skipped, unreadable), by, command.since);
  for (const std::string& why : unreadable) std::fprintf(err, "boxfeed: %s\n", why.c_str());
  if (skipped > 0) std::fprintf(err, "boxfeed: %zu lines were no records and were left out\n", skipped);

  std::vector<CYieldGroup> rows = report.groups;
  rows.push_back(report.total);
  if (command.json) {
    nlohmann::ordered_json json{
        {"by", command.by},
        {"since", command.since.empty() ? nullptr : nlohmann::ordered_json(command.since)}};
    json["groups"] = nlohmann::ordered_json::array();
    for (const CYieldGroup& group : report.groups) json["groups"].push_back(GroupJson(group));
    json["total"] = GroupJson(report.total);
    std::fprintf(out, "%s\n", json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  } else if (command.csv) {
    std::fprintf(out, "%s,boxes,loaded,failed,cancelled,yield\r\n", command.by.c_str());
    for (const CYieldGroup& group : rows)
      std::fprintf(out, "%s,%llu,%llu,%llu,%llu,%s\r\n", CsvField(group.key).c_str(),
                   static_cast<unsigned long long>(group.Boxes()),
                   static_cast<unsigned long long>(group.loaded),
                   static_cast<unsigned long long>(group.failed),
                   static_cast<unsigned long long>(group.cancelled), YieldNumber(group).c_str());
  } else {
    size_t width = command.by.size();
    for (const CYieldGroup& group : rows) width = std::max(width, group.key.size());
    std::string title = command.by;
    std::transform(title.begin(), title.end(), title.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    const int w = static_cast<int>(width);
    std::fprintf(out, "%-*s  %6s  %6s  %6s  %9s  %7s\n", w, title.c_str(), "BOXES", "LOADED", "FAILED",
                 "CANCELLED", "YIELD");
    for (const CYieldGroup& group : rows)
      std::fprintf(
          out, "%-*s  %6llu  %6llu  %6llu  %9llu  %7s\n", w, group.key.c_str(),
          static_cast<unsigned long long>(group.Boxes()), static_cast<unsigned long long>(group.loaded),
          static_cast<unsigned long long>(group.failed), static_cast<unsigned long long>(group.cancelled),
          (YieldNumber(group).empty() ? "-" : YieldNumber(group) + " %").c_str());
  }
  std::fflush(out);
  return unreadable.empty() ? kExitSucceeded : kExitFailed;
}

}  // namespace zel::cli
