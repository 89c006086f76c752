// The ports the window offers: COM1 to COM8 in order, those that can be
// used now, then the other serial ports present (USB and ACM adapters),
// named by their stable links where they have one and listed without
// being opened. Whether a COM port can be used is tried by opening it
// where the platform allows (MayOpenToProbe), else read from the listing.
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
