#include "store/ResultsStore.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <vector>

#include "store/OdbcConnection.h"
#include "store/RecordTable.h"
#include "store/SpoolFile.h"

namespace zel {
namespace {

constexpr int kConnectSeconds = 5;
// Between attempts while the database cannot be reached.
constexpr auto kRetry = std::chrono::seconds(2);

// The spool's records, each with its line end. A record that a crash
// tore has none, and the next record follows it on the same line: every
// record begins with its run id, so it is split off there.
std::vector<std::string> Lines(const std::string& text) {
  static const std::string kRecordStart = "{\"runId\"";
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    const size_t next = text.find(kRecordStart, at + 1);
    if (next != std::string::npos && next < end) end = next;
    if (text.find_first_not_of("\r\n", at) < end) lines.push_back(text.substr(at, end - at));
    at = end;
  }
  return lines;
}

// A path as the file system takes it, from UTF-8 on every platform.
std::filesystem::path FsPath(const std::string& utf8) { return std::u8string(utf8.begin(), utf8.end()); }

std::string RunIdOf(const std::string& line) {
  std::string sql, runId, error;
  return InsertStatement(line, sql, runId, error) ? runId : std::string();
}

}  // namespace

std::string StoreStateText(const CStoreState& state) {
  if (state.waiting == 0) return "stored";
  const std::string count = std::to_string(state.waiting) + (state.waiting == 1 ? " record" : " records");
  return count + " waiting: " + (state.cause.empty() ? std::string("to be sent") : state.cause);
}

bool ReadStoredRecords(const CStoreAddress& address, const std::string& since,
                       std::vector<std::string>& lines, std::string& error) {
  COdbcConnection database;
  const bool read = database.Connect(address.connection, kConnectSeconds, error) &&
                    ReadRecordLines(database, since, lines, error);
  error = HidePassword(error, address);
  return read;
}

CResultsStore::CResultsStore(CStoreAddress address, const std::string& spoolFolder)
    : m_address(std::move(address)), m_spoolFolder(spoolFolder) {
  // This process's own spool, named for the database and a random number;
  // its lock, held for the store's life, tells the living from the dead.
  std::random_device random;
  char tail[24];
  std::snprintf(tail, sizeof tail, "-%08x%08x", random(), random());
  const std::string stem = m_address.spoolName.substr(0, m_address.spoolName.rfind(".jsonl"));
  m_spoolPath = spoolFolder + "/" + stem + tail + ".jsonl";
  m_ownLock = std::make_unique<CFileLock>(m_spoolPath + ".lock", true);
}

CResultsStore::~CResultsStore() {
  {
    std::lock_guard lock(m_mutex);
    m_bStop = true;
  }
  m_changed.notify_all();
  if (m_sender.joinable()) m_sender.join();
  // An empty spool goes; one that holds records stays for the next start.
  std::lock_guard spool(m_spoolMutex);
  std::error_code ignored;
  if (std::filesystem::file_size(FsPath(m_spoolPath), ignored) == 0 || ignored) {
    std::filesystem::remove(FsPath(m_spoolPath), ignored);
    m_ownLock.reset();
    std::filesystem::remove(FsPath(m_spoolPath + ".lock"), ignored);
  }
}

bool CResultsStore::Connect(COdbcConnection& database, std::string& cause) {
  std::string error;
  if (database.Connect(m_address.connection, kConnectSeconds, error) && EnsureRecordTables(database, error))
    return true;
  database.Disconnect();
  cause = "the database cannot be reached: " + HidePassword(error, m_address);
  return false;
}

bool CResultsStore::Start(std::string& cause) {
  AdoptOrphans();
  COdbcConnection database;
  const bool reached = Connect(database, cause);
  if (!reached) {
    std::lock_guard lock(m_mutex);
    m_state.cause = cause;
  }
  database.Disconnect();
  m_sender = std::thread([this] { Send(); });
  return reached;
}

void CResultsStore::AdoptOrphans() {
  // The spools of this database that processes which ended or died left:
  // each one whose lock can be taken at once.
  const std::string stem = m_address.spoolName.substr(0, m_address.spoolName.rfind(".jsonl")) + "-";
  std::vector<std::string> orphans;
  std::error_code failed;
  for (const auto& entry : std::filesystem::directory_iterator(FsPath(m_spoolFolder), failed)) {
    const std::u8string name8 = entry.path().filename().u8string();
    const std::string name(name8.begin(), name8.end());
    const std::string path = m_spoolFolder + "/" + name;
    if (name.starts_with(stem) && name.ends_with(".jsonl") && path != m_spoolPath) orphans.push_back(path);
  }
  for (const std::string& orphan : orphans) {
    CFileLock lock(orphan + ".lock", false);
    if (!lock.Held()) continue;  // its process lives, and sends its own
    std::string text, error;
    if (!ReadWholeFile(orphan, text, error)) continue;
    {
      std::lock_guard spool(m_spoolMutex);
      if (!text.empty() && !AppendSynced(m_spoolPath, text.back() == '\n' ? text : text + "\n", error))
        continue;
      std::lock_guard state(m_mutex);
      m_state.waiting += Lines(text).size();
    }
    // Ours now: a crash before this leaves them in both, and the key
    // stores them once.
    std::error_code ignored;
    std::filesystem::remove(FsPath(orphan), ignored);
    std::filesystem::remove(FsPath(orphan + ".unreadable"), ignored);
    std::filesystem::remove(FsPath(orphan + ".lock"), ignored);
  }
}

bool CResultsStore::Write(const std::string& recordLine, std::string& error) {
  if (!m_ownLock->Held()) {
    error = m_spoolPath + ".lock: the spool's lock cannot be taken";
    return false;
  }
  {
    std::lock_guard spool(m_spoolMutex);
    if (!AppendSynced(m_spoolPath, recordLine, error)) return false;
    std::lock_guard state(m_mutex);
    ++m_written;
    ++m_state.waiting;
  }
  m_changed.notify_all();
  return true;
}

CStoreState CResultsStore::State() const {
  std::lock_guard lock(m_mutex);
  return m_state;
}

CStoreState CResultsStore::Drain(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  const uint64_t attempts = m_attempts;
  m_changed.wait_for(lock, timeout, [&] {
    return m_state.waiting == 0 || (m_attempts > attempts && !m_state.cause.empty()) || !m_sender.joinable();
  });
  return m_state;
}

void CResultsStore::Send() {
  COdbcConnection database;
  uint64_t sent = 0;  // the writes this pass has seen
  std::unique_lock lock(m_mutex);
  while (!m_bStop) {
    sent = m_written;
    lock.unlock();
    std::string cause;
    bool done = database.Connected() || Connect(database, cause);
    if (done) done = SendSpooled(database);
    lock.lock();
    ++m_attempts;
    if (!done && m_state.cause.empty()) m_state.cause = cause.empty() ? "not sent" : cause;
    if (!cause.empty()) m_state.cause = cause;
    m_changed.notify_all();
    // Again when a record comes, or, after a failure, a little later.
    if (done)
      m_changed.wait(lock, [&] { return m_bStop || m_written != sent; });
    else
      m_changed.wait_for(lock, kRetry, [&] { return m_bStop; });
  }
}

bool CResultsStore::SendSpooled(COdbcConnection& database) {
  std::string text, error;
  {
    std::lock_guard spool(m_spoolMutex);
    if (!ReadWholeFile(m_spoolPath, text, error)) {
      std::lock_guard state(m_mutex);
      m_state.cause = error;
      return false;
    }
  }
  std::set<std::string> stored;
  std::vector<std::string> unreadable;
  bool failed = false;
  for (const std::string& line : Lines(text)) {
    std::string sql, runId, sqlState;
    if (!InsertStatement(line, sql, runId, error)) {
      unreadable.push_back(line);
      continue;
    }
    {
      std::lock_guard state(m_mutex);
      if (m_bStop) break;
    }
    bool done = database.SetAutoCommit(false, error) && database.Execute(sql, error, &sqlState);
    const bool duplicate = !done && IsAlreadyStored(sqlState);
    done = database.EndTransaction(done, error) && done;
    if (!done && !duplicate) {
      // The connection is likely gone: made anew on the next attempt.
      database.Disconnect();
      std::lock_guard state(m_mutex);
      m_state.cause = "the database did not take a record: " + HidePassword(error, m_address);
      failed = true;
      break;
    }
    stored.insert(runId);
  }
  if (stored.empty() && unreadable.empty()) return !failed;
  // Taken out of the spool as it is now: records may have come meanwhile.
  // A line that is no record (torn in a crash) is kept aside, not lost.
  std::lock_guard spool(m_spoolMutex);
  std::string now;
  if (!ReadWholeFile(m_spoolPath, now, error)) return false;
  std::string kept;
  size_t left = 0;
  for (const std::string& line : Lines(now)) {
    if (std::find(unreadable.begin(), unreadable.end(), line) != unreadable.end()) continue;
    if (stored.count(RunIdOf(line))) continue;
    kept += line.back() == '\n' ? line : line + "\n";
    ++left;
  }
  std::string torn;
  for (const std::string& line : unreadable) torn += line.back() == '\n' ? line : line + "\n";
  if (!torn.empty()) AppendSynced(m_spoolPath + ".unreadable", torn, error);
  if (!ReplaceSynced(m_spoolPath, kept, error)) {
    std::lock_guard state(m_mutex);
    m_state.cause = error;
    return false;
  }
  std::lock_guard state(m_mutex);
  m_state.stored += stored.size();
  m_state.waiting = left;
  if (!failed) m_state.cause.clear();
  return !failed;
}

}  // namespace zel
