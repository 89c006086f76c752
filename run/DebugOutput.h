// The debugger channel: diagnostic lines that never reach the operator.
// They are written to standard error when BOXFEEDER_DEBUG is set.
#pragma once

#include <string>

namespace zel {

void OutputDebugLine(const std::string& text);

}  // namespace zel
