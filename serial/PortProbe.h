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

// A port to offer: the name the dialog uses, and what a person reads
// beside it to tell adapters apart ("FTDI FT232R USB UART"; on Windows the
// driver's friendly name, "USB Serial Port (COM5)"); empty where the
// listing knows nothing of it.
struct CPortChoice {
  std::string name;
  std::string description;
  bool operator==(const CPortChoice&) const = default;
};

// The ports to offer, in order.
std::vector<CPortChoice> ProbePorts(const CProbeSources& sources = {});

}  // namespace zel
