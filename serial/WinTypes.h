// Serial line settings and time-outs: the platform's own records (DCB,
// COMMTIMEOUTS) on Windows, the same layout elsewhere, with the helpers
// the ports and engines share. Use the constants unqualified: on Windows
// they are macros.
#pragma once

#include <cstdint>
#include <cstring>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The core's interfaces have members of these names (the owner window's
// synchronous send, the dialog's message box); the system's ANSI/wide
// macros must not rename them.
#undef SendMessage
#undef MessageBox
namespace zel {
using ::COMMTIMEOUTS;
using ::DCB;
}  // namespace zel
#else
#include "serial/WinTypesPosix.h"
#endif

namespace zel {

static_assert(sizeof(DCB) == 28, "the settings record is 28 bytes");

// The flag word that follows BaudRate: fBinary in bit 0 up to
// fAbortOnError in bit 14; the bits above belong to the device.
constexpr size_t kDcbFlagsOffset = 8;
constexpr uint32_t kDcbTemplateFlags = 0x7FFFu;

inline uint32_t DcbFlags(const DCB& dcb) {
  uint32_t flags;
  std::memcpy(&flags, reinterpret_cast<const unsigned char*>(&dcb) + kDcbFlagsOffset, sizeof flags);
  return flags;
}
inline void SetDcbFlags(DCB& dcb, uint32_t flags) {
  std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + kDcbFlagsOffset, &flags, sizeof flags);
}

// A record with every member zero, as the platform's own code starts one.
inline DCB EmptyDcb() {
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof(DCB);
  return dcb;
}

// Byte-for-byte equality of two records.
inline bool SameDcb(const DCB& a, const DCB& b) { return std::memcmp(&a, &b, sizeof(DCB)) == 0; }
inline bool SameTimeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
  return std::memcmp(&a, &b, sizeof(COMMTIMEOUTS)) == 0;
}

// The members a port takes from the caller's settings; the rest stay as the
// device reported them.
inline DCB MergeLineSettings(DCB device, const DCB& tmpl) {
  device.BaudRate = tmpl.BaudRate;
  SetDcbFlags(device, (DcbFlags(device) & ~kDcbTemplateFlags) | (DcbFlags(tmpl) & kDcbTemplateFlags));
  device.ByteSize = tmpl.ByteSize;
  device.Parity = tmpl.Parity;
  device.StopBits = tmpl.StopBits;
  device.ErrorChar = tmpl.ErrorChar;
  return device;
}

// The engines' line: binary, DTR on, RTS off, 8 data bits, no parity, one
// stop bit, no flow control, error character 'U'.
inline DCB EngineLineSettings(uint32_t baud) {
  DCB dcb = EmptyDcb();
  dcb.BaudRate = baud;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.ErrorChar = 0x55;
  return dcb;
}

// The time-outs both ports set at every open, in milliseconds: a read of n
// bytes ends after 3 n + 2, or 3 after the last byte; a write after 3 n + 2.
inline COMMTIMEOUTS PortTimeouts() {
  COMMTIMEOUTS t;
  t.ReadIntervalTimeout = 3;
  t.ReadTotalTimeoutMultiplier = 3;
  t.ReadTotalTimeoutConstant = 2;
  t.WriteTotalTimeoutMultiplier = 3;
  t.WriteTotalTimeoutConstant = 2;
  return t;
}

}  // namespace zel
