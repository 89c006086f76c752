// The serial device layer: exclusive opening by name, line settings with
// the modem lines, reads and writes bounded by a time-out and the run's
// stop, the wait for input and the wait for the transmitter to drain. Ports
// and the port probe reach devices only through this interface; each
// platform provides one implementation behind Create().
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>

#include "run/FailureCause.h"
#include "serial/LineSettings.h"

namespace zel {

// Why the last operation failed.
enum class DeviceError {
  None,
  Gone,              // the device has disappeared (adapter pulled, hang-up)
  Cancelled,         // the calling worker was stopped or terminated
  Busy,              // held by another open (this process or another)
  NotFound,          // no such device
  PermissionDenied,  // the user may not open it
  NotSerial,         // it opened, but it is no serial line
  Invalid,           // settings the device cannot take, or an operation on a closed device
  Failed,            // any other system error
};

class CSerialDevice {
 public:
  using Timeout = std::chrono::milliseconds;
  // A wait that only data, the device's end or the stop ends.
  static constexpr Timeout kNoLimit = Timeout::max();

  // A closed device of this platform.
  static std::unique_ptr<CSerialDevice> Create();
  // The system's name for a port name: "COM1".."COM8" on Linux are
  // /dev/ttyS0..7; anything else is used as it is.
  static std::string ResolveName(const std::string& name);

  virtual ~CSerialDevice() = default;

  // What ends the device's waits early, as Cancelled: the stop of the run
  // that uses it. Set it before the run's transfers.
  void SetStop(std::stop_token stop) { m_stop = std::move(stop); }

  // How the system is to run transfers, where it has a choice (Windows):
  // Overlapped lets a wait for the transmitter run with a time-out and the
  // stop; Blocking costs the fewest system calls per transfer. A device
  // behaves the same either way.
  enum class IoMode { Overlapped, Blocking };

  // Opens exclusively: fails with Busy while another open holds the device.
  bool Open(const std::string& name, IoMode mode = IoMode::Overlapped) { return OpenDevice(name, mode); }
  virtual bool Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual DeviceError LastError() const = 0;
  // The system's own words for the last failure, empty when it has none.
  virtual std::string LastErrorText() const = 0;
  // True once the device has been seen gone; reset by Open.
  virtual bool IsGone() const = 0;

  // The line as the device has it, modem lines included; what a device
  // cannot report (a pseudo-terminal's framing and modem lines) is
  // reported as last set.
  virtual bool GetLine(CLineSettings& line) = 0;
  // Fails with Invalid, changing nothing, for settings the device cannot take.
  virtual bool SetLine(const CLineSettings& line) = 0;

  // Reads up to count bytes: waits up to timeout for the first, then takes
  // what else has arrived with it, without waiting. True with read = 0
  // when the time-out came first. Every transfer and wait ends early, as
  // Cancelled, once the stop is requested.
  virtual bool Read(void* buffer, uint32_t count, uint32_t& read, Timeout timeout) = 0;
  // Writes count bytes, waiting up to timeout for the line to take them;
  // true with written < count when the time-out cut it short.
  virtual bool Write(const void* buffer, uint32_t count, uint32_t& written, Timeout timeout) = 0;
  // Blocks until a byte can be read; false when the device is gone or the
  // stop is requested first (LastError says which). A worker waiting for a
  // box that is still off sleeps here.
  virtual bool WaitReadable() = 0;
  // Waits up to timeout until every byte written has left the device;
  // false, with LastError None, when the time-out came first.
  virtual bool Drain(Timeout timeout) = 0;

 protected:
  virtual bool OpenDevice(const std::string& name, IoMode mode) = 0;
  const std::stop_token& StopToken() const { return m_stop; }

 private:
  std::stop_token m_stop;
};

// The cause of a device failure; None for a cancelled or pending operation.
CFailureCause DeviceFailureCause(DeviceError error, std::string subject, std::string systemText);

}  // namespace zel
