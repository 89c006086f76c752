#include "run/Event.h"

#include "run/StoppableWait.h"

namespace zel {

CEvent::CEvent(Kind kind, bool initiallySet) : m_kind(kind), m_bSet(initiallySet) {}

void CEvent::Set() {
  {
    std::lock_guard lock(m_mutex);
    m_bSet = true;
  }
  m_cv.notify_all();
}

void CEvent::Reset() {
  std::lock_guard lock(m_mutex);
  m_bSet = false;
}

bool CEvent::TryWait() {
  std::lock_guard lock(m_mutex);
  const bool wasSet = m_bSet;
  if (m_kind == Kind::AutoReset) m_bSet = false;
  return wasSet;
}

bool CEvent::Wait(const std::stop_token& token, std::optional<std::chrono::milliseconds> timeout) {
  std::unique_lock lock(m_mutex);
  WaitDeadline deadline;
  if (timeout) deadline = std::chrono::steady_clock::now() + *timeout;
  const bool signalled = StoppableWait(
      lock, m_cv, [this] { return m_bSet; }, token, deadline);
  if (signalled && m_kind == Kind::AutoReset) m_bSet = false;
  return signalled;
}

}  // namespace zel
