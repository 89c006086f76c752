#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "serial/WakeSignal.h"

namespace zel {

CWakeSignal::CWakeSignal() : m_readFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_writeFd(m_readFd) {}

CWakeSignal::~CWakeSignal() {
  if (m_readFd >= 0) ::close(m_readFd);
}

void CWakeSignal::Raise() const {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(m_writeFd, &one, sizeof one);
}

void CWakeSignal::Clear() const {
  uint64_t count;
  [[maybe_unused]] ssize_t n = ::read(m_readFd, &count, sizeof count);
}

}  // namespace zel
