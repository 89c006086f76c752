#include "run/DebugOutput.h"

#include <cstdio>
#include <cstdlib>

namespace zel {

void OutputDebugLine(const std::string& text) {
  static const bool enabled = std::getenv("BOXFEEDER_DEBUG") != nullptr;
  if (enabled) std::fputs(text.c_str(), stderr);
}

}  // namespace zel
