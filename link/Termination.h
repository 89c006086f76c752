// Each worker thread runs under a stop token that its engine's Terminate
// requests. Every blocking wait in the link layer watches the calling
// thread's token, so terminating a worker releases whatever it waits on.
#pragma once

#include <chrono>
#include <stop_token>

namespace zel {

// The token of the calling worker thread; a token that never stops on any
// other thread (the user-interface thread, the main thread of a test).
std::stop_token CurrentThreadToken();

// Installs a token as the calling thread's for the scope's lifetime.
class CThreadTokenScope {
 public:
  explicit CThreadTokenScope(std::stop_token token);
  ~CThreadTokenScope();
  CThreadTokenScope(const CThreadTokenScope&) = delete;
  CThreadTokenScope& operator=(const CThreadTokenScope&) = delete;

 private:
  std::stop_token m_previous;
};

// Sleeps for the given time; returns false at once when the calling thread
// is terminated.
bool InterruptibleSleep(std::chrono::milliseconds duration);

}  // namespace zel
