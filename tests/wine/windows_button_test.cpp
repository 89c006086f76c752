// The owner-drawn icon button as the window shows it, read back pixel by
// pixel: at rest, hot, pressed, checked and disabled; and its check-box
// mode, colour reset and focus handling through real messages.
#include <gtest/gtest.h>

#include "app/win32/MainWindowWin32.h"
#include "tests/wine/Win32Harness.h"
#include "widgets/IconColors.h"

namespace zel {
namespace {

using namespace wintest;

// Where an icon was drawn: the box of pixels that differ from the face,
// left of the caption's area.
RECT IconBox(const CPicture& picture, COLORREF face, int right) {
  RECT box{picture.width, picture.height, -1, -1};
  for (int y = 2; y < picture.height - 2; ++y)
    for (int x = 2; x < right; ++x)
      if (picture.At(x, y) != face) {
        box.left = std::min<LONG>(box.left, x);
        box.top = std::min<LONG>(box.top, y);
        box.right = std::max<LONG>(box.right, x + 1);
        box.bottom = std::max<LONG>(box.bottom, y + 1);
      }
  return box;
}

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

TEST_F(IconButtonPixels, PressedSinksTheFrameAndShiftsIconAndCaption) {
  CWin32IconButton& help = *window.Button(IDC_HELP_BUTTON);
  const CPicture rest = Capture(Item(IDC_HELP_BUTTON), false);
  SendMessageA(Item(IDC_HELP_BUTTON), BM_SETSTATE, TRUE, 0);
  const CPicture pressed = Capture(Item(IDC_HELP_BUTTON), false);
  SendMessageA(Item(IDC_HELP_BUTTON), BM_SETSTATE, FALSE, 0);
  EXPECT_EQ(pressed.At(0, 0), shadow);
  EXPECT_EQ(pressed.At(pressed.width - 1, pressed.height - 1), highlight);
  EXPECT_EQ(pressed.At(2, 2), help.Color(CLR_HOT_BACK));
  EXPECT_TRUE(ShowsIcon(rest, help, 0, help.Color(CLR_NORMAL_BACK)));
  EXPECT_TRUE(ShowsIcon(pressed, help, 0, help.Color(CLR_HOT_BACK), 1)) << "shifted (1, 1)";
  // The caption moves with it.
  const RECT restText = IconBox(rest, help.Color(CLR_NORMAL_BACK), rest.width - 2);
  const RECT pressedText = IconBox(pressed, help.Color(CLR_HOT_BACK), pressed.width - 2);
  EXPECT_EQ(pressedText.right, restText.right + 1);
}

TEST_F(IconButtonPixels, ACheckedBoxShowsItsHotIconUnshiftedOnASunkenFace) {
  CWin32IconButton& trace = *window.Button(IDC_TRACE);
  const CPicture off = Capture(Item(IDC_TRACE), false);
  EXPECT_TRUE(ShowsIcon(off, trace, 1, trace.Color(CLR_NORMAL_BACK))) << "rest icon";
  SendMessageA(Item(IDC_TRACE), BM_SETCHECK, BST_CHECKED, 0);
  const CPicture on = Capture(Item(IDC_TRACE), false);
  EXPECT_EQ(on.At(0, 0), shadow);
  EXPECT_EQ(on.At(2, 2), trace.Color(CLR_HOT_BACK));
  EXPECT_TRUE(ShowsIcon(on, trace, 0, trace.Color(CLR_HOT_BACK))) << "hot icon, not shifted";
  // Hovering a box that is off changes face and frame, not the icon.
  SendMessageA(Item(IDC_TRACE), BM_SETCHECK, BST_UNCHECKED, 0);
  Hover(IDC_TRACE);
  const CPicture hot = Capture(Item(IDC_TRACE), false);
  EXPECT_TRUE(ShowsIcon(hot, trace, 1, trace.Color(CLR_HOT_BACK)));
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

// The colour pixels of an icon, 0xAARRGGBB, and whether its mask hides each.
struct CIconPixels {
  std::vector<uint32_t> colour;
  std::vector<bool> hidden;
};

CIconPixels PixelsOf(HICON icon) {
  ICONINFO info{};
  EXPECT_TRUE(GetIconInfo(icon, &info));
  BITMAP bitmap{};
  GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
  const int w = bitmap.bmWidth, h = bitmap.bmHeight;
  BITMAPINFO format{};
  format.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  CIconPixels pixels{std::vector<uint32_t>(static_cast<size_t>(w * h)), {}};
  std::vector<uint32_t> mask(static_cast<size_t>(w * h));
  HDC screen = GetDC(nullptr);
  GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(h), pixels.colour.data(), &format, DIB_RGB_COLORS);
  GetDIBits(screen, info.hbmMask, 0, static_cast<UINT>(h), mask.data(), &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  for (uint32_t m : mask) pixels.hidden.push_back((m & 0xFFFFFF) != 0);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return pixels;
}

TEST_F(IconButtonPixels, GreyAndDarkRestIconsAreMadeFromTheHotOne) {
  CWin32IconButton& browse = *window.Button(IDC_BROWSE);
  const CIconPixels hot = PixelsOf(browse.Icon(0));
  for (int rule : {ICON_AUTO_GREY, ICON_AUTO_DARK}) {
    SCOPED_TRACE(rule);
    HICON copy = CopyIcon(browse.Icon(0));
    ASSERT_EQ(browse.SetIcons(copy, nullptr, rule), IBR_DONE);
    ASSERT_NE(browse.Icon(1), nullptr);
    EXPECT_EQ(browse.IconSize(1).cx, browse.IconSize(0).cx);
    const CIconPixels hotNow = PixelsOf(browse.Icon(0));
    const CIconPixels rest = PixelsOf(browse.Icon(1));
    ASSERT_EQ(rest.colour.size(), hot.colour.size());
    EXPECT_EQ(rest.hidden, hotNow.hidden) << "the mask is shared";
    int coloured = 0;
    for (size_t i = 0; i < rest.colour.size(); ++i) {
      const uint32_t h = hotNow.colour[i], r = rest.colour[i];
      const COLORREF colour = RGB(h >> 16 & 0xFF, h >> 8 & 0xFF, h & 0xFF);
      const COLORREF expected = (h & 0xFFFFFF) == 0      ? 0
                                : rule == ICON_AUTO_GREY ? GreyColor(colour)
                                                         : DarkenColor(colour, 0.25);
      ASSERT_EQ(r & 0xFFFFFF, (GetRValue(expected) << 16) | (GetGValue(expected) << 8) | GetBValue(expected))
          << "pixel " << i;
      EXPECT_EQ(r >> 24, h >> 24) << "transparency is kept";
      if (GetRValue(colour) != GetBValue(colour)) ++coloured;
    }
    EXPECT_GT(coloured, 0) << "an icon with colour to lose";
  }
  EXPECT_EQ(browse.SetIcons(reinterpret_cast<HICON>(static_cast<uintptr_t>(0xBAD)), nullptr), IBR_BAD_ICON);
  EXPECT_EQ(browse.Icon(0), nullptr) << "all images dropped";
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
