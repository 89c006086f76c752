// Where a line's records go when they go to a database: "odbc:" and an
// ODBC connection string, "odbc:DSN=line" or
// "odbc:Driver={PostgreSQL Unicode};Server=db;Database=line;Uid=station".
#pragma once

#include <string>

namespace zel {

// The environment variable that gives the password when the connection
// string has none and its DSN does not keep one.
inline constexpr char kStorePasswordVariable[] = "BOXFEEDER_DB_PASSWORD";

struct CStoreAddress {
  std::string connection;  // for the driver: with the password, never shown
  std::string shown;       // for people and logs: "odbc:..." with the password as ***
  std::string remembered;  // for a memory kept on disk: "odbc:..." without the password
  std::string spoolName;   // the spool's file name, the same for the same database and user
};

// Whether results name a database rather than a file.
bool IsStoreAddress(const std::string& results);

// results ("odbc:...") taken apart; false with the cause in refusal when it
// is no connection string (it names no DSN or Driver, or a value is left
// open).
bool ParseStoreAddress(const std::string& results, CStoreAddress& address, std::string& refusal);

// text with every occurrence of the password made ***: the driver's words
// may quote the connection string.
std::string HidePassword(std::string text, const CStoreAddress& address);

}  // namespace zel
