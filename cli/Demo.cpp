#include "cli/Demo.h"

#include <cstdio>
#include <random>
#include <thread>

#include "engines/EngineKinds.h"
#include "run/Platform.h"
#include "sim/BoxSimulator.h"

namespace zel::cli {

int RunDemo(CUiLoop& loop, CConsole& console, CActiveStations& active, const CDemoOptions& options) {
  std::vector<uint8_t> image(options.size);
  std::mt19937 random(2024);
  for (auto& b : image) b = static_cast<uint8_t>(random());
  const std::string path = WriteTemporaryFile(image, ".sdl");
  if (path.empty()) {
    std::fprintf(stderr, "boxfeed: cannot write the sample image\n");
    return kExitFailed;
  }

  sim::CBoxSimulator box;
  sim::CBoxPlan plan;
  plan.chunk = options.chunk;
  plan.baud = options.baud;
  std::printf("Simulated box on %s; sample image %s (%u bytes)\n", box.Port().c_str(), path.c_str(),
              options.size);
  if (options.baud) std::printf("The simulated line runs at %u baud.\n", options.baud);
  std::fflush(stdout);
  sim::CBoxReport report;
  std::thread boxThread([&] { report = box.Run(image, plan); });
  CSessionOptions run;
  run.trace = options.trace;
  run.progressTotal = image.size();
  run.cableWarning = true;
  run.summary = true;
  run.lineBaud = options.baud;
  const int status = RunOne(loop, console, active, UpgradeKind().make, box.Port(), path, run);
  box.Stop();
  boxThread.join();
  std::remove(path.c_str());

  std::printf("Box: %llu requests, %llu good replies, %llu bad, %llu bytes received\n",
              static_cast<unsigned long long>(report.requests),
              static_cast<unsigned long long>(report.goodReplies),
              static_cast<unsigned long long>(report.badReplies),
              static_cast<unsigned long long>(report.bytesReceived));
  if (report.imageIntact) {
    std::printf("Box: image received intact, all %llu bytes equal to the file\n",
                static_cast<unsigned long long>(report.imageBytes));
  } else {
    std::printf("Box: image NOT received intact%s%s\n", report.problem.empty() ? "" : ": ",
                report.problem.c_str());
  }
  if (status != kExitSucceeded) return status;
  return report.imageIntact ? kExitSucceeded : kExitFailed;
}

}  // namespace zel::cli
