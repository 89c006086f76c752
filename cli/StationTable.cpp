#include "cli/StationTable.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "cli/JsonEvents.h"
#include "station/StationBoard.h"

namespace zel::cli {

std::vector<std::string> StationTable(const std::vector<CStationBox>& boxes) {
  size_t width = 3;
  size_t loaded = 0;
  for (const CStationBox& box : boxes) {
    width = std::max(width, box.label.size());
    loaded += box.end.outcome == RunOutcome::Succeeded ? 1 : 0;
  }
  std::vector<std::string> lines;
  char text[512];
  std::snprintf(text, sizeof text, "Station: %zu of %zu boxes loaded", loaded, boxes.size());
  lines.push_back(text);
  // The image each box got: one line when they all got the same.
  std::set<std::string> digests;
  for (const CStationBox& box : boxes)
    if (!box.end.imageSha256.empty()) digests.insert(box.end.imageSha256);
  if (digests.size() == 1) lines.push_back("Image SHA-256: " + *digests.begin());
  if (digests.size() > 1)
    for (const CStationBox& box : boxes)
      if (!box.end.imageSha256.empty()) lines.push_back(box.label + " image SHA-256: " + box.end.imageSha256);
  const int w = static_cast<int>(width);
  std::snprintf(text, sizeof text, "  %-*s  %-9s  %10s  %8s  %s", w, "BOX", "OUTCOME", "BYTES", "TIME",
                "CAUSE");
  lines.push_back(text);
  for (const CStationBox& box : boxes) {
    // The row names the port already.
    CFailureCause cause = box.end.cause;
    if (cause.subject == box.port) cause.subject.clear();
    std::snprintf(text, sizeof text, "  %-*s  %-9s  %10llu  %6.1f s  %s", w, box.label.c_str(),
                  OutcomeName(box.end.outcome), static_cast<unsigned long long>(box.end.figures.bytes),
                  box.end.figures.seconds, CauseWords(cause).c_str());
    std::string line = text;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> CountsTable(const std::vector<CPortCounts>& ports) {
  CStationCounts total;
  size_t width = 4;
  for (const CPortCounts& port : ports) {
    total.loaded += port.loaded;
    total.failed += port.failed;
    width = std::max(width, port.label.size());
  }
  std::vector<std::string> lines;
  char text[512];
  std::snprintf(text, sizeof text, "Station: %d of %d boxes loaded", total.loaded,
                total.loaded + total.failed);
  lines.push_back(text);
  if (total.YieldPercent() >= 0) {
    std::snprintf(text, sizeof text, ", yield %.1f %%", total.YieldPercent());
    lines.back() += text;
  }
  const int w = static_cast<int>(width);
  std::snprintf(text, sizeof text, "  %-*s  %6s  %6s  %s", w, "PORT", "LOADED", "FAILED", "LAST CAUSE");
  lines.push_back(text);
  for (const CPortCounts& port : ports) {
    std::snprintf(text, sizeof text, "  %-*s  %6d  %6d  %s", w, port.label.c_str(), port.loaded, port.failed,
                  port.lastCause.c_str());
    std::string line = text;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace zel::cli
