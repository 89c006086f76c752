// One connection to a database through ODBC (Windows' odbc32, unixODBC
// elsewhere), with its wide calls only: texts go in and come out as UTF-8.
#pragma once

#include <string>
#include <vector>

namespace zel {

class COdbcConnection {
 public:
  COdbcConnection() = default;
  ~COdbcConnection();
  COdbcConnection(const COdbcConnection&) = delete;
  COdbcConnection& operator=(const COdbcConnection&) = delete;

  // Connects with an ODBC connection string, giving up after timeout
  // seconds; the driver's words in error when it cannot.
  bool Connect(const std::string& connection, int timeoutSeconds, std::string& error);
  bool Connected() const { return m_connection != nullptr; }
  void Disconnect();

  // Runs one statement. sqlState gets the five characters of the first
  // diagnostic, "23505" for a key that is already there.
  bool Execute(const std::string& sql, std::string& error, std::string* sqlState = nullptr);
  // Runs a query; every row, its columns as text (NULL as empty).
  bool Query(const std::string& sql, std::vector<std::vector<std::string>>& rows, std::string& error);
  // Statements from here on wait for EndTransaction (autoCommit false), or
  // each is its own (true).
  bool SetAutoCommit(bool autoCommit, std::string& error);
  bool EndTransaction(bool commit, std::string& error);

 private:
  void* m_environment = nullptr;
  void* m_connection = nullptr;
};

}  // namespace zel
