#include "cli/Hints.h"

#include <filesystem>

#include "serial/PortList.h"
#include "serial/SerialDevice.h"

namespace zel::cli {

std::string HintFor(const CFailureCause& cause) {
  switch (cause.kind) {
    case CauseKind::PermissionDenied: {
      if (cause.subject.rfind("/dev/", 0) != 0 && cause.subject.rfind("COM", 0) != 0) return {};
      // The device's own group: dialout for most ports, tty for some.
      std::string group = DeviceGroup(CSerialDevice::ResolveName(cause.subject));
      if (group.empty() || group == "root") group = "dialout";
      return "Hint: add your user to the " + group + " group (sudo usermod -aG " + group +
             " $USER), then log in again.";
    }
    case CauseKind::Busy: {
      std::error_code ec;
      const std::string device =
          std::filesystem::canonical(CSerialDevice::ResolveName(cause.subject), ec).string();
      const std::string holder = ec ? std::string() : FindPortHolder(device);
      if (holder.empty()) return "Hint: close the program that uses " + cause.subject + ".";
      if (holder.rfind("ModemManager ", 0) == 0)
        return "Hint: ModemManager probes new ports for a few seconds; try again, or have it leave the "
               "adapter "
               "alone (ID_MM_DEVICE_IGNORE=1 in a udev rule).";
      return "Hint: " + holder + " holds " + cause.subject + ".";
    }
    case CauseKind::NotFound:
      if (cause.subject.rfind("/dev/", 0) != 0 && cause.subject.rfind("COM", 0) != 0) return {};
      if (cause.subject.rfind("/dev/ttyUSB", 0) == 0 && IsProgramRunning("brltty"))
        return "Hint: brltty runs and takes CH340 adapters (1a86:7523) for braille displays: remove it, or "
               "disable its udev rule.";
      return "Hint: boxfeed ports lists the serial ports present.";
    default: return {};
  }
}

}  // namespace zel::cli
