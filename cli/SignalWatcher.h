// Turns Ctrl-C (SIGINT) and SIGTERM into a callback on a watcher thread.
// Construct it before any other thread, so that every thread inherits the
// blocked signals and only the watcher receives them.
#pragma once

#include <pthread.h>

#include <functional>
#include <thread>

namespace zel::cli {

class CSignalWatcher {
 public:
  explicit CSignalWatcher(std::function<void()> onInterrupt);
  ~CSignalWatcher();
  CSignalWatcher(const CSignalWatcher&) = delete;
  CSignalWatcher& operator=(const CSignalWatcher&) = delete;

 private:
  std::function<void()> m_onInterrupt;
  std::thread m_thread;
};

}  // namespace zel::cli
