// The command line's commands besides the upgrade itself.
#pragma once

#include <cstdint>

#include "cli/Console.h"
#include "cli/UpgradeSession.h"

namespace zel::cli {

// Prints the ports the window would offer, with their USB strings.
int ListPorts();

struct CDemoOptions {
  uint32_t size = 128 * 1024;  // bytes of the sample image
  uint32_t chunk = 1024;       // bytes per request
  uint32_t baud = 460800;      // pacing of the simulated line; 0 unpaced
  bool trace = false;
};

// Runs a whole upgrade of a sample image against the simulated box and
// prints the box's verdict.
int RunDemo(CUpgradeSession& session, const CDemoOptions& options);

}  // namespace zel::cli
