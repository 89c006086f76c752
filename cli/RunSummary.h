// The figures of one transfer and its closing line, for example
// "Succeeded: 1048576 bytes in 188.4 s, 5.57 KB/s, 96.7 % of the line".
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "link/RunOutcome.h"

namespace zel::cli {

// What the box asked for and got. The transfer counts from the box's first
// data request: waiting for the operator to switch the box on is not
// transfer time.
class CTransferFigures {
 public:
  using Clock = std::chrono::steady_clock;

  explicit CTransferFigures(uint32_t lineBaud) : m_lineBaud(lineBaud) {}

  // A request of length bytes was served just now.
  void Served(uint32_t length, Clock::time_point now = Clock::now());
  // The run is over: nothing later counts.
  void Ended(Clock::time_point now = Clock::now());

  bool Started() const { return m_bStarted; }
  Clock::time_point FirstRequest() const { return m_firstRequest; }
  uint64_t Bytes() const { return m_bytes; }
  double Seconds() const;
  // Image bytes a second over the transfer.
  double BytesPerSecond() const;
  // The frames' bytes (requests and replies) against what the line could
  // carry in the same time, 10 bits a byte: 100 means the line was full.
  double ShareOfLine() const;

 private:
  uint32_t m_lineBaud;
  bool m_bStarted = false;
  bool m_bEnded = false;
  Clock::time_point m_firstRequest{};
  Clock::time_point m_end{};
  uint64_t m_bytes = 0;
  uint64_t m_wireBytes = 0;
};

// "Succeeded: ...", "Failed: ..." or "Cancelled: ...".
std::string SummaryLine(RunOutcome outcome, const CTransferFigures& figures);

}  // namespace zel::cli
