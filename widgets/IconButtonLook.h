// How an icon button looks in each state, free of any window system: the
// face and caption colours of its colour table, its frame, which icon, and
// whether icon and caption shift and the focus shows. Every platform's
// button paints from it.
#pragma once

#include <vector>

namespace zel {

enum IconButtonColor : int {
  CLR_HOT_BACK = 0,
  CLR_HOT_TEXT = 1,
  CLR_NORMAL_BACK = 2,
  CLR_NORMAL_TEXT = 3,
  CLR_FOCUS_BACK = 4,
  CLR_FOCUS_TEXT = 5,
};

struct CIconButtonState {
  bool flat = true;
  bool hot = false;
  bool pressed = false;  // held down, or a check box that is on
  bool focused = false;
  bool isDefault = false;
  bool checkBox = false;
  bool borderWhenFlat = true;
  bool focusWhenFlat = false;
  bool keyboardFocus = true;  // the focus came from the keyboard
};

enum class IconButtonFrame {
  None,
  FlatRaised,  // one pixel, light above and left
  FlatSunken,  // one pixel, dark above and left
  Sunken3d,    // a dark line all round
  Raised3d,    // two pixels: the desktop's button edge
};

struct CIconButtonLook {
  bool blackFrame = false;  // a 3-D button that is focused or default
  int faceColor = CLR_NORMAL_BACK;
  int textColor = CLR_NORMAL_TEXT;
  IconButtonFrame frame = IconButtonFrame::None;
  bool hotIcon = false;  // else the rest icon, where there is one
  bool shifted = false;  // icon and caption moved by the press offset
  bool focusRect = false;
};

constexpr CIconButtonLook LookOf(const CIconButtonState& s) {
  CIconButtonLook look;
  look.blackFrame = !s.flat && (s.focused || s.isDefault);
  const bool lit = s.hot || s.pressed;
  look.faceColor = lit ? CLR_HOT_BACK : s.focused ? CLR_FOCUS_BACK : CLR_NORMAL_BACK;
  look.textColor = lit ? CLR_HOT_TEXT : s.focused ? CLR_FOCUS_TEXT : CLR_NORMAL_TEXT;
  if (s.pressed)
    look.frame = !s.flat            ? IconButtonFrame::Sunken3d
                 : s.borderWhenFlat ? IconButtonFrame::FlatSunken
                                    : IconButtonFrame::None;
  else
    look.frame = !s.flat                       ? IconButtonFrame::Raised3d
                 : (s.hot && s.borderWhenFlat) ? IconButtonFrame::FlatRaised
                                               : IconButtonFrame::None;
  // A check box shows its state, not the hover, in its icon.
  look.hotIcon = s.checkBox ? s.pressed : lit;
  look.shifted = s.pressed && !s.checkBox;
  look.focusRect = s.focused && (!s.flat || s.focusWhenFlat || s.keyboardFocus);
  return look;
}

// The desktop's colours that frames are drawn in.
enum class FrameShade { Black, Highlight, Light, Shadow, DarkShadow };

// A one-pixel-wide bar of a frame, as a filled rectangle.
struct CFrameBar {
  int x, y, cx, cy;
  FrameShade shade;
};

// The bars that draw frame round the rectangle from (left, top) to
// (right, bottom), right and bottom outside it, in the order to paint them.
std::vector<CFrameBar> FrameBars(IconButtonFrame frame, int left, int top, int right, int bottom);
// A one-pixel outline in one shade: the black frame of a focused or
// default 3-D button.
std::vector<CFrameBar> OutlineBars(FrameShade shade, int left, int top, int right, int bottom);

}  // namespace zel
