// The command line's commands besides the transfers themselves.
#pragma once

namespace zel::cli {

// Prints the ports the window would offer, with their USB strings.
int ListPorts();

}  // namespace zel::cli
