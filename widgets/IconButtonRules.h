// The icon button's settings and the rules that act on them, free of any
// window system: the colour table and its offset, the press shift, the
// check message, and where the image goes. Every platform's button keeps
// one of these and asks it.
#pragma once

#include <array>
#include <cstdint>

#include "widgets/IconButtonLook.h"
#include "widgets/IconColors.h"

namespace zel {

enum IconButtonResult : int {
  IBR_DONE = 0,
  IBR_BAD_ICON = 1,
  IBR_BAD_COLOR_INDEX = 3,
  IBR_BAD_OFFSET = 5,
  IBR_BAD_PRESS_STYLE = 6,
};

// Rest-icon values that make the rest icon from the hot one.
constexpr int ICON_AUTO_GREY = -2;
constexpr int ICON_AUTO_DARK = -3;
constexpr int PRESS_SHIFT_DIAGONAL = 0;
constexpr int PRESS_SHIFT_DOWN = 1;

// The check message's wParam: 1 or 2 set the state on, anything else off.
constexpr int CheckFromMessage(uintptr_t wParam) { return wParam == 1 || wParam == 2 ? 1 : 0; }

struct CImageSpot {
  int x, y;
};

class CIconButtonRules {
 public:
  int marginX = 3;
  int marginY = 3;
  int pressX = 1, pressY = 1;
  std::array<COLORREF, 6> colors{};

  COLORREF Color(int index) const { return colors[static_cast<size_t>(index)]; }
  // Shifts colour index by offset on all three channels.
  int OffsetColor(int index, int offset);
  void SetDefaultColors(COLORREF face, COLORREF text) { colors = {face, text, face, text, face, text}; }
  int SetPressedStyle(int style);
  // The image's top-left corner in an item at (left, top) of this size:
  // left of a caption, whose left edge moves past it, or centred without
  // one; shifted when the look says so.
  CImageSpot PlaceImage(bool hasCaption, int left, int top, int width, int height, int& captionLeft,
                        bool shifted, int imageWidth, int imageHeight) const;
};

// What every platform's button keeps and does alike: its flags, settings
// and colour table, the set-up operations on them, and the look they give.
// A platform's button adds the window, the icons and the painting.
class CIconButtonBase {
 public:
  virtual ~CIconButtonBase() = default;

  int SetFlat(bool flat, bool repaint);
  int OffsetColor(int index, int offset, bool repaint);
  int SetPressedStyle(int style, bool repaint);
  // In check-box mode only.
  int SetChecked(int check, bool repaint);
  COLORREF Color(int index) const { return m_rules.Color(index); }
  bool IsChecked() const { return m_bChecked; }
  bool IsHot() const { return m_bHot; }
  bool IsFlat() const { return m_bFlat; }
  bool IsCheckBox() const { return m_bCheckBox; }
  bool IsDefault() const { return m_bDefault; }

 protected:
  // Invalidates the whole button, so that it paints itself again.
  virtual void Repaint() = 0;
  // The look of the drawing in progress, once it has read its pressed,
  // focused and disabled states.
  const CIconButtonLook& TakeLook(bool keyboardFocus) {
    CIconButtonState state;
    state.flat = m_bFlat;
    state.hot = m_bHot;
    state.pressed = m_bPressed;
    state.focused = m_bFocused;
    state.isDefault = m_bDefault;
    state.checkBox = m_bCheckBox;
    state.borderWhenFlat = m_bBorderWhenFlat;
    state.focusWhenFlat = m_bFocusWhenFlat;
    state.keyboardFocus = keyboardFocus;
    m_look = LookOf(state);
    return m_look;
  }

  bool m_bFlat = true;
  bool m_bHot = false;
  bool m_bPressed = false;   // as the drawing in progress sees it
  bool m_bFocused = false;   // as the drawing in progress sees it
  bool m_bDisabled = false;  // as the drawing in progress sees it
  CIconButtonLook m_look;    // as the drawing in progress paints
  bool m_bDefault = false;
  bool m_bCheckBox = false;
  bool m_bBorderWhenFlat = true;
  bool m_bFocusWhenFlat = false;
  bool m_bChecked = false;
  CIconButtonRules m_rules;  // margins, press shift, colour table
};

}  // namespace zel
