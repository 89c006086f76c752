#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <thread>

#include "boot/ZELBootThread.h"
#include "link/UiDispatcher.h"
#include "sim/BoxSimulator.h"
#include "tests/RecordingReporter.h"
#include "tests/TempFile.h"

namespace zel {
namespace {

using Lines = std::vector<std::string>;
using test::CTempFile;

const std::vector<uint8_t> kSection2{0x10, 0x20, 0x30, 0xAB, 0xCD};

std::vector<uint8_t> CommandFileText(bool secondSection = true) {
  std::string text = "BOOT\r\nfirst section\r\n0102 0304\r\n\r\n";
  if (secondSection) text += "SECOND\r\nthe bytes to send\r\n102030\r\nab cd\r\n\r\nanything after\r\n";
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Runs boot downloads with a user-interface loop on the test's thread.
class CBootHarness : public CUiThreadWindow {
  CUiLoop m_loop;
  char m_slot[100] = {};

 public:
  CBootHarness() : CUiThreadWindow(m_loop) {}

  // Starts a run and handles its lines until its last one.
  void Run() {
    lines.clear();
    engine.SetOwner(this);
    engine.SetTraceBuffer(m_slot, sizeof m_slot);
    ASSERT_EQ(engine.Start(), 0);
    m_loop.RunUntil([&] {
      return !lines.empty() && (lines.back() == "Flash Boot OK" || lines.back() == "Download Failed" ||
                                lines.back() == "Please Verify the Port Connection and try it again");
    });
    engine.Join();
  }
  // Runs against the simulated box playing plan, switched on when the
  // engine asks for it.
  sim::CBootReport RunWithBox(const sim::CBootPlan& plan) {
    sim::CBootReport report;
    std::thread boxThread;
    box.ClearStop();
    switchOn = [&] { boxThread = std::thread([&] { report = box.RunBoot(kSection2, plan); }); };
    Run();
    box.Stop();
    if (boxThread.joinable()) boxThread.join();
    return report;
  }

  test::CRecordingReporter reports;
  sim::CBoxSimulator box;
  CZELBootThread engine;
  Lines lines;
  std::function<void(const std::string&)> onLine;
  std::function<void()> switchOn;

 protected:
  intptr_t HandleMessage(uint32_t message, uintptr_t, intptr_t lParam) override {
    if (message == WM_TRACE_LINE) {
      EXPECT_EQ(lParam, 0) << "boot lines are plain lines";
      lines.emplace_back(m_slot);
      if (lines.back() == "Please Switch On your Box now" && switchOn) switchOn();
      if (onLine) onLine(lines.back());
    }
    return 0;
  }
};

TEST(BootDownload, ASuccessfulRunAgainstTheBox) {
  CTempFile file(CommandFileText());
  CBootHarness run;
  ASSERT_EQ(run.engine.SetParameters(run.box.Port(), file.Path()), 0);
  const sim::CBootReport box = run.RunWithBox({});
  EXPECT_EQ(run.lines, (Lines{"Open Port (" + run.box.Port() + ") Successfully ",
                              "Please Switch On your Box now", "Flash Boot OK"}));
  EXPECT_TRUE(box.startedAtBootSpeed);
  EXPECT_TRUE(box.sectionMatches);
  EXPECT_EQ(box.bBytes, 14);
  EXPECT_TRUE(box.switchedBeforeB) << "115200 baud before the first B";
  EXPECT_TRUE(box.completed) << box.problem;
  EXPECT_EQ(run.reports.Texts(), Lines{});

  // The port stays open after a run; the next closes it first, and starts
  // at 38400 baud again.
  const sim::CBootReport again = run.RunWithBox({});
  ASSERT_FALSE(run.lines.empty());
  EXPECT_EQ(run.lines.front(), "The Port Is Currently Opened, Close the Port");
  EXPECT_EQ(run.lines.back(), "Flash Boot OK");
  EXPECT_TRUE(again.startedAtBootSpeed);
}

TEST(BootDownload, ABoxThatAnswersNothingAfterTheBBytesStillSucceeds) {
  CTempFile file(CommandFileText());
  CBootHarness run;
  run.engine.SetParameters(run.box.Port(), file.Path());
  sim::CBootPlan quiet;
  quiet.answerBytes = 0;
  run.RunWithBox(quiet);
  EXPECT_EQ(run.lines.back(), "Flash Boot OK");
}

TEST(BootDownload, WithoutParametersTheEmptyPortFailsToOpen) {
  CBootHarness run;
  EXPECT_EQ(run.engine.SetParameters("", "file"), 1);
  run.Run();
  EXPECT_EQ(run.lines, (Lines{"Open Com Port failed ( m_strPort)",
                              "Please Verify the Port Connection and try it again"}));
  EXPECT_EQ(run.reports.Texts(), Lines{"Can not Open the Port"});
}

TEST(BootDownload, AReadOnlyCommandFileIsRefused) {
  CTempFile file(CommandFileText());
  ASSERT_EQ(::chmod(file.Path().c_str(), 0444), 0);
  CBootHarness run;
  run.engine.SetParameters(run.box.Port(), file.Path());
  run.RunWithBox({});
  EXPECT_EQ(std::vector<std::string>(run.lines.end() - 2, run.lines.end()),
            (Lines{"Can not Open the Command File", "Download Failed"}));
}

TEST(BootDownload, ASingleSectionFileFailsAfterTheBoxsFirstByte) {
  CTempFile file(CommandFileText(false));
  CBootHarness run;
  run.engine.SetParameters(run.box.Port(), file.Path());
  run.RunWithBox({});
  EXPECT_EQ(std::vector<std::string>(run.lines.end() - 2, run.lines.end()),
            (Lines{"Failed to Read the Next Section", "Download Failed"}));
}

TEST(BootDownload, ASilentBoxIsWaitedForUntilStopped) {
  CTempFile file(CommandFileText());
  CBootHarness run;
  run.engine.SetParameters(run.box.Port(), file.Path());
  run.onLine = [&](const std::string& line) {
    if (line == "Please Switch On your Box now") run.engine.Stop();
  };
  sim::CBootPlan silent;
  silent.silent = true;
  const sim::CBootReport box = run.RunWithBox(silent);
  EXPECT_EQ(std::vector<std::string>(run.lines.end() - 2, run.lines.end()),
            (Lines{"Received Wrong data Len", "Download Failed"}));
  EXPECT_TRUE(box.section.empty()) << "nothing is sent after a stop";
}

}  // namespace
}  // namespace zel
