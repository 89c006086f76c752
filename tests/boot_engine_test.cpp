#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "tests/SimulatedRuns.h"

namespace zel {
namespace {

using Lines = std::vector<std::string>;
using test::CBootRun;
using test::CTempFile;

const std::vector<uint8_t> kSection2{0x10, 0x20, 0x30, 0xAB, 0xCD};

std::vector<uint8_t> CommandFileText(const std::string& secondData = "102030\r\nab cd\r\n") {
  std::string text = "BOOT\r\nfirst section\r\n0102 0304\r\n\r\n";
  if (!secondData.empty()) text += "SECOND\r\nthe bytes to send\r\n" + secondData + "\r\nanything after\r\n";
  return std::vector<uint8_t>(text.begin(), text.end());
}

struct BootDownload : ::testing::Test {
  BootDownload() { t.section = kSection2; }
  CTempFile file{CommandFileText()};
  CBootRun t;
};

TEST_F(BootDownload, ASuccessfulRunAgainstTheBox) {
  t.Run(file.Path());
  EXPECT_EQ(t.run.Lines(), (Lines{"Open Port (" + t.simulator.Port() + ") Successfully ",
                                  "Please Switch On your Box now", "Flash Boot OK"}));
  EXPECT_EQ(t.Outcome(), RunOutcome::Succeeded);
  EXPECT_TRUE(t.box.startedAtBootSpeed);
  EXPECT_TRUE(t.box.sectionMatches);
  EXPECT_EQ(t.box.bBytes, 14);
  EXPECT_TRUE(t.box.switchedBeforeB) << "115200 baud before the first B";
  EXPECT_TRUE(t.box.completed) << t.box.problem;
  EXPECT_EQ(t.reports.Texts(), Lines{});

  // The port stays open after a run; the next closes it first, and starts
  // at 38400 baud again.
  t.Run(file.Path());
  ASSERT_FALSE(t.run.Lines().empty());
  EXPECT_EQ(t.run.Lines().front(), "The Port Is Currently Opened, Close the Port");
  EXPECT_EQ(t.run.Lines().back(), "Flash Boot OK");
  EXPECT_TRUE(t.box.startedAtBootSpeed);
}

TEST_F(BootDownload, ABoxThatAnswersNothingAfterTheBBytesStillSucceeds) {
  t.plan.answerBytes = 0;
  t.Run(file.Path());
  EXPECT_EQ(t.run.Tail(1), Lines{"Flash Boot OK"});
}

TEST_F(BootDownload, WithoutParametersNothingOpens) {
  EXPECT_EQ(t.engine.SetParameters("", "file"), 1);
  const std::string none;
  t.Run(file.Path(), &none);
  EXPECT_EQ(t.run.Lines(), (Lines{"Can not Open the Command File", "Download Failed"}));
  EXPECT_EQ(t.Outcome(), RunOutcome::Failed);
  EXPECT_EQ(t.run.end.cause.kind, CauseKind::NotFound);
}

// Command files the engine refuses before the port opens, each with its
// cause.
struct CRefusedFile {
  const char* secondData;
  mode_t mode;
  const char* cause;
};

void PrintTo(const CRefusedFile& file, std::ostream* out) { *out << file.cause; }

class BootRefusedFile : public ::testing::TestWithParam<CRefusedFile> {};

TEST_P(BootRefusedFile, EndsTheRunWithItsLineAndCause) {
  CTempFile file(CommandFileText(GetParam().secondData));
  ASSERT_EQ(::chmod(file.Path().c_str(), GetParam().mode), 0);
  CBootRun t;
  t.section = kSection2;
  t.Run(file.Path());
  EXPECT_EQ(t.run.Lines(), (Lines{"Can not Open the Command File", "Download Failed"}));
  EXPECT_EQ(t.Outcome(), RunOutcome::Failed);
  EXPECT_EQ(CauseWords(t.run.end.cause), file.Path() + ": " + GetParam().cause);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BootRefusedFile,
    ::testing::Values(
        CRefusedFile{"10\r\n", 0444, "permission denied"},
        CRefusedFile{
            "", 0644,
            "the file cannot be read (fewer than two sections (a title, a header, hexadecimal lines and "
            "an empty line each))"},
        CRefusedFile{"5A ZZ A5\r\n", 0644,
                     "the file cannot be read (line 7, column 4: 'ZZ' is not a hexadecimal byte)"}),
    [](const auto& info) {
      return std::string(info.param.mode == 0444  ? "ReadOnly"
                         : *info.param.secondData ? "BadHex"
                                                  : "OneSection");
    });

TEST_F(BootDownload, ASilentBoxIsWaitedForUntilStopped) {
  t.run.onLine = [&](const std::string& line) {
    if (line == "Please Switch On your Box now") t.run.driver.Stop();
  };
  t.plan.silent = true;
  t.Run(file.Path());
  EXPECT_EQ(t.run.Tail(2), (Lines{"Received Wrong data Len", "Download Failed"}));
  EXPECT_EQ(t.Outcome(), RunOutcome::Cancelled);
  EXPECT_TRUE(t.box.section.empty()) << "nothing is sent after a stop";
}

TEST_F(BootDownload, AStopAfterTheBoxsFirstByteEndsTheRunAsCancelled) {
  // The stop comes while the section, the speed switch, the "B" bytes or
  // the final read are under way: each of them honours it.
  t.plan.afterSection = [&] { t.engine.Stop(); };
  t.plan.answerBytes = 0;
  t.Run(file.Path());
  EXPECT_TRUE(t.box.sectionMatches);
  EXPECT_EQ(t.run.Tail(1), Lines{"Download Failed"});
  EXPECT_EQ(t.Outcome(), RunOutcome::Cancelled);
}

TEST_F(BootDownload, APortThatVanishesEndsTheRunAtOnce) {
  t.plan.hangUp = true;
  t.Run(file.Path());
  EXPECT_EQ(t.run.Tail(2), (Lines{"Please Switch On your Box now", "Download Failed"}));
  EXPECT_EQ(t.Outcome(), RunOutcome::Failed);
  EXPECT_EQ(t.run.end.cause.kind, CauseKind::Gone);
  EXPECT_EQ(t.reports.Texts(), Lines{"Fail to Read the Port"});
}

}  // namespace
}  // namespace zel
