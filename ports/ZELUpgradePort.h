// The upgrade engine's serial port: blocking reads and writes of byte
// blocks with short time-outs, so single-byte reads return quickly.
#pragma once

#include <cstdint>
#include <string>

#include "ports/ZELPortBase.h"

namespace zel {

class CZELUpgradePort : public CZELPortBase {
 public:
  // 1 opened (or already open); 0 failed, after reporting why.
  int Open(DCB settings, std::string name);
  // 1 when at least one byte was read; 0 otherwise (read = 0).
  int Read(uint8_t* buffer, uint32_t count, uint32_t* read);
  // 1 when every byte was written; 0 when the write failed or its time-out
  // cut it short (written says how far it got).
  int Write(const uint8_t* buffer, uint32_t count, uint32_t* written);
};

}  // namespace zel
