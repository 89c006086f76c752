// The close of a run of several ports: one row per box, so that the box
// that failed and why stay in view however long the log was.
#pragma once

#include <string>
#include <vector>

#include "station/Station.h"

namespace zel::cli {

// A heading ("Station: 2 of 3 boxes loaded"), the column titles and a row
// per box: label, outcome, bytes, seconds and, for a failure, its cause.
std::vector<std::string> StationTable(const std::vector<CStationBox>& boxes);

// A port's boxes in continuous mode.
struct CPortCounts {
  std::string label;
  int loaded = 0, failed = 0;
  std::string lastCause;  // of the last box, while it failed
};

// "Station: 11 of 12 boxes loaded, yield 91.7 %", the column titles and a
// row per port: label, boxes loaded and failed, the last failure's cause.
std::vector<std::string> CountsTable(const std::vector<CPortCounts>& ports);

}  // namespace zel::cli
