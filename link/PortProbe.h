// Finds the serial ports that can be opened now: COM1 to COM8 in order,
// then the USB and ACM adapters present, named by their stable
// /dev/serial/by-id links where they have one.
#pragma once

#include <string>
#include <vector>

namespace zel {

struct CProbedPort {
  std::string name;     // what to pass as the port: "COM1" or a device path
  std::string device;   // the device it opens, e.g. /dev/ttyUSB0
  std::string product;  // USB product string, where sysfs has it
  std::string serial;   // USB serial number, where sysfs has it
};

struct CProbeSources {
  std::vector<std::string> comNames{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"};
  std::vector<std::string> adapterPatterns{"/dev/ttyUSB*", "/dev/ttyACM*"};
  std::string byIdDirectory = "/dev/serial/by-id";
  std::string sysClassTty = "/sys/class/tty";
};

// Each port is listed only if it opens (it is closed again at once); a port
// held by a running transfer or another program is left out.
std::vector<CProbedPort> ProbePorts(const CProbeSources& sources = {});

}  // namespace zel
