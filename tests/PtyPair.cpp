#include "tests/PtyPair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace zel::test {

CPtyPair::CPtyPair() {
  char name[256] = {};
  if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  m_slavePath = name;
  termios tio{};
  ::tcgetattr(m_slave, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(m_slave, TCSANOW, &tio);
  ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
  // Programs the tests start hold neither end unless given it.
  for (int fd : {m_master, m_slave}) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

CPtyPair::~CPtyPair() {
  CloseMaster();
  if (m_slave >= 0) ::close(m_slave);
}

void CPtyPair::WriteMaster(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd pfd{m_master, POLLOUT, 0};
      ASSERT_GT(::poll(&pfd, 1, 10000), 0) << "the pty did not take the bytes";
    }
  }
}

std::vector<uint8_t> CPtyPair::ReadMaster(size_t count) {
  std::vector<uint8_t> out;
  while (out.size() < count) {
    pollfd pfd{m_master, POLLIN, 0};
    if (::poll(&pfd, 1, 10000) <= 0) {
      ADD_FAILURE() << "expected " << count << " bytes, got " << out.size();
      return out;
    }
    uint8_t buf[4096];
    const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, count - out.size()));
    if (n > 0) out.insert(out.end(), buf, buf + n);
  }
  return out;
}

std::vector<uint8_t> CPtyPair::DrainMaster() {
  std::vector<uint8_t> out;
  uint8_t buf[4096];
  ssize_t n;
  while ((n = ::read(m_master, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
  return out;
}

void CPtyPair::CloseMaster() {
  if (m_master >= 0) ::close(m_master);
  m_master = -1;
}

}  // namespace zel::test
