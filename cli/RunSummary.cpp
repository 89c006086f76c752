#include "cli/RunSummary.h"

#include <cstdio>

namespace zel::cli {
namespace {

constexpr uint64_t kRequestFrame = 16;   // the box's data request
constexpr uint64_t kReplyOverhead = 20;  // a reply's frame around its data

}  // namespace

void CTransferFigures::Served(uint32_t length, Clock::time_point now) {
  const auto wireTime = [this](uint64_t bytes) {
    const double seconds = m_lineBaud ? static_cast<double>(bytes) * 10.0 / m_lineBaud : 0.0;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  };
  if (!m_bStarted) {
    // The box's request crossed the line before its reply was served.
    m_bStarted = true;
    m_firstRequest = now - wireTime(kRequestFrame);
  }
  m_bytes += length;
  m_wireBytes += kRequestFrame + length + kReplyOverhead;
  // The transfer lasts until this reply has crossed the line too; what
  // follows the last one (the box's end, the pause before the reboot) is
  // no transfer time.
  if (!m_bEnded) m_end = now + wireTime(length + kReplyOverhead);
}

void CTransferFigures::Ended(Clock::time_point) { m_bEnded = true; }

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
