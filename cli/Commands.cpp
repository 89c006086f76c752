#include "cli/Commands.h"

#include <cstdio>

#include "link/PortProbe.h"

namespace zel::cli {

int ListPorts() {
  const auto ports = ProbePorts();
  if (ports.empty()) {
    std::printf("No serial port could be opened.\n");
    return 0;
  }
  for (const CProbedPort& port : ports) {
    std::printf("%s", port.name.c_str());
    if (port.device != port.name) std::printf("  (%s)", port.device.c_str());
    if (!port.product.empty()) std::printf("  %s", port.product.c_str());
    if (!port.serial.empty()) std::printf("  serial %s", port.serial.c_str());
    std::printf("\n");
  }
  return 0;
}

}  // namespace zel::cli
