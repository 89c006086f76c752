// The Windows headers the window and its buttons use, with the ANSI/wide
// macros that would rename members of the same names (SendMessage,
// MessageBox) taken back; and the one helper they all need.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// after windows.h:
#include <commctrl.h>
#include <commdlg.h>
#undef SendMessage
#undef MessageBox

#include <string>

namespace zel {

// A window's text: a caption, an edit's contents, a combo box's field.
inline std::string WindowText(HWND window) {
  if (!window) return {};
  std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace zel
