// A run's closing line, for example
// "Succeeded: 1048576 bytes in 188.4 s, 5.57 KB/s, 96.7 % of the line",
// from the figures the engine measured on its worker.
#pragma once

#include <cstdint>
#include <string>

#include "run/RunOutcome.h"

namespace zel {

// Data bytes a second over the measured time; 0 when nothing was timed.
double BytesPerSecond(const CRunFigures& figures);
// The frames' bytes against what a line of lineBaud could carry in the
// same time, 10 bits a byte: 100 means the line was full.
double ShareOfLine(const CRunFigures& figures, uint32_t lineBaud);

// "Succeeded: ...", "Failed: ..." or "Cancelled: ..."; the share of the
// line at most 100 %, and none when lineBaud is 0 or the line's speed
// plainly did not bind.
std::string SummaryLine(RunOutcome outcome, const CRunFigures& figures, uint32_t lineBaud);

// Now, as 2026-12-07T01:50:12.345Z: the clock of events, records and logs.
std::string UtcTimestamp();

}  // namespace zel
