// The serial device layer over POSIX termios: exclusive opening by name,
// whole-record line settings, reads and writes bounded by millisecond
// time-outs, overlapped transfers and the transmit-empty event. Ports and
// the port probe reach devices only through this class. Pseudo-terminals
// work as devices, so the whole test suite runs on them.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "link/WinTypes.h"

namespace zel {

// Why the last operation failed.
enum class DeviceError {
  None,
  IoPending,     // an overlapped operation was started and goes on
  IoIncomplete,  // an overlapped result was asked for before completion
  Gone,          // the device has disappeared (adapter pulled, hang-up)
  Cancelled,     // the calling worker was terminated, or CancelIo was called
  Busy,          // held by another open (this process or another)
  NotFound,
  Invalid,  // settings the device cannot take, or an operation on a closed device
  Failed,   // any other system error
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
};

class CSerialDevice {
 public:
  using Clock = std::chrono::steady_clock;

  CSerialDevice();
  ~CSerialDevice();
  CSerialDevice(const CSerialDevice&) = delete;
  CSerialDevice& operator=(const CSerialDevice&) = delete;

  // "COM1" to "COM8" name /dev/ttyS0 to /dev/ttyS7; anything else is a path.
  static std::string ResolveName(const std::string& name);

  // Opens exclusively: fails with Busy while another open holds the device.
  bool Open(const std::string& name);
  bool Close();
  bool IsOpen() const { return m_fd >= 0; }
  DeviceError LastError() const { return m_lastError; }
  // True once the device has been seen gone; reset by Open.
  bool IsGone() const { return m_bGone; }

  bool GetState(DCB& dcb);
  bool SetState(const DCB& dcb);
  bool SetTimeouts(const COMMTIMEOUTS& timeouts);
  COMMTIMEOUTS GetTimeouts() const { return m_timeouts; }
  bool SetMask(uint32_t mask);
  uint32_t GetMask() const { return m_mask; }

  // Blocking transfers. Read succeeds with read = 0 when the time-outs end
  // it before anything arrives; Write succeeds with what the time-outs let
  // through.
  bool Read(void* buffer, uint32_t count, uint32_t& read);
  bool Write(const void* buffer, uint32_t count, uint32_t& written);

  // Overlapped transfers: true when completed at once; false with
  // LastError() IoPending when the operation goes on in ov.
  bool ReadOverlapped(void* buffer, uint32_t count, COverlapped& ov);
  bool WriteOverlapped(const void* buffer, uint32_t count, COverlapped& ov);
  // Waits for one of the masked events; EV_TXEMPTY is reported once all
  // written bytes have left the device. With ov, a wait that cannot be
  // satisfied at once goes pending.
  bool WaitCommEvent(uint32_t& events, COverlapped* ov);
  // Drives a pending operation for up to timeout; true once it completed.
  bool WaitForCompletion(COverlapped& ov, std::chrono::milliseconds timeout);
  bool GetOverlappedResult(COverlapped& ov, uint32_t& transferred, bool wait);
  // Ends a pending operation as cancelled.
  void CancelIo(COverlapped& ov);

  // Bytes received and not yet read (in the device and its buffer).
  uint32_t BytesWaiting();

 private:
  enum class Step { Complete, Incomplete, Failed };
  Step DriveRead(COverlapped& ov, Clock::time_point limit);
  Step DriveWrite(COverlapped& ov, Clock::time_point limit);
  Step DriveEvent(COverlapped& ov, Clock::time_point limit);
  Step Drive(COverlapped& ov, Clock::time_point limit);
  bool StartOverlapped(COverlapped& ov);
  // Waits for the descriptor (POLLIN or POLLOUT) until the deadline.
  // Returns false on time-out, cancellation or hang-up (LastError says).
  bool WaitReady(short events, Clock::time_point deadline, bool& timedOut);
  bool Fill();
  bool Fail(DeviceError error);
  bool OutputQueueEmpty();
  void ApplyModemLines(const DCB& dcb);

  int m_fd = -1;
  int m_wakeFd = -1;
  DeviceError m_lastError = DeviceError::None;
  bool m_bGone = false;
  bool m_bFramingVirtual = false;  // the driver ignores size and parity
  DCB m_shadow;
  COMMTIMEOUTS m_timeouts;
  uint32_t m_mask = 0;
  std::vector<uint8_t> m_rx;
  size_t m_rxHead = 0;
};

}  // namespace zel
