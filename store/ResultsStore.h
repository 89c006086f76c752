// A line's records on their way to its database. Each record goes first to
// a spool on this computer's disk, and only then, on a thread of its own,
// to the database, one transaction each; what the database cannot take
// (down, network gone, a bad password) stays in the spool, in order, and
// goes when it can. The database keys each record by its run id, so a
// record sent twice (a crash between the send and the spool's trim, or
// two stations sharing one spool) is stored once.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "store/StoreAddress.h"

namespace zel {

struct CStoreState {
  size_t waiting = 0;   // records in the spool, not yet stored
  uint64_t stored = 0;  // records this store has sent since it began
  std::string cause;    // why the last attempt failed; empty once one succeeds
};

// "stored", or "12 records waiting: <cause>" ("waiting to be sent" while
// none has failed yet).
std::string StoreStateText(const CStoreState& state);

// The records in the database at address started on or after since
// (empty: all), as the results file keeps them, oldest first.
bool ReadStoredRecords(const CStoreAddress& address, const std::string& since,
                       std::vector<std::string>& lines, std::string& error);

class CResultsStore {
 public:
  // The spool lives in spoolFolder: a file of this store's own, named for
  // the database and its user.
  CResultsStore(CStoreAddress address, const std::string& spoolFolder);
  // Stops the sending; what is not sent stays in the spool.
  ~CResultsStore();
  CResultsStore(const CResultsStore&) = delete;
  CResultsStore& operator=(const CResultsStore&) = delete;

  // Takes over the spools of this database that ended or killed processes
  // left, connects and makes the tables if missing, then sends in the
  // background whatever the spool holds. False with
  // the cause when the database cannot be reached now: records then wait
  // in the spool, and the store keeps trying.
  bool Start(std::string& cause);
  // The record (one line of the results file) on the disk in the spool,
  // then on its way; false with the cause when the spool cannot take it.
  bool Write(const std::string& recordLine, std::string& error);
  CStoreState State() const;
  // Waits until the spool is empty, an attempt fails or timeout passes;
  // the state then.
  CStoreState Drain(std::chrono::milliseconds timeout);

  const std::string& Shown() const { return m_address.shown; }
  const std::string& SpoolPath() const { return m_spoolPath; }

 private:
  void Send();
  // One pass over the spool: each record sent in its own transaction; the
  // sent ones then taken out. False when an attempt failed.
  bool SendSpooled(class COdbcConnection& database);
  bool Connect(class COdbcConnection& database, std::string& cause);
  void AdoptOrphans();

  const CStoreAddress m_address;
  const std::string m_spoolFolder;
  std::string m_spoolPath;
  std::unique_ptr<class CFileLock> m_ownLock;  // held while this store lives
  std::mutex m_spoolMutex;                     // the spool file: appends, and the trims after sending
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  CStoreState m_state;
  uint64_t m_written = 0, m_attempts = 0;
  bool m_bStop = false;
  std::thread m_sender;
};

}  // namespace zel
