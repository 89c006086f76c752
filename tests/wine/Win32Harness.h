// What the Windows window tests share: running the thread's messages until
// something has happened, answering the modal boxes that open meanwhile,
// and reading back what the window drew (pixels, screenshots).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/win32/Utf16.h"
#include "widgets/SystemHeadersWin32.h"

namespace zel::wintest {

// Runs the thread's messages until done() holds or timeout passes; true
// when it held. It waits for messages, not for time.
inline bool PumpUntil(const std::function<bool()>& done, const std::function<bool()>& pumpOne,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!pumpOne()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  return true;
}

// Polls test() until it holds or timeout passes; true when it held. For
// what another process shows, which sends this one no message.
template <typename Test>
bool PollUntil(Test test, std::chrono::milliseconds timeout = std::chrono::minutes(1)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!test()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(50);
  }
  return true;
}

// A control's text, also in another process (asked of the control itself,
// as GetWindowText does not), as UTF-8.
inline std::string TextOf(HWND control) {
  wchar_t text[4096] = {};
  SendMessageW(control, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
  return Narrow(text);
}

// Starts a program from its command line (UTF-8), in this console if any.
inline PROCESS_INFORMATION StartProgram(const std::string& commandLine) {
  std::wstring command = Wide(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process))
      << commandLine;
  return process;
}

inline void CloseProcessHandles(const PROCESS_INFORMATION& process) {
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

inline std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The visible dialog boxes of this thread other than except: the modal
// boxes, message boxes and file dialogs that are open.
inline std::vector<HWND> OpenBoxes(HWND except) {
  struct CFind {
    HWND except;
    std::vector<HWND> found;
  } find{except, {}};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM context) -> BOOL {
        auto* f = reinterpret_cast<CFind*>(context);
        if (window != f->except && IsWindowVisible(window) && ClassOf(window) == "#32770")
          f->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&find));
  return find.found;
}

// Answers each box that opens while it lives with answer(box), from a
// thread timer, which every modal loop of this thread runs.
class CBoxAnswerer {
 public:
  using Answer = std::function<void(HWND box)>;
  CBoxAnswerer(HWND mainWindow, Answer answer) {
    s_main = mainWindow;
    s_answer = std::move(answer);
    m_timer = SetTimer(nullptr, 0, 20, &CBoxAnswerer::Tick);
  }
  ~CBoxAnswerer() {
    KillTimer(nullptr, m_timer);
    s_answer = nullptr;
  }
  CBoxAnswerer(const CBoxAnswerer&) = delete;
  CBoxAnswerer& operator=(const CBoxAnswerer&) = delete;

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (s_busy || !s_answer) return;
    s_busy = true;
    for (HWND box : OpenBoxes(s_main)) s_answer(box);
    s_busy = false;
  }
  static inline HWND s_main = nullptr;
  static inline Answer s_answer;
  static inline bool s_busy = false;
  UINT_PTR m_timer = 0;
};

// The text of a message box (its static text control).
inline std::string MessageBoxText(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (ClassOf(child) == "Static" && GetDlgCtrlID(child) == 0xFFFF && !WindowText(child).empty())
      return WindowText(child);
  return {};
}

// Fills in the file name of an open or save dialog and confirms it.
inline void ChooseFile(HWND fileDialog, const std::string& path) {
  constexpr int kFileNameCombo = 0x47C, kFileNameEdit = 0x480;
  if (!SetDlgItemTextA(fileDialog, kFileNameCombo, path.c_str()))
    SetDlgItemTextA(fileDialog, kFileNameEdit, path.c_str());
  PostMessageA(fileDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

inline void Press(HWND box, int id) { PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// A window's pixels as it shows them, 0x00BBGGRR; whole: with its frame.
struct CPicture {
  int width = 0, height = 0;
  std::vector<COLORREF> pixels;
  COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// A 32-bit picture in memory to draw into, read back as a CPicture.
class CCanvas {
 public:
  CCanvas(HDC like, int width, int height) : m_width(width), m_height(height) {
    m_dc = CreateCompatibleDC(like);
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    m_bitmap = CreateDIBSection(like, &format, DIB_RGB_COLORS, &m_bits, nullptr, 0);
    m_old = SelectObject(m_dc, m_bitmap);
  }
  ~CCanvas() {
    SelectObject(m_dc, m_old);
    DeleteObject(m_bitmap);
    DeleteDC(m_dc);
  }
  CCanvas(const CCanvas&) = delete;
  CCanvas& operator=(const CCanvas&) = delete;
  HDC Dc() const { return m_dc; }
  CPicture Picture() const {
    GdiFlush();
    CPicture picture{m_width, m_height, {}};
    const auto* bgra = static_cast<const uint32_t*>(m_bits);
    for (int i = 0; i < m_width * m_height; ++i)
      picture.pixels.push_back(RGB(bgra[i] >> 16 & 0xFF, bgra[i] >> 8 & 0xFF, bgra[i] & 0xFF));
    return picture;
  }

 private:
  int m_width, m_height;
  HDC m_dc = nullptr;
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_old = nullptr;
  void* m_bits = nullptr;
};

inline CPicture Capture(HWND window, bool whole) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  RECT r{};
  if (whole)
    GetWindowRect(window, &r);
  else
    GetClientRect(window, &r);
  HDC source = whole ? GetWindowDC(window) : GetDC(window);
  CPicture picture;
  {
    CCanvas canvas(source, r.right - r.left, r.bottom - r.top);
    BitBlt(canvas.Dc(), 0, 0, r.right - r.left, r.bottom - r.top, source, 0, 0, SRCCOPY);
    picture = canvas.Picture();
  }
  ReleaseDC(window, source);
  return picture;
}

// Writes a picture as NAME.bmp into the screenshot folder.
inline void SaveBitmap(const CPicture& picture, const std::string& name) {
  CreateDirectoryA(SCREENSHOT_DIR, nullptr);
  const std::string path = std::string(SCREENSHOT_DIR) + "/" + name + ".bmp";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr) << path;
  const uint32_t imageSize = static_cast<uint32_t>(picture.pixels.size() * 4);
  BITMAPFILEHEADER file{0x4D42, 14 + 40 + imageSize, 0, 0, 14 + 40};
  BITMAPINFOHEADER info{sizeof info, picture.width, -picture.height, 1, 32, BI_RGB, imageSize, 0, 0, 0, 0};
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info, sizeof info, 1, out);
  for (COLORREF c : picture.pixels) {
    const uint32_t bgra =
        0xFF000000u | uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
    std::fwrite(&bgra, 4, 1, out);
  }
  std::fclose(out);
}

// Writes a window, frame and all, as NAME.bmp into the screenshot folder.
inline void Screenshot(HWND window, const std::string& name) { SaveBitmap(Capture(window, true), name); }

// A window as the screen shows it (also one of another process, or a
// console), saved as NAME.bmp in the screenshot folder once it has been
// drawn (a window just opened is one colour until it paints).
inline void ScreenshotFromScreen(HWND window, const std::string& name) {
  CPicture picture;
  EXPECT_TRUE(PollUntil([&] {
    RECT r{};
    GetWindowRect(window, &r);
    HDC screen = GetDC(nullptr);
    {
      CCanvas canvas(screen, r.right - r.left, r.bottom - r.top);
      BitBlt(canvas.Dc(), 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
      picture = canvas.Picture();
    }
    ReleaseDC(nullptr, screen);
    return std::any_of(picture.pixels.begin(), picture.pixels.end(),
                       [&](COLORREF pixel) { return pixel != picture.pixels.front(); });
  })) << name
      << " was never drawn";
  SaveBitmap(picture, name);
}

// A test program's main for tests that take arguments: Google Test's own
// options first, then the test's, each into its string, in order.
inline int RunTests(int argc, char** argv, const char* usage, std::initializer_list<std::string*> arguments) {
  ::testing::InitGoogleTest(&argc, argv);
  if (static_cast<size_t>(argc) != arguments.size() + 1) {
    std::fprintf(stderr, "usage: %s\n", usage);
    return 64;
  }
  for (std::string* argument : arguments) *argument = *++argv;
  return RUN_ALL_TESTS();
}

}  // namespace zel::wintest
