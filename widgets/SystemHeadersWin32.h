// The Windows headers the window and its buttons use besides the core's
// (run/SystemHeadersWin32.h), and the one helper they all need.
#pragma once

#include "run/SystemHeadersWin32.h"
// after windows.h:
#include <commctrl.h>
#include <commdlg.h>

#include <string>

// Sent when a window moves to a screen of other dots per inch; older
// headers lack it.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace zel {

// A window's text: a caption, an edit's contents, a combo box's field.
inline std::string WindowText(HWND window) {
  if (!window) return {};
  std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace zel
