// The window that receives an engine's notifications. SendMessage is
// synchronous: the sending worker waits until the window has handled it.
#pragma once

#include <cstdint>

namespace zel {

// The platform's first private message number, WM_USER.
constexpr uint32_t kFirstPrivateMessage = 0x0400;
constexpr uint32_t WM_TRACE_LINE = kFirstPrivateMessage + 10;    // lParam 0 plain line, 1 debug line
constexpr uint32_t WM_PROGRESS = kFirstPrivateMessage + 12;      // wParam offset, lParam length
constexpr uint32_t WM_DOWNLOAD_END = kFirstPrivateMessage + 13;  // lParam outcome

constexpr intptr_t END_CANCELLED = 0;
constexpr intptr_t END_FAILED = 1;
constexpr intptr_t END_SUCCEEDED = 2;

class IOwnerWindow {
 public:
  virtual ~IOwnerWindow() = default;
  virtual intptr_t SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace zel
