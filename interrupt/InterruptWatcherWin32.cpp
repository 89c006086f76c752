#include <atomic>

#include "interrupt/InterruptWatcher.h"
#include "run/SystemHeadersWin32.h"

namespace zel {
namespace {

std::atomic<CInterruptWatcher*> g_watcher{nullptr};
std::function<void()>* g_onInterrupt = nullptr;
// Set once the watcher goes: the program has ended its runs.
HANDLE g_ended = nullptr;
// The system ends the process 5 s after a closed console window (or a
// logoff, a shutdown) is announced, or at once when the handler returns.
constexpr DWORD kClosingGraceMs = 4500;

BOOL WINAPI OnConsoleEvent(DWORD event) { return HandleConsoleEvent(event); }

}  // namespace

int HandleConsoleEvent(unsigned long event) {
  if (!g_watcher.load() || !g_onInterrupt) return FALSE;
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: (*g_onInterrupt)(); return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The runs end as cancelled and write their records and logs before
      // this returns, within the time the system gives.
      (*g_onInterrupt)();
      ::WaitForSingleObject(g_ended, kClosingGraceMs);
      return TRUE;
    default: return FALSE;
  }
}

CInterruptWatcher::CInterruptWatcher(std::function<void()> onInterrupt)
    : m_onInterrupt(std::move(onInterrupt)) {
  g_ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_onInterrupt = &m_onInterrupt;
  g_watcher = this;
  ::SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

CInterruptWatcher::~CInterruptWatcher() {
  ::SetEvent(g_ended);
  ::SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  g_watcher = nullptr;
}

}  // namespace zel
