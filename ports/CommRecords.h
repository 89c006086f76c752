// The ports' line settings and time-outs: records with the layout of the
// Win32 comm API's own (DCB, COMMTIMEOUTS), the same on every platform,
// with the helpers the ports and engines share, and their translation into
// what a serial device takes. No system header comes with them. The
// constants have the system's names and values; where the Windows headers
// came first, theirs (macros) are used.
#pragma once

#include <cstdint>
#include <cstring>

#include "serial/LineSettings.h"

namespace zel {

#ifndef NOPARITY
constexpr uint8_t NOPARITY = 0;
#endif
#ifndef ODDPARITY
constexpr uint8_t ODDPARITY = 1;
#endif
#ifndef EVENPARITY
constexpr uint8_t EVENPARITY = 2;
#endif
#ifndef MARKPARITY
constexpr uint8_t MARKPARITY = 3;
#endif
#ifndef SPACEPARITY
constexpr uint8_t SPACEPARITY = 4;
#endif

#ifndef ONESTOPBIT
constexpr uint8_t ONESTOPBIT = 0;
#endif
#ifndef ONE5STOPBITS
constexpr uint8_t ONE5STOPBITS = 1;
#endif
#ifndef TWOSTOPBITS
constexpr uint8_t TWOSTOPBITS = 2;
#endif

#ifndef DTR_CONTROL_DISABLE
constexpr uint32_t DTR_CONTROL_DISABLE = 0;
#endif
#ifndef DTR_CONTROL_ENABLE
constexpr uint32_t DTR_CONTROL_ENABLE = 1;
#endif
#ifndef DTR_CONTROL_HANDSHAKE
constexpr uint32_t DTR_CONTROL_HANDSHAKE = 2;
#endif

#ifndef RTS_CONTROL_DISABLE
constexpr uint32_t RTS_CONTROL_DISABLE = 0;
#endif
#ifndef RTS_CONTROL_ENABLE
constexpr uint32_t RTS_CONTROL_ENABLE = 1;
#endif
#ifndef RTS_CONTROL_HANDSHAKE
constexpr uint32_t RTS_CONTROL_HANDSHAKE = 2;
#endif
#ifndef RTS_CONTROL_TOGGLE
constexpr uint32_t RTS_CONTROL_TOGGLE = 3;
#endif

#ifndef EV_RXCHAR
constexpr uint32_t EV_RXCHAR = 0x0001;
#endif
#ifndef EV_RXFLAG
constexpr uint32_t EV_RXFLAG = 0x0002;
#endif
#ifndef EV_TXEMPTY
constexpr uint32_t EV_TXEMPTY = 0x0004;
#endif
#ifndef EV_CTS
constexpr uint32_t EV_CTS = 0x0008;
#endif
#ifndef EV_DSR
constexpr uint32_t EV_DSR = 0x0010;
#endif
#ifndef EV_RLSD
constexpr uint32_t EV_RLSD = 0x0020;
#endif
#ifndef EV_BREAK
constexpr uint32_t EV_BREAK = 0x0040;
#endif
#ifndef EV_ERR
constexpr uint32_t EV_ERR = 0x0080;
#endif
#ifndef EV_RING
constexpr uint32_t EV_RING = 0x0100;
#endif
#ifndef EV_RX80FULL
constexpr uint32_t EV_RX80FULL = 0x0400;
#endif

#ifndef MAXDWORD
constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;
#endif

struct DCB {
  uint32_t DCBlength;
  uint32_t BaudRate;
  uint32_t fBinary : 1;
  uint32_t fParity : 1;
  uint32_t fOutxCtsFlow : 1;
  uint32_t fOutxDsrFlow : 1;
  uint32_t fDtrControl : 2;
  uint32_t fDsrSensitivity : 1;
  uint32_t fTXContinueOnXoff : 1;
  uint32_t fOutX : 1;
  uint32_t fInX : 1;
  uint32_t fErrorChar : 1;
  uint32_t fNull : 1;
  uint32_t fRtsControl : 2;
  uint32_t fAbortOnError : 1;
  uint32_t fDummy2 : 17;
  uint16_t wReserved;
  uint16_t XonLim;
  uint16_t XoffLim;
  uint8_t ByteSize;
  uint8_t Parity;
  uint8_t StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  uint16_t wReserved1;
};

struct COMMTIMEOUTS {
  uint32_t ReadIntervalTimeout;
  uint32_t ReadTotalTimeoutMultiplier;
  uint32_t ReadTotalTimeoutConstant;
  uint32_t WriteTotalTimeoutMultiplier;
  uint32_t WriteTotalTimeoutConstant;
};

}  // namespace zel

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

// The time-outs of the comm handle's transfers (COMMTIMEOUTS), in
// milliseconds. A read of n bytes ends after
// readPerByteMs * n + readConstantMs (no limit when both are 0), or once
// readGapMs pass without a byte after the first (no limit when 0). A
// read with readGapMs kReturnAtOnce and both totals 0 returns at once with
// what has arrived. A write ends after writePerByteMs * n +
// writeConstantMs (no limit when both are 0).
struct CLineTimeouts {
  static constexpr uint32_t kReturnAtOnce = 0xFFFFFFFFu;
  uint32_t readGapMs = 0;
  uint32_t readPerByteMs = 0;
  uint32_t readConstantMs = 0;
  uint32_t writePerByteMs = 0;
  uint32_t writeConstantMs = 0;

  bool operator==(const CLineTimeouts&) const = default;
};

// The device's view of a port's records. Members a device has no use for
// (the error character, the XON limits) stay with the port.
CLineSettings LineSettingsOf(const DCB& dcb);
CLineTimeouts LineTimeoutsOf(const COMMTIMEOUTS& timeouts);
// A record with what a device reports, the rest as the platform's own code
// starts one: binary, XON limits 2048 and 512.
DCB DcbOf(const CLineSettings& line);

}  // namespace zel
