#include "cli/RunSummary.h"

#include <cstdio>

namespace zel::cli {
namespace {

constexpr uint64_t kRequestFrame = 16;   // the box's data request
constexpr uint64_t kReplyOverhead = 20;  // a reply's frame around its data

}  // namespace

void CTransferFigures::Served(uint32_t length, Clock::time_point now) {
  const uint64_t wire = kRequestFrame + length + kReplyOverhead;
  if (!m_bStarted) {
    // The request came a frame's wire time before its reply was served.
    m_bStarted = true;
    const double seconds = m_lineBaud ? static_cast<double>(wire) * 10.0 / m_lineBaud : 0.0;
    m_firstRequest =
        now - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  }
  m_bytes += length;
  m_wireBytes += wire;
  m_end = now;
}

void CTransferFigures::Ended(Clock::time_point now) {
  if (m_bEnded) return;
  m_bEnded = true;
  if (m_bStarted) m_end = now;
}

double CTransferFigures::Seconds() const {
  if (!m_bStarted) return 0;
  return std::chrono::duration<double>(m_end - m_firstRequest).count();
}

double CTransferFigures::BytesPerSecond() const {
  const double seconds = Seconds();
  return seconds > 0 ? static_cast<double>(m_bytes) / seconds : 0;
}

double CTransferFigures::ShareOfLine() const {
  const double seconds = Seconds();
  if (seconds <= 0 || m_lineBaud == 0) return 0;
  return static_cast<double>(m_wireBytes) * 10.0 / m_lineBaud / seconds * 100.0;
}

std::string SummaryLine(RunOutcome outcome, const CTransferFigures& figures) {
  const char* word = outcome == RunOutcome::Succeeded   ? "Succeeded"
                     : outcome == RunOutcome::Cancelled ? "Cancelled"
                                                        : "Failed";
  char line[160];
  std::snprintf(line, sizeof line, "%s: %llu bytes in %.1f s, %.2f KB/s, %.1f %% of the line", word,
                static_cast<unsigned long long>(figures.Bytes()), figures.Seconds(),
                figures.BytesPerSecond() / 1000.0, figures.ShareOfLine());
  return line;
}

}  // namespace zel::cli
