// A serial device made of memory, behind the device seam: what the box
// sends comes from the fuzzer's input, and every write the tool makes is
// kept as one frame. Once the input is used up the line is gone, so that
// every run ends.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "serial/SerialDevice.h"

namespace zel::fuzz {

struct CMemoryLine {
  const uint8_t* input = nullptr;
  size_t size = 0;
  size_t used = 0;
  std::vector<std::vector<uint8_t>> frames;  // each write the tool made
};

// The line the devices made now use.
CMemoryLine& Line();

class CMemoryDevice final : public CSerialDevice {
 public:
  bool OpenDevice(const std::string& name, IoMode /*mode*/) override {
    m_open = !name.empty();
    return m_open || Fail(DeviceError::NotFound);
  }
  bool Close() override {
    m_open = false;
    return true;
  }
  bool IsOpen() const override { return m_open; }
  DeviceError LastError() const override { return m_error; }
  std::string LastErrorText() const override { return {}; }
  bool IsGone() const override { return m_gone; }
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
  bool Read(void* buffer, uint32_t count, uint32_t& read) override {
    CMemoryLine& line = Line();
    read = static_cast<uint32_t>(std::min<size_t>(count, line.size - line.used));
    if (read == 0) {
      m_gone = true;
      return Fail(DeviceError::Gone);
    }
    std::memcpy(buffer, line.input + line.used, read);
    line.used += read;
    return true;
  }
  bool WaitReadable() override {
    if (Line().used < Line().size) return true;
    m_gone = true;
    return Fail(DeviceError::Gone);
  }
  bool Write(const void* buffer, uint32_t count, uint32_t& written) override {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    Line().frames.emplace_back(bytes, bytes + count);
    written = count;
    return true;
  }
  bool ReadOverlapped(void* buffer, uint32_t count, COverlapped& ov) override {
    ov.pending = false;
    return Read(buffer, count, ov.done);
  }
  bool WriteOverlapped(const void* buffer, uint32_t count, COverlapped& ov) override {
    ov.pending = false;
    return Write(buffer, count, ov.done);
  }
  bool WaitCommEvent(uint32_t& events, COverlapped*) override {
    events = line_event::kTransmitEmpty;
    return true;
  }
  bool WaitForCompletion(COverlapped&, std::chrono::milliseconds) override { return true; }
  bool GetOverlappedResult(COverlapped& ov, uint32_t& transferred, bool) override {
    transferred = ov.done;
    return true;
  }
  void CancelIo(COverlapped& ov) override { ov.pending = false; }

 private:
  bool Fail(DeviceError error) {
    m_error = error;
    return false;
  }
  bool m_open = false;
  bool m_gone = false;
  DeviceError m_error = DeviceError::None;
  CLineSettings m_line;
};

}  // namespace zel::fuzz
