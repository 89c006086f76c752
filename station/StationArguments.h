// The station window's command line, the same on Linux and Windows:
//   boxfeeder --station IMAGE --port A [--port NAME=B ...] [--start]
//             [--once] [--exit-when-done] [--results FILE]
//             [--station-name NAME] [--require-whole-image]
// Each port waits for its next box when one ends, unless --once. --start
// starts every port at once; --exit-when-done (which implies --once)
// closes the window once every port has ended, the process exiting with
// the command line's codes. Both are there so that a line can script the
// window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "station/StationBoard.h"

namespace zel {

struct CStationRequest {
  CStationSetup setup;
  bool start = false;
};

// What --help (or -h, /?) and --version print instead of opening a
// window, given alone; empty for any other arguments.
std::string WindowInformation(const std::vector<std::string>& arguments);

// Whether the arguments (without the program's name) ask for the station.
bool AsksForStation(const std::vector<std::string>& arguments);

// The request the arguments make; empty, with refusal saying why in one
// line, when they make none.
std::optional<CStationRequest> ParseStationArguments(const std::vector<std::string>& arguments,
                                                     std::string& refusal);

}  // namespace zel
