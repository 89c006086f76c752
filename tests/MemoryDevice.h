// A serial device made of memory, behind the device seam. What the far end
// says comes from the line's input, and each write the tool makes is kept
// as one frame. Once the input is used up, every transfer and wait fails
// with the line's error: Gone is an adapter pulled out, anything else a
// driver that gave up. The fuzzer feeds the upgrade engine through it;
// tests give it no input, for a port that fails everything.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "serial/SerialDevice.h"

namespace zel::test {

struct CMemoryLine {
  const uint8_t* input = nullptr;
  size_t size = 0;
  size_t used = 0;
  std::vector<std::vector<uint8_t>> frames;  // each write the tool made
  DeviceError failWith = DeviceError::Gone;
  int failures = 0;  // transfers and waits failed, on all devices of the line
  // Called once, on the transferring thread, when the failures reach
  // kSpinning: a caller that tries again for ever. Tests stop the run there.
  static constexpr int kSpinning = 50;
  std::function<void()> onSpinning;
};

class CMemoryDevice final : public CSerialDevice {
 public:
  explicit CMemoryDevice(CMemoryLine& line) : m_line(line) {}

  bool OpenDevice(const std::string& name, IoMode) override {
    m_open = !name.empty();
    m_error = m_open ? DeviceError::None : DeviceError::NotFound;
    return m_open;
  }
  bool Close() override {
    m_open = false;
    return true;
  }
  bool IsOpen() const override { return m_open; }
  DeviceError LastError() const override { return m_error; }
  std::string LastErrorText() const override {
    return m_error == DeviceError::None ? "" : "the line is over";
  }
  bool IsGone() const override { return m_error == DeviceError::Gone; }
  bool GetLine(CLineSettings& line) override {
    line = m_settings;
    return true;
  }
  bool SetLine(const CLineSettings& line) override {
    m_settings = line;
    return true;
  }
  bool Read(void* buffer, uint32_t count, uint32_t& read, Timeout) override {
    read = static_cast<uint32_t>(std::min<size_t>(count, m_line.size - m_line.used));
    if (read == 0 && count > 0) return Fail();
    if (read > 0) std::memcpy(buffer, m_line.input + m_line.used, read);
    m_line.used += read;
    return true;
  }
  bool WaitReadable() override { return m_line.used < m_line.size || Fail(); }
  bool Write(const void* buffer, uint32_t count, uint32_t& written, Timeout) override {
    written = 0;
    if (m_line.used == m_line.size) return Fail();
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    m_line.frames.emplace_back(bytes, bytes + count);
    written = count;
    return true;
  }
  bool Drain(Timeout) override { return m_line.used < m_line.size || Fail(); }

 private:
  bool Fail() {
    m_error = m_line.failWith;
    if (++m_line.failures == CMemoryLine::kSpinning && m_line.onSpinning) m_line.onSpinning();
    return false;
  }

  CMemoryLine& m_line;
  bool m_open = false;
  DeviceError m_error = DeviceError::None;
  CLineSettings m_settings;
};

}  // namespace zel::test
