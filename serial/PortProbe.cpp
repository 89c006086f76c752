#include "serial/PortProbe.h"

#include <algorithm>

#include "serial/SerialDevice.h"

namespace zel {
namespace {

// Opens and closes the port: a COM name is offered only if it opens.
bool Opens(const std::string& name) {
  const auto device = CSerialDevice::Create();
  if (!device->Open(name)) return false;
  CLineSettings line;
  const bool isSerial = device->GetLine(line);
  device->Close();
  return isSerial;
}

}  // namespace

std::vector<std::string> ProbePorts(const CProbeSources& sources) {
  const std::vector<CPortInfo> listed = ListSerialPorts(sources.list);
  std::vector<std::string> names, comDevices;
  for (const std::string& name : sources.comNames) {
    const std::string device = CSerialDevice::ResolveName(name);
    comDevices.push_back(device);
    const auto port = std::find_if(listed.begin(), listed.end(),
                                   [&](const CPortInfo& info) { return info.device == device; });
    const bool usable = MayOpenToProbe(device, sources.list)
                            ? Opens(name)
                            : port != listed.end() && !port->busy && !port->permissionDenied;
    if (usable) names.push_back(name);
  }
  auto isComName = [&](const std::string& name) {
    return std::find(sources.comNames.begin(), sources.comNames.end(), name) != sources.comNames.end();
  };
  for (const CPortInfo& port : listed)
    if (std::find(comDevices.begin(), comDevices.end(), port.device) == comDevices.end() &&
        !isComName(port.name))
      names.push_back(port.name);
  return names;
}

}  // namespace zel
