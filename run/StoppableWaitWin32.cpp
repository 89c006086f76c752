#include <algorithm>

#include "run/StoppableWait.h"

namespace zel {
namespace {

// How long a stop can go unnoticed by a wait.
constexpr auto kStopRecheck = std::chrono::milliseconds(10);

}  // namespace

// MinGW's GCC 12 runtime can fail to wake the atomic wait with which a
// stop callback is taken back while another thread runs it, and the
// condition variable's stop-token wait registers such a callback. Here the
// wait looks at its token every few milliseconds instead.
bool StoppableWait(std::unique_lock<std::mutex>& lock, std::condition_variable_any& cv,
                   const std::function<bool()>& done, const std::stop_token& token, WaitDeadline deadline) {
  using Clock = std::chrono::steady_clock;
  while (!done() && !token.stop_requested()) {
    const auto now = Clock::now();
    if (deadline && now >= *deadline) break;
    cv.wait_until(lock, deadline ? std::min(*deadline, now + kStopRecheck) : now + kStopRecheck);
  }
  return done();
}

}  // namespace zel
