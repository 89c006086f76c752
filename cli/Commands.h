// The command line's commands: the upgrade of one or several boxes at once,
// the boot download, and the list of ports.
#pragma once

#include <string>
#include <vector>

#include "cli/Console.h"
#include "cli/JsonEvents.h"
#include "cli/TransferSession.h"
#include "serial/PortList.h"
#include "station/Station.h"

namespace zel::cli {

// The stations running now, which Ctrl-C stops; used on the loop's thread.
using CActiveStations = std::vector<CStation*>;

struct CUpgradeCommand {
  std::string image;
  std::vector<std::string> ports;  // PATH or NAME=PATH
  bool trace = false;
  std::string logPath;
  std::string resultsPath;  // one JSON record per box appended here; empty for none
  std::string stationName;  // the records' station; empty for this computer's name
  unsigned endPauseMs = 1000;
  bool requireWholeImage = false;  // a box that asks for only part of the image fails
  bool requireStore = false;       // a records' database that cannot be reached refuses the run
  bool continuous = false;         // each port serves box after box until Ctrl-C
};

// One engine per port, side by side. Exit status: 0 when every box was
// loaded, 1 when any failed, else 2 when any was cancelled.
int RunUpgrade(CUiLoop& loop, CConsole& console, CJsonEvents* json, const CUpgradeCommand& command,
               CActiveStations& active);

struct CBootCommand {
  std::string commandFile;
  std::string port;
  std::string logPath;
};

int RunBoot(CUiLoop& loop, CConsole& console, CJsonEvents* json, const CBootCommand& command,
            CActiveStations& active);

// One run of makeEngine's engine with port and file, as a station of one.
int RunOne(CUiLoop& loop, CConsole& console, CActiveStations& active, CStation::EngineFactory makeEngine,
           const std::string& port, const std::string& file, const CSessionOptions& options,
           const std::string& logPath = {});

// Prints the serial ports present, without opening any; as JSON events
// with json.
int ListPorts(CJsonEvents* json = nullptr, const CPortListSources& sources = {});

}  // namespace zel::cli
