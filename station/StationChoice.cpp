#include "station/StationChoice.h"

#include <algorithm>

#include "station/StationPorts.h"
#include "store/StoreAddress.h"

namespace zel {

std::string AliasKey(const CPortInfo& port) {
  return port.serial.empty() ? port.name : "serial:" + port.vidPid + ":" + port.serial;
}

std::vector<CPortRow> PortRows(const std::vector<CPortInfo>& present, const CStationMemory& memory) {
  std::vector<CPortRow> rows;
  for (const CPortInfo& port : present) {
    CPortRow row;
    row.port = port;
    row.adapter = DescribeAdapter(port);
    row.chosen = std::find(memory.ports.begin(), memory.ports.end(), port.name) != memory.ports.end();
    if (const auto alias = memory.aliases.find(AliasKey(port)); alias != memory.aliases.end())
      row.alias = alias->second;
    rows.push_back(row);
  }
  return rows;
}

std::optional<CStationSetup> SetupOf(const std::string& image, const std::string& resultsPath,
                                     const std::vector<CPortRow>& rows, std::string& refusal) {
  std::vector<std::string> arguments;
  CStationSetup setup;
  for (const CPortRow& row : rows) {
    if (!row.chosen) continue;
    arguments.push_back(row.alias.empty() ? row.port.name : row.alias + "=" + row.port.name);
  }
  if (image.empty()) {
    refusal = "Choose the image first.";
    return std::nullopt;
  }
  if (arguments.empty()) {
    refusal = "Choose at least one port.";
    return std::nullopt;
  }
  setup.ports = NameStationPorts(arguments, refusal);
  if (setup.ports.empty()) return std::nullopt;
  setup.image = image;
  setup.resultsPath = resultsPath;
  return setup;
}

CStationMemory Remember(CStationMemory memory, const std::string& image, const std::string& resultsPath,
                        const std::vector<CPortRow>& rows) {
  memory.image = image;
  // A database's password is not kept on the disk: the DSN or the
  // environment gives it.
  CStoreAddress address;
  std::string refusal;
  memory.resultsPath = ParseStoreAddress(resultsPath, address, refusal) ? address.remembered : resultsPath;
  memory.ports.clear();
  for (const CPortRow& row : rows) {
    if (row.chosen) memory.ports.push_back(row.port.name);
    if (row.alias.empty())
      memory.aliases.erase(AliasKey(row.port));
    else
      memory.aliases[AliasKey(row.port)] = row.alias;
  }
  return memory;
}

}  // namespace zel
