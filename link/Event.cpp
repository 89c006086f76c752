#include "link/Event.h"

#include "link/Termination.h"

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

bool CEvent::Wait(std::optional<std::chrono::milliseconds> timeout) {
  std::unique_lock lock(m_mutex);
  std::stop_token token = CurrentThreadToken();
  auto isSet = [this] { return m_bSet; };
  const bool signalled =
      timeout ? m_cv.wait_for(lock, token, *timeout, isSet) : m_cv.wait(lock, token, isSet);
  if (signalled && m_kind == Kind::AutoReset) m_bSet = false;
  return signalled;
}

}  // namespace zel
