// The Win32 station window under Wine: two COM ports, each linked to a
// simulated box on the Linux side (station_test.sh), one of which hangs up.
// Start all from the keyboard; each tile ends in its own words; the
// results file gets a record per box; closing once all have ended asks
// nothing and gives the code for a failure.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/win32/StationPickerWin32.h"
#include "app/win32/StationWindowWin32.h"
#include "app/win32/Utf16.h"
#include "tests/QuickUpgrade.h"
#include "tests/wine/Win32Harness.h"

namespace zel {
namespace {

using Window = CWin32StationWindow;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Runs the window's messages until done() holds; false after seconds.
bool Until(Window& window, int seconds, const std::function<bool()>& done) {
  return wintest::PumpUntil(
      done, [&] { return window.PumpMessages() && false; }, std::chrono::seconds(seconds));
}

std::string Records(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// A key as the keyboard gives it to the focused control.
void Key(HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

TEST(WindowStation, TwoPortsOneHangsUp) {
  CStationSetup setup;
  setup.image = Env("BOXFEEDER_TEST_IMAGE");
  setup.ports = {{"COM6", "COM6"}, {"COM7", "left"}};
  setup.continuous = false;
  const std::string results = Env("BOXFEEDER_TEST_RESULTS");
  Window window(setup, test::QuickUpgradeKind());
  ShowWindow(window.Handle(), SW_SHOW);
  SetWindowTextW(GetDlgItem(window.Handle(), Window::kResultsId),
                 std::wstring(results.begin(), results.end()).c_str());
  SetFocus(GetDlgItem(window.Handle(), Window::kResultsId));
  Key(GetFocus(), VK_RETURN);
  Key(GetFocus(), VK_TAB);
  ASSERT_TRUE(Until(window, 5, [&] {
    return GetFocus() == GetDlgItem(window.Handle(), Window::kStartAllId);
  })) << "Tab goes from the results file to Start all";
  EXPECT_FALSE(window.Board().AnyRunning()) << "Enter in the results file started nothing";
  Key(GetFocus(), VK_SPACE);
  ASSERT_TRUE(Until(window, 5, [&] { return window.Board().AnyRunning(); }));
  ASSERT_TRUE(Until(window, 60, [&] { return !window.Board().AnyRunning(); }));

  EXPECT_EQ(window.ControlText(Window::TileControlId(0, Window::kState)), "loaded");
  EXPECT_EQ(window.ControlText(Window::TileControlId(0, Window::kCounts)), "1 loaded, 0 failed");
  EXPECT_EQ(window.ControlText(Window::TileControlId(1, Window::kState)), "failed");
  EXPECT_EQ(window.ControlText(Window::TileControlId(1, Window::kCause)),
            "the port disappeared (unplugged or hung up)");
  EXPECT_EQ(window.ControlText(Window::TileControlId(1, Window::kName)), "left \u00b7 COM7");
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window.Handle(), Window::TileControlId(1, Window::kStart))));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window.Handle(), Window::kStopAllId)));
  // The image the boxes got, whose file (a Cyrillic name) has not changed.
  window.Board().CheckImage();
  EXPECT_EQ(window.ControlText(Window::kDigestId).size(), std::string("SHA-256: ").size() + 64);
  EXPECT_EQ(window.ControlText(Window::kImageNoteId), "");
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(window.Handle(), Window::kTakeNewId)));
  wintest::Screenshot(window.Handle(), "win32-station-2");

  const std::string text = Records(results);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_NE(text.find("\"alias\":\"left\""), std::string::npos) << text;

  window.askStopAndClose = [] {
    ADD_FAILURE() << "nothing loads: closing asks nothing";
    return true;
  };
  PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(Until(window, 5, [&] { return window.Handle() == nullptr; }));
  EXPECT_EQ(window.exitCode.value_or(-1), CStationBoard::kAnyFailed);
}

// Continuous, as the window starts: three boxes follow one another on
// COM9 without a click, each with its record, and the counts are of boxes;
// when the last box's port goes away the loop ends there, with no record
// for the wait that had no box.
TEST(WindowStation, BoxesAfterBoxesWithoutAClick) {
  CStationSetup setup;
  setup.image = Env("BOXFEEDER_TEST_IMAGE");
  setup.ports = {{"COM9", "line"}};
  setup.resultsPath = Env("BOXFEEDER_TEST_LINE_RESULTS");
  Window window(setup, test::QuickUpgradeKind());
  ShowWindow(window.Handle(), SW_SHOW);
  EXPECT_EQ(IsDlgButtonChecked(window.Handle(), Window::kContinuousId), BST_CHECKED);
  SendMessageW(GetDlgItem(window.Handle(), Window::kStartAllId), BM_CLICK, 0, 0);
  ASSERT_TRUE(Until(window, 60, [&] { return window.Board().Counts().loaded == 3; }));
  ASSERT_TRUE(Until(window, 10, [&] { return !window.Board().AnyRunning(); }));
  EXPECT_EQ(window.ControlText(Window::TileControlId(0, Window::kCounts)), "3 loaded, 0 failed");
  EXPECT_EQ(window.ControlText(Window::kTotalsId).substr(0, 34), "3 loaded, 0 failed, yield 100.0 %");
  const std::string text = Records(setup.resultsPath);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;
  EXPECT_EQ(text.find("\"failed\""), std::string::npos) << text;
}

// The session ends (log-off, shut-down) while a box is awaited: the box
// stops, its record is written before the window lets the session end,
// and the window closes.
TEST(WindowStation, TheSessionsEndKeepsTheRecord) {
  CStationSetup setup;
  setup.image = Env("BOXFEEDER_TEST_IMAGE");
  setup.ports = {{"COM8", "COM8"}};
  setup.resultsPath = Env("BOXFEEDER_TEST_SESSION_RESULTS");
  Window window(setup, UpgradeKind());
  window.Board().Start(0);
  ASSERT_TRUE(window.Board().AnyRunning());
  EXPECT_EQ(SendMessageW(window.Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  SendMessageW(window.Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_NE(Records(setup.resultsPath).find("\"outcome\":\"cancelled\""), std::string::npos);
  ASSERT_TRUE(Until(window, 5, [&] { return window.Handle() == nullptr; }));
}

// A database that cannot be reached: the port's record waits in the spool
// under LocalAppData, and the window says so on a line of its own above
// the tiles, which move down to make room for it.
TEST(WindowStation, RecordsWaitingForTheDatabaseAreSaid) {
  CStationSetup setup;
  setup.image = Env("BOXFEEDER_TEST_IMAGE");
  setup.ports = {{"COM60", "COM60"}};
  setup.resultsPath = "odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=line";
  Window window(setup, UpgradeKind());
  const auto tileTop = [&] {
    RECT tile{};
    GetWindowRect(GetDlgItem(window.Handle(), Window::TileControlId(0, Window::kName)), &tile);
    return tile.top;
  };
  const LONG before = tileTop();
  window.Board().Start(0);
  const int records = Window::kRecordsId;
  ASSERT_TRUE(
      Until(window, 20, [&] { return window.ControlText(records).find("waiting") != std::string::npos; }));
  EXPECT_TRUE(
      window.ControlText(records).starts_with("Records: 1 record waiting: the database cannot be reached"))
      << window.ControlText(records);
  EXPECT_GT(tileTop(), before);
}

// 32 ports on a laptop's 1366 x 768 (compact tiles), the same at 150 %,
// and on 1920 x 1080 (full): every tile inside the window and none over
// another; a port that is not there fails at once, with its cause, and no
// box is counted.
TEST(WindowStation, ThirtyTwoPortsFitTheScreen) {
  CStationSetup setup;
  setup.image = Env("BOXFEEDER_TEST_IMAGE");
  for (int i = 0; i < 32; ++i)
    setup.ports.push_back({"COM" + std::to_string(40 + i), "bench-" + std::to_string(i + 1)});
  Window window(setup, UpgradeKind());
  ShowWindow(window.Handle(), SW_SHOW);
  const struct {
    SIZE workArea;
    UINT dpi;
    bool full;
    const char* screenshot;
  } screens[] = {{{1366, 728}, 96, false, "win32-station-32-1366x768"},
                 {{1920, 1040}, 96, true, "win32-station-32-1920x1080"},
                 {{1366, 728}, 144, false, "win32-station-32-1366x768-150"}};
  for (const auto& screen : screens) {
    SCOPED_TRACE(screen.screenshot);
    RECT suggested{0, 0, screen.workArea.cx, screen.workArea.cy};
    SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(screen.dpi, screen.dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT client{};
    GetClientRect(window.Handle(), &client);
    std::vector<RECT> tiles;
    for (size_t i = 0; i < 32; ++i) {
      RECT tile{};
      GetWindowRect(GetDlgItem(window.Handle(), Window::TileControlId(i, Window::kCause)), &tile);
      MapWindowPoints(nullptr, window.Handle(), reinterpret_cast<POINT*>(&tile), 2);
      EXPECT_LE(tile.right, client.right) << i;
      EXPECT_LE(tile.bottom, client.bottom) << i;
      for (const RECT& other : tiles) {
        RECT overlap{};
        EXPECT_FALSE(IntersectRect(&overlap, &tile, &other)) << i;
      }
      tiles.push_back(tile);
      // The tile's name whole, in the font of the window's dots per inch.
      HWND name = GetDlgItem(window.Handle(), Window::TileControlId(i, Window::kName));
      RECT nameRect{};
      GetClientRect(name, &nameRect);
      HDC dc = GetDC(name);
      const HGDIOBJ was = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(name, WM_GETFONT, 0, 0)));
      const std::wstring text = Wide(window.ControlText(Window::TileControlId(i, Window::kName)));
      SIZE extent{};
      GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
      SelectObject(dc, was);
      ReleaseDC(name, dc);
      EXPECT_LE(extent.cx, nameRect.right) << i;
      EXPECT_GT(extent.cy, MulDiv(9, static_cast<int>(screen.dpi), 96)) << "a font of the screen's size";
      const bool full =
          IsWindowVisible(GetDlgItem(window.Handle(), Window::TileControlId(i, Window::kStart)));
      EXPECT_EQ(full, screen.full) << i;
    }
    wintest::Screenshot(window.Handle(), screen.screenshot);
  }
  window.Board().Start(31);
  ASSERT_TRUE(Until(window, 10, [&] { return !window.Board().AnyRunning(); }));
  EXPECT_EQ(window.ControlText(Window::TileControlId(31, Window::kState)), "failed");
  EXPECT_EQ(window.ControlText(Window::TileControlId(31, Window::kCause)), "it does not exist");
  EXPECT_EQ(window.ControlText(Window::TileControlId(31, Window::kCounts)), "0 loaded, 0 failed")
      << "a port that does not open is no box that failed";
}

std::atomic<int> g_paints{0};
WNDPROC g_staticProc = nullptr;

LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) ++g_paints;
  return CallWindowProcW(g_staticProc, window, message, wParam, lParam);
}

// Tasks that never stop coming (16 boxes' progress) leave the windows
// painted all the same: a tile once stayed blank for 20 s while they
// loaded, as a window paints only when no message waits.
TEST(WindowStation, TasksThatNeverStopLeaveTheWindowsPainted) {
  CWin32UiDispatcher dispatcher;
  HWND window = CreateWindowExW(0, L"STATIC", L"tile", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  g_staticProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountPaints)));
  UpdateWindow(window);
  g_paints = 0;
  InvalidateRect(window, nullptr, TRUE);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::function<void()> progress = [&] {
    if (g_paints == 0 && std::chrono::steady_clock::now() < until) dispatcher.Post(progress);
  };
  dispatcher.Post(progress);
  MSG message;
  while (g_paints == 0 && std::chrono::steady_clock::now() < until)
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  EXPECT_GT(g_paints, 0) << "painted while the tasks kept coming";
  DestroyWindow(window);
}

std::string Cell(HWND list, int row, int column) {
  wchar_t text[256] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 256;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return Narrow(text);
}

bool Checked(HWND list, int row) {
  return ((SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) &
           LVIS_STATEIMAGEMASK) >>
          12) == 2;
}

// The picker lists each port with its adapter and whether it is held; it
// refuses a station of nothing, saying so; the port chosen and named makes
// the station, and the registry keeps the choice for the next time.
TEST(WindowStationPicker, MakesTheStationAndTheRegistryRemembersIt) {
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\BoxFeeder\\Station");
  CPortInfo ftdi, held;
  ftdi.name = "COM5";
  ftdi.vidPid = "0403:6001";
  ftdi.manufacturer = "FTDI";
  ftdi.product = "FT232R USB UART";
  ftdi.serial = "A50285BI";
  held.name = "COM6";
  held.busy = true;
  CWin32StationPicker picker(nullptr, "Z:\\srv\\образ.sdl", {ftdi, held}, LoadStationMemory());
  HWND list = picker.List();
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(Cell(list, 0, 1), "COM5");
  EXPECT_EQ(Cell(list, 0, 2), "FTDI FT232R USB UART");
  EXPECT_EQ(Cell(list, 0, 3), "0403:6001");
  EXPECT_EQ(Cell(list, 1, 5), "in use");
  EXPECT_FALSE(picker.Accept());
  EXPECT_EQ(picker.Refusal(), "Choose at least one port.");

  LVITEMW check{};
  check.stateMask = LVIS_STATEIMAGEMASK;
  check.state = INDEXTOSTATEIMAGEMASK(2);
  SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&check));
  std::wstring name = L"left";
  LVITEMW text{};
  text.pszText = name.data();
  SendMessageW(list, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&text));
  ShowWindow(picker.Handle(), SW_SHOW);
  wintest::Screenshot(picker.Handle(), "win32-station-picker");
  ASSERT_TRUE(picker.Accept()) << picker.Refusal();
  ASSERT_EQ(picker.Setup()->ports.size(), 1u);
  EXPECT_EQ(picker.Setup()->ports[0].label, "left");
  EXPECT_EQ(picker.Setup()->ports[0].path, "COM5");
  EXPECT_EQ(picker.Setup()->image, "Z:\\srv\\образ.sdl");
  SaveStationMemory(picker.Memory());

  CWin32StationPicker again(nullptr, "", {ftdi, held}, LoadStationMemory());
  EXPECT_TRUE(Checked(again.List(), 0));
  EXPECT_FALSE(Checked(again.List(), 1));
  EXPECT_EQ(Cell(again.List(), 0, 0), "left");
  EXPECT_EQ(WindowTextUtf8(GetDlgItem(again.Handle(), CWin32StationPicker::kImageId)), "Z:\\srv\\образ.sdl");
}

}  // namespace
}  // namespace zel
