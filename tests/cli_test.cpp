#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "cli/Console.h"
#include "sim/BoxSimulator.h"
#include "tests/ChildProcess.h"
#include "tests/TempFile.h"

namespace zel {
namespace {

using test::CChildProcess;
using test::CTempFile;
using test::SampleImage;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A box on a pty, running its side of the exchange on a thread.
class CBoxOnThread {
 public:
  CBoxOnThread(const std::vector<uint8_t>& image, sim::CBoxPlan plan)
      : m_thread([this, image, plan] { report = box.Run(image, plan); }) {}
  ~CBoxOnThread() { Finish(); }
  void Finish() {
    if (!m_thread.joinable()) return;
    box.Stop();
    m_thread.join();
  }
  sim::CBoxSimulator box;
  sim::CBoxReport report;

 private:
  std::thread m_thread;
};

TEST(BoxfeedUpgrade, SucceedsAndSavesTheLogAsTheWindowWould) {
  const auto image = SampleImage(5000);
  CTempFile file(image, ".sdl");
  CTempFile log({}, ".txt");
  CBoxOnThread box(image, {});
  CChildProcess child({BOXFEED_PATH, "upgrade", file.Path(), "--port", box.box.Port(), "--log", log.Path(),
                       "--end-pause-ms", "0"});
  EXPECT_EQ(child.Wait(), 0) << child.Stderr();
  box.Finish();
  EXPECT_TRUE(box.report.imageIntact) << box.report.problem;
  const std::string port = box.box.Port();
  EXPECT_EQ(ReadFile(log.Path()),
            "Open port (" + port +
                ") Successfully \r\nPlease SWITCH ON your box now\r\nSynchronization OK\r\n"
                "Wait for PID_REBOOT from the box\r\nReceive PID_REBOOT from the box\r\nDownload START...\r\n"
                "Send PID_START_UPGRADE to the box\r\nDownload Terminated SUCCESSFULLY\r\n");
  const std::string& out = child.Stdout();
  const auto warning = out.find("Please Remove the Serial Cable Before Closing the Application");
  ASSERT_NE(warning, std::string::npos);
  EXPECT_LT(warning, out.find("Download Terminated SUCCESSFULLY"))
      << "the warning comes before the final line";
}

TEST(BoxfeedUpgrade, TraceAddsTheDebugLinesToTheLog) {
  const auto image = SampleImage(2048);
  CTempFile file(image, ".sdl");
  CTempFile log({}, ".txt");
  sim::CBoxPlan plan;
  plan.chunk = 1024;
  CBoxOnThread box(image, plan);
  CChildProcess child({BOXFEED_PATH, "upgrade", file.Path(), "-p", box.box.Port(), "--trace", "-l",
                       log.Path(), "--end-pause-ms", "0"});
  EXPECT_EQ(child.Wait(), 0) << child.Stderr();
  EXPECT_NE(ReadFile(log.Path())
                .find("\r\n<<Received Data Request from STB: Offset = [1024], RequestDataLen = "
                      "[0x400]\r\n"),
            std::string::npos);
}

TEST(BoxfeedUpgrade, CtrlCCancelsTheTransfer) {
  CTempFile file(SampleImage(100), ".sdl");
  sim::CBoxPlan silent;
  silent.silent = true;
  CBoxOnThread box(SampleImage(100), silent);
  CChildProcess child({BOXFEED_PATH, "upgrade", file.Path(), "--port", box.box.Port()});
  ASSERT_TRUE(child.ReadUntil("Please SWITCH ON your box now"));
  child.Signal(SIGINT);
  EXPECT_EQ(child.Wait(), 2);
  EXPECT_NE(child.Stdout().find("Download CANCELLED"), std::string::npos);
}

TEST(BoxfeedUpgrade, FailuresExitWithOneAndSayWhy) {
  CTempFile file(SampleImage(100), ".sdl");
  CChildProcess noPort({BOXFEED_PATH, "upgrade", file.Path(), "--port", "/dev/does-not-exist"});
  EXPECT_EQ(noPort.Wait(), 1);
  EXPECT_NE(noPort.Stdout().find("Open port (/dev/does-not-exist) FAILED\n"
                                 "Please VERIFY the port connection and try it again\n"
                                 "Cause: /dev/does-not-exist: it does not exist\n"),
            std::string::npos);
  EXPECT_NE(noPort.Stderr().find("Can not Create the File"), std::string::npos);
}

TEST(BoxfeedUpgrade, AMissingImageIsRefusedBeforeThePortIsOpened) {
  sim::CBoxPlan plan;
  CBoxOnThread box(SampleImage(100), plan);
  CChildProcess child({BOXFEED_PATH, "upgrade", "/tmp/boxfeeder-missing.sdl", "--port", box.box.Port()});
  EXPECT_EQ(child.Wait(), 1);
  EXPECT_NE(child.Stderr().find("Can not Open the File"), std::string::npos);
  box.Finish();
  EXPECT_EQ(box.report.problem, "stopped") << "the box must still be waiting for the port to open";
}

TEST(BoxfeedBoot, RunsTheBootExchangeAndFailsWithoutACommandFile) {
  const std::string text = "t\r\nh\r\n00\r\n\r\nt2\r\nh2\r\n0102\r\n\r\n";
  CTempFile commands(std::vector<uint8_t>(text.begin(), text.end()), ".txt");
  sim::CBoxSimulator box;
  sim::CBootReport report;
  std::thread boxThread([&] { report = box.RunBoot({0x01, 0x02}, {}); });
  CChildProcess child({BOXFEED_PATH, "boot", commands.Path(), "--port", box.Port()});
  EXPECT_EQ(child.Wait(), 0) << child.Stdout() << child.Stderr();
  box.Stop();
  box.Stop();
  boxThread.join();
  EXPECT_TRUE(report.sectionMatches);
  EXPECT_NE(child.Stdout().find("Flash Boot OK"), std::string::npos);
  CChildProcess missing({BOXFEED_PATH, "boot", "/tmp/boxfeeder-missing.txt", "--port", "/dev/null"});
  EXPECT_EQ(missing.Wait(), 1);
  EXPECT_NE(missing.Stderr().find("Can not Open the Command File"), std::string::npos);
}

TEST(BoxfeedUsage, BadUsageExitsWith64) {
  CChildProcess noPort({BOXFEED_PATH, "upgrade", "image.sdl"});
  EXPECT_EQ(noPort.Wait(), 64);
  CChildProcess noCommand({BOXFEED_PATH});
  EXPECT_EQ(noCommand.Wait(), 64);
  CChildProcess help({BOXFEED_PATH, "--help"});
  EXPECT_EQ(help.Wait(), 0);
}

TEST(BoxfeedDemo, RunsAVerifiedUpgrade) {
  CChildProcess child({BOXFEED_PATH, "demo", "--size", "20000", "--baud", "0"});
  EXPECT_EQ(child.Wait(), 0) << child.Stdout() << child.Stderr();
  EXPECT_NE(child.Stdout().find("Box: image received intact, all 20000 bytes equal to the file"),
            std::string::npos);
}

TEST(ProgressFigures, PercentOfIsTruncatedAndSafeForLargeImages) {
  EXPECT_EQ(cli::PercentOf(50'000'000, 100'000'000), 50);
  EXPECT_EQ(cli::PercentOf(4'294'967'295u, 4'294'967'295u), 100);
  EXPECT_EQ(cli::PercentOf(1, 3), 33);
  EXPECT_EQ(cli::PercentOf(0, 0), 100) << "an empty image is whole";
}

}  // namespace
}  // namespace zel
