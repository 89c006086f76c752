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
// With json, standard output holds the run's JSON events alone, and the
// box's own account goes to standard error.
int RunDemo(CUiLoop& loop, CConsole& console, CJsonEvents* json, CActiveStations& active,
            const CDemoOptions& options);

}  // namespace zel::cli
