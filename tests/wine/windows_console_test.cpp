// boxfeed.exe in an 80-column console, as a technician runs it. The test
// is the shell: like cmd it stays in the console and lives through a
// Ctrl-C. It reads the console's screen back while the simulated box is
// loaded slowly, presses Ctrl-C in the middle, and reads it again.
//   windows_console_test BOXFEED.EXE IMAGE PORT
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "run/SystemHeadersWin32.h"

namespace {

std::wstring g_boxfeed, g_image, g_port;

// The console's rows as they are on the screen, blanks on the right cut.
std::vector<std::wstring> ScreenRows(HANDLE console) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(console, &info)) return {};
  std::vector<std::wstring> rows;
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
    DWORD read = 0;
    ::ReadConsoleOutputCharacterW(console, row.data(), info.dwSize.X, COORD{0, y}, &read);
    row.resize(row.find_last_not_of(L' ') + 1);
    rows.push_back(row);
  }
  return rows;
}

std::wstring Joined(const std::vector<std::wstring>& rows) {
  std::wstring text;
  for (const std::wstring& row : rows) text += row + L"\n";
  return text;
}

// Reads the screen until `done` holds for it, for at most a minute.
template <typename Done>
std::vector<std::wstring> ScreenWhen(HANDLE console, Done done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  std::vector<std::wstring> rows = ScreenRows(console);
  while (!done(rows) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the console is read, not waited on
    rows = ScreenRows(console);
  }
  return rows;
}

int BarRows(const std::vector<std::wstring>& rows) {
  int bars = 0;
  for (const std::wstring& row : rows) bars += row.find(L"[#") != std::wstring::npos;
  return bars;
}

int PercentShown(const std::vector<std::wstring>& rows) {
  for (const std::wstring& row : rows) {
    const size_t close = row.find(L"] ");
    if (row.find(L"[#") != std::wstring::npos && close != std::wstring::npos)
      return std::stoi(row.substr(close + 2));
  }
  return -1;
}

// The rows that only a line wider than the window would leave: text up
// to the last column, or an escape sequence printed as text.
void ExpectCleanScreen(const std::vector<std::wstring>& rows, size_t columns) {
  for (const std::wstring& row : rows) {
    EXPECT_EQ(row.find(L'\x1b'), std::wstring::npos) << "an escape sequence shown as text:\n" << Joined(rows);
    if (row.find(L"[#") != std::wstring::npos) {
      EXPECT_LT(row.size(), columns) << "a bar as wide as the window";
    }
  }
}

BOOL WINAPI IgnoreInterrupt(DWORD) { return TRUE; }

// The test's own console, on the display the run provides, 80 columns
// wide; made once.
HANDLE Console() {
  static const HANDLE console = [] {
    ::FreeConsole();
    EXPECT_TRUE(::AllocConsole());
    // A Ctrl-C reaches every program in the console, this one too.
    ::SetConsoleCtrlHandler(&IgnoreInterrupt, TRUE);
    return ::GetStdHandle(STD_OUTPUT_HANDLE);
  }();
  return console;
}

constexpr size_t kColumns = 80;

size_t ConsoleColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  ::GetConsoleScreenBufferInfo(Console(), &info);
  return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

// boxfeed.exe with these arguments, in the console.
PROCESS_INFORMATION StartBoxfeed(const std::wstring& arguments) {
  std::wstring command = L"\"" + g_boxfeed + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION run{};
  EXPECT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &run));
  return run;
}

TEST(WindowsConsole, BarRedrawsInPlaceAndCtrlCEndsTheRunWithItsResultOnScreen) {
  const HANDLE console = Console();
  const size_t columns = ConsoleColumns();
  ASSERT_EQ(columns, kColumns);
  const PROCESS_INFORMATION run =
      StartBoxfeed(L"upgrade \"" + g_image + L"\" --port " + g_port + L" --end-pause-ms 0");
  ASSERT_NE(run.hProcess, nullptr);

  // The bar moves on: each percent is drawn over the one before.
  std::vector<std::wstring> rows =
      ScreenWhen(console, [](const std::vector<std::wstring>& now) { return PercentShown(now) >= 10; });
  ASSERT_GE(PercentShown(rows), 10) << Joined(rows);
  EXPECT_EQ(BarRows(rows), 1) << Joined(rows);
  ExpectCleanScreen(rows, columns);

  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  // The run ends as cancelled, with its own words and its account, and
  // the console stays with them for the shell.
  ASSERT_EQ(::WaitForSingleObject(run.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD status = 0;
  ::GetExitCodeProcess(run.hProcess, &status);
  EXPECT_EQ(status, 2u);
  rows = ScreenRows(console);
  const std::wstring screen = Joined(rows);
  EXPECT_NE(screen.find(L"Download CANCELLED"), std::wstring::npos) << screen;
  EXPECT_NE(screen.find(L"\nCancelled: "), std::wstring::npos) << screen;
  EXPECT_EQ(screen.find(L"FAILED"), std::wstring::npos) << "a fault for a cancel:\n" << screen;
  EXPECT_EQ(BarRows(rows), 1) << screen;
  ExpectCleanScreen(rows, columns);
  ::CloseHandle(run.hThread);
  ::CloseHandle(run.hProcess);
}

// The help, as the Start-menu console opens with it: no line fills the
// window, where the console would break it, mid-word, onto the next.
TEST(WindowsConsole, HelpWrapsAtWordsWithinTheWindow) {
  const HANDLE console = Console();
  ASSERT_EQ(ConsoleColumns(), kColumns);
  const size_t before = ScreenRows(console).size();
  for (const wchar_t* command : {L"--help", L"upgrade --help"}) {
    const PROCESS_INFORMATION help = StartBoxfeed(command);
    ASSERT_EQ(::WaitForSingleObject(help.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    ::CloseHandle(help.hThread);
    ::CloseHandle(help.hProcess);
  }
  const std::vector<std::wstring> rows = ScreenRows(console);
  ASSERT_GT(rows.size(), before + 30) << Joined(rows);
  for (size_t row = before; row < rows.size(); ++row) EXPECT_LT(rows[row].size(), kColumns) << Joined(rows);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: windows_console_test BOXFEED.EXE IMAGE PORT\n");
    return 64;
  }
  const auto wide = [](const char* text) {
    std::wstring out(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), static_cast<int>(out.size()));
    out.pop_back();
    return out;
  };
  g_boxfeed = wide(argv[1]);
  g_image = wide(argv[2]);
  g_port = wide(argv[3]);
  return RUN_ALL_TESTS();
}
