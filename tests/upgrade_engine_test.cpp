#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/UpgradeHarness.h"
#include "upgrade/UpgradeFrame.h"

namespace zel {
namespace {

using test::CUpgradeHarness;
using test::SampleImage;
using Lines = std::vector<std::string>;
using Order = sim::CBoxPlan::Order;

sim::CBoxPlan Plan(uint32_t chunk, Order order = Order::Sequential) {
  sim::CBoxPlan plan;
  plan.chunk = chunk;
  plan.order = order;
  return plan;
}

size_t Count(const Lines& lines, const std::string& text) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}

Lines Tail(const Lines& lines, size_t n) {
  return Lines(lines.end() - std::min(n, lines.size()), lines.end());
}

TEST(UpgradeSuccess, ServesEveryRequestAndReportsInTheWindowsOrder) {
  CUpgradeHarness run;
  const auto image = SampleImage(10000);
  run.Run(image, Plan(1024));
  const std::string port = run.simulator.Port();
  EXPECT_EQ(
      run.PlainLines(),
      (Lines{"Open port (" + port + ") Successfully ", "Please SWITCH ON your box now", "Synchronization OK",
             "Wait for PID_REBOOT from the box", "Receive PID_REBOOT from the box", "Download START...",
             "Send PID_START_UPGRADE to the box", "Download Terminated SUCCESSFULLY"}));
  EXPECT_EQ(run.outcome, END_SUCCEEDED);
  EXPECT_EQ(run.endCount, 1);
  EXPECT_EQ(run.linesAfterEnd, 1) << "the final line follows the acknowledgement";
  EXPECT_TRUE(run.box.imageIntact) << run.box.problem;
  EXPECT_TRUE(run.box.completed);
  EXPECT_EQ(run.box.badReplies, 0u);
  // One progress notification per request, with its offset and length.
  ASSERT_EQ(run.progress.size(), 10u);
  EXPECT_EQ(run.progress[0], (std::pair<uintptr_t, intptr_t>{0, 1024}));
  EXPECT_EQ(run.progress[9], (std::pair<uintptr_t, intptr_t>{9216, 784}));
  // Two debug lines per request: the request and the first ten bytes.
  const Lines debug = run.DebugLines();
  ASSERT_EQ(debug.size(), 20u);
  EXPECT_EQ(debug[0], "<<Received Data Request from STB: Offset = [0], RequestDataLen = [0x400]");
  EXPECT_EQ(debug[1], HexDump(image.data(), 10));
  EXPECT_EQ(run.diagnostics, Lines{"\n[UART_DL] PID_TERM_UPGRADE successfully!\n"});
  EXPECT_EQ(run.reports.Texts(), Lines{});
}

TEST(UpgradeSuccess, AnyOrderAndRepeatedRequestsRebuildTheImage) {
  for (Order order : {Order::Reverse, Order::Random, Order::Repeated}) {
    CUpgradeHarness run;
    sim::CBoxPlan plan = Plan(777, order);
    plan.seed = 42;
    run.Run(SampleImage(50000, 3), plan);
    EXPECT_EQ(run.outcome, END_SUCCEEDED);
    EXPECT_TRUE(run.box.imageIntact) << static_cast<int>(order) << ": " << run.box.problem;
    EXPECT_EQ(run.progress.size(), run.box.requests);
  }
}

TEST(UpgradeSuccess, TheRequestLineShowsOnlyTheLow12BitsOfTheLength) {
  CUpgradeHarness small, large;
  small.Run(SampleImage(8192), Plan(0x400));
  large.Run(SampleImage(8192), Plan(4096));
  EXPECT_EQ(Count(small.DebugLines(),
                  "<<Received Data Request from STB: Offset = [4096], RequestDataLen = [0x400]"),
            1u);
  EXPECT_EQ(
      Count(large.DebugLines(), "<<Received Data Request from STB: Offset = [4096], RequestDataLen = [0x00]"),
      1u);
}

TEST(UpgradeEdges, AtTheEndPaddingIsServedAndOneFurtherEndsTheRequest) {
  CUpgradeHarness run;
  sim::CBoxPlan plan = Plan(1000);
  plan.requestAtEnd = true;    // n bytes past the image: all 0xFF
  plan.requestPastEnd = true;  // offset = length + 1: PID_TERM_UPGRADE, no reply
  plan.zeroLengthRequest = true;
  plan.maxLengthRequest = true;  // 65535 bytes of a 3000-byte image
  run.Run(SampleImage(3000), plan);
  EXPECT_EQ(run.outcome, END_SUCCEEDED);
  EXPECT_TRUE(run.box.imageIntact) << run.box.problem;
  EXPECT_EQ(run.box.badReplies, 0u) << run.box.problem;
  EXPECT_EQ(run.box.termCommands, 1u);
  EXPECT_EQ(run.progress.size(), run.box.requests - 1) << "no progress for the refused request";
  EXPECT_EQ(Count(run.diagnostics, "[UART_DL] ERROR: The file pointer can't be moved successfully.\n"), 1u);
}

TEST(UpgradeHandshake, AnUnexpectedFirstPidFailsTheRun) {
  CUpgradeHarness run;
  sim::CBoxPlan plan = Plan(1024);
  plan.firstPid = 0x0005;
  run.Run(SampleImage(100), plan);
  EXPECT_EQ(Tail(run.PlainLines(), 3),
            (Lines{"Received UNKNOWN Pid = 0x0005", "Please REBOOT the box and try the download again",
                   "Download FAILED"}));
  EXPECT_EQ(run.outcome, END_FAILED);
  EXPECT_FALSE(run.box.startReceived);
}

TEST(UpgradeHandshake, AnAcknowledgeBeforeTheRebootIsWaitedPast) {
  CUpgradeHarness run;
  sim::CBoxPlan plan = Plan(512);
  plan.acknowledgeFirst = true;
  run.Run(SampleImage(4000), plan);
  EXPECT_EQ(run.outcome, END_SUCCEEDED);
  EXPECT_TRUE(run.box.imageIntact) << run.box.problem;
  const Lines lines = run.PlainLines();
  const Lines expected{"Received PID_ACKNOWLEDGE", "Retry to Wait for PID_REBOOT",
                       "Received PID_REBOOT from the box", "Download START now...",
                       "Send PID_START_UPGRADE to the box"};
  EXPECT_NE(std::search(lines.begin(), lines.end(), expected.begin(), expected.end()), lines.end());
  EXPECT_EQ(Count(lines, "Send PID_START_UPGRADE to the box"), 1u);
}

TEST(UpgradeHandshake, NoiseBeforeTheRebootIsSkipped) {
  CUpgradeHarness run;
  sim::CBoxPlan plan = Plan(1024);
  plan.noiseBeforeReboot = 40;
  run.Run(SampleImage(5000), plan);
  EXPECT_EQ(run.outcome, END_SUCCEEDED);
  EXPECT_TRUE(run.box.imageIntact) << run.box.problem;
}

TEST(UpgradeService, NoiseBetweenFramesIsReportedOnceAndTheFrameStillServed) {
  CUpgradeHarness run;
  sim::CBoxPlan plan = Plan(1000);
  plan.noiseBetweenFrames = 3;
  run.Run(SampleImage(6000), plan);
  EXPECT_EQ(run.outcome, END_SUCCEEDED);
  EXPECT_TRUE(run.box.imageIntact) << run.box.problem;
  EXPECT_EQ(Count(run.PlainLines(), "Received UNKNOWN Command from the STB"), run.box.requests);
}

TEST(UpgradeFailures, APortThatDoesNotOpenEndsTheRunAtOnce) {
  CUpgradeHarness run;
  const std::string port = "/dev/does-not-exist";
  run.Run(SampleImage(100), Plan(1024), &port);
  EXPECT_EQ(run.PlainLines(), (Lines{"Open port (/dev/does-not-exist) FAILED",
                                     "Please VERIFY the port connection and try it again"}));
  EXPECT_EQ(run.outcome, END_FAILED);
  EXPECT_EQ(run.reports.Texts(), Lines{"Can not Create the File"});
}

TEST(UpgradeFailures, AnImageThatDoesNotOpenFailsAfterTheHandshake) {
  CUpgradeHarness run;
  run.RunFile("/tmp/boxfeeder-no-such-image.sdl", SampleImage(100), Plan(1024));
  EXPECT_EQ(Tail(run.PlainLines(), 2), (Lines{"FAILED to open the download file", "Download FAILED"}));
  EXPECT_EQ(run.outcome, END_FAILED);
}

TEST(UpgradeFailures, AReadErrorOnTheImageEndsTheRunWithoutAReply) {
  // Reading process memory at address 0 fails with EIO: a real read error
  // on a file that opened.
  CUpgradeHarness run;
  sim::CBoxPlan plan = Plan(16);
  plan.requestAtEnd = true;
  run.RunFile("/proc/self/mem", {}, plan);
  EXPECT_EQ(Tail(run.PlainLines(), 2), (Lines{"FAILED to read the download file", "Download FAILED"}));
  EXPECT_EQ(run.outcome, END_FAILED);
  EXPECT_EQ(run.box.goodReplies + run.box.badReplies, 0u);
}

TEST(UpgradeFailures, AnUnpluggedLineIsReportedOnceAndFailsTheRun) {
  CUpgradeHarness run;
  sim::CBoxPlan plan = Plan(256);
  plan.hangUpAfter = 12 + 3 * (256 + 20);  // the start command and three replies
  run.Run(SampleImage(4096), plan);
  EXPECT_TRUE(run.box.hungUp);
  EXPECT_EQ(run.outcome, END_FAILED);
  EXPECT_EQ(Tail(run.PlainLines(), 1), Lines{"Download FAILED"});
  EXPECT_EQ(run.reports.Texts(), Lines{"Fail to Read the Port"});
}

TEST(UpgradeStop, WhileTheBoxIsStillOff) {
  CUpgradeHarness run;
  sim::CBoxPlan plan;
  plan.silent = true;
  run.onLine = [&](const std::string& line) {
    if (line == "Please SWITCH ON your box now") run.engine.Stop();
  };
  run.Run(SampleImage(100), plan);
  EXPECT_EQ(Tail(run.PlainLines(), 2), (Lines{"Synchronisation FAILED", "Download CANCELLED"}));
  EXPECT_EQ(run.outcome, END_CANCELLED);
}

TEST(UpgradeStop, WhileWaitingForThePidAfterTheMarker) {
  CUpgradeHarness run;
  sim::CBoxPlan plan;
  plan.markerOnly = true;
  run.onLine = [&](const std::string& line) {
    if (line == "Wait for PID_REBOOT from the box") run.engine.Stop();
  };
  run.Run(SampleImage(100), plan);
  EXPECT_EQ(Tail(run.PlainLines(), 2), (Lines{"Data length ERROR", "Download CANCELLED"}));
  EXPECT_EQ(run.outcome, END_CANCELLED);
}

TEST(UpgradeStop, BeforeTheRunBegins) {
  // The worker is held at its start until Stop has been called.
  class CHeldEngine : public CZELUpgradeThread {
   public:
    CEvent release{CEvent::Kind::ManualReset};

   protected:
    int OnThreadStart() override { return release.Wait() ? 1 : 0; }
  };
  CUiLoop loop;
  struct COwner : CUiThreadWindow {
    using CUiThreadWindow::CUiThreadWindow;
    char slot[100] = {};
    std::vector<std::string> lines;
    intptr_t outcome = -1;
    intptr_t HandleMessage(uint32_t message, uintptr_t, intptr_t lParam) override {
      if (message == WM_TRACE_LINE) lines.emplace_back(slot);
      if (message == WM_DOWNLOAD_END) outcome = lParam;
      return 0;
    }
  } owner(loop);
  sim::CBoxSimulator box;
  test::CTempFile image(SampleImage(100));
  CHeldEngine engine;
  engine.SetParameters(box.Port(), image.Path());
  engine.SetOwner(&owner);
  engine.SetTraceBuffer(owner.slot, sizeof owner.slot);
  ASSERT_EQ(engine.Start(), 0);
  engine.Stop();
  engine.release.Set();
  loop.RunUntil([&] { return owner.outcome >= 0; });
  engine.Join();
  EXPECT_EQ(owner.outcome, END_CANCELLED);
  EXPECT_EQ(Tail(owner.lines, 1), Lines{"Download CANCELLED"});
}

TEST(UpgradeStop, WhileServingRequests) {
  CUpgradeHarness run;
  run.onProgress = [&] { run.engine.Stop(); };
  run.Run(SampleImage(20000), Plan(1000));
  EXPECT_EQ(Tail(run.PlainLines(), 1), Lines{"Download CANCELLED"});
  EXPECT_EQ(run.outcome, END_CANCELLED);
  EXPECT_EQ(run.progress.size(), 1u);
  EXPECT_FALSE(run.box.completed);
}

TEST(UpgradeRuns, AStoppedRunLeavesNoStopForTheNext) {
  CUpgradeHarness run;
  sim::CBoxPlan silent;
  silent.silent = true;
  run.onLine = [&](const std::string& line) {
    if (line == "Please SWITCH ON your box now") run.engine.Stop();
  };
  run.Run(SampleImage(100), silent);
  EXPECT_EQ(run.outcome, END_CANCELLED);

  run.Reset();
  run.onLine = nullptr;
  run.Run(SampleImage(3000), Plan(1000));
  EXPECT_EQ(run.outcome, END_SUCCEEDED);
  EXPECT_TRUE(run.box.imageIntact) << run.box.problem;
  EXPECT_EQ(run.PlainLines().front(), "Open port (" + run.simulator.Port() + ") Successfully ")
      << "the port was closed at the end of the first run";
}

}  // namespace
}  // namespace zel
