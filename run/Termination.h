// Each worker thread runs under two stop tokens. Terminate requests the
// first: every wait in the link layer ends, hand-overs to the user
// interface are abandoned and nothing more is delivered. Stop requests the
// second: device transfers and sleeps end early, so the worker reaches its
// next stop test at once, while its last lines are still delivered.
#pragma once

#include <chrono>
#include <stop_token>

namespace zel {

// The calling worker thread's terminate token; a token that never stops on
// any other thread (the user-interface thread, the main thread of a test).
std::stop_token CurrentThreadToken();
// The calling worker thread's stop token, likewise.
std::stop_token CurrentStopToken();

// Installs the tokens as the calling thread's for the scope's lifetime.
class CThreadTokenScope {
 public:
  explicit CThreadTokenScope(std::stop_token terminate, std::stop_token stop = {});
  ~CThreadTokenScope();
  CThreadTokenScope(const CThreadTokenScope&) = delete;
  CThreadTokenScope& operator=(const CThreadTokenScope&) = delete;

 private:
  std::stop_token m_terminate;
  std::stop_token m_stop;
  const std::stop_token* m_previousTerminate;
  const std::stop_token* m_previousStop;
};

// Sleeps for the given time; returns false at once when the calling thread
// is stopped or terminated.
bool InterruptibleSleep(std::chrono::milliseconds duration);

}  // namespace zel
