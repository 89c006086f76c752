// Turns Ctrl-C, a termination request and a closed terminal into a
// callback on a watcher thread. Construct it before any other thread, so
// that every thread inherits the blocked signals and only the watcher
// receives them.
#pragma once

#include <functional>
#include <mutex>
#include <thread>

namespace zel {

#ifdef _WIN32
// What the system calls on a thread of its own for a console's events
// (Ctrl-C, Ctrl-Break, a closed window, a logoff, a shutdown); here for
// the tests. Nonzero: handled.
int HandleConsoleEvent(unsigned long event);
#endif

class CInterruptWatcher {
 public:
  explicit CInterruptWatcher(std::function<void()> onInterrupt);
  ~CInterruptWatcher();
  CInterruptWatcher(const CInterruptWatcher&) = delete;
  CInterruptWatcher& operator=(const CInterruptWatcher&) = delete;

 private:
  std::function<void()> m_onInterrupt;
  std::thread m_thread;
};

// Hands each interrupt to whatever takes them now, or keeps it until
// something does: a window made after the watcher (which must come first)
// takes them from then on, and one made too late still hears of it.
class CInterruptRelay {
 public:
  // On the watcher's thread.
  void Fire() {
    std::lock_guard lock(m_mutex);
    if (m_target)
      m_target();
    else
      m_bPending = true;
  }
  // Null: nothing takes them. Once this returns, the target before is
  // never called again.
  void SetTarget(std::function<void()> target) {
    std::lock_guard lock(m_mutex);
    m_target = std::move(target);
    if (m_target && m_bPending) {
      m_bPending = false;
      m_target();
    }
  }

 private:
  std::mutex m_mutex;
  std::function<void()> m_target;
  bool m_bPending = false;
};

}  // namespace zel
