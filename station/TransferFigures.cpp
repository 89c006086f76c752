#include "station/TransferFigures.h"

#include <algorithm>
#include <cstdio>

namespace zel {
namespace {

std::string Duration(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

int PercentOf(uint64_t part, uint64_t total) {
  if (total == 0) return 100;
  return static_cast<int>(std::min(part, total) * 100 / total);
}

std::string TransferFigures(uint64_t served, uint64_t total, double elapsed, bool finished) {
  const double rate = elapsed > 0 ? static_cast<double>(served) / elapsed : 0;
  char figures[64];
  std::snprintf(figures, sizeof figures, "%3d %%  %.1f KB/s", PercentOf(served, total), rate / 1000.0);
  std::string text = figures;
  if (!finished && served < total)
    text += "  " + (rate > 0 ? Duration(static_cast<double>(total - served) / rate) : "--:--") + " left";
  return text;
}

}  // namespace zel
