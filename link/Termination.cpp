#include "link/Termination.h"

#include <condition_variable>
#include <mutex>

namespace zel {
namespace {
thread_local std::stop_token t_currentToken;
}

std::stop_token CurrentThreadToken() { return t_currentToken; }

CThreadTokenScope::CThreadTokenScope(std::stop_token token) : m_previous(t_currentToken) {
  t_currentToken = std::move(token);
}

CThreadTokenScope::~CThreadTokenScope() { t_currentToken = m_previous; }

bool InterruptibleSleep(std::chrono::milliseconds duration) {
  std::mutex mutex;
  std::condition_variable_any cv;
  std::unique_lock lock(mutex);
  std::stop_token token = CurrentThreadToken();
  cv.wait_for(lock, token, duration, [] { return false; });
  return !token.stop_requested();
}

}  // namespace zel
