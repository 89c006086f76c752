#include <grp.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <thread>

#include "cli/Hints.h"
#include "run/Platform.h"
#include "run/RunSummary.h"
#include "sim/BoxOnThread.h"
#include "sim/BoxSimulator.h"
#include "sim/PtyLine.h"
#include "sim/SampleImage.h"
#include "station/ResultsFile.h"
#include "station/StationPorts.h"
#include "station/TransferFigures.h"
#include "tests/ChildProcess.h"
#include "tests/TempFile.h"
#include "tests/Text.h"

namespace zel {
namespace {

using sim::CBoxOnThread;
using sim::SampleImage;
using test::CChildProcess;
using test::CTempFile;
using test::Has;
using test::Lines;
using test::ReadFile;
using test::Sha256Sum;

sim::CBoxPlan Chunks(uint32_t chunk) {
  sim::CBoxPlan plan;
  plan.chunk = chunk;
  return plan;
}

// The shell runs script with $FEED (boxfeed), $IMAGE (a sample image's
// file) and $PORT (a simulated box's port) set; both have ended once the
// object is made.
struct CShellFeed {
  CShellFeed(const std::string& script, size_t size = 5000, sim::CBoxPlan plan = {}, int stderrFd = -1)
      : image(SampleImage(size)),
        box(image, plan),
        child({"/bin/sh", "-c", script}, stderrFd,
              {"FEED=" BOXFEED_PATH, "IMAGE=" + file.Path(), "PORT=" + box.box.Port()}),
        status(child.Wait()) {
    box.Finish();
  }
  std::vector<uint8_t> image;
  CTempFile file{image, ".sdl"};
  CBoxOnThread box;
  CChildProcess child;
  int status;
};

TEST(BoxfeedUpgrade, SucceedsAndSavesTheLogAsTheWindowWould) {
  CTempFile log({}, ".txt");
  CShellFeed feed("exec \"$FEED\" upgrade \"$IMAGE\" -p \"$PORT\" --end-pause-ms 0 --log " + log.Path());
  const CChildProcess& child = feed.child;
  EXPECT_EQ(feed.status, 0) << child.Stderr();
  EXPECT_TRUE(feed.box.report.imageIntact) << feed.box.report.problem;
  // Each line stamped with its time; the window's lines, then the run's
  // figures and the digest of the image the box got.
  const std::string stamp = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z ";
  const std::string logged = ReadFile(log.Path());
  EXPECT_TRUE(std::regex_match(logged, std::regex("(" + stamp + "[^\\r\\n]*\\r\\n)+"))) << logged;
  std::smatch summary;
  ASSERT_TRUE(std::regex_search(child.Stdout(), summary, std::regex("Succeeded: [^\n]*")));
  EXPECT_EQ(std::regex_replace(logged, std::regex(stamp), ""),
            "Open port (" + feed.box.box.Port() +
                ") Successfully \r\nPlease SWITCH ON your box now\r\nSynchronization OK\r\n"
                "Wait for PID_REBOOT from the box\r\nReceive PID_REBOOT from the box\r\nDownload START...\r\n"
                "Send PID_START_UPGRADE to the box\r\nDownload Terminated SUCCESSFULLY\r\n" +
                summary.str() + "\r\nImage SHA-256: " + Sha256Sum(feed.file.Path()) + "\r\n");
  // Standard output is a pipe here: what the operator must see is on
  // standard error as well; the warning comes before the final line.
  for (const char* seen :
       {"Please SWITCH ON your box now\n", "Please Remove the Serial Cable", "\nSucceeded: "})
    EXPECT_TRUE(Has(child.Stderr(), seen));
  const auto warning = child.Stdout().find("Please Remove the Serial Cable Before Closing the Application");
  EXPECT_LT(warning, child.Stdout().find("Download Terminated SUCCESSFULLY"));
}

// Started with standard output and error closed (a service), nothing it
// prints may reach the port that took their numbers; with both on one
// pipe (2>&1), each line the operator must see comes once.
TEST(BoxfeedUpgrade, ClosedOrSharedOutputsKeepTheLineCleanAndSayEachLineOnce) {
  CTempFile results({}, ".jsonl");
  CShellFeed closed(
      "exec \"$FEED\" upgrade \"$IMAGE\" -p \"$PORT\" --end-pause-ms 0 --results " + results.Path(), 5000, {},
      CChildProcess::kClosed);
  EXPECT_EQ(closed.status, 0);
  EXPECT_TRUE(closed.box.report.imageIntact) << closed.box.report.problem;
  EXPECT_EQ(closed.box.report.bytesReceived, 12 + 4 * (1024 + 20) + (904 + 20u)) << "frames only";
  EXPECT_TRUE(Has(ReadFile(results.Path()), "\"succeeded\""));
  CShellFeed shared("exec \"$FEED\" upgrade \"$IMAGE\" -p \"$PORT\" --end-pause-ms 0 2>&1");
  EXPECT_EQ(shared.status, 0);
  for (const char* seen :
       {"Please SWITCH ON your box now\n", "\nSucceeded: ", "Please Remove the Serial Cable"})
    EXPECT_EQ(test::Count(shared.child.Stdout(), seen), 1u) << seen << " in " << shared.child.Stdout();
}

// The share of the line: at most 100 %, and none where the line's speed
// plainly did not bind (a pseudo-terminal goes far faster than its baud).
TEST(RunSummary, TheShareOfTheLineIsSaidOnlyWhereTheLineBinds) {
  const std::pair<uint64_t, const char*> cases[] = {
      {2880, ", 50.0 % of the line"}, {5930, ", 100.0 % of the line"}, {251000, ""}};
  for (const auto& [wireBytes, said] : cases) {
    CRunFigures figures;
    figures.bytes = 1000;
    figures.wireBytes = wireBytes;
    figures.seconds = 1;  // 5760 bytes fill a second of 57600 baud
    EXPECT_EQ(SummaryLine(RunOutcome::Succeeded, figures, 57600),
              std::string("Succeeded: 1000 bytes in 1.0 s, 1.00 KB/s") + said);
  }
  EXPECT_EQ(PercentOf(4'294'967'295u, 4'294'967'295u), 100);
  EXPECT_EQ(PercentOf(1, 3), 33);
  EXPECT_EQ(PercentOf(0, 0), 100) << "an empty image is whole";
}

// A log the disk stops taking (here a file size limit) is said with its
// cause, and the run fails.
TEST(BoxfeedUpgrade, ALogTheDiskStopsTakingIsSaidWithItsCause) {
  CTempFile log({}, ".txt");
  CShellFeed feed("trap '' XFSZ; ulimit -f 1; exec \"$FEED\" upgrade \"$IMAGE\" -p \"$PORT\" --trace --log " +
                      log.Path() + " --end-pause-ms 0",
                  20000, Chunks(500));
  EXPECT_EQ(feed.status, 1);
  EXPECT_TRUE(Has(feed.child.Stderr(), "Can not Create The File: " + log.Path() + "\nCause: " + log.Path() +
                                           ": File too large\n"));
}

// The hint for a port the user may not open names the port's own group.
TEST(BoxfeedHints, PermissionNamesTheDevicesGroup) {
  sim::CPtyLine pty;
  for (const std::string name : {"tty", "dialout"}) {
    const group* entry = ::getgrnam(name.c_str());
    if (entry == nullptr || ::chown(pty.Port().c_str(), static_cast<uid_t>(-1), entry->gr_gid) != 0)
      GTEST_SKIP() << "cannot give the port to group " << name;
    EXPECT_EQ(cli::HintFor({CauseKind::PermissionDenied, pty.Port(), {}}),
              "Hint: add your user to the " + name + " group (sudo usermod -aG " + name +
                  " $USER), then log in again.");
  }
}

// Ctrl-C, or a terminal that closes (SIGHUP), cancels in every phase, the
// record and the log saying so: while the box is still off, and once the
// box has ended while a large image's digest is still being taken (the
// image a 4 GiB sparse file).
TEST(BoxfeedUpgrade, ASignalCancelsTheTransferInEveryPhase) {
  const struct {
    int signal;
    uint64_t imageSize;
    bool silent;
    const char* signalAfter;
  } phases[] = {{SIGINT, 100, true, "Please SWITCH ON your box now"},
                {SIGHUP, 100, true, "Please SWITCH ON your box now"},
                {SIGINT, uint64_t{4} << 30, false, "PID_TERM_UPGRADE successfully!"}};
  for (const auto& phase : phases) {
    SCOPED_TRACE(phase.signalAfter);
    CTempFile file({}, ".sdl"), results({}, ".jsonl"), log({}, ".txt");
    std::filesystem::resize_file(file.Path(), phase.imageSize);
    sim::CBoxPlan plan;
    plan.silent = phase.silent;
    CBoxOnThread box(std::vector<uint8_t>(10000), plan);  // the image's first bytes: zeros
    CChildProcess child({BOXFEED_PATH, "upgrade", file.Path(), "--port", box.box.Port(), "--results",
                         results.Path(), "--log", log.Path(), "--end-pause-ms", "0"});
    ASSERT_TRUE(child.ReadUntil(phase.signalAfter));
    child.Signal(phase.signal);
    EXPECT_EQ(child.Wait(), 2);
    EXPECT_TRUE(Has(ReadFile(log.Path()), "Download CANCELLED\r\n"));
    EXPECT_FALSE(Has(ReadFile(log.Path()), "FAILED")) << "the box is not blamed for a cancel";
    EXPECT_TRUE(Has(ReadFile(results.Path()), "\"outcome\":\"cancelled\""));
  }
}

// --continuous: one port serves box after box, each with its record, the
// second box ending before it asked for the whole image; Ctrl-C as the
// fourth is switched on ends the loop with the port's counts and the code
// of a failure.
TEST(BoxfeedContinuous, ServesBoxAfterBoxUntilCtrlC) {
  const auto image = SampleImage(5000);
  CTempFile file(image, ".sdl"), results({}, ".jsonl");
  std::promise<void> fourthAsks, release;
  sim::CBoxPlan whole = Chunks(1000), part = Chunks(1000), fourth = Chunks(1000);
  part.endAfter = 2;
  fourth.beforeRequest = [&fourthAsks, released = release.get_future().share()](size_t n) {
    if (n != 0) return;
    fourthAsks.set_value();
    released.wait();  // until the tool has gone
  };
  CBoxOnThread boxes(image, std::vector{whole, part, whole, fourth});
  struct CReleaseOnExit {
    std::promise<void>& promise;
    ~CReleaseOnExit() { promise = {}; }
  } releaseOnExit{release};
  CChildProcess child({BOXFEED_PATH, "upgrade", file.Path(), "-p", "bench=" + boxes.box.Port(),
                       "--continuous", "--require-whole-image", "--results", results.Path(), "--end-pause-ms",
                       "0"});
  ASSERT_EQ(fourthAsks.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  child.Signal(SIGINT);
  EXPECT_EQ(child.Wait(), 1) << child.Stderr();
  const auto lines = Lines(child.Stdout());
  const auto table = std::find(lines.begin(), lines.end(), "Station: 2 of 3 boxes loaded, yield 66.7 %");
  ASSERT_NE(table, lines.end()) << child.Stdout();
  ASSERT_EQ(lines.end() - table, 3) << child.Stdout();
  EXPECT_TRUE(std::regex_match(table[2], std::regex(" +bench +2 +1"))) << "the last box passed: " << table[2];
  std::set<std::string> runIds;
  std::vector<std::string> outcomes;
  for (const std::string& line : Lines(ReadFile(results.Path()))) {
    const auto record = nlohmann::json::parse(line);
    runIds.insert(record["runId"].get<std::string>());
    outcomes.push_back(record["outcome"]);
  }
  // The fourth asked for nothing before Ctrl-C: no box was loaded there.
  EXPECT_EQ(outcomes, (std::vector<std::string>{"succeeded", "failed", "succeeded"}));
  EXPECT_EQ(runIds.size(), 3u);
}

TEST(BoxfeedUpgrade, APortThatDoesNotOpenExitsWithOneAndSaysWhy) {
  CTempFile file(SampleImage(100), ".sdl");
  CChildProcess noPort({BOXFEED_PATH, "upgrade", file.Path(), "--port", "/dev/does-not-exist"});
  EXPECT_EQ(noPort.Wait(), 1);
  EXPECT_TRUE(Has(noPort.Stdout(),
                  "Open port (/dev/does-not-exist) FAILED\n"
                  "Please VERIFY the port connection and try it again\n"
                  "Cause: /dev/does-not-exist: it does not exist\n"));
  EXPECT_TRUE(Has(noPort.Stderr(), "Can not Create the File"));
  CChildProcess version({BOXFEED_PATH, "--version"});
  EXPECT_EQ(version.Wait(), 0);
  EXPECT_EQ(version.Stdout(), "boxfeed " BOXFEEDER_VERSION "\n");
}

TEST(BoxfeedBoot, RunsTheBootExchange) {
  const std::string text = "t\r\nh\r\n00\r\n\r\nt2\r\nh2\r\n0102\r\n\r\n";
  CTempFile commands(std::vector<uint8_t>(text.begin(), text.end()), ".txt");
  CBoxOnThread box(std::vector<uint8_t>{0x01, 0x02}, sim::CBootPlan{});
  CChildProcess child({BOXFEED_PATH, "boot", commands.Path(), "--port", box.box.Port()});
  EXPECT_EQ(child.Wait(), 0) << child.Stdout() << child.Stderr();
  box.Finish();
  EXPECT_TRUE(box.boot.sectionMatches);
  EXPECT_TRUE(Has(child.Stdout(), "Flash Boot OK\n"));
  EXPECT_TRUE(Has(child.Stdout(), "\nSucceeded: 2 bytes in "));
}

// boxfeeder --help and --version print and exit; they open no window
// with "--help" as its image.
TEST(BoxfeederArguments, HelpAndVersionPrintAndExit) {
  for (const char* argument : {"--help", "-h", "--version"}) {
    CChildProcess window({BOXFEEDER_PATH, argument}, -1, {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(window.Wait(), 0) << argument;
    const bool version = std::string(argument) == "--version";
    EXPECT_EQ(window.Stdout().rfind(version ? "boxfeeder " BOXFEEDER_VERSION "\n" : "Usage: boxfeeder", 0),
              0u)
        << window.Stdout();
    for (const std::string& line : Lines(window.Stdout())) EXPECT_LE(line.size(), 80u) << line;
  }
}

// Each command's help, printed where no terminal says its width, fits an
// 80-column console with its last column free, and lists the program's
// options the command takes after it.
TEST(BoxfeedHelp, EachCommandsHelpFitsEightyColumnsAndListsQuietAndJson) {
  for (const char* command : {"upgrade", "boot", "ports", "results", "demo"}) {
    CChildProcess help({BOXFEED_PATH, command, "--help"});
    EXPECT_EQ(help.Wait(), 0) << command;
    for (const std::string& line : Lines(help.Stdout()))
      EXPECT_LE(line.size(), 79u) << command << ": " << line;
    EXPECT_TRUE(Has(help.Stdout(), "\n  -q,--quiet ")) << help.Stdout();
    EXPECT_TRUE(Has(help.Stdout(), "\n  --json ")) << help.Stdout();
  }
}

TEST(BoxfeedDemo, RunsAVerifiedUpgrade) {
  CChildProcess child({BOXFEED_PATH, "demo", "--size", "20000", "--baud", "0"});
  EXPECT_EQ(child.Wait(), 0) << child.Stderr();
  EXPECT_TRUE(Has(child.Stdout(), "Box: image received intact, all 20000 bytes equal to the file"));
  // With --json, standard output is JSON alone, ending with the run's end.
  CChildProcess json({BOXFEED_PATH, "--json", "demo", "--size", "20000", "--baud", "0"});
  EXPECT_EQ(json.Wait(), 0) << json.Stderr();
  const auto lines = Lines(json.Stdout());
  for (const std::string& line : lines)
    EXPECT_FALSE(nlohmann::json::parse(line, nullptr, false).is_discarded()) << line;
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(nlohmann::json::parse(lines.back())["event"], "end");
}

// What a terminal of columns shows of a run that fails at three quarters
// (TERM=dumb: one that cannot redraw), escape sequences gone, each redraw
// (after a carriage return) a line of its own.
std::vector<std::string> ScreenOfAFailedRun(int columns, std::vector<std::string> env = {}) {
  const auto image = SampleImage(40000);
  CTempFile file(image, ".sdl");
  sim::CBoxPlan plan = Chunks(1000);
  plan.baud = 921600;                        // slow enough for several redraws
  plan.hangUpAfter = 12 + 30 * (1000 + 20);  // three quarters of the image
  CBoxOnThread box(image, plan);
  sim::CPtyLine terminal;
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = 24;
  EXPECT_EQ(::ioctl(terminal.Slave(), TIOCSWINSZ, &size), 0);
  CChildProcess child({BOXFEED_PATH, "upgrade", file.Path(), "--port", box.box.Port()}, terminal.Slave(),
                      env);
  EXPECT_EQ(child.Wait(), 1);
  // The box hangs up after 30 replies; a 31st may be on its way already.
  EXPECT_TRUE(std::regex_search(child.Stdout(), std::regex("Failed: 3[01]000 bytes in "))) << child.Stdout();
  const auto bytes = terminal.DrainMaster();
  std::string text(bytes.begin(), bytes.end());
  EXPECT_TRUE(env.empty() || text.find('\033') == std::string::npos) << text;
  text = std::regex_replace(text, std::regex("\x1b\\[[0-9;]*[A-Za-z]"), "\n");
  std::replace(text.begin(), text.end(), '\r', '\n');
  return Lines(text);
}

// A bar is redrawn in place, so it must never wrap, and a failed run never
// shows 100 %; a terminal that takes no escape sequences gets lines.
TEST(BoxfeedProgress, FitsTheTerminalAndStopsWhereTheTransferStopped) {
  for (const int columns : {80, 50}) {
    int bars = 0;
    for (const std::string& line : ScreenOfAFailedRun(columns)) {
      if (!std::regex_search(line, std::regex("^\\[[#.]*\\]"))) continue;
      EXPECT_LT(static_cast<int>(line.size()), columns) << line;
      bars += line.find("KB/s") != std::string::npos;
      EXPECT_EQ(line.find("100 %"), std::string::npos) << line;
    }
    EXPECT_GT(bars, 1) << "the bar redraws as the transfer goes";
  }
  const auto plain = ScreenOfAFailedRun(80, {"TERM=dumb"});
  EXPECT_TRUE(std::any_of(plain.begin(), plain.end(), [](auto& l) { return l.starts_with("Progress: "); }));
}

// Quiet: the summary and the image's digest alone.
TEST(BoxfeedQuiet, PrintsTheSummaryAndTheDigestOnly) {
  CShellFeed feed("exec \"$FEED\" upgrade \"$IMAGE\" -p \"$PORT\" -q --end-pause-ms 0", 8192);
  EXPECT_EQ(feed.status, 0) << feed.child.Stderr();
  const auto lines = Lines(feed.child.Stdout());
  ASSERT_EQ(lines.size(), 2u) << feed.child.Stdout();
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("Succeeded: 8192 bytes in [0-9.]+ s, [0-9.]+ KB/s.*")));
  EXPECT_EQ(lines[1], "Image SHA-256: " + Sha256Sum(feed.file.Path()));
}

// Inputs refused before any port opens, each with its message and exit
// code; "@" stands for a folder of prepared files.
struct CRefusal {
  std::string name;
  std::vector<std::string> args;
  std::string message;
  int status = 1;
};

void PrintTo(const CRefusal& refusal, std::ostream* out) { *out << refusal.name; }

class BoxfeedRefuses : public ::testing::TestWithParam<CRefusal> {};

TEST_P(BoxfeedRefuses, BadInputBeforeAnyPortOpens) {
  const std::string dir = "/tmp/boxfeeder-refusals-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string commands = "t\nh\n0102\n\nt\nh\n03\n\n";
  std::ofstream(dir + "/empty.sdl").close();
  std::ofstream(dir + "/good.sdl") << "image";
  std::ofstream(dir + "/badhex.txt") << "t\nh\n0102\n\nt\nh\n5A ZZ A5\n\n";
  std::ofstream(dir + "/two.txt") << commands;
  ::chmod((dir + "/two.txt").c_str(), 0444);
  std::ofstream(dir + "/three.txt") << commands;
  ::mkfifo((dir + "/fifo").c_str(), 0644);
  std::ofstream(dir + "/huge.sdl").close();
  std::filesystem::resize_file(dir + "/huge.sdl", (uint64_t{1} << 32) + 1);  // sparse: no disk used
  std::filesystem::create_symlink(dir + "/good.sdl", dir + "/link.txt");
  std::filesystem::create_hard_link(dir + "/good.sdl", dir + "/hard.txt");
  std::ofstream(dir + "/kept.txt") << "an earlier log";
  std::filesystem::create_hard_link(dir + "/kept.txt", dir + "/kept.jsonl");
  std::vector<std::string> args{BOXFEED_PATH};
  for (std::string a : GetParam().args) args.push_back(a.starts_with("@") ? dir + a.substr(1) : a);
  CChildProcess child(args);
  const int status = child.Wait();
  EXPECT_EQ(ReadFile(dir + "/good.sdl"), "image") << "what the run reads is never overwritten";
  EXPECT_EQ(ReadFile(dir + "/three.txt"), commands);
  EXPECT_EQ(ReadFile(dir + "/kept.txt"), "an earlier log");
  std::filesystem::remove_all(dir);
  EXPECT_EQ(status, GetParam().status);
  EXPECT_TRUE(Has(child.Stdout() + child.Stderr(), GetParam().message));
  EXPECT_EQ(child.Stdout().find("Open port"), std::string::npos) << "no port was opened";
}

const std::string kNoPort = "/dev/ttyS9";
const std::string kSameFile = "this is the file the run reads",
                  kLogIsResults = "the log and the results file are one file";

INSTANTIATE_TEST_SUITE_P(
    Inputs, BoxfeedRefuses,
    ::testing::Values(
        CRefusal{"MissingImage", {"upgrade", "@/none.sdl", "-p", kNoPort}, "Can not Open the File"},
        CRefusal{"EmptyImage", {"upgrade", "@/empty.sdl", "-p", kNoPort}, "the image is empty"},
        CRefusal{"ImageOver4GiB", {"upgrade", "@/huge.sdl", "-p", kNoPort}, "larger than 4 GiB"},
        CRefusal{"FifoAsImage", {"upgrade", "@/fifo", "-p", kNoPort}, "not a regular file"},
        CRefusal{
            "FifoAsLog", {"upgrade", "@/good.sdl", "-p", kNoPort, "--log", "@/fifo"}, "not a regular file"},
        CRefusal{"LogIsTheImage", {"upgrade", "@/good.sdl", "-p", kNoPort, "--log", "@/good.sdl"}, kSameFile},
        CRefusal{"LogIsALinkToTheImage",
                 {"upgrade", "@/good.sdl", "-p", kNoPort, "--log", "@/link.txt"},
                 kSameFile},
        CRefusal{
            "LogIsAHardLink", {"upgrade", "@/good.sdl", "-p", kNoPort, "--log", "@/hard.txt"}, kSameFile},
        CRefusal{"ResultsAreTheImage",
                 {"upgrade", "@/good.sdl", "-p", kNoPort, "--results", "@/link.txt"},
                 "the file the run reads"},
        CRefusal{"ResultsAreTheLog",
                 {"upgrade", "@/good.sdl", "-p", kNoPort, "--log", "@/same.txt", "--results", "@/same.txt"},
                 kLogIsResults},
        CRefusal{"ResultsAreAHardLinkOfTheLog",
                 {"upgrade", "@/good.sdl", "-p", kNoPort, "--log", "@/kept.txt", "--results", "@/kept.jsonl"},
                 kLogIsResults},
        CRefusal{"LogInAFolderThatIsNot",
                 {"upgrade", "@/good.sdl", "-p", kNoPort, "--log", "@/no/such/log.txt"},
                 "Can not Create The File: "},
        CRefusal{
            "LogIsTheCommandFile", {"boot", "@/three.txt", "-p", kNoPort, "--log", "@/three.txt"}, kSameFile},
        CRefusal{"MissingCommandFile", {"boot", "@/none.txt", "-p", kNoPort}, "none.txt: it does not exist"},
        CRefusal{"BadHexInACommandFile",
                 {"boot", "@/badhex.txt", "-p", kNoPort},
                 "badhex.txt: line 7, column 4: 'ZZ' is not a hexadecimal byte"},
        CRefusal{"ReadOnlyCommandFile", {"boot", "@/two.txt", "-p", kNoPort}, "read-only"},
        CRefusal{"FifoAsCommandFile", {"boot", "@/fifo", "-p", kNoPort}, "not a regular file"},
        CRefusal{"NoPort", {"upgrade", "@/good.sdl"}, "", 64}, CRefusal{"NoCommand", {}, "", 64},
        CRefusal{"MisspeltCommand", {"upgarde", "@/good.sdl"}, "'upgarde' is not a command", 64},
        CRefusal{"UnknownOption", {"--bogus", "upgrade", "@/good.sdl"}, "unknown option '--bogus'", 64},
        CRefusal{"RefusedInJson",
                 {"--json", "upgrade", "@/none.sdl", "-p", kNoPort},
                 "{\"cause\":\"" + std::string("/tmp/boxfeeder-refusals-")},
        CRefusal{"HelpOfACommandWithItsExitStatus", {"ports", "--help"}, "0   listed (none present", 0},
        CRefusal{"OnePortTwice",
                 {"upgrade", "@/good.sdl", "-p", kNoPort, "-p", "/dev/../dev/ttyS9"},
                 "the same port is named twice",
                 64}),
    [](const auto& info) { return info.param.name; });

TEST(BoxfeedJson, EveryEventIsAnObjectWithItsPortAndTime) {
  CShellFeed feed("exec \"$FEED\" upgrade \"$IMAGE\" -p \"$PORT\" --json --end-pause-ms 0", 3000,
                  Chunks(1000));
  const CChildProcess& child = feed.child;
  EXPECT_EQ(feed.status, 0) << child.Stderr();
  std::map<std::string, int> events;
  nlohmann::json end;
  for (const std::string& line : Lines(child.Stdout())) {
    const auto event = nlohmann::json::parse(line);  // throws on anything but JSON
    EXPECT_EQ(event["port"], feed.box.box.Port());
    EXPECT_TRUE(
        std::regex_match(event["time"].get<std::string>(), std::regex("\\d{4}-\\d\\d-\\d\\dT[0-9:.]+Z")));
    ++events[event["event"]];
    if (event["event"] == "end") end = event;
    EXPECT_TRUE(event["event"] != "progress" || event["total"] == 3000);
  }
  EXPECT_EQ(events["progress"], 3);
  EXPECT_EQ(events["end"], 1);
  EXPECT_GT(events["line"], 5);
  EXPECT_EQ(end["outcome"], "succeeded");
  EXPECT_EQ(end["bytes"], 3000);
  EXPECT_TRUE(end["cause"].is_null());
  EXPECT_EQ(end["sha256"], Sha256Sum(feed.file.Path()));
  EXPECT_TRUE(Has(child.Stderr(), "Please SWITCH ON your box now")) << "the operator's prompt";
}

// Three boxes, the second of which hangs up after five replies: two ports
// whose names end alike ("a/box", "b/box") and one the operator named.
// Text ends with a table, JSON with a station event; each box's record
// goes onto the results file as it ends.
TEST(BoxfeedStation, ABoxThatHangsUpStopsNoneOfTheOthersAndTheEndSaysWhich) {
  const std::string dir = "/tmp/boxfeeder-station-" + std::to_string(::getpid());
  const std::vector<uint8_t> image = SampleImage(20000);
  CTempFile file{image, ".sdl"};
  const std::string results = dir + "/results.jsonl";
  for (const bool json : {false, true}) {
    sim::CBoxPlan hangsUp = Chunks(1000);
    hangsUp.hangUpAfter = 12 + 5 * (1000 + 20);
    CBoxOnThread first{image, Chunks(1000)}, second{image, hangsUp}, third{image, Chunks(1000)};
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/a");
    std::filesystem::create_directories(dir + "/b");
    std::filesystem::create_symlink(first.box.Port(), dir + "/a/box");
    std::filesystem::create_symlink(second.box.Port(), dir + "/b/box");
    std::ofstream(results) << "{\"earlier\": true}\n";  // another run's record stays
    std::vector<std::string> args{BOXFEED_PATH, "upgrade", file.Path(), "--end-pause-ms", "0", "--results"};
    for (const std::string& more :
         {results, "-p" + dir + "/a/box", "-p" + dir + "/b/box", "--log=" + dir + "/st.txt",
          "-pthird=" + third.box.Port(), std::string("--station-name=line 3")})
      args.push_back(more);
    if (json) args.push_back("--json");
    CChildProcess child(args);
    EXPECT_EQ(child.Wait(), 1);
    first.Finish();
    third.Finish();
    EXPECT_TRUE(first.report.imageIntact && third.report.imageIntact);
    for (const char* label : {"a_box", "b_box", "third"})  // one log each, named by the short labels
      EXPECT_TRUE(Has(ReadFile(dir + "/st-" + label + ".txt"), "Please SWITCH ON your box now"));
    const std::string out = child.Stdout();
    if (!json) {
      EXPECT_TRUE(Has(out, "[a/box] Succeeded: 20000 bytes"));
      // A sixth reply may be on its way already when the box hangs up.
      EXPECT_TRUE(std::regex_search(out, std::regex("\\[b/box\\] Failed: [56]000 bytes"))) << out;
      // The table closes the run, in the order the ports were given.
      const auto at = out.find("Station: 2 of 3 boxes loaded\n");
      ASSERT_NE(at, std::string::npos) << out;
      const auto rows = Lines(out.substr(at));
      ASSERT_EQ(rows.size(), 6u) << out.substr(at);
      EXPECT_EQ(rows[1], "Image SHA-256: " + Sha256Sum(file.Path())) << "once for the station";
      EXPECT_TRUE(std::regex_match(rows[3], std::regex(" +a/box +succeeded +20000 +[0-9.]+ s"))) << rows[3];
      EXPECT_TRUE(std::regex_match(
          rows[4],
          std::regex(" +b/box +failed +[56]000 +[0-9.]+ s +the port disappeared \\(unplugged or hung up\\)")))
          << rows[4];
      EXPECT_TRUE(std::regex_match(rows[5], std::regex(" +third +succeeded +20000 +[0-9.]+ s"))) << rows[5];
      EXPECT_EQ(out.find("] Image SHA-256"), std::string::npos) << "not once per box";
      continue;
    }
    nlohmann::json station;
    for (const std::string& line : Lines(out))
      if (const auto event = nlohmann::json::parse(line); event["event"] == "station") station = event;
    EXPECT_EQ(station["succeeded"], 2);
    EXPECT_EQ(station["failed"], 1);
    EXPECT_EQ(station["cancelled"], 0);
    ASSERT_EQ(station["boxes"].size(), 3u) << out;
    EXPECT_EQ(station["boxes"][0]["label"], "a/box");
    EXPECT_EQ(station["boxes"][1]["port"], dir + "/b/box");
    EXPECT_EQ(station["boxes"][1]["outcome"], "failed");
    EXPECT_EQ(station["boxes"][2]["label"], "third");
    EXPECT_EQ(station["boxes"][2]["bytes"], 20000);

    const auto lines = Lines(ReadFile(results));
    ASSERT_EQ(lines.size(), 4u) << ReadFile(results);
    EXPECT_EQ(lines[0], "{\"earlier\": true}");
    std::map<std::string, nlohmann::json> byPort;
    for (size_t i = 1; i < lines.size(); ++i) {
      const auto record = nlohmann::json::parse(lines[i]);
      byPort[record["port"]] = record;
      EXPECT_EQ(record["image"], file.Path());
      EXPECT_EQ(record["imageSha256"], Sha256Sum(file.Path()));
      EXPECT_LE(record["started"].get<std::string>(), record["ended"].get<std::string>());
      EXPECT_TRUE(record["vidPid"].is_null()) << "a pseudo-terminal is no USB adapter";
      EXPECT_EQ(record["station"], "line 3");
      EXPECT_EQ(record["host"], HostName());
    }
    const auto &a = byPort[dir + "/a/box"], &b = byPort[dir + "/b/box"];
    EXPECT_EQ(a["outcome"], "succeeded");
    EXPECT_EQ(a["bytesServed"], 20000);
    EXPECT_TRUE(a["alias"] == "a/box" && a["cause"].is_null()) << "the label each line shows";
    EXPECT_EQ(b["outcome"], "failed");
    EXPECT_TRUE(Has(b["cause"].get<std::string>(), "disappeared"));
    EXPECT_EQ(byPort[third.box.Port()]["alias"], "third");
  }
  std::filesystem::remove_all(dir);
}

// The station window stops every box on Ctrl-C, SIGTERM or SIGHUP and
// writes each one's record before it closes: one loading, one waiting
// for its box, one loaded already.
TEST(BoxfeederStation, ASignalStopsEveryBoxAndKeepsEveryRecord) {
  const auto image = SampleImage(20000);
  CTempFile file(image, ".sdl");
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    CTempFile results({}, ".jsonl");
    std::promise<void> loading, release;
    std::shared_future<void> released = release.get_future().share();
    sim::CBoxPlan holds = Chunks(1000), silent = Chunks(1000);
    holds.beforeRequest = [&](size_t n) {
      if (n != 2) return;
      loading.set_value();
      released.wait();  // the box pauses mid-image until the window has gone
    };
    silent.silent = true;
    CBoxOnThread loads(image, holds), waits(image, silent), done(image, sim::CBoxPlan{});
    CChildProcess child({BOXFEEDER_PATH, "--station", file.Path(), "--port", "loads=" + loads.box.Port(),
                         "--port", "waits=" + waits.box.Port(), "--port", "done=" + done.box.Port(),
                         "--results", results.Path(), "--start"},
                        -1, {"QT_QPA_PLATFORM=offscreen"});
    loading.get_future().wait();
    done.Join();  // loaded: its run has ended, whenever the window hears of it
    child.Signal(signal);
    EXPECT_EQ(child.Wait(), 2) << strsignal(signal);
    release.set_value();
    std::map<std::string, std::string> outcomes;
    for (const std::string& line : Lines(ReadFile(results.Path()))) {
      const auto record = nlohmann::json::parse(line);
      outcomes[record["alias"]] = record["outcome"];
    }
    EXPECT_EQ(outcomes, (std::map<std::string, std::string>{
                            {"loads", "cancelled"}, {"waits", "cancelled"}, {"done", "succeeded"}}))
        << strsignal(signal);
  }
}

// boxfeed results over the files of two stations, as the stations wrote
// them: A loaded a box, B failed one and a line of B's file is torn. By
// station as a table, by cause as CSV, today's as JSON, none from
// tomorrow.
TEST(BoxfeedResults, CountsTheBoxesOfTwoStations) {
  CTempFile a({}, ".jsonl"), b({}, ".jsonl");
  sim::CBoxPlan part = Chunks(1000);
  part.endAfter = 1;
  CShellFeed loads(
      "exec \"$FEED\" upgrade \"$IMAGE\" -p \"$PORT\" --end-pause-ms 0 --station-name A --results " +
      a.Path());
  CShellFeed fails(
      "exec \"$FEED\" upgrade \"$IMAGE\" -p \"$PORT\" --end-pause-ms 0 --require-whole-image "
      "--station-name 'B, line 2' --results " +
          b.Path(),
      5000, part);
  ASSERT_EQ(loads.status + fails.status, 1);
  std::ofstream(b.Path(), std::ios::app) << "{\"started\": \"2026-\n";
  const auto results = [&](std::vector<std::string> more) {
    std::vector<std::string> args{BOXFEED_PATH, "results", a.Path(), b.Path()};
    args.insert(args.end(), more.begin(), more.end());
    auto child = std::make_unique<CChildProcess>(args);
    EXPECT_EQ(child->Wait(), 0) << child->Stderr();
    return child;
  };
  const auto byStation = Lines(results({"--by", "station"})->Stdout());
  ASSERT_EQ(byStation.size(), 4u);
  EXPECT_TRUE(std::regex_match(byStation[1], std::regex("A +1 +1 +0 +0 +100.0 %")));
  EXPECT_TRUE(std::regex_match(byStation[2], std::regex("B, line 2 +1 +0 +1 +0 +0.0 %")));
  EXPECT_TRUE(std::regex_match(byStation[3], std::regex("all +2 +1 +1 +0 +50.0 %")));
  const auto csv = results({"--by", "station", "--csv"});
  EXPECT_TRUE(Has(csv->Stderr(), "1 lines were no records"));
  EXPECT_EQ(csv->Stdout(),
            "station,boxes,loaded,failed,cancelled,yield\r\nA,1,1,0,0,100.0\r\n\"B, line 2\",1,0,1,0,0.0\r\n"
            "all,2,1,1,0,50.0\r\n");
  const std::string today = UtcTimestamp().substr(0, 10);
  auto json = nlohmann::json::parse(results({"--json", "--since", today, "--by", "cause"})->Stdout());
  EXPECT_EQ(json["groups"][0]["key"], "(succeeded)");
  EXPECT_TRUE(json["groups"][1]["key"].get<std::string>().starts_with("the box ended before it had asked"));
  EXPECT_EQ(json["total"]["yield"], 50.0);
  json = nlohmann::json::parse(results({"--json", "--since", "2999-01-01"})->Stdout());
  EXPECT_EQ(json["total"]["boxes"], 0);
  EXPECT_TRUE(json["total"]["yield"].is_null());
}

// Records from several processes at once land whole, one to a line: each
// is one write to a file opened for appending. Lines longer than a pipe's
// atomic size, and many of them, so that a seek-then-write would tear.
TEST(ResultsFile, ProcessesAppendingAtOnceTearNoRecord) {
  CTempFile shared{std::vector<uint8_t>{}, ".jsonl"};
  constexpr int kWriters = 4, kRecords = 200;
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      CBoxRecord record;
      record.port = std::string(6000, static_cast<char>('a' + w));
      std::string error;
      for (int r = 0; r < kRecords; ++r)
        if (!AppendLine(shared.Path(), RecordLine(record), error)) ::_exit(1);
      ::_exit(0);
    }
    writers.push_back(pid);
  }
  for (pid_t pid : writers) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const auto lines = Lines(ReadFile(shared.Path()));
  ASSERT_EQ(lines.size(), size_t{kWriters * kRecords});
  for (const std::string& line : lines) {
    const auto record = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(record.is_discarded()) << line.substr(0, 80);
    const std::string port = record["port"];
    EXPECT_EQ(port, std::string(6000, port[0]));
  }
}

// Names that are not UTF-8 keep their bytes in the record, escaped; UTF-8
// names (Cyrillic, a Windows path's backslashes) stay as they are.
TEST(ResultsRecord, KeepsTheBytesOfNamesThatAreNotUtf8) {
  const struct {
    std::string image, kept;
  } cases[] = {{"/img/\xFF\xFEx.sdl", "/img/\\xFF\\xFEx.sdl"},
               {"C:\\box\\\xE9.sdl", "C:\\\\box\\\\\\xE9.sdl"},
               {"/img/образ.sdl", "/img/образ.sdl"},
               {"C:\\box\\new.sdl", "C:\\box\\new.sdl"}};
  for (const auto& c : cases) {
    CBoxRecord record;
    record.imagePath = c.image;
    EXPECT_EQ(nlohmann::json::parse(RecordLine(record))["image"], c.kept);
  }
}

TEST(BoxfeedLabels, AreShortUniqueTailsOfThePaths) {
  using Names = std::vector<std::string>;
  const std::string ftdi = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_";
  EXPECT_EQ(ShortLabels({"/dev/ttyUSB0", "/dev/ttyUSB1"}), (Names{"ttyUSB0", "ttyUSB1"}));
  EXPECT_EQ(ShortLabels({"/dev/pts/3", "/dev/pts/12"}), (Names{"pts/3", "pts/12"}));
  EXPECT_EQ(ShortLabels({"/x/a/box", "/x/b/box", "/x/c/other"}), (Names{"a/box", "b/box", "other"}));
  EXPECT_EQ(ShortLabels({ftdi + "A50285BI-if00-port0", ftdi + "A10K3XYZ-if00-port0"}),
            (Names{"A50285BI", "A10K3XYZ"}));
  EXPECT_EQ(ShortLabels({ftdi + "A50285BI-if00-port0", "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0"}),
            (Names{"FTDI_FT232R_USB_UART_A50285BI", "1a86_USB_Serial"}));
  EXPECT_EQ(ShortLabels({"COM3", "COM4"}), (Names{"COM3", "COM4"}));
}

TEST(BoxfeedUpgrade, AReaderThatGoesAwayEndsNothing) {
  // `boxfeed ... --trace | head -n 2`: the box is still served to the end.
  const auto image = SampleImage(20000);
  CTempFile file(image, ".sdl"), log({}, ".txt");
  std::promise<void> closed;
  sim::CBoxPlan plan = Chunks(1000);
  plan.beforeRequest = [future = closed.get_future().share()](size_t n) {
    if (n == 0) future.wait();
  };
  CBoxOnThread box(image, plan);
  CChildProcess child({BOXFEED_PATH, "upgrade", file.Path(), "--port", box.box.Port(), "--trace", "--log",
                       log.Path(), "--end-pause-ms", "0"});
  ASSERT_TRUE(child.ReadUntil("Please SWITCH ON your box now"));
  child.CloseStdout();
  closed.set_value();
  EXPECT_EQ(child.Wait(), 0) << child.Stderr();
  box.Finish();
  EXPECT_TRUE(box.report.imageIntact) << box.report.problem;
  const std::string logged = ReadFile(log.Path());
  EXPECT_TRUE(Has(logged, "Download Terminated SUCCESSFULLY\r\n"));
  EXPECT_TRUE(
      Has(logged, "Z <<Received Data Request from STB: Offset = [1000], RequestDataLen = [0x3e8]\r\n"))
      << "--trace adds the debug lines";
  EXPECT_TRUE(Has(child.Stderr(), "Succeeded: 20000 bytes"));
}

TEST(Boxsim, LeavesWhatIsAtItsLinkPathAloneAndGoesToTheBackgroundWithTheLinkReady) {
  const std::string dir = "/tmp/boxfeeder-boxsim-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  CTempFile file(SampleImage(3000), ".sdl");
  std::ofstream(dir + "/taken") << "someone's file";
  CChildProcess refused({BOXSIM_PATH, file.Path(), "--link", dir + "/taken"});
  EXPECT_EQ(refused.Wait(), 1);
  EXPECT_EQ(ReadFile(dir + "/taken"), "someone's file");
  EXPECT_TRUE(Has(refused.Stderr(), "something is there already"));

  // A link left by a box that is gone is taken over; when the command
  // returns, the link is there for the next one.
  std::filesystem::create_symlink("/dev/pts/4095", dir + "/box");
  CChildProcess box({BOXSIM_PATH, file.Path(), "--link", dir + "/box", "--daemon"});
  EXPECT_EQ(box.Exited(), 0);
  CChildProcess feed({BOXFEED_PATH, "upgrade", file.Path(), "-p", dir + "/box", "--end-pause-ms", "0"});
  EXPECT_EQ(feed.Wait(), 0) << feed.Stderr();
  box.Wait();  // the box in the background closes its output as it ends
  EXPECT_TRUE(Has(box.Stdout(), "image received intact"));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir + "/box"))) << "its own link goes";
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zel
