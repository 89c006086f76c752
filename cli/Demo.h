// boxfeed demo: a whole upgrade of a sample image against the simulated
// box, in builds that carry the simulator.
#pragma once

#include <cstdint>

#include "cli/Commands.h"

namespace zel::cli {

struct CDemoOptions {
  uint32_t size = 128 * 1024;  // bytes of the sample image
  uint32_t chunk = 1024;       // bytes per request
  uint32_t baud = 460800;      // pacing of the simulated line; 0 unpaced
  bool trace = false;
};

// Runs the upgrade and prints the box's verdict.
int RunDemo(CUiLoop& loop, CConsole& console, CActiveStations& active, const CDemoOptions& options);

}  // namespace zel::cli
