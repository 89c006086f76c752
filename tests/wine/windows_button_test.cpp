// The owner-drawn icon button as the window shows it, read back pixel by
// pixel: at rest, hot and disabled; and its check-box mode, colour reset
// and focus handling through real messages.
#include <gtest/gtest.h>

#include "app/win32/MainWindowWin32.h"
#include "tests/wine/Win32Harness.h"
#include "widgets/IconColors.h"

namespace zel {
namespace {

using namespace wintest;

bool Has(const CPicture& picture, COLORREF colour) {
  return std::find(picture.pixels.begin(), picture.pixels.end(), colour) != picture.pixels.end();
}

// The icon drawn alone on face, the way the system draws an icon's state,
// as the button should show it.
CPicture IconOn(HICON icon, SIZE size, COLORREF face) {
  HDC screen = GetDC(nullptr);
  CPicture picture;
  {
    CCanvas canvas(screen, size.cx, size.cy);
    RECT all{0, 0, size.cx, size.cy};
    HBRUSH brush = CreateSolidBrush(face);
    FillRect(canvas.Dc(), &all, brush);
    DeleteObject(brush);
    DrawStateA(canvas.Dc(), nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, 0, 0, size.cx, size.cy,
               DST_ICON);
    picture = canvas.Picture();
  }
  ReleaseDC(nullptr, screen);
  return picture;
}

::testing::AssertionResult ShowsAt(const CPicture& button, const CPicture& icon, int x0, int y0) {
  for (int y = 0; y < icon.height; ++y)
    for (int x = 0; x < icon.width; ++x)
      if (button.At(x0 + x, y0 + y) != icon.At(x, y))
        return ::testing::AssertionFailure() << "at (" << x << ", " << y << ") of the icon: " << std::hex
                                             << button.At(x0 + x, y0 + y) << " instead of " << icon.At(x, y);
  return ::testing::AssertionSuccess();
}

// Whether shot shows the button's icon (0 hot, 1 rest) on face, where an
// icon left of a caption goes: 3 pixels in, centred, moved by shift.
::testing::AssertionResult ShowsIcon(const CPicture& shot, const CWin32IconButton& button, int icon,
                                     COLORREF face, int shift = 0) {
  const SIZE size = button.IconSize(icon);
  return ShowsAt(shot, IconOn(button.Icon(icon), size, face), 3 + shift, (shot.height - size.cy) / 2 + shift);
}

class IconButtonPixels : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCursorPos(0, 0);  // away from where the window opens
    ASSERT_NE(window.Create(), nullptr);
    SetForegroundWindow(window.Window());
    while (window.PumpMessage()) {
    }
  }
  HWND Item(int id) const { return GetDlgItem(window.Window(), id); }
  // The pointer over the button's middle, as the system reports a move
  // (the real pointer stays put: its events would reach later windows).
  void Hover(int id) {
    RECT r{};
    GetClientRect(Item(id), &r);
    POINT middle{r.right / 2, r.bottom / 2};
    SendMessageA(Item(id), WM_MOUSEMOVE, 0, MAKELPARAM(middle.x, middle.y));
  }

  CWin32MainWindow window;
  const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
};

TEST_F(IconButtonPixels, HotBrightensTheFaceAndRaisesAFrame) {
  CWin32IconButton& help = *window.Button(IDC_HELP_BUTTON);
  const CPicture rest = Capture(Item(IDC_HELP_BUTTON), false);
  EXPECT_EQ(rest.At(0, 0), help.Color(CLR_NORMAL_BACK)) << "no frame at rest";
  EXPECT_EQ(rest.At(2, 2), help.Color(CLR_NORMAL_BACK));

  Hover(IDC_HELP_BUTTON);
  ASSERT_TRUE(help.IsHot());
  const CPicture hot = Capture(Item(IDC_HELP_BUTTON), false);
  EXPECT_NE(help.Color(CLR_HOT_BACK), help.Color(CLR_NORMAL_BACK)) << "brightened by 30";
  EXPECT_EQ(hot.At(2, 2), help.Color(CLR_HOT_BACK));
  EXPECT_EQ(hot.At(0, 0), highlight);
  EXPECT_EQ(hot.At(hot.width - 1, hot.height - 1), shadow);
  EXPECT_TRUE(Has(hot, help.Color(CLR_HOT_TEXT)));
  EXPECT_TRUE(ShowsIcon(hot, help, 0, help.Color(CLR_HOT_BACK)));

  // Away from it, the button is at rest again.
  SendMessageA(Item(IDC_HELP_BUTTON), WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(help.IsHot());
  EXPECT_EQ(Capture(Item(IDC_HELP_BUTTON), false).pixels, rest.pixels);
}

TEST_F(IconButtonPixels, DisabledEmbossesTheCaptionAndGreysTheIcon) {
  CWin32IconButton& start = *window.Button(IDC_START);
  ASSERT_FALSE(IsWindowEnabled(Item(IDC_START)));
  Hover(IDC_START);
  EXPECT_FALSE(start.IsHot()) << "a disabled button does not light up";
  const CPicture disabled = Capture(Item(IDC_START), false);
  const COLORREF face = start.Color(CLR_NORMAL_BACK);
  EXPECT_EQ(disabled.At(0, 0), face);
  EXPECT_FALSE(Has(disabled, start.Color(CLR_NORMAL_TEXT))) << "no caption in the enabled colour";
  EXPECT_TRUE(Has(disabled, DisabledCaptionColor(face, start.Color(CLR_NORMAL_TEXT))));
  if (EmbossShows(face, highlight)) {
    EXPECT_TRUE(Has(disabled, highlight));
  }
  EXPECT_FALSE(ShowsIcon(disabled, start, 0, face)) << "the icon drawn disabled";
  EnableWindow(Item(IDC_START), TRUE);
  const CPicture enabled = Capture(Item(IDC_START), false);
  EXPECT_TRUE(Has(enabled, start.Color(CLR_NORMAL_TEXT)));
  EXPECT_TRUE(ShowsIcon(enabled, start, 0, face));
}

TEST_F(IconButtonPixels, TheCheckBoxTogglesOnEachClickAndTheDialogHearsIt) {
  HWND trace = Item(IDC_TRACE);
  SendMessageA(trace, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(trace, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(GetFocus(), trace) << "a click focuses the button";
  SendMessageA(trace, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(trace, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessageA(trace, BM_SETCHECK, 2, 0);
  EXPECT_EQ(SendMessageA(trace, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(trace, BM_SETCHECK, 3, 0);
  EXPECT_EQ(SendMessageA(trace, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // A double click is two clicks.
  RECT r{};
  GetClientRect(trace, &r);
  const LPARAM middle = MAKELPARAM(r.right / 2, r.bottom / 2);
  for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    SendMessageA(trace, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, middle);
  EXPECT_EQ(SendMessageA(trace, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // The dialog took the state in at each click: the log shows debug lines
  // only while it is on.
  SendMessageA(trace, BM_CLICK, 0, 0);
  window.Dialog().OnLine("debug line", LineLevel::Debug);
  EXPECT_EQ(window.Dialog().Log(), "debug line\r\n");
}

TEST_F(IconButtonPixels, AColourChangeResetsTheColoursAndDisablingMovesTheFocus) {
  CWin32IconButton& browse = *window.Button(IDC_BROWSE);
  ASSERT_NE(browse.Color(CLR_HOT_BACK), browse.Color(CLR_NORMAL_BACK));
  SendMessageA(window.Window(), WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(browse.Color(CLR_HOT_BACK), GetSysColor(COLOR_BTNFACE));

  SetFocus(Item(IDC_BROWSE));
  EnableWindow(Item(IDC_BROWSE), FALSE);
  EXPECT_NE(GetFocus(), Item(IDC_BROWSE));
  EXPECT_NE(GetFocus(), nullptr);
}

}  // namespace
}  // namespace zel
