// How a run of either engine ended, as the engine itself recorded it.
#pragma once

#include "link/FailureCause.h"

namespace zel {

enum class RunOutcome { Succeeded, Failed, Cancelled };

struct CRunEnd {
  RunOutcome outcome = RunOutcome::Failed;
  CFailureCause cause;  // for a failure, where the engine knew it
};

}  // namespace zel
