// What a supervisor asks of the records of a line: how many boxes were
// loaded and failed, and the yield, per day, image, station, port or
// cause, read from the results files of several stations at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zel {

// The fields of a record the report groups by.
struct CResultRow {
  std::string started;  // UTC, as records keep it
  std::string station, port, alias;
  std::string imageSha256, image;
  std::string outcome;  // "succeeded", "failed" or "cancelled"
  std::string cause;
};

// Every record of the results files at paths, in the order read; a path
// may be a database's address (odbc:...), whose records started before
// since (empty: all) are not read. A line that is no record (torn, or
// another program's) is counted in skipped; a file or database that
// cannot be read is said in unreadable, one line each.
std::vector<CResultRow> ReadResults(const std::vector<std::string>& paths, const std::string& since,
                                    size_t& skipped, std::vector<std::string>& unreadable);

enum class YieldBy { Day, Image, Station, Port, Cause };

// The key's name as the command line takes it ("day", "image", ...); false
// for none.
bool ParseYieldBy(const std::string& name, YieldBy& by);

struct CYieldGroup {
  std::string key;
  uint64_t loaded = 0, failed = 0, cancelled = 0;
  uint64_t Boxes() const { return loaded + failed + cancelled; }
  // Loaded of loaded and failed, as a percentage; -1 when none of either.
  double YieldPercent() const { return loaded + failed ? 100.0 * loaded / (loaded + failed) : -1; }
};

struct CYieldReport {
  std::vector<CYieldGroup> groups;  // in the key's order
  CYieldGroup total;
};

// The records started on or after since (a date "2026-12-01" or a time as
// records keep it; empty for all), grouped by.
CYieldReport MakeYieldReport(const std::vector<CResultRow>& rows, YieldBy by, const std::string& since);

}  // namespace zel
