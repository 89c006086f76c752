#include <fcntl.h>
#include <unistd.h>

#include "serial/WakeSignal.h"

namespace zel {

CWakeSignal::CWakeSignal() {
  int fds[2];
  if (::pipe(fds) != 0) return;
  for (int fd : fds) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  m_readFd = fds[0];
  m_writeFd = fds[1];
}

CWakeSignal::~CWakeSignal() {
  if (m_readFd >= 0) ::close(m_readFd);
  if (m_writeFd >= 0) ::close(m_writeFd);
}

void CWakeSignal::Raise() const {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(m_writeFd, &byte, 1);  // a full pipe is readable already
}

void CWakeSignal::Clear() const {
  char bytes[64];
  while (::read(m_readFd, bytes, sizeof bytes) > 0) {
  }
}

}  // namespace zel
