#include "run/RunSummary.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace zel {

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

std::string UtcTimestamp() {
  using namespace std::chrono;
  const auto now = floor<milliseconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
  return text;
}

}  // namespace zel
