// The Win32 comm API the ports and the boot engine are written against
// (time-outs as COMMTIMEOUTS has them, overlapped transfers, an event mask
// and its wait, overlapped results, cancels), built once over the serial
// device's reads, writes and drain. An overlapped operation goes on in its
// record and moves whenever the caller waits for it, on the caller's
// thread.
#pragma once

#include <chrono>
#include <cstdint>

#include "ports/CommRecords.h"
#include "serial/SerialDevice.h"

namespace zel {

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

class CCommHandle {
 public:
  explicit CCommHandle(CSerialDevice& device) : m_device(&device) {}
  void UseDevice(CSerialDevice& device) { m_device = &device; }

  bool GetLine(CLineSettings& line) { return m_device->GetLine(line); }
  bool SetLine(const CLineSettings& line) { return m_device->SetLine(line); }
  bool IsGone() const { return m_device->IsGone(); }
  DeviceError LastError() const { return m_device->LastError(); }
  std::string LastErrorText() const { return m_device->LastErrorText(); }

  // The time-outs of the transfers that follow, as COMMTIMEOUTS has them.
  void SetTimeouts(const CLineTimeouts& timeouts) { m_timeouts = timeouts; }
  // The EV_ bits that WaitCommEvent waits for; of them, this
  // handle reports EV_TXEMPTY.
  bool SetMask(uint32_t mask);

  // Blocking transfers, ended by the time-outs: Read succeeds with read = 0
  // when they end it before anything arrives, Write with what they let
  // through.
  bool Read(void* buffer, uint32_t count, uint32_t& read);
  bool Write(const void* buffer, uint32_t count, uint32_t& written);

  // Overlapped transfers: true when completed at once; false with
  // ov.pending when the operation goes on in ov, else it failed.
  bool ReadOverlapped(void* buffer, uint32_t count, COverlapped& ov);
  bool WriteOverlapped(const void* buffer, uint32_t count, COverlapped& ov);
  // Waits for one of the masked events; EV_TXEMPTY is
  // reported once all written bytes have left the device. With ov, a wait
  // that cannot be satisfied at once goes pending.
  bool WaitCommEvent(uint32_t& events, COverlapped* ov);
  // Moves a pending operation on for up to timeout; true once it ended.
  bool WaitForCompletion(COverlapped& ov, std::chrono::milliseconds timeout);
  // The count an operation moved; with wait, once it has ended. False when
  // it failed, or (without wait) while it is still pending.
  bool GetOverlappedResult(COverlapped& ov, uint32_t& transferred, bool wait);
  // Ends a pending operation as cancelled.
  void CancelIo(COverlapped& ov);

 private:
  using Clock = std::chrono::steady_clock;
  enum class Step { Complete, Incomplete, Failed };
  bool Start(COverlapped& ov);
  Step Drive(COverlapped& ov, Clock::time_point limit);
  Step DriveRead(COverlapped& ov, Clock::time_point limit);
  Step DriveWrite(COverlapped& ov, Clock::time_point limit);
  Step DriveEvent(COverlapped& ov, Clock::time_point limit);

  CSerialDevice* m_device;
  CLineTimeouts m_timeouts;
  uint32_t m_mask = 0;
};

}  // namespace zel
