// The window that receives an engine's notifications. SendMessage is
// synchronous: the sending worker waits until the window has handled it.
#pragma once

#include <cstdint>

#include "link/WinTypes.h"

namespace zel {

#ifndef WM_USER  // the platform's own where it has one
constexpr uint32_t WM_USER = 0x0400;
#endif
constexpr uint32_t WM_TRACE_LINE = WM_USER + 10;    // lParam 0 plain line, 1 debug line
constexpr uint32_t WM_PROGRESS = WM_USER + 12;      // wParam offset, lParam length
constexpr uint32_t WM_DOWNLOAD_END = WM_USER + 13;  // lParam outcome

constexpr intptr_t END_CANCELLED = 0;
constexpr intptr_t END_FAILED = 1;
constexpr intptr_t END_SUCCEEDED = 2;

class IOwnerWindow {
 public:
  virtual ~IOwnerWindow() = default;
  virtual intptr_t SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace zel
