#include "cli/Commands.h"

#include <unistd.h>

#include <cstdio>
#include <random>
#include <thread>

#include "link/PortProbe.h"
#include "sim/BoxSimulator.h"

namespace zel::cli {

int ListPorts() {
  const auto ports = ProbePorts();
  if (ports.empty()) {
    std::printf("No serial port could be opened.\n");
    return kExitSucceeded;
  }
  for (const CProbedPort& port : ports) {
    std::printf("%s", port.name.c_str());
    if (port.device != port.name) std::printf("  (%s)", port.device.c_str());
    if (!port.product.empty()) std::printf("  %s", port.product.c_str());
    if (!port.serial.empty()) std::printf("  serial %s", port.serial.c_str());
    std::printf("\n");
  }
  return kExitSucceeded;
}

int RunDemo(CUpgradeSession& session, const CDemoOptions& options) {
  std::vector<uint8_t> image(options.size);
  std::mt19937 random(2024);
  for (auto& b : image) b = static_cast<uint8_t>(random());
  char path[] = "/tmp/boxfeeder-demo-XXXXXX.sdl";
  const int fd = ::mkstemps(path, 4);
  if (fd < 0 || ::write(fd, image.data(), image.size()) != static_cast<ssize_t>(image.size())) {
    std::fprintf(stderr, "boxfeed: cannot write the sample image\n");
    return kExitFailed;
  }
  ::close(fd);

  sim::CBoxSimulator box;
  sim::CBoxPlan plan;
  plan.chunk = options.chunk;
  plan.baud = options.baud;
  std::printf("Simulated box on %s; sample image %s (%u bytes)\n", box.Port().c_str(), path, options.size);
  if (options.baud) std::printf("The simulated line runs at %u baud.\n", options.baud);
  std::fflush(stdout);
  sim::CBoxReport report;
  std::thread boxThread([&] { report = box.Run(image, plan); });
  const int status = session.Run({path, box.Port(), options.trace, {}});
  box.Stop();
  boxThread.join();
  std::remove(path);

  std::printf("Box: %llu requests, %llu good replies, %llu bad, %llu bytes received\n",
              static_cast<unsigned long long>(report.requests),
              static_cast<unsigned long long>(report.goodReplies),
              static_cast<unsigned long long>(report.badReplies),
              static_cast<unsigned long long>(report.bytesReceived));
  if (report.imageIntact) {
    std::printf("Box: image received intact, SHA-256 %s\n", report.rebuiltSha256.c_str());
  } else {
    std::printf("Box: image NOT received intact%s%s\n", report.problem.empty() ? "" : ": ",
                report.problem.c_str());
  }
  if (status != kExitSucceeded) return status;
  return report.imageIntact ? kExitSucceeded : kExitFailed;
}

}  // namespace zel::cli
