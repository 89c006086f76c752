// The records' table in a line's database: made on first use, with the
// version of its layout so that a later BoxFeeder can change it; one row
// per box, keyed by its run id.
#pragma once

#include <string>
#include <vector>

#include "store/OdbcConnection.h"

namespace zel {

// The version of the tables this BoxFeeder makes and writes.
inline constexpr int kRecordSchemaVersion = 1;

// Makes the tables where they are missing; false with the cause when they
// cannot be made, or are of a version this BoxFeeder does not know.
bool EnsureRecordTables(COdbcConnection& database, std::string& error);

// The statement that stores one record (a line as the results file keeps
// it); false with the cause when the line is no record.
bool InsertStatement(const std::string& recordLine, std::string& sql, std::string& runId, std::string& error);

// Whether a statement's failure says the key is already stored (a record
// sent twice).
bool IsAlreadyStored(const std::string& sqlState);

// The records started on or after since (empty: all), as the lines the
// results file keeps, oldest first.
bool ReadRecordLines(COdbcConnection& database, const std::string& since, std::vector<std::string>& lines,
                     std::string& error);

}  // namespace zel
