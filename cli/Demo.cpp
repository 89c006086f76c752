#include "cli/Demo.h"

#include <cstdio>

#include "engines/EngineKinds.h"
#include "run/Platform.h"
#include "sim/BoxOnThread.h"
#include "sim/SampleImage.h"

namespace zel::cli {

int RunDemo(CUiLoop& loop, CConsole& console, CJsonEvents* json, CActiveStations& active,
            const CDemoOptions& options) {
  std::FILE* said = json ? stderr : stdout;
  const std::vector<uint8_t> image = sim::SampleImage(options.size, 2024);
  const std::string path = WriteTemporaryFile(image, ".sdl");
  if (path.empty()) {
    std::fprintf(stderr, "boxfeed: cannot write the sample image\n");
    return kExitFailed;
  }

  sim::CBoxPlan plan;
  plan.chunk = options.chunk;
  plan.baud = options.baud;
  sim::CBoxOnThread box(image, plan);
  std::fprintf(said, "Simulated box on %s; sample image %s (%u bytes)\n", box.box.Port().c_str(),
               path.c_str(), options.size);
  if (options.baud) std::fprintf(said, "The simulated line runs at %u baud.\n", options.baud);
  std::fflush(said);
  CSessionOptions run;
  run.trace = options.trace;
  run.progressTotal = image.size();
  run.cableWarning = true;
  run.summary = true;
  run.lineBaud = options.baud;
  run.json = json;
  const int status = RunOne(loop, console, active, UpgradeKind().make, box.box.Port(), path, run);
  box.Finish();
  const sim::CBoxReport& report = box.report;
  std::remove(path.c_str());

  std::fprintf(said, "Box: %llu requests, %llu good replies, %llu bad, %llu bytes received\n",
               static_cast<unsigned long long>(report.requests),
               static_cast<unsigned long long>(report.goodReplies),
               static_cast<unsigned long long>(report.badReplies),
               static_cast<unsigned long long>(report.bytesReceived));
  if (report.imageIntact) {
    std::fprintf(said, "Box: image received intact, all %llu bytes equal to the file\n",
                 static_cast<unsigned long long>(report.imageBytes));
  } else {
    std::fprintf(said, "Box: image NOT received intact%s%s\n", report.problem.empty() ? "" : ": ",
                 report.problem.c_str());
  }
  if (status != kExitSucceeded) return status;
  return report.imageIntact ? kExitSucceeded : kExitFailed;
}

}  // namespace zel::cli
