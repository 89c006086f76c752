// How a run of either engine ended, as the engine itself recorded it.
#pragma once

#include <cstdint>
#include <cstdio>
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
  uint64_t imageBytes = 0;    // the image's size, where one was served
  uint64_t coveredBytes = 0;  // distinct bytes of the image the box was given
};

// The share of the image the box was given, 0 to 1 in steps of 0.0001,
// rounded down (a part never reads 1); 0 without an image.
inline double Coverage(const CRunFigures& figures) {
  if (figures.imageBytes == 0) return 0;
  return static_cast<double>(figures.coveredBytes * 10000 / figures.imageBytes) / 10000;
}

// That share as "40.5 %", rounded down: a part is never shown as 100 %.
inline std::string CoverageText(uint64_t covered, uint64_t total) {
  const uint64_t tenths = total == 0 ? 0 : covered * 1000 / total;
  char text[24];
  std::snprintf(text, sizeof text, "%llu.%llu %%", static_cast<unsigned long long>(tenths / 10),
                static_cast<unsigned long long>(tenths % 10));
  return text;
}

struct CRunEnd {
  RunOutcome outcome = RunOutcome::Failed;
  CFailureCause cause;  // for a failure, where the engine knew it
  CRunFigures figures;
  std::string imageSha256;  // of the image served, lower-case hex; empty when none was opened
};

// A wait for a port's next box (a station serving box after box) that had
// no box: stopped before any box asked for the image, or the port did not
// open. It leaves no record and counts as no box.
inline bool WaitHadNoBox(const CRunEnd& end, uint64_t served) {
  return served == 0 && (end.outcome == RunOutcome::Cancelled || IsStationFault(end.cause.kind));
}

}  // namespace zel
