// The Windows headers the window and its buttons use, with the ANSI/wide
// macros that would rename members of the same names (SendMessage,
// MessageBox) taken back.
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
