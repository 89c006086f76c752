#include <pthread.h>

#include <csignal>

#include "interrupt/InterruptWatcher.h"

namespace zel {
namespace {

sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGUSR1);  // the watcher's own end
  return set;
}

}  // namespace

CInterruptWatcher::CInterruptWatcher(std::function<void()> onInterrupt)
    : m_onInterrupt(std::move(onInterrupt)) {
  const sigset_t set = WatchedSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  m_thread = std::thread([this, set] {
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0 || signal == SIGUSR1) return;
      m_onInterrupt();
    }
  });
}

CInterruptWatcher::~CInterruptWatcher() {
  pthread_kill(m_thread.native_handle(), SIGUSR1);
  m_thread.join();
}

}  // namespace zel
