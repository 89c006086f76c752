// Choosing a station's ports from the listing, as `boxfeed ports` shows
// it: each port with its adapter, VID:PID, serial number and whether
// another program holds it; chosen and named as the operator left them
// last time. The windows keep that memory in their platform's settings
// (Qt settings on Linux, the registry on Windows).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "serial/PortList.h"
#include "station/StationBoard.h"

namespace zel {

// What the windows remember of the last station.
struct CStationMemory {
  std::string image;
  std::string resultsPath;
  std::vector<std::string> ports;              // the ports chosen last, by name
  std::map<std::string, std::string> aliases;  // by adapter serial number where known, else by port name
};

struct CPortRow {
  CPortInfo port;
  std::string adapter;  // the adapter's words ("FTDI FT232R USB UART"); empty for none
  bool chosen = false;
  std::string alias;
};

// The key an alias is remembered by: an adapter's serial number follows
// it from socket to socket; else the port's name.
std::string AliasKey(const CPortInfo& port);

// The listing as the picker shows it.
std::vector<CPortRow> PortRows(const std::vector<CPortInfo>& present, const CStationMemory& memory);

// The station the chosen rows make; empty, with refusal saying why, when
// none is chosen or two would share a name.
std::optional<CStationSetup> SetupOf(const std::string& image, const std::string& resultsPath,
                                     const std::vector<CPortRow>& rows, std::string& refusal);

// The memory after the operator chose rows: the aliases of ports not
// listed now are kept.
CStationMemory Remember(CStationMemory memory, const std::string& image, const std::string& resultsPath,
                        const std::vector<CPortRow>& rows);

}  // namespace zel
