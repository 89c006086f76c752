#include "store/OdbcConnection.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include "store/Utf16Text.h"

namespace zel {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide calls take UTF-16");

SQLWCHAR* Wide(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

// The diagnostics of a call that failed, in one line: "[state] words; ...".
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle, std::string* sqlState = nullptr) {
  std::string words;
  for (SQLSMALLINT record = 1; record <= 4; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[1024] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN got =
        SQLGetDiagRecW(type, handle, record, state, &native, message, SQLSMALLINT(1024), &length);
    if (!SQL_SUCCEEDED(got)) break;
    const std::string stateText = Utf8(std::u16string(reinterpret_cast<const char16_t*>(state), 5));
    if (record == 1 && sqlState) *sqlState = stateText;
    if (!words.empty()) words += "; ";
    const size_t chars = std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), 1023);
    // On one line: drivers break theirs and indent the hints.
    std::string said;
    for (const char c : Utf8(std::u16string(reinterpret_cast<const char16_t*>(message), chars))) {
      const bool space = c == '\n' || c == '\r' || c == '\t' || c == ' ';
      if (!space)
        said += c;
      else if (!said.empty() && said.back() != ' ')
        said += ' ';
    }
    while (!said.empty() && said.back() == ' ') said.pop_back();
    words += "[" + stateText + "] " + said;
  }
  return words.empty() ? "the driver gave no reason" : words;
}

// A statement's handle, freed when it goes.
class CStatement {
 public:
  explicit CStatement(void* connection) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &m_handle))) m_handle = nullptr;
  }
  ~CStatement() {
    if (m_handle) SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
  }
  CStatement(const CStatement&) = delete;
  CStatement& operator=(const CStatement&) = delete;
  SQLHSTMT Handle() const { return m_handle; }
  bool Run(const std::string& sql, std::string& error, std::string* sqlState) {
    if (!m_handle) {
      error = "no statement could be made";
      return false;
    }
    std::u16string text = Utf16(sql);
    const SQLRETURN ran = SQLExecDirectW(m_handle, Wide(text), static_cast<SQLINTEGER>(text.size()));
    if (SQL_SUCCEEDED(ran) || ran == SQL_NO_DATA) return true;
    error = Diagnostics(SQL_HANDLE_STMT, m_handle, sqlState);
    return false;
  }

 private:
  SQLHSTMT m_handle = nullptr;
};

}  // namespace

COdbcConnection::~COdbcConnection() { Disconnect(); }

bool COdbcConnection::Connect(const std::string& connection, int timeoutSeconds, std::string& error) {
  Disconnect();
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_environment))) {
    m_environment = nullptr;
    error = "ODBC's driver manager could not be started";
    return false;
  }
  SQLSetEnvAttr(m_environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLHDBC handle = nullptr;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, m_environment, &handle))) {
    error = Diagnostics(SQL_HANDLE_ENV, m_environment);
    Disconnect();
    return false;
  }
  const auto seconds = reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds));
  SQLSetConnectAttrW(handle, SQL_ATTR_LOGIN_TIMEOUT, seconds, 0);
  SQLSetConnectAttrW(handle, SQL_ATTR_CONNECTION_TIMEOUT, seconds, 0);
  std::u16string text = Utf16(connection);
  SQLWCHAR out[1024];
  SQLSMALLINT outLength = 0;
  const SQLRETURN connected =
      SQLDriverConnectW(handle, nullptr, Wide(text), static_cast<SQLSMALLINT>(text.size()), out,
                        SQLSMALLINT(1024), &outLength, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(connected)) {
    error = Diagnostics(SQL_HANDLE_DBC, handle);
    SQLFreeHandle(SQL_HANDLE_DBC, handle);
    Disconnect();
    return false;
  }
  m_connection = handle;
  return true;
}

void COdbcConnection::Disconnect() {
  if (m_connection) {
    SQLEndTran(SQL_HANDLE_DBC, m_connection, SQL_ROLLBACK);
    SQLDisconnect(m_connection);
    SQLFreeHandle(SQL_HANDLE_DBC, m_connection);
    m_connection = nullptr;
  }
  if (m_environment) {
    SQLFreeHandle(SQL_HANDLE_ENV, m_environment);
    m_environment = nullptr;
  }
}

bool COdbcConnection::Execute(const std::string& sql, std::string& error, std::string* sqlState) {
  if (!m_connection) {
    error = "not connected";
    return false;
  }
  CStatement statement(m_connection);
  return statement.Run(sql, error, sqlState);
}

bool COdbcConnection::Query(const std::string& sql, std::vector<std::vector<std::string>>& rows,
                            std::string& error) {
  rows.clear();
  if (!m_connection) {
    error = "not connected";
    return false;
  }
  CStatement statement(m_connection);
  if (!statement.Run(sql, error, nullptr)) return false;
  SQLSMALLINT columns = 0;
  SQLNumResultCols(statement.Handle(), &columns);
  for (;;) {
    const SQLRETURN fetched = SQLFetch(statement.Handle());
    if (fetched == SQL_NO_DATA) return true;
    if (!SQL_SUCCEEDED(fetched)) {
      error = Diagnostics(SQL_HANDLE_STMT, statement.Handle());
      return false;
    }
    std::vector<std::string> row;
    for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(columns); ++column) {
      // A long text comes in parts, each ending in a terminating zero.
      std::u16string value;
      char16_t part[2048];
      for (;;) {
        SQLLEN length = 0;
        const SQLRETURN got = SQLGetData(statement.Handle(), column, SQL_C_WCHAR, part, sizeof part, &length);
        if (got == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(got)) {
          error = Diagnostics(SQL_HANDLE_STMT, statement.Handle());
          return false;
        }
        if (length == SQL_NULL_DATA) break;
        const size_t capacity = sizeof part / sizeof part[0] - 1;
        const size_t chars = length == SQL_NO_TOTAL || static_cast<size_t>(length) / 2 > capacity
                                 ? capacity
                                 : static_cast<size_t>(length) / 2;
        value.append(part, chars);
        if (got == SQL_SUCCESS) break;
      }
      row.push_back(Utf8(value));
    }
    rows.push_back(std::move(row));
  }
}

bool COdbcConnection::SetAutoCommit(bool autoCommit, std::string& error) {
  if (!m_connection) {
    error = "not connected";
    return false;
  }
  const auto value =
      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(autoCommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF));
  if (SQL_SUCCEEDED(SQLSetConnectAttrW(m_connection, SQL_ATTR_AUTOCOMMIT, value, 0))) return true;
  error = Diagnostics(SQL_HANDLE_DBC, m_connection);
  return false;
}

bool COdbcConnection::EndTransaction(bool commit, std::string& error) {
  if (!m_connection) {
    error = "not connected";
    return false;
  }
  if (SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, m_connection, commit ? SQL_COMMIT : SQL_ROLLBACK)))
    return true;
  error = Diagnostics(SQL_HANDLE_DBC, m_connection);
  return false;
}

}  // namespace zel
