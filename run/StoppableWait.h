// Waits that a stop token ends. Every wait of a worker takes the token of
// what may end it, explicitly: the run's stop, or the worker's terminate.
// Each platform waits its own way (StoppableWaitPosix.cpp,
// StoppableWaitWin32.cpp).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>

namespace zel {

using WaitDeadline = std::optional<std::chrono::steady_clock::time_point>;

// With lock held: waits on cv until done() holds, token is stopped, or the
// deadline passes; returns done() as it is at the end, lock held. Whoever
// makes done() true notifies cv.
bool StoppableWait(std::unique_lock<std::mutex>& lock, std::condition_variable_any& cv,
                   const std::function<bool()>& done, const std::stop_token& token,
                   WaitDeadline deadline = std::nullopt);

// Sleeps for duration; false, at once, when token is stopped.
bool InterruptibleSleep(std::chrono::milliseconds duration, const std::stop_token& token);

}  // namespace zel
