// The serial ports present, listed without opening any of them: opening a
// real UART raises DTR and RTS and can reset the board behind it. Each
// platform lists its own way (sysfs and /proc on Linux).
#pragma once

#include <string>
#include <vector>

namespace zel {

struct CPortInfo {
  // What to pass as the port: the by-id link of an adapter with a serial
  // number; else the by-path link, which follows the socket (adapters
  // without a serial number share one by-id name); else the device.
  std::string name;
  std::string byPath;  // the /dev/serial/by-path link, where there is one
  std::string device;  // the device node, e.g. /dev/ttyUSB0
  std::string vidPid;  // USB "0403:6001", where the port is on USB
  std::string manufacturer;
  std::string product;
  std::string serial;
  std::string heldBy;             // the program holding the port ("minicom (pid 4711)"); empty when free
  bool busy = false;              // another process has it open
  bool permissionDenied = false;  // this user may not open it
  int latencyTimerMs = -1;        // a USB adapter's latency timer where its driver shows it (FTDI)
};

// Who made the adapter and what it is, as a person reads it: "FTDI FT232R
// USB UART"; empty when the listing knows neither.
inline std::string DescribeAdapter(const CPortInfo& port) {
  if (port.manufacturer.empty() || port.product.empty()) return port.manufacturer + port.product;
  return port.manufacturer + " " + port.product;
}

// Where the listing looks; tests point it at a tree of their own.
struct CPortListSources {
  std::string sysClassTty = "/sys/class/tty";
  std::string devDirectory = "/dev";
  std::string byIdDirectory = "/dev/serial/by-id";
  std::string byPathDirectory = "/dev/serial/by-path";
  std::string procDirectory = "/proc";
};

// Serial ports with a device behind them, in order of device name.
std::vector<CPortInfo> ListSerialPorts(const CPortListSources& sources = {});

// The program that holds device open, as "name (pid N)"; empty when none
// is found.
std::string FindPortHolder(const std::string& device, const std::string& procDirectory = "/proc");

// The program that holds a live UUCP lock file on device (minicom and other
// terminal programs leave /run/lock/LCK..ttyUSB0), as "name (pid N)", the
// lock taken under the device's name or under the name typed (a link's);
// empty when there is none or its process has gone.
std::string FindLockHolder(const std::string& device, const std::string& typedName = {},
                           const std::string& procDirectory = "/proc");

// The group that may open device (dialout for most serial ports, tty for
// some), for the hint to a user who may not; empty where there is none.
std::string DeviceGroup(const std::string& device);

// Whether the window may open device to see if it can be used. Opening a
// UART raises DTR and RTS, so on Linux a kernel serial port's state comes
// from the listing instead; on Windows the dialog opens its COM ports, as
// it always has.
bool MayOpenToProbe(const std::string& device, const CPortListSources& sources = {});

// True when the serial device asks the driver for the lowest latency
// itself while a port is open (Linux: ASYNC_LOW_LATENCY); on Windows the
// FTDI driver's latency timer is the user's to set.
bool LowersLatencyItself();

// True when a program of this name runs (brltty, which takes CH340
// adapters for braille displays).
bool IsProgramRunning(const std::string& name, const std::string& procDirectory = "/proc");

}  // namespace zel
