#include "sim/PtyLine.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace zel::sim {

CPtyLine::CPtyLine() {
  char name[256] = {};
  if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  m_port = name;
  termios tio{};
  ::tcgetattr(m_slave, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(m_slave, TCSANOW, &tio);
  ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
  for (int fd : {m_master, m_slave}) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

CPtyLine::~CPtyLine() {
  CloseMaster();
  CloseSlave();
}

int CPtyLine::ReleaseMaster() {
  const int master = m_master;
  m_master = -1;
  return master;
}

void CPtyLine::CloseMaster() {
  if (m_master >= 0) ::close(m_master);
  m_master = -1;
}

void CPtyLine::CloseSlave() {
  if (m_slave >= 0) ::close(m_slave);
  m_slave = -1;
}

bool CPtyLine::WriteMaster(const std::vector<uint8_t>& bytes, int timeoutMs) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    pollfd pfd{m_master, POLLOUT, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0) return false;
  }
  return true;
}

std::vector<uint8_t> CPtyLine::ReadMaster(size_t count, int timeoutMs) {
  std::vector<uint8_t> out;
  while (out.size() < count) {
    pollfd pfd{m_master, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0) break;
    uint8_t buf[4096];
    const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, count - out.size()));
    if (n > 0) out.insert(out.end(), buf, buf + n);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
  }
  return out;
}

std::vector<uint8_t> CPtyLine::DrainMaster() {
  std::vector<uint8_t> out;
  uint8_t buf[4096];
  ssize_t n;
  while ((n = ::read(m_master, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
  return out;
}

}  // namespace zel::sim
