#include "app/win32/DialogsWin32.h"

#include <cstdint>
#include <string>

#include "app/win32/resource.h"

namespace zel {
namespace {

// What a box keeps while it is open: GDI objects it deletes at its end.
struct CBoxState {
  HWND owner = nullptr;
  HFONT font = nullptr;
  HBITMAP picture = nullptr;
};

void CentreOver(HWND box, HWND owner) {
  RECT boxRect{}, ownerRect{};
  GetWindowRect(box, &boxRect);
  if (owner && IsWindowVisible(owner))
    GetWindowRect(owner, &ownerRect);
  else
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &ownerRect, 0);
  const int x = ownerRect.left + ((ownerRect.right - ownerRect.left) - (boxRect.right - boxRect.left)) / 2;
  const int y = ownerRect.top + ((ownerRect.bottom - ownerRect.top) - (boxRect.bottom - boxRect.top)) / 2;
  SetWindowPos(box, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowPicture(HWND box, int id, CBoxState& state) {
  state.picture = LoadPictureOnFace(id);
  if (state.picture)
    SendDlgItemMessageA(box, id, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(state.picture));
}

// Arial bold, 30 pixels high and 10 wide, as the warning was drawn; a
// smaller height where the whole message would not fit its rectangle.
HFONT WarningFont(HWND text) {
  RECT room{};
  GetClientRect(text, &room);
  const std::string message = WindowText(text);
  HDC dc = GetDC(text);
  HFONT font = nullptr;
  for (int height = 30; height >= 10; height -= 2) {
    if (font) DeleteObject(font);
    const int width = height / 3;
    font = CreateFontA(height, width, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial");
    HGDIOBJ old = SelectObject(dc, font);
    RECT needed{0, 0, room.right, 0};
    DrawTextA(dc, message.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    SelectObject(dc, old);
    if (needed.bottom <= room.bottom && needed.right <= room.right) break;
  }
  ReleaseDC(text, dc);
  return font;
}

INT_PTR CALLBACK BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<CBoxState*>(GetWindowLongPtrA(box, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      state = reinterpret_cast<CBoxState*>(lParam);
      SetWindowLongPtrA(box, DWLP_USER, lParam);
      if (HWND text = GetDlgItem(box, IDC_CABLE_TEXT)) {
        state->font = WarningFont(text);
        SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), TRUE);
        ShowPicture(box, IDB_CABLE_PICTURE, *state);
      } else {
        ShowPicture(box, IDB_ABOUT_PICTURE, *state);
      }
      CentreOver(box, state->owner);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(box, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      if (state) {
        if (state->font) DeleteObject(state->font);
        if (state->picture) DeleteObject(state->picture);
        *state = CBoxState{};
      }
      return FALSE;
    default: return FALSE;
  }
}

void RunBox(int templateId, HWND owner) {
  CBoxState state;
  state.owner = owner;
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner, &BoxProc,
                  reinterpret_cast<LPARAM>(&state));
}

}  // namespace

HBITMAP LoadPictureOnFace(int id) {
  auto picture = static_cast<HBITMAP>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  DIBSECTION dib{};
  if (!picture || GetObjectA(picture, sizeof dib, &dib) != sizeof dib || dib.dsBm.bmBitsPixel != 32)
    return picture;
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const int faceRgb[3] = {GetBValue(face), GetGValue(face), GetRValue(face)};  // as the pixels hold them
  auto* bytes = static_cast<uint8_t*>(dib.dsBm.bmBits);
  const size_t count = static_cast<size_t>(dib.dsBm.bmWidth) * static_cast<size_t>(dib.dsBm.bmHeight);
  for (size_t i = 0; i < count; ++i, bytes += 4) {
    const int alpha = bytes[3];
    for (int c = 0; c < 3; ++c)
      bytes[c] = static_cast<uint8_t>((bytes[c] * alpha + faceRgb[c] * (255 - alpha)) / 255);
    bytes[3] = 255;
  }
  return picture;
}

void RunCableWarningBox(HWND owner) { RunBox(IDD_CABLE_WARNING, owner); }

void RunAboutBox(HWND owner) { RunBox(IDD_ABOUT, owner); }

}  // namespace zel
