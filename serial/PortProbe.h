// The ports the window offers: COM1 to COM8 in order, those that can be
// opened now, then the other serial ports present (USB and ACM adapters),
// named by their stable links where they have one and listed without
// being opened.
#pragma once

#include <string>
#include <vector>

#include "serial/PortList.h"

namespace zel {

struct CProbeSources {
  std::vector<std::string> comNames{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"};
  CPortListSources list;
};

// The names to offer, in order.
std::vector<std::string> ProbePorts(const CProbeSources& sources = {});

}  // namespace zel
