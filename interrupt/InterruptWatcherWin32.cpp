
#include <atomic>

#include "interrupt/InterruptWatcher.h"
#include "run/SystemHeadersWin32.h"

namespace zel {
namespace {

std::atomic<CInterruptWatcher*> g_watcher{nullptr};
std::function<void()>* g_onInterrupt = nullptr;

// The system calls this on a thread of its own for Ctrl-C, Ctrl-Break and
// a closed console window.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      if (g_watcher.load() && g_onInterrupt) (*g_onInterrupt)();
      return TRUE;
    default: return FALSE;
  }
}

}  // namespace

CInterruptWatcher::CInterruptWatcher(std::function<void()> onInterrupt)
    : m_onInterrupt(std::move(onInterrupt)) {
  g_onInterrupt = &m_onInterrupt;
  g_watcher = this;
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

CInterruptWatcher::~CInterruptWatcher() {
  ::SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  g_watcher = nullptr;
}

}  // namespace zel
