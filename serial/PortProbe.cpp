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
  std::vector<std::string> names, comDevices;
  for (const std::string& name : sources.comNames) {
    comDevices.push_back(CSerialDevice::ResolveName(name));
    if (Opens(name)) names.push_back(name);
  }
  auto isComName = [&](const std::string& name) {
    return std::find(sources.comNames.begin(), sources.comNames.end(), name) != sources.comNames.end();
  };
  for (const CPortInfo& port : ListSerialPorts(sources.list))
    if (std::find(comDevices.begin(), comDevices.end(), port.device) == comDevices.end() &&
        !isComName(port.name))
      names.push_back(port.name);
  return names;
}

}  // namespace zel
