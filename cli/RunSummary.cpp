#include "cli/RunSummary.h"

#include <algorithm>
#include <cstdio>

namespace zel::cli {

double BytesPerSecond(const CRunFigures& figures) {
  return figures.seconds > 0 ? static_cast<double>(figures.bytes) / figures.seconds : 0;
}

double ShareOfLine(const CRunFigures& figures, uint32_t lineBaud) {
  if (figures.seconds <= 0 || lineBaud == 0) return 0;
  return static_cast<double>(figures.wireBytes) * 10.0 / lineBaud / figures.seconds * 100.0;
}

std::string SummaryLine(RunOutcome outcome, const CRunFigures& figures, uint32_t lineBaud) {
  const char* word = outcome == RunOutcome::Succeeded   ? "Succeeded"
                     : outcome == RunOutcome::Cancelled ? "Cancelled"
                                                        : "Failed";
  char line[160];
  int used = std::snprintf(line, sizeof line, "%s: %llu bytes in %.1f s, %.2f KB/s", word,
                           static_cast<unsigned long long>(figures.bytes), figures.seconds,
                           BytesPerSecond(figures) / 1000.0);
  // Far over the line's limit, the line's speed did not bind (a
  // pseudo-terminal, a virtual pair): no share is said. Just over it is
  // the clocks' grain, and the line was full.
  constexpr double kNotBinding = 110;
  const double share = ShareOfLine(figures, lineBaud);
  if (lineBaud != 0 && used > 0 && share <= kNotBinding)
    std::snprintf(line + used, sizeof line - static_cast<size_t>(used), ", %.1f %% of the line",
                  std::min(share, 100.0));
  return line;
}

}  // namespace zel::cli
