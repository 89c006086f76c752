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

}  // namespace zel::cli
