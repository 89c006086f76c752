#include "store/RecordTable.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace zel {
namespace {

using Json = nlohmann::json;

// Plain SQL that PostgreSQL, SQL Server, MySQL and SQLite all take.
constexpr const char* kMakeTables[] = {
    "CREATE TABLE boxfeeder_schema (version INTEGER NOT NULL)",
    "CREATE TABLE boxfeeder_records ("
    "run_id VARCHAR(36) NOT NULL PRIMARY KEY, "
    "started VARCHAR(32) NOT NULL, ended VARCHAR(32) NOT NULL, seconds DOUBLE PRECISION, "
    "host VARCHAR(255), station VARCHAR(255), tool_version VARCHAR(64), "
    "port VARCHAR(1000) NOT NULL, alias VARCHAR(255), by_path VARCHAR(1000), vid_pid VARCHAR(16), "
    "serial VARCHAR(255), image VARCHAR(4000) NOT NULL, image_size BIGINT, image_sha256 VARCHAR(64), "
    "bytes_served BIGINT, coverage DOUBLE PRECISION, outcome VARCHAR(16) NOT NULL, cause VARCHAR(2000), "
    "record VARCHAR(8000) NOT NULL)",
    "CREATE INDEX boxfeeder_records_started ON boxfeeder_records (started)",
    "CREATE INDEX boxfeeder_records_station ON boxfeeder_records (station, started)",
    "CREATE INDEX boxfeeder_records_image ON boxfeeder_records (image_sha256, started)",
    "CREATE INDEX boxfeeder_records_port ON boxfeeder_records (host, port, started)",
};

// A text as an SQL literal: quotes doubled, so that nothing in it is read
// as SQL.
std::string Literal(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string TextOrNull(const Json& record, const char* name) {
  const auto field = record.find(name);
  if (field == record.end() || !field->is_string()) return "NULL";
  return Literal(field->get<std::string>());
}

std::string NumberOrNull(const Json& record, const char* name) {
  const auto field = record.find(name);
  if (field == record.end() || !field->is_number()) return "NULL";
  if (field->is_number_integer()) return field->dump();
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", field->get<double>());
  return text;
}

int ReadVersion(COdbcConnection& database, std::string& error) {
  std::vector<std::vector<std::string>> rows;
  if (!database.Query("SELECT version FROM boxfeeder_schema", rows, error)) return -1;
  if (rows.empty() || rows[0].empty()) {
    error = "boxfeeder_schema holds no version";
    return 0;
  }
  return std::atoi(rows[0][0].c_str());
}

}  // namespace

bool EnsureRecordTables(COdbcConnection& database, std::string& error) {
  std::string ignored;
  int version = ReadVersion(database, ignored);
  if (version < 0) {
    // None yet: made in one transaction, so that a station that comes at
    // the same time sees all or nothing, and the loser reads the winner's.
    std::string made;
    bool done = database.SetAutoCommit(false, made);
    for (const char* statement : kMakeTables) done = done && database.Execute(statement, made);
    done = done && database.Execute("INSERT INTO boxfeeder_schema (version) VALUES (" +
                                        std::to_string(kRecordSchemaVersion) + ")",
                                    made);
    done = database.EndTransaction(done, made) && done;
    database.SetAutoCommit(true, ignored);
    version = ReadVersion(database, error);
    if (version < 0) {
      error = "the records' tables could not be made: " + made;
      return false;
    }
  }
  if (version == kRecordSchemaVersion) return true;
  error = version == 0 ? error
                       : "the database's records are of layout " + std::to_string(version) +
                             "; this BoxFeeder knows layout " + std::to_string(kRecordSchemaVersion) +
                             " and leaves them alone";
  return false;
}

bool InsertStatement(const std::string& recordLine, std::string& sql, std::string& runId,
                     std::string& error) {
  const Json record = Json::parse(recordLine, nullptr, false);
  if (record.is_discarded() || !record.is_object() || !record.contains("runId") ||
      !record["runId"].is_string() || !record.contains("ended") || !record.contains("outcome")) {
    error = "the line is no record";
    return false;
  }
  runId = record["runId"].get<std::string>();
  std::string line = recordLine;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  sql =
      "INSERT INTO boxfeeder_records (run_id, started, ended, seconds, host, station, tool_version, port, "
      "alias, "
      "by_path, vid_pid, serial, image, image_size, image_sha256, bytes_served, coverage, outcome, cause, "
      "record) VALUES (" +
      Literal(runId) + ", " + TextOrNull(record, "started") + ", " + TextOrNull(record, "ended") + ", " +
      NumberOrNull(record, "seconds") + ", " + TextOrNull(record, "host") + ", " +
      TextOrNull(record, "station") + ", " + TextOrNull(record, "toolVersion") + ", " +
      TextOrNull(record, "port") + ", " + TextOrNull(record, "alias") + ", " + TextOrNull(record, "byPath") +
      ", " + TextOrNull(record, "vidPid") + ", " + TextOrNull(record, "serial") + ", " +
      TextOrNull(record, "image") + ", " + NumberOrNull(record, "imageSize") + ", " +
      TextOrNull(record, "imageSha256") + ", " + NumberOrNull(record, "bytesServed") + ", " +
      NumberOrNull(record, "coverage") + ", " + TextOrNull(record, "outcome") + ", " +
      TextOrNull(record, "cause") + ", " + Literal(line) + ")";
  return true;
}

bool IsAlreadyStored(const std::string& sqlState) { return sqlState.rfind("23", 0) == 0; }

bool ReadRecordLines(COdbcConnection& database, const std::string& since, std::vector<std::string>& lines,
                     std::string& error) {
  std::vector<std::vector<std::string>> rows;
  const std::string where = since.empty() ? std::string() : " WHERE started >= " + Literal(since);
  if (!database.Query("SELECT record FROM boxfeeder_records" + where + " ORDER BY started, run_id", rows,
                      error))
    return false;
  lines.clear();
  for (auto& row : rows)
    if (!row.empty()) lines.push_back(std::move(row[0]));
  return true;
}

}  // namespace zel
