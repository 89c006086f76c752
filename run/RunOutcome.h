// How a run of either engine ended, as the engine itself recorded it.
#pragma once

#include <cstdint>
#include <string>

#include "run/FailureCause.h"

namespace zel {

enum class RunOutcome { Succeeded, Failed, Cancelled };

// What went over the line, measured on the worker as it happened.
struct CRunFigures {
  uint64_t bytes = 0;      // data bytes in frames written whole
  uint64_t wireBytes = 0;  // every byte of the exchange's counted frames, both ways
  // From the box's first data request to its last frame (the end of the
  // upgrade) or, where it never came, to the last frame written whole.
  double seconds = 0;
};

struct CRunEnd {
  RunOutcome outcome = RunOutcome::Failed;
  CFailureCause cause;  // for a failure, where the engine knew it
  CRunFigures figures;
  std::string imageSha256;  // of the image served, lower-case hex; empty when none was opened
};

}  // namespace zel
