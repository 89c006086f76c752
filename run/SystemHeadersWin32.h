// The Windows headers, for the Windows platform files alone: with the
// ANSI/wide macros that would rename members of the same names
// (SendMessage, MessageBox) taken back.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#undef SendMessage
#undef MessageBox
