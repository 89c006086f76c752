// The Windows window with its real controls under Wine: what the window
// system adds to the dialog (templates, resources, keys, scaling, boxes).
// WindowTransfer runs with a silent line on COM5; WindowUpgrade with the
// simulated box on BOXFEEDER_TEST_PORT serving BOXFEEDER_TEST_IMAGE.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "app/DialogTemplate.h"
#include "app/MainDialog.h"
#include "app/win32/MainWindowWin32.h"
#include "app/win32/resource.h"
#include "run/Platform.h"
#include "tests/wine/Win32Harness.h"

namespace zel {
namespace {

using namespace wintest;
using namespace std::chrono_literals;

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
  }
  // The COM ports the window tries at its start.
  virtual std::vector<std::string> ProbedPorts() const { return {"COM5"}; }
  void SetUp() override {
    CProbeSources ports;
    ports.comNames = ProbedPorts();
    window = std::make_unique<CWin32MainWindow>(ports);
    ASSERT_NE(window->Create(), nullptr);
    window->Dialog().SetPauseBeforeSuccess(0ms);
  }
  void TearDown() override { window.reset(); }

  bool Until(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s) {
    return PumpUntil(
        done, [this] { return window->PumpMessage(); }, timeout);
  }
  HWND Item(int id) const { return GetDlgItem(window->Window(), id); }
  void Click(int id) { SendMessageA(Item(id), BM_CLICK, 0, 0); }
  bool LogHas(const std::string& line) const {
    return window->Dialog().Log().find(line) != std::string::npos;
  }

  // A port typed into the combo's field.
  void UsePort(const std::string& port) { SetWindowTextA(Item(IDC_PORT), port.c_str()); }

  // Browse, answering the open dialog with path.
  void ChooseImage(const std::string& path) {
    CBoxAnswerer answer(window->Window(), [&](HWND box) { ChooseFile(box, path); });
    Click(IDC_BROWSE);
  }

  std::unique_ptr<CWin32MainWindow> window;
};

// The template each control was made from, by the window system, matches
// the dialog's own table: order, ids, captions, places, tab stops.
void ExpectMadeFrom(HWND dialog, const CDialogTemplate& table) {
  EXPECT_EQ(WindowText(dialog), table.title);
  RECT client{0, 0, table.width, table.height};
  MapDialogRect(dialog, &client);
  RECT actual{};
  GetClientRect(dialog, &actual);
  EXPECT_EQ(actual.right, client.right);
  EXPECT_EQ(actual.bottom, client.bottom);
  HWND child = GetWindow(dialog, GW_CHILD);
  for (const CControlTemplate& control : table.controls) {
    ASSERT_NE(child, nullptr) << "missing: " << control.caption;
    SCOPED_TRACE(control.caption);
    EXPECT_EQ(static_cast<short>(GetDlgCtrlID(child)), control.id);
    if (control.kind != ControlKind::ComboBox && control.kind != ControlKind::Picture) {
      EXPECT_EQ(WindowText(child), control.caption);
    }
    // The system converts the corner and the size, each on its own.
    RECT expected{control.x, control.y, control.width, control.height};
    MapDialogRect(dialog, &expected);
    expected.right += expected.left;
    expected.bottom += expected.top;
    RECT placed{};
    GetWindowRect(child, &placed);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, expected.left);
    EXPECT_EQ(placed.top, expected.top);
    if (control.kind != ControlKind::Picture) {  // a picture takes its bitmap's size
      EXPECT_EQ(placed.right, expected.right);
      if (control.kind != ControlKind::ComboBox) {
        EXPECT_EQ(placed.bottom, expected.bottom);
      }
    }
    const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    EXPECT_EQ((style & WS_TABSTOP) != 0, control.tabStop);
    EXPECT_EQ((style & WS_VISIBLE) != 0, control.visible);
    child = GetWindow(child, GW_HWNDNEXT);
  }
  EXPECT_EQ(child, nullptr) << "a control the table does not have";
}

INT_PTR CALLBACK PlainDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(WindowTest, TheDialogsAreMadeFromTheSharedTemplates) {
  ExpectMadeFrom(window->Window(), kMainDialogTemplate);
  for (auto [id, table] :
       {std::pair{IDD_ABOUT, &kAboutTemplate}, std::pair{IDD_CABLE_WARNING, &kCableWarningTemplate}}) {
    HWND box = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, &PlainDialog, 0);
    ASSERT_NE(box, nullptr);
    ExpectMadeFrom(box, *table);
    DestroyWindow(box);
  }
}

// boxfeed.exe's version record says the version that --version and the
// installer say; the program's manifest redirects comctl32.dll to the
// version 6 assembly (themed controls, balloon tips).
TEST(WindowResources, TheVersionRecordAndTheCommonControlsSix) {
  std::vector<char> record(GetFileVersionInfoSizeA(BOXFEED_EXE, nullptr));
  ASSERT_TRUE(!record.empty() && GetFileVersionInfoA(BOXFEED_EXE, 0, DWORD(record.size()), record.data()));
  UINT size = 0;
  for (const char* item : {"ProductVersion", "FileVersion"}) {
    char* value = nullptr;
    const std::string key = std::string("\\StringFileInfo\\040904b0\\") + item;
    ASSERT_TRUE(VerQueryValueA(record.data(), key.c_str(), reinterpret_cast<void**>(&value), &size)) << item;
    EXPECT_STREQ(value, PROJECT_VERSION) << item;
  }
  ACTCTX_SECTION_KEYED_DATA found{};
  found.cbSize = sizeof found;
  ASSERT_TRUE(FindActCtxSectionStringA(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, "comctl32.dll",
                                       &found));
  char path[MAX_PATH] = {};
  GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), path, MAX_PATH);
  EXPECT_NE(std::string(path).find("6.0"), std::string::npos) << path;
}

TEST_F(WindowTest, ItOpensWithNoImageAndTheAboutEntryOnTheSystemMenu) {
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_START)));
  char entry[64] = {};
  GetMenuStringA(GetSystemMenu(window->Window(), FALSE), kAboutCommandId, entry, sizeof entry, MF_BYCOMMAND);
  EXPECT_STREQ(entry, "&About BoxFeeder...");
  EXPECT_NE(SendMessageA(window->Window(), WM_GETICON, ICON_SMALL, 0), 0);
  // Seven owner-drawn icon buttons, the trace box in check-box mode.
  for (int id : kIconButtonIds) {
    ASSERT_NE(window->Button(id), nullptr) << id;
    EXPECT_NE(window->Button(id)->Icon(0), nullptr) << id;
    EXPECT_EQ(GetWindowLongPtrA(Item(id), GWL_STYLE) & 0x1F, BS_OWNERDRAW) << id;
  }
  EXPECT_TRUE(window->Button(IDC_TRACE)->IsCheckBox());
  EXPECT_EQ(window->Button(IDC_HELP_BUTTON)->ToolTip(), nullptr) << "Help has no tool tip";
  ASSERT_NE(window->Button(IDC_BROWSE)->ToolTip(), nullptr);
  Screenshot(window->Window(), "win32-no-image");
}

TEST_F(WindowTest, AboutAndHelpOpenTheirBoxes) {
  std::vector<std::string> captions;
  {
    CBoxAnswerer answer(window->Window(), [&](HWND box) {
      captions.push_back(WindowText(box));
      Screenshot(box, "win32-box-" + std::to_string(captions.size()));
      Press(box, IDOK);
    });
    SendMessageA(window->Window(), WM_SYSCOMMAND, kAboutCommandId, 0);
    Click(IDC_HELP_BUTTON);
  }
  EXPECT_EQ(captions, (std::vector<std::string>{"About BoxFeeder", "Help!"}));
}

TEST_F(WindowTest, TheLogHoldsMoreThanAnEditsDefaultLimit) {
  const std::string line(99, 'x');
  for (int i = 0; i < 500; ++i) window->Dialog().OnLine(line, LineLevel::Normal);  // 50 KB
  EXPECT_TRUE(Until([&] { return WindowText(Item(IDC_LOG)).size() == window->Dialog().Log().size(); }));
  EXPECT_EQ(window->Dialog().Log().size(), 500u * 101u);
}

// Opened with an image (as the system opens an .sdl file), the program's
// window starts with that image chosen and Start ready.
TEST(WindowProgram, OpensWithTheImageItIsGiven) {
  const std::string image = WriteTemporaryFile(std::vector<uint8_t>(16, 1), " образ 1.sdl");
  const PROCESS_INFORMATION process =
      StartProgram(std::string("\"") + BOXFEEDER_EXE + "\" \"" + image + "\"");
  // The program's window, once it has taken the image in: it shows first.
  std::pair<DWORD, HWND> found{process.dwProcessId, nullptr};
  auto windowWithImage = [&] {
    found.second = nullptr;
    EnumWindows(
        [](HWND w, LPARAM state) -> BOOL {
          DWORD owner = 0;
          GetWindowThreadProcessId(w, &owner);
          auto* s = reinterpret_cast<std::pair<DWORD, HWND>*>(state);
          if (owner != s->first || !GetDlgItem(w, IDC_IMAGE_PATH)) return TRUE;
          s->second = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.second && !TextOf(GetDlgItem(found.second, IDC_IMAGE_PATH)).empty();
  };
  ASSERT_TRUE(PumpUntil(
      windowWithImage, [] { return false; }, 30s))
      << "no window with the image";
  HWND window = found.second;
  EXPECT_EQ(TextOf(GetDlgItem(window, IDC_IMAGE_PATH)), image);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_START)));
  PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
  CloseProcessHandles(process);
  DeleteFileA(image.c_str());
}

// An adapter's note shows beside its port in the open list; choosing the
// entry from the keyboard gives the port's name alone.
TEST_F(WindowTest, ThePortListShowsWhatEachAdapterIs) {
  const std::string note = "USB Serial Port (COM9)";
  window->AddListEntry(IDC_PORT, "COM9", note);
  HWND combo = Item(IDC_PORT);
  const auto at = int(SendMessageA(combo, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM("COM9")));
  ASSERT_GE(at, 0);
  SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
  COMBOBOXINFO parts{};
  parts.cbSize = sizeof parts;
  ASSERT_TRUE(GetComboBoxInfo(combo, &parts));
  ASSERT_TRUE(Until([&] { return IsWindowVisible(parts.hwndList) != FALSE; }, 5s));
  RECT row{};
  SendMessageA(parts.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&row));
  const CPicture list = Capture(parts.hwndList, false);
  Screenshot(parts.hwndList, "win32-port-list");
  // Ink where the note goes, right of the name ("COM9" ends before x = 40),
  // on the entry's row.
  const COLORREF background = list.At(list.width - 1, row.top + 1);
  int inked = 0;
  for (int y = row.top; y < row.bottom && y < list.height; ++y)
    for (int x = 60; x < list.width; ++x) inked += list.At(x, y) != background;
  EXPECT_GT(inked, 20) << "the note is not drawn";
  SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);

  SetFocus(parts.hwndItem);
  for (int i = 0; i < 3 && WindowText(combo) != "COM9"; ++i) {
    SendMessageA(parts.hwndItem, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageA(parts.hwndItem, WM_KEYUP, VK_DOWN, 0);
  }
  EXPECT_EQ(window->GetText(IDC_PORT), "COM9");
}

// The window moved to a screen of 150 % and 200 % and back: its client
// area, each control, the font and the icons follow the scale, and coming
// back gives the first layout again, not one that drifted.
TEST_F(WindowTest, AScreenOfAnotherScaleRescalesLayoutFontAndIcons) {
  HWND dialog = window->Window();
  auto clientOf = [](HWND w) {
    RECT r{};
    GetClientRect(w, &r);
    return r;
  };
  auto placeOf = [&](int id) {
    RECT r{};
    GetWindowRect(Item(id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  auto fontHeight = [&](int id) {
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Item(id), WM_GETFONT, 0, 0)), sizeof font, &font);
    return std::abs(font.lfHeight);
  };
  const RECT client = clientOf(dialog), log = placeOf(IDC_LOG);
  const LONG font = fontHeight(IDC_PORT);
  RECT frame{};
  GetWindowRect(dialog, &frame);
  const LONG frameX = (frame.right - frame.left) - client.right,
             frameY = (frame.bottom - frame.top) - client.bottom;
  // Each icon's size where it started: its own, or what its button had
  // room for.
  std::map<int, LONG> iconAt96;
  for (int id : kIconButtonIds) iconAt96[id] = window->Button(id)->IconSize(0).cx;
  ASSERT_EQ(iconAt96[IDC_START], 32);
  for (UINT dpi : {144u, 192u, 96u}) {
    SCOPED_TRACE(dpi);
    auto scaled = [&](LONG v) { return MulDiv(v, static_cast<int>(dpi), 96); };
    // What the system suggests: the frame around the scaled client area,
    // here in the screen's corner, where the largest fits the test's screen.
    RECT suggested{0, 0, scaled(client.right) + frameX, scaled(client.bottom) + frameY};
    SendMessageA(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_NEAR(clientOf(dialog).right, scaled(client.right), 1);
    const RECT now = placeOf(IDC_LOG);
    EXPECT_NEAR(now.left, scaled(log.left), 1);
    EXPECT_NEAR(now.right, scaled(log.right), 1);
    EXPECT_NEAR(now.bottom, scaled(log.bottom), 1);
    EXPECT_NEAR(fontHeight(IDC_PORT), scaled(font), 1);
    // Each icon grows with its button and stays inside it; one with room
    // enough takes the scaled size exactly.
    for (int id : kIconButtonIds) {
      const LONG size = window->Button(id)->IconSize(0).cx;
      EXPECT_TRUE(dpi > 96 ? size > iconAt96[id] : size == iconAt96[id]) << id << ": " << size;
      EXPECT_LE(size, clientOf(Item(id)).bottom) << id;
    }
    EXPECT_EQ(window->Button(IDC_START)->IconSize(0).cx, scaled(32));
    MSG pending;
    Until([&] { return !PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE); }, 5s);
    Screenshot(dialog, "win32-dpi-" + std::to_string(dpi * 100 / 96));
  }
  EXPECT_EQ(placeOf(IDC_LOG).right, log.right) << "back at 100 %, where it started";
  EXPECT_EQ(fontHeight(IDC_PORT), font);
}

// A transfer on a line where no box ever answers.
class WindowTransfer : public WindowTest {
 protected:
  void StartWaiting() {
    image = WriteTemporaryFile(std::vector<uint8_t>(4096, 0x5A), ".sdl");
    ChooseImage(image);
    ASSERT_GE(SendMessageA(Item(IDC_PORT), CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM("COM5")), 0)
        << "the port list offers the line";
    UsePort("COM5");
    Click(IDC_START);
    ASSERT_TRUE(window->Dialog().IsBusy());
  }
  void TearDown() override {
    WindowTest::TearDown();
    if (!image.empty()) DeleteFileA(image.c_str());
  }
  std::string image;
};

// Enter, as the keyboard gives it to the focused control, never closes
// the window, at its start or during a load. Escape or Close while a box
// loads asks first: No keeps the box loading, Yes closes at once.
TEST_F(WindowTransfer, EnterNeverClosesAndCloseDuringATransferAsksFirst) {
  const auto pressKey = [&](HWND control, WPARAM key) {
    SetFocus(control);
    PostMessageA(control, WM_KEYDOWN, key, 0);
    MSG pending;
    Until([&] { return !PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE); }, 5s);
  };
  pressKey(GetFocus() ? GetFocus() : window->Window(), VK_RETURN);
  EXPECT_FALSE(window->IsEnded()) << "Enter at the starting focus";
  StartWaiting();
  ASSERT_TRUE(Until([&] { return LogHas("Please SWITCH ON your box now"); }));
  pressKey(GetWindow(Item(IDC_PORT), GW_CHILD), VK_RETURN);
  EXPECT_FALSE(window->IsEnded()) << "Enter in the port box during a load";
  Screenshot(window->Window(), "win32-busy");
  std::map<HWND, std::string> asked;  // a box stays open for a tick or two after its answer
  CBoxAnswerer answer(window->Window(), [&](HWND box) {
    if (asked.emplace(box, MessageBoxText(box)).second) Press(box, asked.size() == 1 ? IDNO : IDYES);
  });
  SetFocus(Item(IDC_LOG));
  PostMessageA(Item(IDC_LOG), WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(Until([&] { return asked.size() == 1 && OpenBoxes(window->Window()).empty(); }, 10s));
  EXPECT_EQ(asked.begin()->second, "A box is loading. Stop it and close?");
  EXPECT_FALSE(window->IsEnded());
  EXPECT_TRUE(window->Dialog().IsBusy()) << "No keeps the box loading";
  Click(IDCANCEL);
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_TRUE(window->IsEnded());
  window.reset();  // the engines and the window go without waiting on each other
}

// F1 from the keyboard, with the focus on a control: one Help box.
TEST_F(WindowTest, TheHelpKeyOpensHelpOnce) {
  SetForegroundWindow(window->Window());
  SetFocus(Item(IDC_LOG));
  std::set<HWND> helpBoxes;  // a box stays open for a tick or two after its answer
  {
    CBoxAnswerer answer(window->Window(), [&](HWND box) {
      if (WindowText(box) == "Help!") helpBoxes.insert(box);
      Press(box, IDOK);
    });
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ASSERT_EQ(SendInput(2, keys, sizeof(INPUT)), 2u);
    ASSERT_TRUE(Until([&] { return !helpBoxes.empty(); }, 10s)) << "no Help box";
    // Whatever else the key brought is handled before the count is read.
    MSG pending;
    ASSERT_TRUE(Until([&] {
      return !PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE) && OpenBoxes(window->Window()).empty();
    }));
  }
  EXPECT_EQ(helpBoxes.size(), 1u);
}

TEST_F(WindowTest, EscapeIsTheCloseCommandToo) {
  SetFocus(Item(IDC_LOG));
  PostMessageA(Item(IDC_LOG), WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(Until([&] { return window->IsEnded(); }, 5s));
}

// A whole upgrade against the simulated box, on a port typed in: the
// simulated box takes a port's first close for the end of the exchange, so
// the window must not try the port at its start.
class WindowUpgrade : public WindowTest {
 protected:
  std::vector<std::string> ProbedPorts() const override { return {}; }
};

TEST_F(WindowUpgrade, TheImageGoesIntoTheBox) {
  const char* image = std::getenv("BOXFEEDER_TEST_IMAGE");
  if (!image) GTEST_SKIP() << "needs the simulated box (BOXFEEDER_TEST_PORT, BOXFEEDER_TEST_IMAGE)";
  ChooseImage(image);
  UsePort(std::getenv("BOXFEEDER_TEST_PORT"));
  SendMessageA(Item(IDC_TRACE), BM_CLICK, 0, 0);  // with the debug lines
  ASSERT_TRUE(window->Button(IDC_TRACE)->IsChecked());
  bool warned = false;
  {
    CBoxAnswerer answer(window->Window(), [&](HWND box) {
      if (WindowText(box) != "Avertissement - Warning") {
        ADD_FAILURE() << "a box: " << MessageBoxText(box);
        Press(box, IDOK);
        return;
      }
      warned = true;
      // The lines of the run reached the log while it ran.
      EXPECT_NE(WindowText(Item(IDC_LOG)).find("Download START"), std::string::npos);
      Screenshot(box, "win32-cable-warning");
      Press(box, IDOK);
    });
    Click(IDC_START);
    ASSERT_TRUE(Until([&] { return LogHas("Download Terminated SUCCESSFULLY"); }, 60s))
        << window->Dialog().Log();
  }
  EXPECT_TRUE(warned);
  ASSERT_TRUE(Until([&] { return !window->Dialog().IsBusy(); }));
  EXPECT_EQ(WindowText(Item(IDC_PERCENT)), "100 %");
  EXPECT_EQ(SendMessageA(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0),
            SendMessageA(Item(IDC_PROGRESS), PBM_GETRANGE, FALSE, 0));
  ASSERT_TRUE(Until([&] { return WindowText(Item(IDC_LOG)) == window->Dialog().Log(); }));
  Screenshot(window->Window(), "win32-succeeded");
  // The log, saved, is what the window shows.
  const std::string saved = WriteTemporaryFile({}, ".txt");
  {
    CBoxAnswerer answer(window->Window(), [&](HWND box) { ChooseFile(box, saved); });
    Click(IDC_SAVE);
  }
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), window->Dialog().Log());
  DeleteFileA(saved.c_str());
}

}  // namespace
}  // namespace zel
