// Where a station's records go: a results file, or a line's database
// ("odbc:..."), by way of the spool on this computer's disk.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "station/ResultsFile.h"
#include "store/ResultsStore.h"

namespace zel {

class CResultsSink {
 public:
  // results: a file's path, or "odbc:" and a connection string.
  explicit CResultsSink(std::string results);

  // Ready for records: the file made if missing; or the address read, the
  // spool's folder made and the database tried. False with the refusal
  // when records could go nowhere. A database that cannot be reached now
  // is no refusal: its cause is in unreachable, and records wait in the
  // spool until it can.
  bool Open(std::string& refusal, std::string& unreachable);
  // The record as the box ends; false with the cause when it is not on the
  // disk (in the file, or in the spool).
  bool Write(const CBoxRecord& record, std::string& error);

  bool IsStore() const { return m_store != nullptr || IsStoreAddress(m_results); }
  // The path, or the address with its password hidden.
  std::string Shown() const;
  // The store's state in words ("stored", "3 records waiting: ..."); empty
  // for a file.
  std::string StateText() const;
  // For a store: waits up to timeout for its records to be sent; its state
  // in words then. Empty for a file.
  std::string Drain(std::chrono::milliseconds timeout);
  const std::string& SpoolPath() const;

 private:
  std::string m_results;
  std::unique_ptr<CResultsStore> m_store;
};

}  // namespace zel
