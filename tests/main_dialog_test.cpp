#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "app/MainDialog.h"
#include "sim/BoxSimulator.h"
#include "tests/FakeDialogControls.h"
#include "tests/PtyPair.h"
#include "tests/TempFile.h"

namespace zel {
namespace {

using test::CFakeDialogControls;
using test::CTempFile;
using test::SampleImage;

// Hands the dialog an engine's events as the run driver does.
class CTestDialog : public CMainDialog {
 public:
  using CMainDialog::CMainDialog;
  void Line(const std::string& text, int level) {
    OnLine(text, level ? LineLevel::Debug : LineLevel::Normal);
  }
  void Progress(uint32_t offset, uint32_t length) { OnProgress(offset, length); }
};

using test::ReadFile;

class MainDialog : public ::testing::Test {
 protected:
  MainDialog() {
    CProbeSources sources;
    sources.comNames = {portB.SlavePath(), "/dev/does-not-exist", portA.SlavePath()};
    sources.list.sysClassTty = "/nonexistent";  // no other ports
    dialog = std::make_unique<CTestDialog>(loop, controls, "boxfeeder", sources);
    dialog->SetPauseBeforeSuccess(std::chrono::milliseconds(0));
    dialog->OnInitDialog();
  }
  void ChooseImage(const std::string& path) {
    controls.fileAnswers.push_back(path);
    dialog->OnBrowse();
  }
  // Starts a transfer of path on a port that does not open, and lets it
  // fail: the dialog is then idle with the image's length taken.
  void StartAndFail(const std::string& path) {
    ChooseImage(path);
    controls.SetText(IDC_PORT, "/dev/does-not-exist");
    dialog->OnStartOrCancel();
    loop.RunUntil([&] { return !dialog->IsBusy(); });
  }
  // A transfer started against a box that never answers; the box stops
  // with the object.
  struct CSilentBox {
    explicit CSilentBox(MainDialog& test) : thread([this] { box.Run({}, Silent()); }) {
      test.ChooseImage(file.Path());
      test.controls.SetText(IDC_PORT, box.Port());
      test.dialog->OnStartOrCancel();
    }
    ~CSilentBox() {
      box.Stop();
      thread.join();
    }
    static sim::CBoxPlan Silent() {
      sim::CBoxPlan plan;
      plan.silent = true;
      return plan;
    }
    CTempFile file{SampleImage(100), ".sdl"};
    sim::CBoxSimulator box;
    std::thread thread;
  };
  void RunUntilIdleWithFinalLine() {
    loop.RunUntil(
        [&] { return !dialog->IsBusy() && dialog->Log().find("SUCCESSFULLY") != std::string::npos; });
  }

  test::CPtyPair portA, portB;
  CUiLoop loop;
  CFakeDialogControls controls;
  std::unique_ptr<CTestDialog> dialog;
};

TEST_F(MainDialog, StartsWithTheOpenablePortsAndNoImage) {
  const auto sorted = std::min(portA.SlavePath(), portB.SlavePath());
  EXPECT_EQ(controls.list.size(), 2u);
  EXPECT_EQ(controls.GetText(IDC_PORT), sorted) << "the first entry in sorted order";
  EXPECT_EQ(dialog->Port(), sorted);
  EXPECT_FALSE(controls.IsEnabled(IDC_START));
  EXPECT_FALSE(dialog->IsBusy());
  EXPECT_EQ(controls.systemMenu, (std::vector<std::pair<int, std::string>>{{0x10, "&About BoxFeeder..."}}));
}

TEST_F(MainDialog, AFailedRunEndsWithItsCause) {
  CTempFile file(SampleImage(10), ".sdl");
  StartAndFail(file.Path());
  EXPECT_EQ(dialog->Log(),
            "Open port (/dev/does-not-exist) FAILED\r\nPlease VERIFY the port connection and try it again\r\n"
            "Cause: /dev/does-not-exist: it does not exist\r\n");
  // The port's report is a box owned by the window, under the window's title.
  ASSERT_EQ(controls.boxes.size(), 1u);
  EXPECT_EQ(controls.boxes[0].text, "Can not Create the File");
  EXPECT_EQ(controls.boxes[0].caption, "boxfeeder");
  EXPECT_TRUE(controls.boxes[0].owned);
}

TEST_F(MainDialog, BrowseConfirmedTakesThePathAndEnablesStart) {
  controls.fileAnswers.push_back(std::nullopt);
  dialog->OnBrowse();
  EXPECT_FALSE(controls.IsEnabled(IDC_START)) << "a cancelled browse changes nothing";
  ASSERT_TRUE(controls.lastFileDialog);
  EXPECT_EQ(controls.lastFileDialog->defaultExtension, "sdl");
  EXPECT_EQ(controls.lastFileDialog->initialName, "*.sdl");
  EXPECT_EQ(controls.lastFileDialog->filter,
            "SDL Files(*.sdl)|*.sdl|Text Files(*.txt)|*.txt|All Files (*.*)|*.*||");
  ChooseImage("/images/new.sdl");
  EXPECT_EQ(dialog->ImagePath(), "/images/new.sdl");
  EXPECT_EQ(controls.GetText(IDC_IMAGE_PATH), "/images/new.sdl");
  EXPECT_TRUE(controls.IsEnabled(IDC_START));
}

// Start shows the busy icon; the idle one is back when the image does not
// open, and the dialog is idle again.
TEST_F(MainDialog, AnImageThatDoesNotOpenLeavesTheDialogIdle) {
  ChooseImage("/tmp/boxfeeder-missing.sdl");
  controls.dressing.clear();
  dialog->OnStartOrCancel();
  using C = CFakeDialogControls::CDressingCall;
  EXPECT_EQ(controls.dressing, (std::vector<C>{{"icons", IDC_START, 138, 0}, {"icons", IDC_START, 133, 0}}));
  ASSERT_EQ(controls.boxes.size(), 1u);
  EXPECT_EQ(controls.boxes[0].text, "Can not Open the File");
  EXPECT_EQ(controls.boxes[0].caption, "boxfeeder");
  EXPECT_FALSE(dialog->IsBusy());
  EXPECT_EQ(controls.GetText(IDC_PERCENT), "0 %");
  EXPECT_NE(controls.GetText(IDC_START), "Cancel Download");
}

TEST_F(MainDialog, AWholeUpgradeGoesBusyShowsTheWarningAndEndsIdle) {
  const auto image = SampleImage(6000);
  CTempFile file(image, ".sdl");
  sim::CBoxSimulator box;
  sim::CBoxReport report;
  std::thread boxThread([&] { report = box.Run(image, {}); });
  ChooseImage(file.Path());
  controls.SetText(IDC_PORT, box.Port());
  dialog->OnStartOrCancel();
  EXPECT_TRUE(dialog->IsBusy());
  EXPECT_EQ(controls.GetText(IDC_START), "Cancel Download");
  EXPECT_EQ(controls.GetText(IDC_PERCENT), "0%");
  EXPECT_EQ(controls.progressUpper, 6000u);
  bool busyDuringWarning = false;
  controls.onCableWarning = [&] { busyDuringWarning = dialog->IsBusy(); };
  RunUntilIdleWithFinalLine();
  boxThread.join();
  EXPECT_TRUE(report.imageIntact) << report.problem;
  EXPECT_EQ(controls.cableWarnings, 1);
  EXPECT_TRUE(busyDuringWarning);
  EXPECT_EQ(controls.GetText(IDC_PERCENT), "100 %");
  EXPECT_EQ(controls.progressPos, 6000u);
  EXPECT_EQ(controls.GetText(IDC_START), "Start Download");
  EXPECT_TRUE(controls.IsEnabled(IDC_START));
  EXPECT_EQ(controls.GetText(IDC_LOG), dialog->Log());
  EXPECT_EQ(dialog->Log().substr(dialog->Log().size() - 34), "Download Terminated SUCCESSFULLY\r\n");
  EXPECT_EQ(dialog->Log().find("<<Received"), std::string::npos)
      << "debug lines hidden with Trace Enable off";
}

TEST_F(MainDialog, AFailedRunShowsWhereItStopped) {
  const auto image = SampleImage(6000);
  CTempFile file(image, ".sdl");
  sim::CBoxSimulator box;
  sim::CBoxPlan plan;
  plan.chunk = 1000;
  plan.hangUpAfter = 12 + 2 * (1000 + 20);  // two replies, then the line is gone
  std::thread boxThread([&] { box.Run(image, plan); });
  ChooseImage(file.Path());
  controls.SetText(IDC_PORT, box.Port());
  dialog->OnStartOrCancel();
  loop.RunUntil([&] { return !dialog->IsBusy(); });
  boxThread.join();
  EXPECT_EQ(controls.progressPos, 2000u);
  EXPECT_EQ(controls.GetText(IDC_PERCENT), "33 %") << "the bar's 2000 of 6000, not 100 %";
  EXPECT_EQ(controls.cableWarnings, 0);
}

TEST_F(MainDialog, CancelDisablesStartUntilTheEndAndBrowseMayEnableItAgain) {
  CSilentBox box(*this);
  ASSERT_TRUE(dialog->IsBusy());
  ChooseImage("/images/other.sdl");  // changes the field only
  dialog->OnStartOrCancel();         // Stop
  EXPECT_FALSE(controls.IsEnabled(IDC_START));
  EXPECT_TRUE(dialog->IsBusy());
  ChooseImage("/images/third.sdl");
  EXPECT_TRUE(controls.IsEnabled(IDC_START));
  dialog->OnStartOrCancel();  // Stop again, harmlessly
  loop.RunUntil([&] { return !dialog->IsBusy(); });
  EXPECT_EQ(controls.cableWarnings, 0);
  EXPECT_EQ(controls.GetText(IDC_PERCENT), "0 %") << "where it stopped, as the bar";
  EXPECT_NE(dialog->Log().find("Download CANCELLED\r\n"), std::string::npos);
  EXPECT_NE(dialog->Log().find("Synchronisation FAILED\r\n"), std::string::npos);
  EXPECT_EQ(dialog->ImagePath(), "/images/third.sdl");
}

// The log: debug lines only with Trace Enable; lines appended to the
// control, not rewritten, unless the operator typed into it; Clear.
TEST_F(MainDialog, TheLogShowsAppendsAndClears) {
  dialog->Line("debug", 1);
  EXPECT_EQ(dialog->Log(), "");
  dialog->Line("plain", 0);
  controls.SetCheck(IDC_TRACE, true);
  dialog->OnTraceEnable();
  dialog->Line("debug", 1);
  EXPECT_EQ(dialog->Log(), "plain\r\ndebug\r\n");
  EXPECT_EQ(dialog->LogLines(), 2);
  EXPECT_EQ(controls.lastScroll[IDC_LOG], 2);
  const int rewrites = controls.SetTextCalls(IDC_LOG);
  for (int i = 0; i < 100; ++i) dialog->Line("line " + std::to_string(i), 0);
  EXPECT_EQ(controls.SetTextCalls(IDC_LOG), rewrites);
  EXPECT_EQ(controls.GetText(IDC_LOG), dialog->Log());
  controls.Type(IDC_LOG, "typed by the operator");
  dialog->Line("after", 0);
  EXPECT_EQ(controls.SetTextCalls(IDC_LOG), rewrites + 1);
  EXPECT_EQ(controls.GetText(IDC_LOG), dialog->Log());
  EXPECT_EQ(dialog->Log().find("typed"), std::string::npos) << "the field, not the control, holds the log";
  dialog->OnClear();
  EXPECT_EQ(controls.GetText(IDC_LOG), "");
  dialog->Line("new", 0);
  EXPECT_EQ(controls.GetText(IDC_LOG), "new\r\n");
  EXPECT_EQ(dialog->LogLines(), 1);
}

// The percentage is the served request's offset against the image's
// length; the bar adds up lengths and stops at its end.
struct CProgressCase {
  uint32_t imageLength;
  std::vector<std::pair<uint32_t, uint32_t>> requests;
  const char* percent;
  uint32_t bar;
};

void PrintTo(const CProgressCase& c, std::ostream* out) { *out << c.percent << " of " << c.imageLength; }

class MainDialogProgress : public MainDialog, public ::testing::WithParamInterface<CProgressCase> {};

TEST_P(MainDialogProgress, ShowsTheOffsetsShare) {
  CTempFile file({}, ".sdl");
  ASSERT_EQ(::truncate(file.Path().c_str(), GetParam().imageLength), 0);
  StartAndFail(file.Path());
  EXPECT_EQ(dialog->ImageLength(), GetParam().imageLength);
  for (const auto& [offset, length] : GetParam().requests) dialog->Progress(offset, length);
  EXPECT_EQ(controls.GetText(IDC_PERCENT), GetParam().percent);
  EXPECT_EQ(controls.progressPos, GetParam().bar);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MainDialogProgress,
    ::testing::Values(CProgressCase{1000, {{0, 600}}, "0 %", 600},
                      CProgressCase{1000, {{0, 600}, {500, 600}}, "50 %", 1000},  // the same block twice
                      CProgressCase{1000, {{1000, 0}}, "100 %", 0},
                      CProgressCase{100'000'000, {{50'000'000, 1024}}, "50 %", 1024},  // no overflow
                      CProgressCase{100'000'000, {{99'999'999, 1024}}, "99 %", 1024},
                      CProgressCase{0, {{0, 0}}, "100 %", 0}),  // an empty image
    [](const auto& info) {
      return "Image" + std::to_string(info.param.imageLength) + "To" +
             std::string(info.param.percent, std::strchr(info.param.percent, ' ')) + "Percent" +
             std::to_string(info.index);
    });

TEST_F(MainDialog, SaveWritesExactlyTheField) {
  dialog->Line("first", 0);
  dialog->Line("second", 0);
  CTempFile target({'x', 'y', 'z', 'z', 'y'}, ".txt");
  controls.fileAnswers.push_back(target.Path());
  dialog->OnSave();
  EXPECT_EQ(ReadFile(target.Path()), "first\r\nsecond\r\n");
  ASSERT_TRUE(controls.lastFileDialog);
  EXPECT_EQ(controls.lastFileDialog->defaultExtension, "txt");
  EXPECT_EQ(controls.lastFileDialog->filter, "Text Files(*.txt)|*.txt|");
  EXPECT_FALSE(controls.lastFileDialog->mustExist) << "a new log file must be possible";
  controls.fileAnswers.push_back("/nonexistent-dir/log.txt");
  dialog->OnSave();
  ASSERT_EQ(controls.boxes.size(), 1u);
  EXPECT_EQ(controls.boxes[0].text, "Can not Create The File");
  // The image chosen for the download is never overwritten with the log.
  CTempFile image({'i', 'm', 'g'}, ".sdl");
  ChooseImage(image.Path());
  controls.fileAnswers.push_back(image.Path());
  dialog->OnSave();
  ASSERT_EQ(controls.boxes.size(), 2u);
  EXPECT_EQ(controls.boxes[1].text, "Can not Create The File");
  EXPECT_EQ(ReadFile(image.Path()), "img");
}

TEST_F(MainDialog, HelpAndAbout) {
  dialog->OnHelp();
  ASSERT_EQ(controls.boxes.size(), 1u);
  EXPECT_EQ(controls.boxes[0].caption, "Help!");
  EXPECT_FALSE(controls.boxes[0].owned);
  EXPECT_EQ(controls.boxes[0].text.substr(0, 32), "Usage: Only use for QL-MV-T STB\n");
  EXPECT_EQ(controls.boxes[0].text.substr(controls.boxes[0].text.size() - 28),
            "STEP 5:  Power up the STB.\n ");
  for (unsigned id : {0x10u, 0x1Fu}) EXPECT_TRUE(dialog->OnSysCommand(id));
  for (unsigned id : {0x0Fu, 0x20u, 0xF060u}) EXPECT_FALSE(dialog->OnSysCommand(id));
  EXPECT_EQ(controls.aboutBoxes, 2);
}

TEST_F(MainDialog, TheHiddenBootButtonRunsABootDownloadBesideTheState) {
  const std::string text = "t\nh\n01\n\nt2\nh2\nA1A2A3\n\n";
  CTempFile commands(std::vector<uint8_t>(text.begin(), text.end()), ".txt");
  sim::CBoxSimulator box;
  sim::CBootReport report;
  std::thread boxThread([&] { report = box.RunBoot({0xA1, 0xA2, 0xA3}, {}); });
  ChooseImage(commands.Path());
  controls.SetText(IDC_PORT, box.Port());
  const std::string startCaption = controls.GetText(IDC_START);
  const std::string percent = controls.GetText(IDC_PERCENT);
  dialog->OnDownloadBoot();
  loop.RunUntil([&] { return dialog->Log().find("Flash Boot OK") != std::string::npos; });
  box.Stop();
  boxThread.join();
  EXPECT_TRUE(report.sectionMatches);
  EXPECT_EQ(dialog->Log(), "Open Port (" + box.Port() +
                               ") Successfully \r\nPlease Switch On your Box now\r\n"
                               "Flash Boot OK\r\n");
  EXPECT_FALSE(dialog->IsBusy());
  EXPECT_EQ(controls.GetText(IDC_START), startCaption);
  EXPECT_EQ(controls.GetText(IDC_PERCENT), percent);
  EXPECT_EQ(controls.progressPos, 0u);
}

TEST_F(MainDialog, CloseStopsARunningBootDownload) {
  const std::string text = "t\nh\n01\n\nt2\nh2\nA1\n\n";
  CTempFile commands(std::vector<uint8_t>(text.begin(), text.end()), ".txt");
  sim::CBoxSimulator box;
  sim::CBootPlan silent;
  silent.silent = true;
  std::thread boxThread([&] { box.RunBoot({0xA1}, silent); });
  ChooseImage(commands.Path());
  controls.SetText(IDC_PORT, box.Port());
  dialog->OnDownloadBoot();
  loop.RunUntil([&] { return dialog->Log().find("Please Switch On your Box now") != std::string::npos; });
  dialog->OnClose();  // must not wait for the silent box
  EXPECT_EQ(controls.endResult, IDCANCEL);
  dialog.reset();
  box.Stop();
  boxThread.join();
  dialog = std::make_unique<CTestDialog>(loop, controls, "boxfeeder");
}

TEST_F(MainDialog, EnterNeverClosesAndCloseStopsTheWorkerFirst) {
  dialog->OnOk();
  EXPECT_FALSE(controls.endResult) << "Enter at the start";
  CSilentBox box(*this);
  ASSERT_TRUE(dialog->IsBusy());
  // Let the worker block on this thread: its first line waits here.
  loop.RunUntil([&] { return !dialog->Log().empty(); });
  dialog->OnOk();
  EXPECT_FALSE(controls.endResult) << "Enter during a transfer";
  EXPECT_TRUE(dialog->IsBusy()) << "the load goes on";
  // Close (Escape, the title bar) asks while a box loads; No keeps it.
  controls.answerYes = false;
  dialog->OnClose();
  EXPECT_EQ(controls.questions, std::vector<std::string>{"A box is loading. Stop it and close?"});
  EXPECT_FALSE(controls.endResult);
  EXPECT_TRUE(dialog->IsBusy()) << "the load goes on";
  controls.answerYes = true;
  dialog->OnClose();
  EXPECT_EQ(controls.endResult, IDCANCEL);
  const std::string logAtClose = dialog->Log();
  loop.Drain();
  EXPECT_EQ(dialog->Log(), logAtClose) << "nothing arrives after Close";
}

}  // namespace
}  // namespace zel
