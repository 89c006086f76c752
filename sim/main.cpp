// boxsim: a simulated set-top box on a pseudo-terminal. It prints the
// device to give boxfeed, waits for the tool to open it, runs the upgrade
// exchange and prints its verdict on the image it received.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include "boot/CommandFile.h"
#include "boot/ZELBootThread.h"
#include "interrupt/InterruptWatcher.h"
#include "run/Platform.h"
#include "sim/BoxSimulator.h"
#include "sim/DeviceLink.h"

using zel::sim::CBoxPlan;

// Says how the box's exchange went; true when it was loaded.
bool ReportBox(const zel::sim::CBoxReport& report, const CBoxPlan& plan) {
  std::printf("boxsim: %llu requests, %llu good replies, %llu bad, %llu bytes received\n",
              static_cast<unsigned long long>(report.requests),
              static_cast<unsigned long long>(report.goodReplies),
              static_cast<unsigned long long>(report.badReplies),
              static_cast<unsigned long long>(report.bytesReceived));
  if (!report.problem.empty()) std::printf("boxsim: %s\n", report.problem.c_str());
  if (!report.turnaroundUs.empty() && plan.baud > 0) {
    // How long the tool took to answer: from a request's last byte to its
    // reply's first, on a paced line.
    std::vector<double> turnaround = report.turnaroundUs;
    std::sort(turnaround.begin(), turnaround.end());
    std::printf("boxsim: %.2f s against a wire limit of %.2f s; the tool answered in %.0f us (median)\n",
                report.seconds, report.wireSeconds, turnaround[turnaround.size() / 2]);
  }
  if (report.imageIntact)
    std::printf("boxsim: image received intact, all %llu bytes equal to the file\n",
                static_cast<unsigned long long>(report.imageBytes));
  else
    std::printf("boxsim: image NOT received intact\n");
  std::fflush(stdout);
  return report.imageIntact && report.completed;
}

int main(int argc, char** argv) {
  zel::ReserveStandardStreams();
  CLI::App app{"boxsim: a simulated set-top box on a pseudo-terminal, for boxfeed to upgrade."};
  std::string imagePath, linkPath, order = "sequential";
  CBoxPlan plan;
  zel::sim::CBootPlan bootPlan;
  uint64_t hangUpAfter = 0;
  uint16_t firstPid = 0;
  bool boot = false;
  app.add_option("IMAGE", imagePath, "The image the box expects to receive (with --boot: the command file)")
      ->required()
      ->check(CLI::ExistingFile);
  app.add_flag("--boot", boot, "Play the boot exchange instead, expecting the command file's second section");
  app.add_option("--link", linkPath,
                 "Also make this path a link to the box's device; a file already there is left alone");
  bool daemon = false;
  app.add_flag(
      "--daemon", daemon,
      "Go to the background once the box (and its --link) is ready, so that the next command can use "
      "it at once");
  app.add_option("--chunk", plan.chunk, "Bytes asked for per request")->check(CLI::Range(1u, 65535u));
  app.add_option("--order", order, "Order of the requests")
      ->check(CLI::IsMember({"sequential", "reverse", "random", "repeated"}));
  app.add_option("--seed", plan.seed, "Seed of the random order and the noise");
  app.add_option("--baud", plan.baud, "Pace the line at this speed (0: unpaced)");
  app.add_option(
      "--usb-latency", plan.usbLatencyMs,
      "Model a USB adapter's latency timer of this many ms: short frames reach the tool at its ticks");
  app.add_flag("--zero-length", plan.zeroLengthRequest, "Also ask for 0 bytes");
  app.add_flag("--max-length", plan.maxLengthRequest, "Also ask for 65535 bytes");
  app.add_flag("--at-end", plan.requestAtEnd, "Also ask at the image's length");
  app.add_flag("--past-end", plan.requestPastEnd, "Also ask one byte past the image's length");
  app.add_option("--noise-before", plan.noiseBeforeReboot, "Noise bytes before PID_REBOOT");
  app.add_option("--noise-between", plan.noiseBetweenFrames, "Noise bytes before each request");
  app.add_option("--banner", plan.bannerBeforeReboot, "Text to print before PID_REBOOT, as boot loaders do");
  app.add_flag("--acknowledge-first", plan.acknowledgeFirst, "Send PID_ACKNOWLEDGE before PID_REBOOT");
  app.add_option("--first-pid", firstPid, "Announce with this PID instead of PID_REBOOT");
  app.add_flag("--silent", plan.silent, "Never send anything");
  app.add_option("--power-on-bytes", bootPlan.powerOnBytes,
                 "With --boot: bytes the box says when it comes up")
      ->check(CLI::Range(1u, 64u));
  app.add_option("--hang-up-after", hangUpAfter, "Hang up once the tool has sent this many bytes");
  unsigned boxes = 1;
  app.add_option("--boxes", boxes,
                 "Play this many boxes one after another on the same port, each switched on as the one "
                 "before ends (a station serving box after box)")
      ->check(CLI::Range(1u, 1000000u));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : 64;
  }
  static const std::map<std::string, CBoxPlan::Order> kOrders{{"sequential", CBoxPlan::Order::Sequential},
                                                              {"reverse", CBoxPlan::Order::Reverse},
                                                              {"random", CBoxPlan::Order::Random},
                                                              {"repeated", CBoxPlan::Order::Repeated}};
  plan.order = kOrders.at(order);
  if (app.count("--first-pid")) plan.firstPid = firstPid;
  if (hangUpAfter) plan.hangUpAfter = hangUpAfter;
  plan.replyTimeoutMs = 600000;

  std::ifstream in(imagePath, std::ios::binary);
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  zel::sim::CBoxSimulator box;
  std::string port = box.Port();
  if (!linkPath.empty()) {
    if (const std::string refusal = zel::sim::MakeDeviceLink(linkPath, port); !refusal.empty()) {
      std::fprintf(stderr, "boxsim: --link %s\n", refusal.c_str());
      return 1;
    }
    port = linkPath;
  }
  std::printf("boxsim: the box is on %s\nboxsim: run  boxfeed %s %s --port %s\n", port.c_str(),
              boot ? "boot" : "upgrade", imagePath.c_str(), port.c_str());
  std::fflush(stdout);
  // The link is there before the command that started the box returns.
  if (daemon && !zel::sim::GoToTheBackground()) {
    std::fprintf(stderr, "boxsim: cannot go to the background\n");
    return 1;
  }
  zel::CInterruptWatcher interrupts([&] { box.Stop(); });
  const auto removeLink = [&] {
    if (!linkPath.empty()) zel::sim::RemoveDeviceLink(linkPath, box.Port());
  };

  if (boot) {
    // What the tool will send: the command file's second section.
    std::vector<uint8_t> section(zel::CZELBootThread::kSectionRoom);
    std::FILE* file = std::fopen(imagePath.c_str(), "r");
    size_t size = file ? zel::ReadNextSection(file, section.data(), section.size()) : 0;
    if (size) size = zel::ReadNextSection(file, section.data(), section.size());
    if (file) std::fclose(file);
    section.resize(size);
    const zel::sim::CBootReport report = box.RunBoot(section, bootPlan);
    removeLink();
    std::printf(
        "boxsim: boot exchange %s; section 2 %s (%zu bytes); %d B bytes; %s\n",
        report.completed ? "completed" : "NOT completed",
        report.sectionMatches ? "matches" : "does NOT match", report.section.size(), report.bBytes,
        report.switchedBeforeB ? "115200 baud before the first B" : "speed NOT switched before the first B");
    if (!report.problem.empty()) std::printf("boxsim: %s\n", report.problem.c_str());
    return report.completed && report.sectionMatches && report.switchedBeforeB && report.bBytes == 14 ? 0 : 1;
  }

  bool allLoaded = true;
  for (unsigned n = 1; n <= boxes; ++n) {
    if (boxes > 1) std::printf("boxsim: box %u of %u\n", n, boxes);
    const zel::sim::CBoxReport report = box.Run(image, plan);
    allLoaded &= ReportBox(report, plan);
    if (!report.completed) break;
  }
  removeLink();
  return allLoaded ? 0 : 1;
}
