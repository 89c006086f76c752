// A serial device that opens and takes its settings, then fails every
// transfer with one error: what a port looks like once its USB adapter has
// been pulled, or its driver has given up on it. An engine opens it
// once given it with UseDevice.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "serial/SerialDevice.h"

namespace zel::test {

class CFailingDevice final : public CSerialDevice {
 public:
  static inline std::atomic<DeviceError> failWith{DeviceError::Gone};
  static inline std::atomic<int> transfers{0};  // failed transfers and waits, all devices
  // Called once, on the transferring thread, when the transfers pass
  // kSpinning: a caller that tries again for ever. Tests stop the run there.
  static constexpr int kSpinning = 50;
  static inline std::function<void()> onSpinning;

  bool OpenDevice(const std::string&, IoMode) override { return m_open = true; }
  bool Close() override {
    m_open = false;
    return true;
  }
  bool IsOpen() const override { return m_open; }
  DeviceError LastError() const override { return m_error; }
  std::string LastErrorText() const override { return "the adapter does not answer"; }
  bool IsGone() const override { return m_error == DeviceError::Gone; }
  bool GetLine(CLineSettings& line) override {
    line = m_line;
    return true;
  }
  bool SetLine(const CLineSettings& line) override {
    m_line = line;
    return true;
  }
  bool SetTimeouts(const CLineTimeouts&) override { return true; }
  bool SetMask(uint32_t) override { return true; }
  bool Read(void*, uint32_t, uint32_t& read) override {
    read = 0;
    return Fail();
  }
  bool WaitReadable() override { return Fail(); }
  bool Write(const void*, uint32_t, uint32_t& written) override {
    written = 0;
    return Fail();
  }
  bool ReadOverlapped(void*, uint32_t, COverlapped& ov) override { return FailOverlapped(ov); }
  bool WriteOverlapped(const void*, uint32_t, COverlapped& ov) override { return FailOverlapped(ov); }
  bool WaitCommEvent(uint32_t& events, COverlapped*) override {
    events = 0;
    return Fail();
  }
  bool WaitForCompletion(COverlapped&, std::chrono::milliseconds) override { return true; }
  bool GetOverlappedResult(COverlapped& ov, uint32_t& transferred, bool) override {
    transferred = ov.done;
    return Fail();
  }
  void CancelIo(COverlapped& ov) override { ov.pending = false; }

 private:
  bool Fail() {
    if (++transfers == kSpinning && onSpinning) onSpinning();
    m_error = failWith;
    return false;
  }
  bool FailOverlapped(COverlapped& ov) {
    ov.pending = false;
    ov.done = 0;
    ov.result = failWith;
    return Fail();
  }

  bool m_open = false;
  DeviceError m_error = DeviceError::None;
  CLineSettings m_line;
};

}  // namespace zel::test
