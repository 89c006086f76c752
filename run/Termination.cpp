#include "run/Termination.h"

#include <condition_variable>
#include <mutex>

#include "run/StoppableWait.h"

namespace zel {
namespace {
// Plain pointers to the tokens a scope owns: thread-local objects with
// destructors of their own are not safe at thread exit on every platform.
thread_local const std::stop_token* t_terminateToken = nullptr;
thread_local const std::stop_token* t_stopToken = nullptr;
}  // namespace

std::stop_token CurrentThreadToken() { return t_terminateToken ? *t_terminateToken : std::stop_token(); }
std::stop_token CurrentStopToken() { return t_stopToken ? *t_stopToken : std::stop_token(); }

CThreadTokenScope::CThreadTokenScope(std::stop_token terminate, std::stop_token stop)
    : m_terminate(std::move(terminate)),
      m_stop(std::move(stop)),
      m_previousTerminate(t_terminateToken),
      m_previousStop(t_stopToken) {
  t_terminateToken = &m_terminate;
  t_stopToken = &m_stop;
}

CThreadTokenScope::~CThreadTokenScope() {
  t_terminateToken = m_previousTerminate;
  t_stopToken = m_previousStop;
}

bool InterruptibleSleep(std::chrono::milliseconds duration) {
  std::mutex mutex;
  std::condition_variable cv;
  std::unique_lock lock(mutex);
  const std::stop_token terminate = CurrentThreadToken();
  const std::stop_token stop = CurrentStopToken();
  StoppableWait(
      lock, cv, [] { return false; }, terminate, stop, std::chrono::steady_clock::now() + duration);
  return !terminate.stop_requested() && !stop.stop_requested();
}

}  // namespace zel
