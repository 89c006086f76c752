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

std::vector<CPortChoice> ProbePorts(const CProbeSources& sources) {
  const std::vector<CPortInfo> listed = ListSerialPorts(sources.list);
  std::vector<CPortChoice> choices;
  std::vector<std::string> comDevices;
  for (const std::string& name : sources.comNames) {
    const std::string device = CSerialDevice::ResolveName(name);
    comDevices.push_back(device);
    // Linux lists a COM name's device; Windows lists the COM name itself.
    const auto port = std::find_if(listed.begin(), listed.end(), [&](const CPortInfo& info) {
      return info.device == device || info.name == name;
    });
    const bool usable = MayOpenToProbe(device, sources.list)
                            ? Opens(name)
                            : port != listed.end() && !port->busy && !port->permissionDenied;
    if (usable) choices.push_back({name, port != listed.end() ? DescribeAdapter(*port) : std::string()});
  }
  auto isComName = [&](const std::string& name) {
    return std::find(sources.comNames.begin(), sources.comNames.end(), name) != sources.comNames.end();
  };
  for (const CPortInfo& port : listed)
    if (std::find(comDevices.begin(), comDevices.end(), port.device) == comDevices.end() &&
        !isComName(port.name))
      choices.push_back({port.name, DescribeAdapter(port)});
  return choices;
}

}  // namespace zel
