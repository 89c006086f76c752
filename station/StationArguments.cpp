#include "station/StationArguments.h"

#include <algorithm>
#include <cstdlib>

#include "station/StationPorts.h"

namespace zel {

std::string WindowInformation(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) return {};
  const std::string& argument = arguments[0];
  if (argument == "--version") return "boxfeeder " BOXFEEDER_VERSION "\n";
  if (argument != "--help" && argument != "-h" && argument != "/?") return {};
  return "Usage: boxfeeder [IMAGE]\n"
         "       boxfeeder --station IMAGE --port PORT [--port NAME=PORT ...] [--start]\n"
         "                 [--once] [--exit-when-done] [--results FILE|odbc:CONNECTION]\n"
         "                 [--station-name NAME] [--require-whole-image]\n"
         "\n"
         "Opens the BoxFeeder window, with IMAGE chosen when one is given. With\n"
         "--station, the station window loads a box on each port at once, box after\n"
         "box unless --once; --start starts every port, --exit-when-done closes the\n"
         "window once every port has ended (exit status 0 loaded, 1 failed, 2\n"
         "cancelled). boxfeed is the command line.\n"
         "\n"
         "  --help     print this help and exit\n"
         "  --version  print the version and exit\n";
}

bool AsksForStation(const std::vector<std::string>& arguments) {
  return std::find(arguments.begin(), arguments.end(), "--station") != arguments.end();
}

std::optional<CStationRequest> ParseStationArguments(const std::vector<std::string>& arguments,
                                                     std::string& refusal) {
  CStationRequest request;
  std::vector<std::string> ports;
  bool imageGiven = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool takesValue = argument == "--station" || argument == "--port" || argument == "--results" ||
                            argument == "--station-name" || argument == "--end-pause-ms";
    if (takesValue && i + 1 == arguments.size()) {
      refusal = argument + " needs a value";
      return std::nullopt;
    }
    if (argument == "--station") {
      request.setup.image = arguments[++i];
      imageGiven = true;
    } else if (argument == "--port") {
      ports.push_back(arguments[++i]);
    } else if (argument == "--results") {
      request.setup.resultsPath = arguments[++i];
    } else if (argument == "--station-name") {
      request.setup.stationName = arguments[++i];
    } else if (argument == "--end-pause-ms") {  // the tests' shorter pause after each success
      request.setup.endPauseMs = std::atoi(arguments[++i].c_str());
    } else if (argument == "--once") {
      request.setup.continuous = false;
    } else if (argument == "--start") {
      request.start = true;
    } else if (argument == "--exit-when-done") {
      request.setup.exitWhenDone = true;
      request.setup.continuous = false;
    } else if (argument == "--require-whole-image") {
      request.setup.requireWholeImage = true;
    } else {
      refusal = "unknown argument: " + argument;
      return std::nullopt;
    }
  }
  if (!imageGiven || request.setup.image.empty()) {
    refusal = "--station needs the image";
    return std::nullopt;
  }
  if (ports.empty()) {
    refusal = "the station needs at least one --port";
    return std::nullopt;
  }
  request.setup.ports = NameStationPorts(ports, refusal);
  if (request.setup.ports.empty()) return std::nullopt;
  if (request.setup.resultsPath == request.setup.image) {
    refusal = "the results file is the image: " + request.setup.image;
    return std::nullopt;
  }
  return request;
}

}  // namespace zel
