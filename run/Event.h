// An event object with the platform's two kinds: a manual-reset event stays
// signalled until Reset; an auto-reset event releases one wait and clears.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>

namespace zel {

class CEvent {
 public:
  enum class Kind { ManualReset, AutoReset };
  explicit CEvent(Kind kind, bool initiallySet = false);

  void Set();
  void Reset();
  // Polls without waiting. For an auto-reset event a signalled state is
  // consumed, as a wait with a zero time-out would.
  bool TryWait();
  // Waits until signalled, the time-out passes (none: no limit) or token
  // is stopped. True only when the event was signalled.
  bool Wait(const std::stop_token& token, std::optional<std::chrono::milliseconds> timeout = std::nullopt);

 private:
  const Kind m_kind;
  std::mutex m_mutex;
  std::condition_variable_any m_cv;
  bool m_bSet;
};

}  // namespace zel
