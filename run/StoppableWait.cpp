#include "run/StoppableWait.h"

namespace zel {

bool InterruptibleSleep(std::chrono::milliseconds duration, const std::stop_token& token) {
  std::mutex mutex;
  std::condition_variable_any cv;
  std::unique_lock lock(mutex);
  StoppableWait(
      lock, cv, [] { return false; }, token, std::chrono::steady_clock::now() + duration);
  return !token.stop_requested();
}

}  // namespace zel
