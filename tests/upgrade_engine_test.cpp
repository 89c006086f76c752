#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serial/SerialDevice.h"
#include "sim/SampleImage.h"
#include "tests/SimulatedRuns.h"
#include "upgrade/ImageCopy.h"
#include "upgrade/UpgradeFrame.h"

namespace zel {
namespace {

using sim::SampleImage;
using test::CUpgradeRun;
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

TEST(UpgradeSuccess, ServesEveryRequestAndReportsInTheWindowsOrder) {
  CUpgradeRun t;
  const auto image = SampleImage(10000);
  t.Run(image, Plan(1024));
  const std::string port = t.simulator.Port();
  EXPECT_EQ(t.run.Lines(), (Lines{"Open port (" + port + ") Successfully ", "Please SWITCH ON your box now",
                                  "Synchronization OK", "Wait for PID_REBOOT from the box",
                                  "Receive PID_REBOOT from the box", "Download START...",
                                  "Send PID_START_UPGRADE to the box", "Download Terminated SUCCESSFULLY"}));
  EXPECT_EQ(t.Outcome(), RunOutcome::Succeeded);
  EXPECT_EQ(t.run.outcomes, std::vector<RunOutcome>{RunOutcome::Succeeded});
  EXPECT_EQ(t.run.linesAfterOutcome, 1) << "the final line follows the acknowledgement";
  EXPECT_TRUE(t.box.imageIntact) << t.box.problem;
  EXPECT_TRUE(t.box.completed);
  EXPECT_EQ(t.box.badReplies, 0u);
  // One progress notification per request, with its offset and length.
  ASSERT_EQ(t.run.progress.size(), 10u);
  EXPECT_EQ(t.run.progress[0], (std::pair<uint32_t, uint32_t>{0, 1024}));
  EXPECT_EQ(t.run.progress[9], (std::pair<uint32_t, uint32_t>{9216, 784}));
  // Two debug lines per request: the request and the first ten bytes.
  const Lines debug = t.run.Lines(LineLevel::Debug);
  ASSERT_EQ(debug.size(), 20u);
  EXPECT_EQ(debug[0], "<<Received Data Request from STB: Offset = [0], RequestDataLen = [0x400]");
  EXPECT_EQ(debug[1], HexDump(image.data(), 10));
  EXPECT_EQ(t.Diagnostics(), Lines{"\n[UART_DL] PID_TERM_UPGRADE successfully!\n"});
  EXPECT_EQ(t.reports.Texts(), Lines{});
  // The request line shows only the low 12 bits of the length.
  CUpgradeRun large;
  large.Run(SampleImage(8192), Plan(4096));
  EXPECT_EQ(large.run.Lines(LineLevel::Debug).at(2),
            "<<Received Data Request from STB: Offset = [4096], RequestDataLen = [0x00]");
}

// Boxes that ask in any order, say more than the exchange at power-on or
// between frames, acknowledge before the reboot, or ask at and past the
// image's end: each is served to the end, the image intact, and the lines
// say what happened.
struct CBoxVariant {
  const char* name;
  std::function<void(sim::CBoxPlan&)> plan;
  Lines said = {};  // lines the run shows, in this order
  std::function<void(CUpgradeRun&)> check = {};
};

void PrintTo(const CBoxVariant& v, std::ostream* out) { *out << v.name; }

class UpgradeBoxes : public ::testing::TestWithParam<CBoxVariant> {};

TEST_P(UpgradeBoxes, AreServedToTheEnd) {
  CUpgradeRun t;
  sim::CBoxPlan plan = Plan(777);
  plan.seed = 42;
  GetParam().plan(plan);
  t.Run(SampleImage(50000, 3), plan);
  EXPECT_EQ(t.Outcome(), RunOutcome::Succeeded) << ::testing::PrintToString(t.run.Lines());
  EXPECT_TRUE(t.box.imageIntact) << t.box.problem;
  EXPECT_EQ(t.box.badReplies, 0u) << t.box.problem;
  const Lines lines = t.run.Lines(), said = GetParam().said;
  EXPECT_NE(std::search(lines.begin(), lines.end(), said.begin(), said.end()), lines.end());
  if (GetParam().check) GetParam().check(t);
}

const CBoxVariant kBoxVariants[] = {
    {"Reverse", [](sim::CBoxPlan& p) { p.order = Order::Reverse; }},
    {"Random", [](sim::CBoxPlan& p) { p.order = Order::Random; }},
    {"Repeated",
     [](sim::CBoxPlan& p) { p.order = Order::Repeated; },
     {},
     [](CUpgradeRun& t) { EXPECT_EQ(t.run.progress.size(), t.box.requests); }},
    {"NoiseAtPowerOn", [](sim::CBoxPlan& p) { p.noiseBeforeReboot = 40; }},
    {"BootBanner", [](sim::CBoxPlan& p) { p.bannerBeforeReboot = "U-Boot 2019.07\r\nQ: flash ok\r\n"; }},
    {"MarkerLikeBanner", [](sim::CBoxPlan& p) { p.bannerBeforeReboot = "QuIetF QQuIet QuIetFo"; }},
    {"NoiseBetweenFrames",
     [](sim::CBoxPlan& p) { p.noiseBetweenFrames = 3; },
     {"Received UNKNOWN Command from the STB"},
     [](CUpgradeRun& t) {
       EXPECT_EQ(Count(t.run.Lines(), "Received UNKNOWN Command from the STB"), t.box.requests);
     }},
    {"AcknowledgeBeforeTheReboot",
     [](sim::CBoxPlan& p) { p.acknowledgeFirst = true; },
     {"Received PID_ACKNOWLEDGE", "Retry to Wait for PID_REBOOT", "Received PID_REBOOT from the box",
      "Download START now...", "Send PID_START_UPGRADE to the box"},
     [](CUpgradeRun& t) { EXPECT_EQ(Count(t.run.Lines(), "Send PID_START_UPGRADE to the box"), 1u); }},
    // n bytes past the image (all 0xFF), offset = length + 1 (PID_TERM_UPGRADE,
    // no reply), a zero length, and 65535 bytes of a 50000-byte image.
    {"AtAndPastTheEnd",
     [](sim::CBoxPlan& p) {
       p.requestAtEnd = p.requestPastEnd = p.zeroLengthRequest = p.maxLengthRequest = true;
     },
     {},
     [](CUpgradeRun& t) {
       EXPECT_EQ(t.box.termCommands, 1u);
       EXPECT_EQ(t.run.progress.size(), t.box.requests - 1) << "no progress for the refused request";
       EXPECT_EQ(Count(t.Diagnostics(), "[UART_DL] ERROR: The file pointer can't be moved successfully.\n"),
                 1u);
     }},
};

INSTANTIATE_TEST_SUITE_P(Variants, UpgradeBoxes, ::testing::ValuesIn(kBoxVariants),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UpgradeHandshake, AnUnexpectedFirstPidFailsTheRunWithItsCause) {
  CUpgradeRun t;
  sim::CBoxPlan plan = Plan(1024);
  plan.firstPid = 0x0005;
  t.Run(SampleImage(100), plan);
  EXPECT_EQ(t.run.Tail(3), (Lines{"Received UNKNOWN Pid = 0x0005",
                                  "Please REBOOT the box and try the download again", "Download FAILED"}));
  EXPECT_EQ(DescribeCause(t.run.end.cause),
            "Cause: the box did not follow the exchange (its first frame was PID 0x0005)");
  EXPECT_FALSE(t.box.startReceived);
}

TEST(UpgradeFailures, LinesThatNameALongPortAreDelivered) {
  // /dev/serial/by-id names run to a hundred characters.
  CUpgradeRun t;
  const std::string link = "/tmp/boxfeeder-usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0-" +
                           std::to_string(::getpid()) + std::string(60, 'x');
  ASSERT_EQ(::symlink(t.simulator.Port().c_str(), link.c_str()), 0);
  t.Run(SampleImage(2000), Plan(1000), &link);
  ::unlink(link.c_str());
  EXPECT_EQ(t.Outcome(), RunOutcome::Succeeded);
  EXPECT_EQ(t.run.Lines().at(0), "Open port (" + link + ") Successfully ");
}

// An image that cannot be served fails the run before the port opens.
TEST(UpgradeFailures, AnImageThatCannotBeReadFailsBeforeThePortOpens) {
  test::CTempFile empty({});
  const struct {
    std::string path;
    CauseKind kind;
    const char* cause;
  } cases[] = {{"/tmp/boxfeeder-no-such-image.sdl", CauseKind::NotFound, "it does not exist"},
               {empty.Path(), CauseKind::Unreadable, "the file cannot be read (the image is empty)"}};
  for (const auto& c : cases) {
    CUpgradeRun t;
    t.RunFile(c.path, SampleImage(100), Plan(1024));
    EXPECT_EQ(t.run.Lines(), (Lines{"FAILED to open the download file", "Download FAILED"})) << c.path;
    EXPECT_EQ(t.Outcome(), RunOutcome::Failed);
    EXPECT_EQ(CauseWords(t.run.end.cause), c.path + ": " + c.cause);
    EXPECT_FALSE(t.box.startReceived);
  }
}

// A line that goes away mid-run is reported once, by whichever transfer
// met it first, and the run fails with the cause at once.
struct CHangUp {
  uint32_t chunk;
  uint64_t after;  // bytes the box takes before it hangs up
  const char* report;
};

void PrintTo(const CHangUp& h, std::ostream* out) { *out << h.report; }

class UpgradeHangUp : public ::testing::TestWithParam<CHangUp> {};

TEST_P(UpgradeHangUp, IsReportedOnceAndFailsTheRun) {
  CUpgradeRun t;
  sim::CBoxPlan plan = Plan(GetParam().chunk);
  plan.hangUpAfter = GetParam().after;
  t.Run(SampleImage(200000), plan);
  EXPECT_TRUE(t.box.hungUp);
  EXPECT_EQ(t.Outcome(), RunOutcome::Failed);
  EXPECT_EQ(t.run.Tail(1), Lines{"Download FAILED"});
  EXPECT_EQ(t.run.end.cause.kind, CauseKind::Gone);
  EXPECT_EQ(t.reports.Texts(), Lines{GetParam().report});
}

INSTANTIATE_TEST_SUITE_P(
    Moments, UpgradeHangUp,
    ::testing::Values(CHangUp{256, 12 + 3 * (256 + 20), "Fail to Read the Port"},  // between requests
                      CHangUp{65535, 12 + 1000,
                              "Fail to Write the Port"}),  // during a reply too big for the line
    [](const auto& info) { return std::string(info.index == 0 ? "BetweenRequests" : "DuringAReply"); });

// A stop at each phase of the exchange cancels the run, the last lines
// saying where it stood; no line blames the box for it.
TEST(UpgradeStop, InEachPhaseCancelsTheRun) {
  sim::CBoxPlan markerOnly, silent;
  markerOnly.markerOnly = silent.silent = true;
  const struct {
    sim::CBoxPlan plan;
    std::string stopAt;  // a line, or "" for the first progress
    Lines tail;
  } phases[] = {
      {markerOnly,
       "Wait for PID_REBOOT from the box",
       {"Wait for PID_REBOOT from the box", "Download CANCELLED"}},
      {silent, "Please SWITCH ON your box now", {"Please SWITCH ON your box now", "Download CANCELLED"}},
      {Plan(1000), "", {"Download CANCELLED"}}};
  for (const auto& phase : phases) {
    CUpgradeRun t;
    t.run.onLine = [&](const std::string& line) {
      if (line == phase.stopAt) t.run.driver.Stop();
    };
    t.run.onProgress = [&] {
      if (phase.stopAt.empty()) t.run.driver.Stop();
    };
    t.Run(SampleImage(20000), phase.plan);
    EXPECT_EQ(t.run.Tail(phase.tail.size()), phase.tail);
    for (const std::string& line : t.run.Lines())
      EXPECT_TRUE(line.find("FAILED") == std::string::npos && line.find("ERROR") == std::string::npos &&
                  line.find("UNKNOWN") == std::string::npos)
          << line;
    EXPECT_EQ(t.run.outcomes, std::vector<RunOutcome>{RunOutcome::Cancelled});
    EXPECT_EQ(t.run.progress.size(), phase.stopAt.empty() ? 1u : 0u);
    EXPECT_FALSE(t.box.completed);
  }
}

TEST(UpgradeStop, BeforeTheRunBegins) {
  // The worker is held at its start until Stop has been called.
  class CHeldEngine : public CZELUpgradeThread {
   public:
    CEvent release{CEvent::Kind::ManualReset};

   protected:
    int OnThreadStart() override { return release.Wait(TerminateToken()) ? 1 : 0; }
  };
  sim::CBoxSimulator box;
  test::CTempFile image(SampleImage(100));
  CHeldEngine engine;
  test::CRunHarness run(engine);
  ASSERT_TRUE(run.Start(box.Port(), image.Path()));
  run.driver.Stop();
  engine.release.Set();
  run.WaitForEnd();
  EXPECT_EQ(run.end.outcome, RunOutcome::Cancelled);
  EXPECT_EQ(run.Tail(1), Lines{"Download CANCELLED"});
}

TEST(UpgradeStop, WhileAReplyWaitsForABoxThatStoppedReading) {
  // A 64 KiB reply does not fit the line's buffers; at 3 ms a byte its
  // write would hold the stop for over three minutes.
  CUpgradeRun t;
  sim::CBoxPlan plan = Plan(65535);
  plan.stallAfter = 12 + 1000;
  std::chrono::steady_clock::time_point stopped;
  std::thread stopper([&] {
    if (!t.simulator.WaitUntilStalled()) return;
    stopped = std::chrono::steady_clock::now();
    t.engine.Stop();
  });
  t.Run(SampleImage(200000), plan);
  const auto ended = std::chrono::steady_clock::now();
  stopper.join();
  EXPECT_TRUE(t.box.stalled);
  EXPECT_EQ(t.Outcome(), RunOutcome::Cancelled);
  EXPECT_LT(ended - stopped, std::chrono::seconds(5));
  EXPECT_EQ(t.reports.Texts(), Lines{}) << "a stopped write is no failure of the port";
}

// Stopped while the box is still off, with nothing in flight on the line,
// a run leaves no stop for the next, which starts afresh on a port the
// first one closed.
TEST(UpgradeRuns, AStoppedRunLeavesNoStopForTheNext) {
  CUpgradeRun t;
  sim::CBoxPlan silent;
  silent.silent = true;
  t.run.onLine = [&](const std::string& line) {
    if (line == "Please SWITCH ON your box now") t.run.driver.Stop();
  };
  t.Run(SampleImage(100), silent);
  EXPECT_EQ(t.Outcome(), RunOutcome::Cancelled);
  t.run.onLine = nullptr;
  t.Run(SampleImage(3000), Plan(1000));
  EXPECT_EQ(t.Outcome(), RunOutcome::Succeeded);
  EXPECT_TRUE(t.box.imageIntact) << t.box.problem;
  EXPECT_EQ(t.run.Lines().front(), "Open port (" + t.simulator.Port() + ") Successfully ");
}

TEST(UpgradeRuns, TheBoxKeepsTheLineUntilTheToolHasClosedIt) {
  // A box that hung up right after its last frame made the kernel drop
  // what the tool had not read yet. Once the box's run is over, the tool
  // must have let go of the port.
  CUpgradeRun t;
  t.engine.SetPauseBeforeSuccess(std::chrono::milliseconds(200));
  const auto image = SampleImage(3000);
  bool freeAfterTheBox = false;
  test::CTempFile file(image);
  std::thread boxThread([&] {
    t.box = t.simulator.Run(image, Plan(1000));
    const auto device = CSerialDevice::Create();
    freeAfterTheBox = device->Open(t.simulator.Port());
  });
  t.run.Run(t.simulator.Port(), file.Path());
  boxThread.join();
  EXPECT_EQ(t.Outcome(), RunOutcome::Succeeded);
  EXPECT_TRUE(freeAfterTheBox);
}

TEST(UpgradeWrites, AReplyCutShortIsNeitherCountedNorReportedAsLoaded) {
  // A box that reads late: its requests fill the line's buffers with
  // replies until a write runs into its time-out. The box then reads what
  // came, checks nothing and ends the upgrade all the same.
  CUpgradeRun t;
  sim::CBoxPlan plan = Plan(256);
  plan.askAllFirst = true;
  plan.endDespiteBadReplies = true;
  plan.replyTimeoutMs = 500;
  plan.beforeReadingReplies = [&] { EXPECT_TRUE(t.reports.WaitFor("Fail to Write the Port")); };
  const size_t requests = 300;
  t.Run(SampleImage(256 * requests), plan);
  EXPECT_TRUE(t.box.completed) << "the box ended the upgrade: " << t.box.problem << " good "
                               << t.box.goodReplies << " bad " << t.box.badReplies;
  EXPECT_EQ(t.Outcome(), RunOutcome::Failed);
  EXPECT_EQ(t.run.end.cause.kind, CauseKind::WriteCutShort);
  EXPECT_EQ(t.run.Tail(2), (Lines{"Some data were NOT sent to the box", "Download FAILED"}));
  const auto texts = t.reports.Texts();
  const size_t cutShort =
      static_cast<size_t>(std::count(texts.begin(), texts.end(), "Fail to Write the Port"));
  ASSERT_GE(cutShort, 1u);
  EXPECT_EQ(t.run.progress.size(), requests - cutShort) << "only replies written whole are progress";
  EXPECT_EQ(t.run.end.figures.bytes, 256 * (requests - cutShort));
}

void Overwrite(const std::string& path, size_t size, uint32_t seed = 99) {
  std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
  const auto other = SampleImage(size, seed);
  out.write(reinterpret_cast<const char*>(other.data()), static_cast<std::streamsize>(other.size()));
}

// What may become of the image file on disk once a run has started.
struct CImageChange {
  const char* name;
  std::function<void(const std::string& path, size_t size)> change;
};

const CImageChange kImageChanges[] = {
    {"Emptied", [](const std::string& path, size_t) { std::filesystem::resize_file(path, 0); }},
    {"Truncated", [](const std::string& path, size_t) { std::filesystem::resize_file(path, 5000); }},
    {"Grown", [](const std::string& path, size_t size) { std::filesystem::resize_file(path, size + 1); }},
    {"RewrittenInPlace", [](const std::string& path, size_t size) { Overwrite(path, size); }},
    // A to B and back to A's time: nothing but the bytes tell.
    {"RewrittenWithItsTimeKept",
     [](const std::string& path, size_t size) {
       const auto stamp = std::filesystem::last_write_time(path);
       Overwrite(path, size);
       std::filesystem::last_write_time(path, stamp);
     }},
    {"ReplacedUnderItsName",
     [](const std::string& path, size_t size) {
       const std::string next = path + ".new";
       std::ofstream(next, std::ios::binary) << std::string(size, 'x');
       std::filesystem::rename(next, path);
     }},
    {"Removed", [](const std::string& path, size_t) { std::filesystem::remove(path); }},
};

void PrintTo(const CImageChange& change, std::ostream* out) { *out << change.name; }

class UpgradeImageChange : public ::testing::TestWithParam<CImageChange> {};

// Once the run has read the image, the box gets those bytes and the record
// their digest, whatever is done to the file before or while it is served.
TEST_P(UpgradeImageChange, AfterTheRunHasReadItChangesNothingTheBoxGets) {
  const auto image = SampleImage(100000);
  test::CTempFile file(image);
  const std::string digest = test::Sha256Sum(file.Path());
  for (const size_t changeBefore : {size_t{0}, size_t{3}}) {  // the box's first request, or its fourth
    std::ofstream(file.Path(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    CUpgradeRun t;
    sim::CBoxPlan plan = Plan(8000);
    plan.beforeRequest = [&](size_t n) {
      if (n == changeBefore) GetParam().change(file.Path(), image.size());
    };
    t.RunFile(file.Path(), image, plan);
    EXPECT_EQ(t.Outcome(), RunOutcome::Succeeded) << t.box.problem;
    EXPECT_TRUE(t.box.imageIntact) << "the image as the run read it, whole";
    EXPECT_EQ(t.run.end.imageSha256, digest);
    EXPECT_EQ(t.run.end.figures.imageBytes, image.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Changes, UpgradeImageChange, ::testing::ValuesIn(kImageChanges),
                         [](const auto& info) { return info.param.name; });

// A file changed while it is being read is no one image: the run fails.
TEST(UpgradeImageChange, WhileTheRunReadsItFailsTheRunWithItsCause) {
  const size_t size = 3 << 19;  // read on a thread, beside the first requests
  for (const CImageChange& change : kImageChanges) {
    const std::string name = change.name;
    if (name == "RewrittenWithItsTimeKept" || name == "ReplacedUnderItsName" || name == "Removed")
      continue;  // the bytes read are one image still, which the box then gets whole
    const auto image = SampleImage(size);
    test::CTempFile file(image);
    CImageCopy::COptions options;
    options.afterBlock = [&](uint64_t copied) {
      if (copied == 256 * 1024) change.change(file.Path(), size);
    };
    CFailureCause failure;
    CUpgradeRun t;
    t.engine.SetImage(CImageCopy::Take(file.Path(), failure, options));
    sim::CBoxPlan plan = Plan(60000);
    plan.endDespiteBadReplies = true;
    t.RunFile(file.Path(), image, plan);
    EXPECT_EQ(t.Outcome(), RunOutcome::Failed) << name;
    EXPECT_EQ(DescribeCause(t.run.end.cause),
              "Cause: " + file.Path() + ": the image changed during the transfer");
    EXPECT_EQ(t.run.Tail(2), (Lines{"The download file CHANGED during the download", "Download FAILED"}));
    EXPECT_EQ(t.run.end.imageSha256, "") << "no digest of a mixed image";
  }
}

// A large image is copied beside the first requests: a byte goes to the
// box only once it is in the copy and its digest. The copy is held after
// its first block until the engine has come to wait for the bytes past it
// (or, were it not to wait, has served them).
TEST(ImageCopy, AByteIsServedOnlyOnceItIsCopied) {
  const auto image = SampleImage(3 << 19);
  test::CTempFile file(image);
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::once_flag once;
  const auto free = [&] { std::call_once(once, [&] { release.set_value(); }); };
  CImageCopy::COptions options;
  options.afterBlock = [&](uint64_t copied) {
    if (copied == 256 * 1024) released.wait();
  };
  options.onWait = [&](uint64_t) { free(); };
  CFailureCause failure;
  CUpgradeRun t;
  t.engine.SetImage(CImageCopy::Take(file.Path(), failure, options));
  sim::CBoxPlan plan = Plan(60000);
  plan.beforeRequest = [&](size_t n) {
    if (n == 5) free();  // the fifth request, past the first block, was answered
  };
  t.RunFile(file.Path(), image, plan);
  EXPECT_EQ(t.Outcome(), RunOutcome::Succeeded);
  EXPECT_TRUE(t.box.imageIntact) << t.box.problem;
}

TEST(ImageCopy, HoldsTheFileAndItsDigestInMemoryOrAScratchFile) {
  // The padding of the last block changes at 55, 56 and 64 bytes; reads
  // come in 256 KiB blocks.
  for (const uint64_t inMemoryLimit : {uint64_t{1} << 30, uint64_t{0}}) {
    for (const size_t size : {1, 55, 56, 63, 64, 65, 1000, 262144, 300001}) {
      const auto bytes = SampleImage(size);
      test::CTempFile file(bytes);
      CImageCopy::COptions options;
      options.inMemoryLimit = inMemoryLimit;
      options.readAtOnce = 1000;  // larger ones on the copy's thread
      CFailureCause failure;
      const auto copy = CImageCopy::Take(file.Path(), failure, options);
      ASSERT_TRUE(copy) << CauseWords(failure);
      ASSERT_TRUE(copy->WaitWhole({}));
      EXPECT_EQ(copy->Sha256(), test::Sha256Sum(file.Path())) << size << " bytes";
      std::filesystem::resize_file(file.Path(), 0);  // the copy stands alone
      std::vector<uint8_t> back(size);
      ASSERT_TRUE(copy->ReadAt(back.data(), size, 0, failure));
      EXPECT_EQ(back, bytes) << size << " bytes, in memory up to " << inMemoryLimit;
      EXPECT_TRUE(copy->FileChangedSince());
    }
  }
}

// The box decides when it is done: a box that ends early is loaded, and
// the run says how much of the image it asked for; where the whole image
// is required, it fails.
TEST(UpgradeCoverage, AnEarlyEndIsSaidAndFailsWhereTheWholeImageIsRequired) {
  const auto image = SampleImage(20 * 1000);
  const struct {
    std::optional<size_t> endAfter;
    Order order;
    const char* said;  // empty: the whole image was asked for
  } cases[] = {
      {0, Order::Sequential, "The box asked for only 0.0 % of the image (0 of 20000 bytes)"},
      {7, Order::Sequential, "The box asked for only 35.0 % of the image (7000 of 20000 bytes)"},
      {19, Order::Reverse, "The box asked for only 95.0 % of the image (19000 of 20000 bytes)"},
      {{}, Order::Repeated, ""},
  };
  for (const auto& c : cases) {
    for (const bool requireWhole : {false, true}) {
      CUpgradeRun t;
      t.engine.SetRequireWholeInput(requireWhole);
      sim::CBoxPlan plan = Plan(1000, c.order);
      plan.endAfter = c.endAfter;
      t.Run(image, plan);
      const CRunFigures& figures = t.run.end.figures;
      const std::string said = c.said;
      EXPECT_EQ(figures.coveredBytes, c.endAfter ? *c.endAfter * 1000 : image.size());
      EXPECT_EQ(figures.imageBytes, image.size());
      EXPECT_EQ(Count(t.run.Lines(), said), said.empty() ? 0u : 1u) << said;
      const bool fails = requireWhole && !said.empty();
      EXPECT_EQ(t.Outcome(), fails ? RunOutcome::Failed : RunOutcome::Succeeded) << said;
      if (fails) {
        EXPECT_EQ(CauseWords(t.run.end.cause),
                  "the box ended before it had asked for the whole image (" + said.substr(8) + ")");
      }
    }
  }
}

TEST(UpgradeFigures, AreMeasuredFromTheFirstRequestToTheBoxsEnd) {
  // Paced at the line's speed: 8 frames of 1 KiB each way take what the
  // line needs for them, whenever the box was switched on.
  CUpgradeRun t;
  sim::CBoxPlan plan = Plan(1024);
  plan.baud = 57600;
  plan.switchOnAfterMs = 1000;
  const auto image = SampleImage(8192);
  t.Run(image, plan);
  ASSERT_EQ(t.Outcome(), RunOutcome::Succeeded);
  const CRunFigures& figures = t.run.end.figures;
  EXPECT_EQ(figures.bytes, 8192u);
  EXPECT_EQ(figures.wireBytes, 8 * (16 + 1024 + 20) + 12u) << "requests, replies and the box's end";
  EXPECT_GT(figures.seconds, 0.9 * t.box.wireSeconds) << "no less than the line needed";
  // The box's own clock runs from its switch-on to its end; the tool hears
  // of the end a little later (much later under a sanitizer), but not a
  // second later, as it would if the wait for the box were counted.
  EXPECT_LT(figures.seconds, t.box.seconds + 0.5) << "the wait before the box was switched on is not counted";
  EXPECT_EQ(t.run.end.imageSha256.size(), 64u);
}

}  // namespace
}  // namespace zel
