#include "widgets/IconButtonWin32.h"

#include <vector>

namespace zel {
namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr UINT_PTR kToolId = 1;
// The widest a tool tip grows before its text wraps.
constexpr int kToolTipMaxWidth = 400;

COLORREF ShadeColor(FrameShade shade) {
  switch (shade) {
    case FrameShade::Black: return RGB(0, 0, 0);
    case FrameShade::Highlight: return GetSysColor(COLOR_BTNHIGHLIGHT);
    case FrameShade::Light: return GetSysColor(COLOR_3DLIGHT);
    case FrameShade::Shadow: return GetSysColor(COLOR_BTNSHADOW);
    case FrameShade::DarkShadow: return GetSysColor(COLOR_3DDKSHADOW);
  }
  return RGB(0, 0, 0);
}

void PaintBars(HDC dc, const std::vector<CFrameBar>& bars) {
  for (const CFrameBar& bar : bars)
    if (bar.cx > 0 && bar.cy > 0) {
      const RECT r{bar.x, bar.y, bar.x + bar.cx, bar.y + bar.cy};
      HBRUSH brush = CreateSolidBrush(ShadeColor(bar.shade));
      FillRect(dc, &r, brush);
      DeleteObject(brush);
    }
}

// Width and height: twice the hot spot, which an icon has at its centre.
bool MeasureIcon(HICON icon, SIZE& size) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return false;
  size = {static_cast<LONG>(info.xHotspot * 2), static_cast<LONG>(info.yHotspot * 2)};
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return true;
}

}  // namespace

HICON DeriveIcon(HICON icon, COLORREF (*rule)(COLORREF)) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return nullptr;
  HICON derived = nullptr;
  HDC screen = GetDC(nullptr);
  BITMAP bitmap{};
  if (screen && info.hbmColor && GetObjectA(info.hbmColor, sizeof bitmap, &bitmap)) {
    const int w = bitmap.bmWidth, h = bitmap.bmHeight;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = w;
    format.bmiHeader.biHeight = -h;  // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (colour && GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(h), pixels.data(), &format,
                            DIB_RGB_COLORS) == h) {
      DerivePixels(pixels.data(), pixels.size(), rule);
      std::copy(pixels.begin(), pixels.end(), static_cast<uint32_t*>(bits));
      ICONINFO made{TRUE, 0, 0, info.hbmMask, colour};
      derived = CreateIconIndirect(&made);
    }
    if (colour) DeleteObject(colour);
  }
  if (screen) ReleaseDC(nullptr, screen);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return derived;
}

CWin32IconButton::CWin32IconButton() {
  SetPressedStyle(PRESS_SHIFT_DIAGONAL, false);
  SetDefaultColors(false);
}

CWin32IconButton::~CWin32IconButton() {
  FreeImages();
  if (m_hWnd && IsWindow(m_hWnd)) RemoveWindowSubclass(m_hWnd, &CWin32IconButton::SubclassProc, kSubclassId);
  // The tool tip is the button's child window: it goes with the button.
}

void CWin32IconButton::Attach(HWND button) {
  m_hWnd = button;
  const LONG_PTR style = GetWindowLongPtrA(button, GWL_STYLE);
  const unsigned type = static_cast<unsigned>(style) & 0xFF;
  if (type & 0x02) m_bCheckBox = true;
  if ((type & 0x1F) == BS_DEFPUSHBUTTON) m_bDefault = true;
  SetWindowLongPtrA(button, GWL_STYLE, (style & ~LONG_PTR{0x1F}) | BS_OWNERDRAW);
  SetWindowPos(button, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  SetWindowSubclass(button, &CWin32IconButton::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void CWin32IconButton::Repaint() {
  if (m_hWnd) InvalidateRect(m_hWnd, nullptr, TRUE);
}

HICON CWin32IconButton::LoadIconResource(int id, int cx, int cy) const {
  HINSTANCE module = GetModuleHandleA(nullptr);
  const auto* name = MAKEINTRESOURCEA(static_cast<WORD>(id));
  const auto* groupIcon = MAKEINTRESOURCEA(14);
  if (!FindResourceA(module, name, groupIcon)) return nullptr;
  auto icon = static_cast<HICON>(LoadImageA(module, name, IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
  SIZE size{};
  if (!icon || cx != 0 || !MeasureIcon(icon, size)) return icon;
  // At its own size scaled to the screen, unless the button has no room
  // for that: then the largest that fits, as the resource's images give it.
  int wanted = MulDiv(size.cx, static_cast<int>(m_dpi), 96);
  if (m_hWnd) {
    RECT client{};
    GetClientRect(m_hWnd, &client);
    const int room = std::min(client.right - 2 * m_rules.marginX, client.bottom - 2 * m_rules.marginY);
    if (room > 0 && wanted > room) wanted = room;
  }
  if (wanted == size.cx && wanted == size.cy) return icon;
  DestroyIcon(icon);
  const auto* twin = MAKEINTRESOURCEA(static_cast<WORD>(id + kLargeIconTwinOffset));
  const bool fromTwin = wanted > size.cx && FindResourceA(module, twin, groupIcon);
  return static_cast<HICON>(
      LoadImageA(module, fromTwin ? twin : name, IMAGE_ICON, wanted, wanted, LR_DEFAULTCOLOR));
}

void CWin32IconButton::SetDpi(UINT dpi) {
  if (dpi == 0 || dpi == m_dpi) return;
  m_dpi = dpi;
  if (const auto ids = m_iconIds)
    SetIcons(ids->hot, ids->hotCx, ids->hotCy, ids->rest, ids->restCx, ids->restCy);
}

int CWin32IconButton::SetIcons(int hotIconId, int hotCx, int hotCy, int restIconId, int restCx, int restCy) {
  HICON hot = LoadIconResource(hotIconId, hotCx, hotCy);
  int result = 0;
  if (restIconId == ICON_AUTO_GREY || restIconId == ICON_AUTO_DARK) {
    result = SetIcons(hot, nullptr, restIconId);
  } else {
    HICON rest = restIconId == 0 ? nullptr : LoadIconResource(restIconId, restCx, restCy);
    if (!hot && rest) DestroyIcon(rest);
    result = SetIcons(hot, hot ? rest : nullptr);
  }
  m_iconIds = CIconIds{hotIconId, hotCx, hotCy, restIconId, restCx, restCy};
  return result;
}

int CWin32IconButton::SetIcons(HICON hot, HICON rest, int deriveRest) {
  FreeImages();
  m_iconIds.reset();
  if (hot) {
    m_icons[0].handle = hot;
    if (!MeasureIcon(hot, m_icons[0].size)) {
      FreeImages();
      return IBR_BAD_ICON;
    }
    if (deriveRest == ICON_AUTO_GREY)
      rest = DeriveIcon(hot, &GreyColor);
    else if (deriveRest == ICON_AUTO_DARK)
      rest = DeriveIcon(hot, [](COLORREF c) { return DarkenColor(c, 0.25); });
    if (rest || deriveRest != 0) {
      m_icons[1].handle = rest;
      if (!rest || !MeasureIcon(rest, m_icons[1].size)) {
        FreeImages();
        return IBR_BAD_ICON;
      }
    }
  }
  Repaint();
  return IBR_DONE;
}

void CWin32IconButton::FreeImages() {
  for (CIcon& icon : m_icons) {
    if (icon.handle) DestroyIcon(icon.handle);
    icon = CIcon{};
  }
}

int CWin32IconButton::SetDefaultColors(bool repaint) {
  m_rules.SetDefaultColors(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT));
  if (repaint) Repaint();
  return IBR_DONE;
}

void CWin32IconButton::EnsureToolTip() {
  if (m_toolTip || !m_hWnd) return;
  m_toolTip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | m_dwToolTipStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  if (!m_toolTip) return;
  SendMessageA(m_toolTip, TTM_ACTIVATE, FALSE, 0);
  SendMessageA(m_toolTip, TTM_SETMAXTIPWIDTH, 0, kToolTipMaxWidth);
}

void CWin32IconButton::SetTooltipText(const std::string& text, bool activate) {
  if (text.empty()) return;
  EnsureToolTip();
  if (!m_toolTip) return;
  TOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_SUBCLASS;  // the tool tip sees the button's mouse messages itself
  tool.hwnd = m_hWnd;
  tool.uId = kToolId;
  tool.lpszText = const_cast<char*>(text.c_str());
  if (SendMessageA(m_toolTip, TTM_GETTOOLCOUNT, 0, 0) == 0) {
    GetClientRect(m_hWnd, &tool.rect);
    SendMessageA(m_toolTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SendMessageA(m_toolTip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(m_toolTip, TTM_ACTIVATE, activate, 0);
}

void CWin32IconButton::OnClicked() {
  if (GetFocus() != m_hWnd) SetFocus(m_hWnd);
  if (m_bCheckBox) {
    m_bChecked = !m_bChecked;
    Repaint();
  }
}

void CWin32IconButton::OnParentActivate(bool active) {
  if (!active) CancelHover();
}

void CWin32IconButton::CancelHover() {
  if (m_bFlat && m_bHot) {
    m_bHot = false;
    Repaint();
  }
}

void CWin32IconButton::TrackHover(WPARAM keys, LPARAM position) {
  POINT point{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  ClientToScreen(m_hWnd, &point);
  HWND under = WindowFromPoint(point);
  if ((keys & MK_LBUTTON) && !m_bHot) return;
  if (!IsWindowEnabled(m_hWnd)) return;  // a disabled button never lights up
  if (!m_bFlat) return;
  if (under == m_hWnd) {
    if (m_bHot) return;
    m_bHot = true;
    Repaint();
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, m_hWnd, 0};
    TrackMouseEvent(&track);
  } else {
    CancelHover();
  }
}

void CWin32IconButton::OnDisabled() {
  // The focus moves on to the next control, so that the keyboard is not
  // left on a button that no longer answers it; only when the button had
  // it, or nothing had.
  HWND focus = GetFocus();
  if (focus == m_hWnd || focus == nullptr) {
    HWND parent = GetParent(m_hWnd);
    HWND next = parent ? GetNextDlgTabItem(parent, m_hWnd, FALSE) : nullptr;
    SetFocus(next && next != m_hWnd ? next : parent);
  }
  CancelHover();
}

LRESULT CALLBACK CWin32IconButton::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                UINT_PTR, DWORD_PTR self) {
  auto* button = reinterpret_cast<CWin32IconButton*>(self);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, &CWin32IconButton::SubclassProc, kSubclassId);
    button->m_hWnd = nullptr;
    button->m_toolTip = nullptr;
    return DefSubclassProc(window, message, wParam, lParam);
  }
  return button->HandleMessage(message, wParam, lParam);
}

LRESULT CWin32IconButton::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = m_hWnd;
  switch (message) {
    case WM_KILLFOCUS:
    case WM_CANCELMODE: {
      const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
      CancelHover();
      return result;
    }
    case WM_MOUSEMOVE: {
      const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
      TrackHover(wParam, lParam);
      return result;
    }
    case WM_MOUSELEAVE: CancelHover(); return 0;
    case WM_ENABLE: {
      const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
      if (!wParam) OnDisabled();
      return result;
    }
    case WM_SYSCOLORCHANGE: {
      const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
      SetDefaultColors(true);
      return result;
    }
    case WM_GETDLGCODE:
      return DefSubclassProc(window, message, wParam, lParam) |
             (m_bDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case BM_SETSTYLE: {
      const unsigned type = static_cast<unsigned>(wParam) & 0x1F;
      if (type == BS_DEFPUSHBUTTON) m_bDefault = true;
      if (type == BS_PUSHBUTTON) m_bDefault = false;
      return DefSubclassProc(window, message, (wParam & ~WPARAM{0x14}) | BS_OWNERDRAW, lParam);
    }
    case BM_SETCHECK: SetChecked(CheckFromMessage(wParam), true); return 0;
    case BM_GETCHECK: return m_bChecked ? BST_CHECKED : BST_UNCHECKED;
    case WM_LBUTTONDBLCLK:  // a double click is two clicks
      return DefSubclassProc(window, WM_LBUTTONDOWN, wParam, lParam);
    default: return DefSubclassProc(window, message, wParam, lParam);
  }
}

void CWin32IconButton::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  const bool selected = item.itemState & ODS_SELECTED;
  m_bPressed = m_bCheckBox ? (selected || m_bChecked) : selected;
  m_bFocused = item.itemState & ODS_FOCUS;
  m_bDisabled = item.itemState & ODS_DISABLED;
  // Focus that came from the keyboard shows, also on a flat button.
  TakeLook(!(item.itemState & ODS_NOFOCUSRECT));

  RECT working = item.rcItem;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0)));
  DrawBackground(dc, working);
  DrawBorder(dc, working);
  const std::string text = WindowText(m_hWnd);
  RECT caption = item.rcItem;
  if (m_icons[0].handle) DrawIconImage(dc, !text.empty(), item.rcItem, caption, m_bPressed, m_bDisabled);
  if (!text.empty()) DrawCaption(dc, text, item.rcItem, caption, m_bPressed, m_bDisabled);
  if (m_look.focusRect) {
    RECT focus = working;
    InflateRect(&focus, -3, -3);
    DrawFocusRect(dc, &focus);
  }
  if (oldFont) SelectObject(dc, oldFont);
  SetBkMode(dc, oldMode);
}

int CWin32IconButton::DrawBackground(HDC dc, RECT& rect) {
  if (m_look.blackFrame) {
    PaintBars(dc, OutlineBars(FrameShade::Black, rect.left, rect.top, rect.right, rect.bottom));
    InflateRect(&rect, -1, -1);
  }
  HBRUSH brush = CreateSolidBrush(m_rules.Color(m_look.faceColor));
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
  return 0;
}

int CWin32IconButton::DrawBorder(HDC dc, const RECT& rect) {
  PaintBars(dc, FrameBars(m_look.frame, rect.left, rect.top, rect.right, rect.bottom));
  return 0;
}

void CWin32IconButton::DrawIconImage(HDC dc, bool hasCaption, const RECT& item, RECT& caption, bool pressed,
                                     bool disabled) {
  const CIcon& icon = (m_look.hotIcon || !m_icons[1].handle) ? m_icons[0] : m_icons[1];
  int captionLeft = caption.left;
  const CImageSpot spot =
      m_rules.PlaceImage(hasCaption, item.left, item.top, item.right - item.left, item.bottom - item.top,
                         captionLeft, pressed && m_look.shifted, icon.size.cx, icon.size.cy);
  caption.left = captionLeft;
  DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon.handle), 0, spot.x, spot.y, icon.size.cx,
             icon.size.cy, DST_ICON | (disabled ? DSS_DISABLED : 0));
}

void CWin32IconButton::DrawCaption(HDC dc, const std::string& text, const RECT& /*item*/, RECT& caption,
                                   bool /*pressed*/, bool disabled) {
  if (m_look.shifted) OffsetRect(&caption, m_rules.pressX, m_rules.pressY);
  const RECT frame = caption;
  DrawTextA(dc, text.c_str(), -1, &caption, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
  OffsetRect(&caption, ((frame.right - frame.left) - (caption.right - caption.left)) / 2,
             ((frame.bottom - frame.top) - (caption.bottom - caption.top)) / 2);
  SetBkMode(dc, TRANSPARENT);
  constexpr UINT kFlags = DT_WORDBREAK | DT_CENTER;
  if (disabled) {
    // Embossed: a highlight one pixel down and right, where it is lighter
    // than the face, under a caption still readable against the face.
    const COLORREF face = m_rules.Color(CLR_NORMAL_BACK);
    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    if (EmbossShows(face, highlight)) {
      OffsetRect(&caption, 1, 1);
      SetTextColor(dc, highlight);
      DrawTextA(dc, text.c_str(), -1, &caption, kFlags);
      OffsetRect(&caption, -1, -1);
    }
    SetTextColor(dc, DisabledCaptionColor(face, m_rules.Color(CLR_NORMAL_TEXT)));
    DrawTextA(dc, text.c_str(), -1, &caption, kFlags);
    return;
  }
  SetTextColor(dc, m_rules.Color(m_look.textColor));
  SetBkColor(dc, m_rules.Color(m_look.faceColor));
  DrawTextA(dc, text.c_str(), -1, &caption, kFlags);
}

}  // namespace zel
