#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "serial/SerialSystem.h"

namespace zel::serial_system {

// A character device that sysfs files under the tty class, or does not
// know (a pseudo-terminal's slave).
bool MayBeTerminal(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const std::string entry =
      "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  std::error_code ec;
  const auto subsystem = std::filesystem::read_symlink(entry + "/subsystem", ec);
  return ec || subsystem.filename() == "tty";
}

// An FTDI adapter holds a short reply for 16 ms; low latency asks the
// driver for 1 ms. Drivers without the request (a pseudo-terminal) refuse
// it, and nothing changes.
bool SetLowLatency(int fd) {
  serial_struct serial{};
  if (::ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY)) return false;
  serial.flags |= ASYNC_LOW_LATENCY;
  return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

void UndoLowLatency(int fd) {
  serial_struct serial{};
  if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  serial.flags &= ~ASYNC_LOW_LATENCY;  // as the port was before
  ::ioctl(fd, TIOCSSERIAL, &serial);
}

}  // namespace zel::serial_system
