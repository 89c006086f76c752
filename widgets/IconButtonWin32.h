// A push button that paints itself (owner-drawn, on GDI): an icon left of
// its caption, a flat frame that shows while the pointer is over it (the
// hot state), a sunken frame and a shift while pressed, a balloon tool tip,
// and a check-box mode with a check state of its own. It takes over a
// button control of a dialog; the dialog passes on what the system sends
// the parent about the button (drawing, clicks, colours).
#pragma once

#include <array>
#include <optional>
#include <string>

#include "widgets/IconButtonLook.h"
#include "widgets/IconButtonRules.h"
#include "widgets/SystemHeadersWin32.h"

namespace zel {

class CWin32IconButton : public CIconButtonBase {
 public:
  CWin32IconButton();
  ~CWin32IconButton();
  CWin32IconButton(const CWin32IconButton&) = delete;
  CWin32IconButton& operator=(const CWin32IconButton&) = delete;

  // Takes over the dialog's button: owner-drawn from now on; a check box
  // keeps its check state itself.
  void Attach(HWND button);
  HWND Window() const { return m_hWnd; }

  int SetIcons(int hotIconId, int restIconId) { return SetIcons(hotIconId, 0, 0, restIconId, 0, 0); }
  int SetIcons(int hotIconId, int hotCx, int hotCy, int restIconId, int restCx, int restCy);
  // The handles belong to the button from now on. deriveRest ICON_AUTO_GREY
  // or ICON_AUTO_DARK makes the rest icon from the hot one.
  int SetIcons(HICON hot, HICON rest, int deriveRest = 0);
  int SetDefaultColors(bool repaint);
  // The screen's dots per inch. Icons set by id at their own size are
  // drawn that much larger than at 96 (from the id's large twin, where the
  // program has one), and are loaded again when it changes.
  void SetDpi(UINT dpi);
  void SetTooltipText(const std::string& text, bool activate);

  HICON Icon(int index) const { return m_icons[static_cast<size_t>(index)].handle; }
  SIZE IconSize(int index) const { return m_icons[static_cast<size_t>(index)].size; }
  HWND ToolTip() const { return m_toolTip; }

  // What the parent receives about the button.
  void DrawItem(const DRAWITEMSTRUCT& item);
  void OnClicked();
  static HBRUSH CtlColor() { return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)); }
  void OnParentActivate(bool active);
  void OnSysColorChange() { SetDefaultColors(true); }

 protected:
  // The drawing steps, in their order.
  virtual int DrawBackground(HDC dc, RECT& rect);
  virtual int DrawBorder(HDC dc, const RECT& rect);
  virtual void DrawIconImage(HDC dc, bool hasCaption, const RECT& item, RECT& caption, bool pressed,
                             bool disabled);
  virtual void DrawCaption(HDC dc, const std::string& text, const RECT& item, RECT& caption, bool pressed,
                           bool disabled);

 private:
  struct CIcon {
    HICON handle = nullptr;
    SIZE size{0, 0};
  };
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR self);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void TrackHover(WPARAM keys, LPARAM position);
  void CancelHover();
  void OnDisabled();
  void EnsureToolTip();
  void FreeImages();
  HICON LoadIconResource(int id, int cx, int cy) const;
  void Repaint() override;

  HWND m_hWnd = nullptr;
  HWND m_toolTip = nullptr;
  DWORD m_dwToolTipStyle = TTS_ALWAYSTIP | TTS_BALLOON;
  std::array<CIcon, 2> m_icons;  // [0] hot, [1] rest
  UINT m_dpi = 96;
  // Where the icons came from, to load them again at another scale.
  struct CIconIds {
    int hot = 0, hotCx = 0, hotCy = 0, rest = 0, restCx = 0, restCy = 0;
  };
  std::optional<CIconIds> m_iconIds;
};

// A button icon's twin for screens over 96 dots per inch, where the program
// has one: a group icon at this offset from its id, with larger images.
constexpr int kLargeIconTwinOffset = 1000;

// The dialog's icon button on this platform.
using CIconButton = CWin32IconButton;

// A copy of an icon with each pixel through rule, sharing its mask: black
// stays black, transparent stays transparent. Null when GDI fails.
HICON DeriveIcon(HICON icon, COLORREF (*rule)(COLORREF));

}  // namespace zel
