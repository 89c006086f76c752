// Waits on a condition variable that a worker's stop or terminate also
// ends. The wait looks at its tokens every few milliseconds rather than
// registering a stop callback: taking a callback back while another thread
// runs it waits on an atomic that some runtimes (MinGW's GCC 12) can fail
// to wake.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>

namespace zel {

// How long a stop can go unnoticed by a wait.
constexpr auto kStopRecheck = std::chrono::milliseconds(10);

// With lock held: waits until done() holds, either token is stopped, or
// the deadline passes; returns done() as it is at the end, lock held.
template <typename Done>
bool StoppableWait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, Done done,
                   const std::stop_token& first, const std::stop_token& second = {},
                   std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt) {
  using Clock = std::chrono::steady_clock;
  while (!done() && !first.stop_requested() && !second.stop_requested()) {
    const auto now = Clock::now();
    if (deadline && now >= *deadline) break;
    cv.wait_until(lock, deadline ? std::min(*deadline, now + kStopRecheck) : now + kStopRecheck);
  }
  return done();
}

}  // namespace zel
