// Turns Ctrl-C, a termination request and a closed terminal into a
// callback on a watcher thread. Construct it before any other thread, so
// that every thread inherits the blocked signals and only the watcher
// receives them.
#pragma once

#include <functional>
#include <thread>

namespace zel {

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

}  // namespace zel
