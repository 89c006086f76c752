// The installer as a person goes through it, over an install for the
// current user that put boxfeed on PATH: each page, its texts read back
// and a screenshot of it taken, Next pressed, and at the end the offer to
// start the window taken up.
//   installer_pages_test SETUP.EXE VERSION
#include <string>
#include <vector>

#include "tests/wine/Win32Harness.h"

namespace zel::wintest {
namespace {

std::string g_setup, g_version;

// Every text a window and the controls on view inside it show.
std::string TextsIn(HWND window) {
  std::string texts = "[" + TextOf(window) + "]";
  EnumChildWindows(
      window,
      [](HWND child, LPARAM context) -> BOOL {
        if (IsWindowVisible(child)) *reinterpret_cast<std::string*>(context) += " [" + TextOf(child) + "]";
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

constexpr int kNextId = 1;  // Next, Install and Finish are one button

TEST(InstallerPages, EachPageNamesBoxFeederAndTheLastOneStartsIt) {
  const PROCESS_INFORMATION setup = StartProgram("\"" + g_setup + "\" /CurrentUser");
  // A page that never comes leaves no installer behind.
  struct CEnd {
    const PROCESS_INFORMATION& setup;
    ~CEnd() {
      TerminateProcess(setup.hProcess, 1);
      CloseProcessHandles(setup);
    }
  } end{setup};
  const std::string product = "BoxFeeder " + g_version;
  HWND wizard = nullptr;
  ASSERT_TRUE(PollUntil([&] {
    wizard = FindWindowW(nullptr, Wide(product + " Setup ").c_str());  // NSIS ends it with a space
    return wizard != nullptr;
  }));

  // Each page in turn, known by a text only it shows; the files' page
  // goes on to the last by itself, which is left with Finish.
  int number = 0;
  for (const std::string page : {"users", "components", "folder", "finish"}) {
    SCOPED_TRACE(page);
    const std::string shows = page == "users"        ? "[Choose Users]"
                              : page == "components" ? "[Choose Components]"
                              : page == "folder"     ? "[Choose Install Location]"
                                                     : "[Start BoxFeeder]";
    std::string texts;
    ASSERT_TRUE(PollUntil([&] {
      texts = TextsIn(wizard);
      return texts.find(shows) != std::string::npos && IsWindowEnabled(GetDlgItem(wizard, kNextId));
    })) << texts;
    EXPECT_EQ(texts.find("Nullsoft"), std::string::npos) << texts;
    // The foot of each page names the product and its version.
    if (page != "finish") {
      EXPECT_NE(texts.find("[" + product + "]"), std::string::npos) << texts;
    }
    if (page == "components") {
      // The second component, boxfeed on PATH, ticked as the install
      // before had it.
      HWND tree =
          FindWindowExW(FindWindowExW(wizard, nullptr, L"#32770", nullptr), nullptr, WC_TREEVIEWW, nullptr);
      const auto first = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
      const auto second = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, first);
      constexpr LRESULT kTicked = 2;  // the state picture of a ticked box
      EXPECT_EQ(SendMessageW(tree, TVM_GETITEMSTATE, second, TVIS_STATEIMAGEMASK) >> 12, kTicked);
    }
    ScreenshotFromScreen(wizard, "installer-" + std::to_string(++number) + "-" + page);
    SendMessageW(GetDlgItem(wizard, kNextId), BM_CLICK, 0, 0);
  }
  ASSERT_EQ(WaitForSingleObject(setup.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));

  // Start BoxFeeder was ticked: the window opens, from the folder the
  // install went to.
  HWND window = nullptr;
  ASSERT_TRUE(PollUntil([&] { return (window = FindWindowW(nullptr, L"ZELORXBoxFeeder")) != nullptr; }))
      << "the window did not start";
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
}  // namespace zel::wintest

int main(int argc, char** argv) {
  using namespace zel::wintest;
  return RunTests(argc, argv, "installer_pages_test SETUP.EXE VERSION", {&g_setup, &g_version});
}
