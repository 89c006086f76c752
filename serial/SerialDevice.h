// The serial device layer: exclusive opening by name, line settings, reads and writes bounded by millisecond
// time-outs, overlapped transfers and the transmit-empty event. Ports and the port probe reach devices only
// through this interface; each platform provides one implementation behind Create().
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
  IoPending,         // an overlapped operation was started and goes on
  IoIncomplete,      // an overlapped result was asked for before completion
  Gone,              // the device has disappeared (adapter pulled, hang-up)
  Cancelled,         // the calling worker was stopped or terminated, or CancelIo
  Busy,              // held by another open (this process or another)
  NotFound,          // no such device
  PermissionDenied,  // the user may not open it
  NotSerial,         // it opened, but it is no serial line
  Invalid,           // settings the device cannot take, or an operation on a closed device
  Failed,            // any other system error
};

// The record of one overlapped operation; the caller owns it until the
// operation completes or is cancelled.
struct COverlapped {
  enum class Op { None, Read, Write, WaitEvent };
  Op op = Op::None;
  bool pending = false;
  DeviceError result = DeviceError::None;
  uint8_t* readBuffer = nullptr;
  const uint8_t* writeBuffer = nullptr;
  uint32_t count = 0;
  uint32_t done = 0;
  uint32_t* events = nullptr;
  std::chrono::steady_clock::time_point start{};
  std::chrono::steady_clock::time_point lastByte{};
  // What the platform keeps for the operation (the system's own record);
  // it lives as long as the record.
  std::shared_ptr<void> platform;
};

class CSerialDevice {
 public:
  // A closed device of this platform.
  static std::unique_ptr<CSerialDevice> Create();
  // The system's name for a port name: "COM1".."COM8" on Linux are
  // /dev/ttyS0..7; anything else is used as it is.
  static std::string ResolveName(const std::string& name);

  virtual ~CSerialDevice() = default;

  // What ends the device's waits early, as Cancelled: the stop of the run
  // that uses it. Set it before the run's transfers.
  void SetStop(std::stop_token stop) { m_stop = std::move(stop); }

  // How transfers run on the system. Overlapped: several may be in flight
  // at once (a write while a line event is awaited). Blocking: one at a
  // time, in the calling thread, with the fewest system calls a transfer
  // can take; the overlapped forms complete at once on such a device.
  // Posix devices work the same either way.
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

  // The line as the device has it; what a device cannot report (a
  // pseudo-terminal's framing and modem lines) is reported as last set.
  virtual bool GetLine(CLineSettings& line) = 0;
  // Fails with Invalid, changing nothing, for settings the device cannot take.
  virtual bool SetLine(const CLineSettings& line) = 0;
  virtual bool SetTimeouts(const CLineTimeouts& timeouts) = 0;
  // The line_event bits that WaitCommEvent reports.
  virtual bool SetMask(uint32_t mask) = 0;

  // Blocking transfers. Read succeeds with read = 0 when the time-outs end
  // it before anything arrives; Write succeeds with what the time-outs let
  // through. Both end early, as Cancelled, when the stop is requested.
  virtual bool Read(void* buffer, uint32_t count, uint32_t& read) = 0;
  // Blocks, without a time-out, until a byte can be read; false when the
  // device is gone or the stop is requested first (LastError says which).
  // A worker waiting for a box that is still off sleeps here instead of
  // polling through short reads.
  virtual bool WaitReadable() = 0;
  virtual bool Write(const void* buffer, uint32_t count, uint32_t& written) = 0;

  // Overlapped transfers: true when completed at once; false with
  // LastError() IoPending when the operation goes on in ov.
  virtual bool ReadOverlapped(void* buffer, uint32_t count, COverlapped& ov) = 0;
  virtual bool WriteOverlapped(const void* buffer, uint32_t count, COverlapped& ov) = 0;
  // Waits for one of the masked events; line_event::kTransmitEmpty is reported once all
  // written bytes have left the device. With ov, a wait that cannot be
  // satisfied at once goes pending.
  virtual bool WaitCommEvent(uint32_t& events, COverlapped* ov) = 0;
  // Drives a pending operation for up to timeout; true once it completed.
  virtual bool WaitForCompletion(COverlapped& ov, std::chrono::milliseconds timeout) = 0;
  virtual bool GetOverlappedResult(COverlapped& ov, uint32_t& transferred, bool wait) = 0;
  // Ends a pending operation as cancelled.
  virtual void CancelIo(COverlapped& ov) = 0;

 protected:
  virtual bool OpenDevice(const std::string& name, IoMode mode) = 0;
  const std::stop_token& StopToken() const { return m_stop; }

 private:
  std::stop_token m_stop;
};

// The cause of a device failure; None for a cancelled or pending operation.
CFailureCause DeviceFailureCause(DeviceError error, std::string subject, std::string systemText);

}  // namespace zel
