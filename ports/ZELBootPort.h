// The boot engine's serial port: blocking and overlapped reads and writes,
// its device handed out for the engine's own device calls (speed switch,
// event waits, overlapped results), and the event mask.
#pragma once

#include <cstdint>
#include <string>

#include "ports/ZELPortBase.h"

namespace zel {

class CZELBootPort : public CZELPortBase {
 public:
  // 1 opened (or already open); 0 failed, after reporting why. The device
  // layer has one mode for both kinds of transfer, so the overlapped flag
  // needs nothing more here.
  int Open(DCB settings, std::string name, bool overlapped);
  // Blocking without ov: true with read = 0 when the time-outs end it
  // empty; a failure is reported. With ov: true when completed or pending.
  bool Read(uint8_t* buffer, uint32_t count, uint32_t* read, COverlapped* ov);
  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* written, COverlapped* ov);
  CCommHandle& GetHandle() { return m_comm; }
  bool SetMask(uint32_t mask) { return m_comm.SetMask(mask); }
};

}  // namespace zel
