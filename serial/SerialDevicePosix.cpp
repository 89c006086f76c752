// The serial device over POSIX termios. Pseudo-terminals work as devices,
// so the whole test suite runs on them. What goes beyond POSIX is asked of
// the system's own file (SerialSystem.h) or kept under #ifdef.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stop_token>
#include <vector>

#include "serial/PortList.h"
#include "serial/SerialDevice.h"
#include "serial/SerialSystem.h"
#include "serial/WakeSignal.h"

namespace zel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr size_t kRxChunk = 4096;

struct BaudPair {
  uint32_t rate;
  speed_t code;
};
constexpr BaudPair kBauds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},
#ifdef B4000000  // the speeds past 230400 that Linux names
    {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
#endif
};

// Mark and space parity, where the system has them.
#ifdef CMSPAR
constexpr tcflag_t kStickParity = CMSPAR;
#else
constexpr tcflag_t kStickParity = 0;
#endif

bool BaudToCode(uint32_t rate, speed_t& code) {
  for (const auto& b : kBauds)
    if (b.rate == rate) {
      code = b.code;
      return true;
    }
  return false;
}

uint32_t CodeToBaud(speed_t code) {
  for (const auto& b : kBauds)
    if (b.code == code) return b.rate;
  return 0;
}

DeviceError ErrnoToError(int err) {
  switch (err) {
    case EIO:
    case ENXIO:
    case ENODEV:
    case EPIPE: return DeviceError::Gone;
    case ENOENT: return DeviceError::NotFound;
    case EBUSY:
    case EWOULDBLOCK: return DeviceError::Busy;
    case EACCES:
    case EPERM: return DeviceError::PermissionDenied;
    case ENOTTY: return DeviceError::NotSerial;
    case EINVAL: return DeviceError::Invalid;
    default: return DeviceError::Failed;
  }
}

// Character size and parity bits for validated settings.
tcflag_t FramingBits(const CLineSettings& line) {
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  tcflag_t bits = kSizes[std::clamp<int>(line.dataBits, 5, 8) - 5];
  switch (line.parity) {
    case Parity::Odd: bits |= PARENB | PARODD; break;
    case Parity::Even: bits |= PARENB; break;
    case Parity::Mark: bits |= PARENB | kStickParity | PARODD; break;
    case Parity::Space: bits |= PARENB | kStickParity; break;
    default: break;
  }
  return bits;
}

bool Valid(const CLineSettings& line, speed_t& speed) {
  return BaudToCode(line.baud, speed) && IsValidLine(line);
}

// A pseudo-terminal has no modem lines and refuses their requests with
// these; any other failure is the device's.
bool NoModemLines(int err) { return err == ENOTTY || err == EINVAL; }

Clock::time_point Deadline(CSerialDevice::Timeout timeout) {
  if (timeout == CSerialDevice::kNoLimit) return Clock::time_point::max();
  return Clock::now() + std::min(timeout, CSerialDevice::Timeout(int64_t{1} << 40));
}

}  // namespace

class CPosixSerialDevice final : public CSerialDevice {
 public:
  CPosixSerialDevice();
  ~CPosixSerialDevice() override;
  CPosixSerialDevice(const CPosixSerialDevice&) = delete;
  CPosixSerialDevice& operator=(const CPosixSerialDevice&) = delete;

  bool OpenDevice(const std::string& name, IoMode mode) override;
  bool Close() override;
  bool IsOpen() const override { return m_fd >= 0; }
  DeviceError LastError() const override { return m_lastError; }
  std::string LastErrorText() const override { return m_lastErrorText; }
  bool IsGone() const override { return m_bGone; }
  bool GetLine(CLineSettings& line) override;
  bool SetLine(const CLineSettings& line) override;
  bool Read(void* buffer, uint32_t count, uint32_t& read, Timeout timeout) override;
  bool Write(const void* buffer, uint32_t count, uint32_t& written, Timeout timeout) override;
  bool WaitReadable() override;
  bool Drain(Timeout timeout) override;

 private:
  // Waits for the descriptor (POLLIN or POLLOUT) until the deadline.
  // Returns false on time-out, stop, termination or hang-up (LastError says).
  bool WaitReady(short events, Clock::time_point deadline, bool& timedOut);
  bool Fill();
  bool Fail(DeviceError error, int err = 0);
  bool FailErrno(int err) { return Fail(ErrnoToError(err), err); }
  // The bytes in a queue of the driver's (FIONREAD, TIOCOUTQ); false when
  // the request says the device is gone.
  bool QueueCount(unsigned long request, int& count);
  bool ApplyModemLines(const CLineSettings& line);

  int m_fd = -1;
  CWakeSignal m_wake;  // raised by the run's stop
  DeviceError m_lastError = DeviceError::None;
  std::string m_lastErrorText;
  bool m_bGone = false;
  bool m_bFramingVirtual = false;  // the driver ignores size and parity
  bool m_bLowLatencySet = false;   // Open asked for low latency, Close undoes it
  termios m_savedLine{};           // the line as Open found it, for Close to give back
  bool m_bSavedLine = false;
  CLineSettings m_shadow;  // what was last set, for what termios does not hold
  std::vector<uint8_t> m_rx;
  size_t m_rxHead = 0;
};

std::unique_ptr<CSerialDevice> CSerialDevice::Create() { return std::make_unique<CPosixSerialDevice>(); }

CPosixSerialDevice::CPosixSerialDevice() = default;

CPosixSerialDevice::~CPosixSerialDevice() { Close(); }

std::string CSerialDevice::ResolveName(const std::string& name) {
  // COM names are the platform's, in any case: "com1" is COM1.
  const bool com = name.size() == 4 && (name[0] == 'C' || name[0] == 'c') &&
                   (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm');
  if (com && name[3] >= '1' && name[3] <= '8')
    return "/dev/ttyS" + std::string(1, static_cast<char>(name[3] - 1));
  return name;
}

bool CPosixSerialDevice::Fail(DeviceError error, int err) {
  m_lastError = error;
  m_lastErrorText = err != 0 ? std::strerror(err) : std::string();
  if (error == DeviceError::Gone) m_bGone = true;
  return false;
}

bool CPosixSerialDevice::OpenDevice(const std::string& name, IoMode /*mode*/) {
  if (IsOpen()) return Fail(DeviceError::Busy);
  const std::string path = ResolveName(name);
  if (path.empty()) return Fail(DeviceError::NotFound);
  // Another program with the port open (a terminal, cat, ModemManager)
  // would take the box's frames, and TIOCEXCL only keeps out those that
  // come later: such a port is refused, and the holder named. This comes
  // before the open, which raises DTR and RTS: a refused port, and a box
  // that resets on RTS, see no pulse from the checks.
  std::error_code canonicalError;
  const std::string device = std::filesystem::canonical(path, canonicalError).string();
  if (!canonicalError && serial_system::MayBeTerminal(device)) {
    std::string holder = FindPortHolder(device);
    if (holder.empty()) {
      if (const std::string locker = FindLockHolder(device, path); !locker.empty())
        holder = locker + ", by its lock file,";
    }
    if (!holder.empty()) {
      Fail(DeviceError::Busy);
      m_lastErrorText = holder + " has it open";
      return false;
    }
  }
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FailErrno(errno);
  // flock covers other opens in this process and in other copies of the
  // tool; TIOCEXCL keeps other programs away where the driver supports it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    return Fail(DeviceError::Busy, err);
  }
  ::ioctl(fd, TIOCEXCL);
  // The line as the port was, given back at the close: a later program
  // finds the port as it left it, not raw at the box's speed.
  m_bSavedLine = ::tcgetattr(fd, &m_savedLine) == 0;
  // A USB adapter holds a short reply until its latency timer ticks.
  m_bLowLatencySet = serial_system::SetLowLatency(fd);
  m_fd = fd;
  m_bGone = false;
  m_bFramingVirtual = false;
  m_shadow = CLineSettings{};
  m_rx.clear();
  m_rxHead = 0;
  m_lastError = DeviceError::None;
  return true;
}

bool CPosixSerialDevice::Close() {
  if (!IsOpen()) return true;
  if (m_bSavedLine) ::tcsetattr(m_fd, TCSANOW, &m_savedLine);
  m_bSavedLine = false;
  ::ioctl(m_fd, TIOCNXCL);
  if (m_bLowLatencySet) serial_system::UndoLowLatency(m_fd);
  m_bLowLatencySet = false;
  const int rc = ::close(m_fd);
  m_fd = -1;
  m_rx.clear();
  m_rxHead = 0;
  if (rc != 0 && errno != EINTR) return FailErrno(errno);
  return true;
}

bool CPosixSerialDevice::GetLine(CLineSettings& line) {
  if (!IsOpen()) return Fail(DeviceError::Invalid);
  termios tio{};
  if (::tcgetattr(m_fd, &tio) != 0) return FailErrno(errno);
  CLineSettings state = m_shadow;
  state.baud = CodeToBaud(::cfgetospeed(&tio));
  if (m_bFramingVirtual)
    tio.c_cflag = (tio.c_cflag & ~(CSIZE | PARENB | PARODD | kStickParity)) | FramingBits(m_shadow);
  switch (tio.c_cflag & CSIZE) {
    case CS5: state.dataBits = 5; break;
    case CS6: state.dataBits = 6; break;
    case CS7: state.dataBits = 7; break;
    default: state.dataBits = 8; break;
  }
  if (!(tio.c_cflag & PARENB))
    state.parity = Parity::None;
  else if (tio.c_cflag & kStickParity)
    state.parity = (tio.c_cflag & PARODD) ? Parity::Mark : Parity::Space;
  else
    state.parity = (tio.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
  if (!(tio.c_cflag & CSTOPB))
    state.stopBits = StopBits::One;
  else if (state.stopBits != StopBits::OneAndHalf)
    state.stopBits = StopBits::Two;
  const bool hardwareFlow = (tio.c_cflag & CRTSCTS) != 0;
  state.ctsFlow = hardwareFlow;
  if (hardwareFlow)
    state.rts = LineControl::Handshake;
  else if (state.rts == LineControl::Handshake)
    state.rts = LineControl::On;
  state.xonXoffOut = (tio.c_iflag & IXON) != 0;
  state.xonXoffIn = (tio.c_iflag & IXOFF) != 0;
  state.checkParity = (tio.c_iflag & INPCK) != 0;
  state.xonChar = static_cast<char>(tio.c_cc[VSTART]);
  state.xoffChar = static_cast<char>(tio.c_cc[VSTOP]);
  // The modem lines, where the driver has them (a pseudo-terminal does not).
  int lines = 0;
  const bool haveLines = ::ioctl(m_fd, TIOCMGET, &lines) == 0;
  if (!haveLines && !NoModemLines(errno)) return FailErrno(errno);
  if (haveLines) {
    if (state.dtr != LineControl::Handshake)
      state.dtr = (lines & TIOCM_DTR) ? LineControl::On : LineControl::Off;
    if (!hardwareFlow && state.rts != LineControl::Toggle)
      state.rts = (lines & TIOCM_RTS) ? LineControl::On : LineControl::Off;
  }
  line = state;
  return true;
}

bool CPosixSerialDevice::SetLine(const CLineSettings& line) {
  if (!IsOpen()) return Fail(DeviceError::Invalid);
  speed_t speed;
  if (!Valid(line, speed)) return Fail(DeviceError::Invalid);
  termios tio{};
  if (::tcgetattr(m_fd, &tio) != 0) return FailErrno(errno);
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | kStickParity | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag |= FramingBits(line);
  if (line.stopBits != StopBits::One) tio.c_cflag |= CSTOPB;
  if (line.ctsFlow || line.rts == LineControl::Handshake) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  if (line.xonXoffOut) tio.c_iflag |= IXON;
  if (line.xonXoffIn) tio.c_iflag |= IXOFF;
  if (line.checkParity) tio.c_iflag |= INPCK;
  if (line.xonChar != 0) tio.c_cc[VSTART] = static_cast<cc_t>(line.xonChar);
  if (line.xoffChar != 0) tio.c_cc[VSTOP] = static_cast<cc_t>(line.xoffChar);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) return FailErrno(errno);
  termios check{};
  if (::tcgetattr(m_fd, &check) != 0) return FailErrno(errno);
  if (::cfgetospeed(&check) != speed) return Fail(DeviceError::Invalid);
  // A pseudo-terminal has no framing and keeps 8 bits without parity
  // whatever it is told; what was asked for is what it reports then.
  m_bFramingVirtual = (check.c_cflag & (CSIZE | PARENB | PARODD | kStickParity)) !=
                      (tio.c_cflag & (CSIZE | PARENB | PARODD | kStickParity));
  m_shadow = line;
  return ApplyModemLines(line);
}

bool CPosixSerialDevice::ApplyModemLines(const CLineSettings& line) {
  int dtr = TIOCM_DTR;
  if (::ioctl(m_fd, line.dtr == LineControl::Off ? TIOCMBIC : TIOCMBIS, &dtr) != 0 && !NoModemLines(errno))
    return FailErrno(errno);
  if (line.rts != LineControl::Handshake) {
    int rts = TIOCM_RTS;
    if (::ioctl(m_fd, line.rts == LineControl::Off ? TIOCMBIC : TIOCMBIS, &rts) != 0 && !NoModemLines(errno))
      return FailErrno(errno);
  }
  return true;
}

bool CPosixSerialDevice::WaitReady(short events, Clock::time_point deadline, bool& timedOut) {
  timedOut = false;
  const std::stop_token& stop = StopToken();
  auto cancelled = [&] { return stop.stop_requested(); };
  if (cancelled()) return Fail(DeviceError::Cancelled);
  std::stop_callback wakeOnStop(stop, [this] { m_wake.Raise(); });
  for (;;) {
    int timeoutMs = -1;
    if (deadline != Clock::time_point::max()) {
      const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
      timeoutMs = static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX));
    }
    pollfd fds[2] = {{m_fd, events, 0}, {m_wake.Fd(), POLLIN, 0}};
    const int rc = ::poll(fds, 2, timeoutMs);
    if (rc < 0) {
      if (errno == EINTR) continue;
      return FailErrno(errno);
    }
    if (fds[1].revents & POLLIN) {
      m_wake.Clear();
      if (cancelled()) return Fail(DeviceError::Cancelled);
    }
    if (fds[0].revents & POLLNVAL) return Fail(DeviceError::Gone);
    if (fds[0].revents & events) return true;
    if (fds[0].revents & (POLLHUP | POLLERR)) return Fail(DeviceError::Gone);
    if (rc == 0) {
      timedOut = true;
      return false;
    }
  }
}

bool CPosixSerialDevice::Fill() {
  if (m_rxHead == m_rx.size()) {
    m_rx.clear();
    m_rxHead = 0;
  }
  const size_t old = m_rx.size();
  m_rx.resize(old + kRxChunk);
  const ssize_t n = ::read(m_fd, m_rx.data() + old, kRxChunk);
  m_rx.resize(old + static_cast<size_t>(std::max<ssize_t>(n, 0)));
  if (n > 0) return true;
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  // Readable but nothing to read: the line has hung up.
  return Fail(n == 0 ? DeviceError::Gone : ErrnoToError(errno));
}

bool CPosixSerialDevice::QueueCount(unsigned long request, int& count) {
  count = 0;
  if (::ioctl(m_fd, request, &count) == 0) return true;
  const int err = errno;
  count = 0;
  // A driver without the request is no failure; one whose hardware went
  // away answers EIO.
  return ErrnoToError(err) == DeviceError::Gone ? FailErrno(err) : true;
}

bool CPosixSerialDevice::WaitReadable() {
  if (!IsOpen()) return Fail(DeviceError::Invalid);
  if (m_rxHead < m_rx.size()) return true;
  bool timedOut = false;
  return WaitReady(POLLIN, Clock::time_point::max(), timedOut);
}

bool CPosixSerialDevice::Read(void* buffer, uint32_t count, uint32_t& read, Timeout timeout) {
  read = 0;
  if (!IsOpen()) return Fail(DeviceError::Invalid);
  Clock::time_point deadline{};  // taken once the read has to wait
  for (;;) {
    const size_t available = m_rx.size() - m_rxHead;
    if (available > 0 || count == 0) {
      const size_t take = std::min<size_t>(available, count);
      std::copy_n(m_rx.data() + m_rxHead, take, static_cast<uint8_t*>(buffer));
      m_rxHead += take;
      read = static_cast<uint32_t>(take);
      return true;
    }
    // Take what has arrived by the deadline before ending the read.
    if (deadline == Clock::time_point{}) deadline = Deadline(timeout);
    bool timedOut = false;
    if (!WaitReady(POLLIN, deadline, timedOut)) return timedOut;
    if (!Fill()) return false;
  }
}

bool CPosixSerialDevice::Write(const void* buffer, uint32_t count, uint32_t& written, Timeout timeout) {
  written = 0;
  if (!IsOpen()) return Fail(DeviceError::Invalid);
  const Clock::time_point deadline = Deadline(timeout);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  while (written < count) {
    const ssize_t n = ::write(m_fd, bytes + written, count - written);
    if (n > 0) {
      written += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return FailErrno(errno);
    bool timedOut = false;
    if (!WaitReady(POLLOUT, deadline, timedOut)) return timedOut;  // cut short by the time-out
  }
  return true;
}

bool CPosixSerialDevice::Drain(Timeout timeout) {
  if (!IsOpen()) return Fail(DeviceError::Invalid);
  const Clock::time_point deadline = Deadline(timeout);
  m_lastError = DeviceError::None;
  for (;;) {
    int queued = 0;
    if (!QueueCount(TIOCOUTQ, queued)) return false;
    if (queued <= 0) {
      ::tcdrain(m_fd);  // at most the character in the shift register
      return true;
    }
    const auto now = Clock::now();
    if (now >= deadline) return false;
    // The output queue has no readiness event of its own: look again
    // every millisecond. Bytes that arrive meanwhile are kept for reading.
    bool timedOut = false;
    if (!WaitReady(POLLIN, std::min(deadline, now + milliseconds(1)), timedOut) && !timedOut) return false;
    if (!timedOut && !Fill()) return false;
  }
}

}  // namespace zel
