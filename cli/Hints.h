// What the operator can do about a failure, where the command line knows.
#pragma once

#include <string>

#include "run/FailureCause.h"

namespace zel::cli {

// A line such as "Hint: add your user to the dialout group ..."; empty when
// there is nothing to add. Ports held by another program are named with it.
std::string HintFor(const CFailureCause& cause);

}  // namespace zel::cli
