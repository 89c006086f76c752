// The core on Windows: the platform's files behind the seam, the settings
// record that is the system's own, and the worker threads with the run
// driver.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>

#include "boot/CommandFile.h"
#include "boot/CommandFileOpen.h"
#include "interrupt/InterruptWatcher.h"
#include "ports/CommRecords.h"
#include "run/Event.h"
#include "run/Platform.h"
#include "run/RunDriver.h"
#include "run/SystemHeadersWin32.h"
#include "serial/SerialDevice.h"
#include "tests/TestEngine.h"
#include "upgrade/ImageFile.h"

namespace zel {
namespace {

std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

// A closed console window: the system ends the process as soon as the
// handler returns, so it returns only once the program has ended its runs
// (and written their records), when the watcher goes. A handler that
// returned at once would be seen early in most of the rounds.
TEST(WindowsConsoleEvents, AClosedWindowWaitsForTheRunsToEnd) {
  for (int round = 0; round < 20; ++round) {
    std::promise<void> heard;
    std::atomic<bool> runsEnded{false};
    auto watcher = std::make_unique<CInterruptWatcher>([&] { heard.set_value(); });
    auto handler = std::async(std::launch::async, [&] {
      EXPECT_TRUE(HandleConsoleEvent(CTRL_CLOSE_EVENT));
      return runsEnded.load();
    });
    heard.get_future().wait();
    runsEnded = true;
    watcher.reset();
    EXPECT_TRUE(handler.get()) << "the handler returned before the runs had ended, round " << round;
  }
}

TEST(WindowsSettings, OurHelpersWorkOnTheSystemsOwnRecord) {
  DCB dcb = EmptyDcb();
  SetDcbFlags(dcb, 0x7FFFu);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fDtrControl, 3u);
  EXPECT_EQ(dcb.fAbortOnError, 1u);
  EXPECT_EQ(dcb.fDummy2, 0u);
  const DCB line = EngineLineSettings(57600);
  EXPECT_EQ(DcbFlags(line), 0x0011u) << "fBinary and DTR_CONTROL_ENABLE";
  DCB device = EmptyDcb();
  device.XonLim = 2048;
  SetDcbFlags(device, 0xFFFF8000u);
  const DCB merged = MergeLineSettings(device, line);
  EXPECT_EQ(DcbFlags(merged), 0xFFFF8011u);
  EXPECT_EQ(merged.XonLim, 2048);
  EXPECT_EQ(merged.ErrorChar, 0x55);
}

TEST(WindowsNames, ComPortsOfAnyNumberAndCase) {
  EXPECT_EQ(CSerialDevice::ResolveName("COM3"), "\\\\.\\COM3");
  EXPECT_EQ(CSerialDevice::ResolveName("COM12"), "\\\\.\\COM12");
  EXPECT_EQ(CSerialDevice::ResolveName("com7"), "\\\\.\\com7");
  EXPECT_EQ(CSerialDevice::ResolveName("\\\\.\\COM4"), "\\\\.\\COM4");
  EXPECT_EQ(CSerialDevice::ResolveName("COMX"), "COMX");
}

TEST(WindowsFiles, TheImageIsReadAtAnyOffsetAndOnlyARegularFileOpens) {
  const std::string path = WriteTemporaryFile(Text("0123456789"), ".sdl");
  ASSERT_FALSE(path.empty());
  CImageFile image;
  ASSERT_TRUE(image.Open(path));
  EXPECT_EQ(image.Size(), 10u);
  uint8_t buffer[8] = {};
  EXPECT_EQ(image.ReadAt(buffer, 8, 6), 4) << "fewer at the end";
  EXPECT_EQ(std::memcmp(buffer, "6789", 4), 0);
  EXPECT_EQ(image.ReadAt(buffer, 8, 10), 0);
  image.Close();
  ::DeleteFileA(path.c_str());
  EXPECT_FALSE(image.Open(path));
  EXPECT_EQ(image.Failure().kind, CauseKind::NotFound);
  char directory[MAX_PATH] = {};
  ::GetTempPathA(sizeof directory, directory);
  EXPECT_FALSE(image.Open(directory));
}

TEST(WindowsFiles, TheCommandFileIsOpenedByNobodyElseAndNotReadOnly) {
  const std::string path = WriteTemporaryFile(Text("t\r\nh\r\n0102\r\n\r\nt\r\nh\r\nA1A2\r\n\r\n"), ".txt");
  {
    CCommandFile file = OpenCommandFile(path);
    ASSERT_TRUE(file);
    uint8_t section[16];
    EXPECT_EQ(ReadNextSection(file.get(), section, sizeof section), 2u);
    EXPECT_EQ(ReadNextSection(file.get(), section, sizeof section), 2u);
    EXPECT_EQ(section[1], 0xA2);
    CFailureCause cause;
    EXPECT_FALSE(OpenCommandFile(path, &cause)) << "held by the first open";
    EXPECT_EQ(cause.kind, CauseKind::Busy);
  }
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  CFailureCause cause;
  EXPECT_FALSE(OpenCommandFile(path, &cause));
  EXPECT_EQ(cause.kind, CauseKind::PermissionDenied);
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileA(path.c_str());
}

using test::CTestEngine;

struct CObserver : IRunObserver {
  std::vector<std::string> lines;
  bool ended = false;
  CRunEnd end;
  void OnLine(const std::string& text, LineLevel) override { lines.push_back(text); }
  void OnEnd(const CRunEnd& runEnd) override {
    end = runEnd;
    ended = true;
  }
};

TEST(WindowsThreads, ARunDeliversItsLinesAndEndsOnAStop) {
  CUiLoop loop;
  CTestEngine engine;
  CRunDriver driver(loop, engine);
  CObserver observer;
  engine.body = [](CTestEngine& self) {
    self.Trace("started");
    while (!self.ShouldStop()) ::Sleep(1);
    self.Trace("stopped");
    self.RecordRunEnd(RunOutcome::Cancelled);
  };
  ASSERT_EQ(driver.Start("COM1", "", observer), 0);
  loop.RunUntil([&] { return !observer.lines.empty(); });
  driver.Stop();
  loop.RunUntil([&] { return observer.ended; });
  EXPECT_EQ(observer.lines, (std::vector<std::string>{"started", "stopped"}));
  EXPECT_EQ(observer.end.outcome, RunOutcome::Cancelled);
  EXPECT_FALSE(engine.IsRunning());
}

TEST(WindowsThreads, TerminateReleasesAWorkerWaitingForTheUserInterface) {
  CUiLoop loop;
  CTestEngine engine;
  CObserver observer;
  CEvent entered(CEvent::Kind::ManualReset);
  std::atomic<int> later{-1};
  {
    CRunDriver driver(loop, engine);
    engine.body = [&](CTestEngine& self) {
      entered.Set();
      self.Trace("never handled");  // the loop does not run
      later = self.Trace("after");
    };
    ASSERT_EQ(driver.Start("COM1", "", observer), 0);
    entered.Wait({});
    driver.Terminate();
    EXPECT_FALSE(engine.IsRunning());
  }
  loop.Drain();
  EXPECT_TRUE(observer.lines.empty());
  EXPECT_EQ(later, 1);
}

}  // namespace
}  // namespace zel
