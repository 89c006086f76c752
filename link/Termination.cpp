#include "link/Termination.h"

#include <condition_variable>
#include <mutex>

namespace zel {
namespace {
thread_local std::stop_token t_terminateToken;
thread_local std::stop_token t_stopToken;
}  // namespace

std::stop_token CurrentThreadToken() { return t_terminateToken; }
std::stop_token CurrentStopToken() { return t_stopToken; }

CThreadTokenScope::CThreadTokenScope(std::stop_token terminate, std::stop_token stop)
    : m_previousTerminate(t_terminateToken), m_previousStop(t_stopToken) {
  t_terminateToken = std::move(terminate);
  t_stopToken = std::move(stop);
}

CThreadTokenScope::~CThreadTokenScope() {
  t_terminateToken = m_previousTerminate;
  t_stopToken = m_previousStop;
}

bool InterruptibleSleep(std::chrono::milliseconds duration) {
  std::mutex mutex;
  std::condition_variable_any cv;
  const std::stop_token terminate = CurrentThreadToken();
  const std::stop_token stop = CurrentStopToken();
  std::stop_callback wakeOnStop(stop, [&] {
    std::lock_guard guard(mutex);
    cv.notify_all();
  });
  std::unique_lock lock(mutex);
  cv.wait_for(lock, terminate, duration, [&] { return stop.stop_requested(); });
  return !terminate.stop_requested() && !stop.stop_requested();
}

}  // namespace zel
