#include "run/StoppableWait.h"

namespace zel {

// The condition variable's own stop-token wait: it blocks until notified,
// stopped or at the deadline, and wakes for nothing else.
bool StoppableWait(std::unique_lock<std::mutex>& lock, std::condition_variable_any& cv,
                   const std::function<bool()>& done, const std::stop_token& token, WaitDeadline deadline) {
  if (deadline) return cv.wait_until(lock, token, *deadline, done);
  return cv.wait(lock, token, done);
}

}  // namespace zel
