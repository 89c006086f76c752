// The installer as a person goes through it, over an install for the
// current user that put boxfeed on PATH: each page, its texts read back
// and a screenshot of it taken, Next pressed, and at the end the offer to
// start the window taken up.
//   installer_pages_test SETUP.EXE VERSION
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/wine/Win32Harness.h"

namespace {

std::wstring g_setup;
std::wstring g_version;

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The visible top-level windows of a process.
std::vector<HWND> WindowsOf(DWORD process) {
  struct CFind {
    DWORD process;
    std::vector<HWND> found;
  } find{process, {}};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* f = reinterpret_cast<CFind*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == f->process && IsWindowVisible(window)) f->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&find));
  return find.found;
}

// Every text a window and the controls inside it show, the hidden ones
// (pages not on view) left out.
std::vector<std::wstring> TextsIn(HWND window) {
  std::vector<std::wstring> texts{TextOf(window)};
  EnumChildWindows(
      window,
      [](HWND child, LPARAM context) -> BOOL {
        if (IsWindowVisible(child))
          reinterpret_cast<std::vector<std::wstring>*>(context)->push_back(TextOf(child));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

bool HasText(const std::vector<std::wstring>& texts, const std::wstring& part) {
  for (const std::wstring& text : texts)
    if (text.find(part) != std::wstring::npos) return true;
  return false;
}

std::wstring Joined(const std::vector<std::wstring>& texts) {
  std::wstring all;
  for (const std::wstring& text : texts) all += L"[" + text + L"] ";
  return all;
}

std::string Narrow(const std::wstring& text) {
  std::string out(
      static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)),
      '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr,
                      nullptr);
  out.pop_back();
  return out;
}

// Waits, reading the screen, until test() holds, for at most a minute.
template <typename Test>
bool Eventually(Test test) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!test()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // another process's windows: polled
  }
  return true;
}

// A window of another process as the screen shows it.
zel::wintest::CPicture FromScreen(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  HDC screen = GetDC(nullptr);
  zel::wintest::CPicture picture;
  {
    zel::wintest::CCanvas canvas(screen, r.right - r.left, r.bottom - r.top);
    BitBlt(canvas.Dc(), 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
    picture = canvas.Picture();
  }
  ReleaseDC(nullptr, screen);
  return picture;
}

// Saves it as NAME.bmp in the screenshot folder once it has been drawn
// (a window just opened is one colour until it paints).
void ScreenshotFromScreen(HWND window, const std::string& name) {
  zel::wintest::CPicture picture;
  EXPECT_TRUE(Eventually([&] {
    picture = FromScreen(window);
    return std::any_of(picture.pixels.begin(), picture.pixels.end(),
                       [&](COLORREF pixel) { return pixel != picture.pixels.front(); });
  })) << name
      << " was never drawn";
  zel::wintest::SaveBitmap(picture, name);
}

constexpr int kNextId = 1;  // Next, Install and Finish are one button

TEST(InstallerPages, EachPageNamesBoxFeederAndTheLastOneStartsIt) {
  std::wstring command = L"\"" + g_setup + L"\" /CurrentUser";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION setup{};
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &setup));
  // A page that never comes leaves no installer behind.
  struct CEnd {
    PROCESS_INFORMATION& setup;
    ~CEnd() {
      TerminateProcess(setup.hProcess, 1);
      CloseHandle(setup.hThread);
      CloseHandle(setup.hProcess);
    }
  } end{setup};
  HWND wizard = nullptr;
  ASSERT_TRUE(Eventually([&] {
    const auto windows = WindowsOf(setup.dwProcessId);
    wizard = windows.empty() ? nullptr : windows.front();
    return wizard != nullptr;
  }));
  EXPECT_EQ(TextOf(wizard).rfind(L"BoxFeeder " + g_version + L" Setup", 0), 0u) << Narrow(TextOf(wizard));

  // Each page in turn, known by a text only it shows; the files' page
  // goes on to the last by itself, which is left with Finish.
  struct CPage {
    const char* name;
    std::wstring shows;
  };
  const std::vector<CPage> pages{{"users", L"Choose Users"},
                                 {"components", L"Choose Components"},
                                 {"folder", L"Choose Install Location"},
                                 {"finish", L"Start BoxFeeder"}};
  int number = 0;
  for (const CPage& page : pages) {
    SCOPED_TRACE(page.name);
    std::vector<std::wstring> texts;
    ASSERT_TRUE(Eventually([&] {
      texts = TextsIn(wizard);
      return HasText(texts, page.shows) && IsWindowEnabled(GetDlgItem(wizard, kNextId));
    })) << Narrow(Joined(texts));
    EXPECT_FALSE(HasText(texts, L"Nullsoft")) << Narrow(Joined(texts));
    if (std::string(page.name) == "components") {
      // The second component, boxfeed on PATH, ticked as the install
      // before had it.
      HWND tree =
          FindWindowExW(FindWindowExW(wizard, nullptr, L"#32770", nullptr), nullptr, WC_TREEVIEWW, nullptr);
      const auto first = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
      const auto second = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, first);
      constexpr LRESULT kTicked = 2;  // the state picture of a ticked box
      EXPECT_EQ(SendMessageW(tree, TVM_GETITEMSTATE, second, TVIS_STATEIMAGEMASK) >> 12, kTicked);
    }
    if (std::string(page.name) != "finish") {
      // The foot of each page names the product and its version.
      EXPECT_TRUE(HasText(texts, L"BoxFeeder " + g_version)) << Narrow(Joined(texts));
    }
    ScreenshotFromScreen(wizard, "installer-" + std::to_string(++number) + "-" + page.name);
    SendMessageW(GetDlgItem(wizard, kNextId), BM_CLICK, 0, 0);
  }
  ASSERT_EQ(WaitForSingleObject(setup.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));

  // Start BoxFeeder was ticked: the window opens, from the folder the
  // install went to.
  HWND window = nullptr;
  ASSERT_TRUE(Eventually([&] {
    window = FindWindowW(nullptr, L"ZELORXBoxFeeder");
    return window != nullptr;
  })) << "the window did not start";
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  HANDLE started =
      OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  wchar_t image[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  QueryFullProcessImageNameW(started, 0, image, &length);
  EXPECT_TRUE(std::wstring(image).ends_with(L"\\Programs\\BoxFeeder\\boxfeeder.exe")) << Narrow(image);
  ScreenshotFromScreen(window, "installer-" + std::to_string(++number) + "-started");
  PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(started, 30000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the window did not close";
    TerminateProcess(started, 1);  // it holds the test's output open
  }
  CloseHandle(started);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: installer_pages_test SETUP.EXE VERSION\n");
    return 64;
  }
  const auto wide = [](const char* text) {
    std::wstring out(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), static_cast<int>(out.size()));
    out.pop_back();
    return out;
  };
  g_setup = wide(argv[1]);
  g_version = wide(argv[2]);
  return RUN_ALL_TESTS();
}
