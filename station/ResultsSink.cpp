#include "station/ResultsSink.h"

#include "store/SpoolFile.h"

namespace zel {

CResultsSink::CResultsSink(std::string results) : m_results(std::move(results)) {}

bool CResultsSink::Open(std::string& refusal, std::string& unreachable) {
  if (!IsStoreAddress(m_results)) {
    std::string error;
    if (AppendLine(m_results, {}, error)) return true;
    refusal = m_results + ": " + error;
    return false;
  }
  CStoreAddress address;
  if (!ParseStoreAddress(m_results, address, refusal)) {
    return false;
  }
  std::string error;
  const std::string folder = UserDataFolder(error);
  if (folder.empty()) {
    refusal = address.shown + ": the spool's folder cannot be made: " + error;
    return false;
  }
  m_store = std::make_unique<CResultsStore>(std::move(address), folder);
  if (!m_store->Start(unreachable)) return true;
  unreachable.clear();
  return true;
}

bool CResultsSink::Write(const CBoxRecord& record, std::string& error) {
  if (m_store) return m_store->Write(RecordLine(record), error);
  return AppendLine(m_results, RecordLine(record), error);
}

std::string CResultsSink::Shown() const { return m_store ? m_store->Shown() : m_results; }

std::string CResultsSink::StateText() const {
  return m_store ? StoreStateText(m_store->State()) : std::string();
}

std::string CResultsSink::Drain(std::chrono::milliseconds timeout) {
  return m_store ? StoreStateText(m_store->Drain(timeout)) : std::string();
}

const std::string& CResultsSink::SpoolPath() const {
  static const std::string none;
  return m_store ? m_store->SpoolPath() : none;
}

}  // namespace zel
