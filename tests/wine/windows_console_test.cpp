// boxfeed.exe in an 80-column console, as a technician runs it. The test
// is the shell: like cmd it stays in the console and lives through a
// Ctrl-C. It reads the console's screen back while the simulated box is
// loaded slowly, presses Ctrl-C in the middle, and reads it again.
//   windows_console_test BOXFEED.EXE IMAGE PORT
#include <string>
#include <vector>

#include "tests/wine/Win32Harness.h"

namespace zel::wintest {
namespace {

std::string g_boxfeed, g_image, g_port;
constexpr size_t kColumns = 80;

BOOL WINAPI IgnoreInterrupt(DWORD) { return TRUE; }

// The test's own console, on the display the run provides; made once.
HANDLE Console() {
  static const HANDLE console = [] {
    FreeConsole();
    EXPECT_TRUE(AllocConsole());
    // A Ctrl-C reaches every program in the console, this one too.
    SetConsoleCtrlHandler(&IgnoreInterrupt, TRUE);
    return GetStdHandle(STD_OUTPUT_HANDLE);
  }();
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(console, &info);
  EXPECT_EQ(static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1), kColumns);
  return console;
}

// The console's rows up to the cursor's, blanks on the right cut.
std::vector<std::string> ScreenRows() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(Console(), &info);
  std::vector<std::string> rows;
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(Console(), row.data(), info.dwSize.X, COORD{0, y}, &read);
    row.resize(row.find_last_not_of(L' ') + 1);
    rows.push_back(Narrow(row));
  }
  return rows;
}

std::string Joined(const std::vector<std::string>& rows) {
  std::string text;
  for (const std::string& row : rows) text += row + "\n";
  return text;
}

// The bar's rows, and the percent the first one shows.
std::vector<std::string> Bars(const std::vector<std::string>& rows) {
  std::vector<std::string> bars;
  for (const std::string& row : rows)
    if (row.find("[#") != std::string::npos) bars.push_back(row);
  return bars;
}
int PercentShown(const std::vector<std::string>& rows) {
  const auto bars = Bars(rows);
  return bars.empty() || bars[0].find("] ") == std::string::npos
             ? -1
             : std::stoi(bars[0].substr(bars[0].find("] ") + 2));
}

// One bar, drawn over itself; no escape sequence printed as text; no bar
// as wide as the window, which the console would wrap.
void ExpectOneCleanBar(const std::vector<std::string>& rows) {
  EXPECT_EQ(Bars(rows).size(), 1u) << Joined(rows);
  EXPECT_EQ(Joined(rows).find('\x1b'), std::string::npos) << Joined(rows);
  for (const std::string& bar : Bars(rows)) EXPECT_LT(bar.size(), kColumns) << bar;
}

PROCESS_INFORMATION StartBoxfeed(const std::string& arguments) {
  Console();
  return StartProgram("\"" + g_boxfeed + "\" " + arguments);
}

TEST(WindowsConsole, BarRedrawsInPlaceAndCtrlCEndsTheRunWithItsResultOnScreen) {
  const PROCESS_INFORMATION run =
      StartBoxfeed("upgrade \"" + g_image + "\" --port " + g_port + " --end-pause-ms 0");
  std::vector<std::string> rows;
  ASSERT_TRUE(PollUntil([&] { return PercentShown(rows = ScreenRows()) >= 10; })) << Joined(rows);
  ExpectOneCleanBar(rows);
  ScreenshotFromScreen(GetConsoleWindow(), "console-1-bar");

  ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  // The run ends as cancelled, with its own words and its account, and
  // the console stays with them for the shell.
  ASSERT_EQ(WaitForSingleObject(run.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD status = 0;
  GetExitCodeProcess(run.hProcess, &status);
  EXPECT_EQ(status, 2u);
  CloseProcessHandles(run);
  rows = ScreenRows();
  const std::string screen = Joined(rows);
  EXPECT_NE(screen.find("Download CANCELLED"), std::string::npos) << screen;
  EXPECT_NE(screen.find("\nCancelled: "), std::string::npos) << screen;
  EXPECT_EQ(screen.find("FAILED"), std::string::npos) << "a fault for a cancel:\n" << screen;
  ExpectOneCleanBar(rows);
  ScreenshotFromScreen(GetConsoleWindow(), "console-2-cancelled");
}

// The help, as the Start-menu console opens with it: no line fills the
// window, where the console would break it, mid-word, onto the next.
TEST(WindowsConsole, HelpWrapsAtWordsWithinTheWindow) {
  const size_t before = ScreenRows().size();
  for (const char* command : {"--help", "upgrade --help"}) {
    const PROCESS_INFORMATION help = StartBoxfeed(command);
    ASSERT_EQ(WaitForSingleObject(help.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseProcessHandles(help);
  }
  const std::vector<std::string> rows = ScreenRows();
  ASSERT_GT(rows.size(), before + 30) << Joined(rows);
  for (size_t row = before; row < rows.size(); ++row) EXPECT_LT(rows[row].size(), kColumns) << Joined(rows);
}

}  // namespace
}  // namespace zel::wintest

int main(int argc, char** argv) {
  using namespace zel::wintest;
  return RunTests(argc, argv, "windows_console_test BOXFEED.EXE IMAGE PORT", {&g_boxfeed, &g_image, &g_port});
}
