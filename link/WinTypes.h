// Serial line settings and time-outs, laid out as the platform records the
// engines and ports were written against (DCB, COMMTIMEOUTS), so that the
// settings merge works on the same flag word the engines fill in.
#pragma once

#include <cstdint>

namespace zel {

// DCB flag word: fifteen flag members from fBinary (bit 0) to fAbortOnError
// (bit 14); bits 15 to 31 belong to the device.
namespace dcbflag {
constexpr uint32_t kBinary = 1u << 0;
constexpr uint32_t kParity = 1u << 1;
constexpr uint32_t kOutxCtsFlow = 1u << 2;
constexpr uint32_t kOutxDsrFlow = 1u << 3;
constexpr unsigned kDtrControlShift = 4;  // two bits
constexpr uint32_t kDsrSensitivity = 1u << 6;
constexpr uint32_t kTXContinueOnXoff = 1u << 7;
constexpr uint32_t kOutX = 1u << 8;
constexpr uint32_t kInX = 1u << 9;
constexpr uint32_t kErrorChar = 1u << 10;
constexpr uint32_t kNull = 1u << 11;
constexpr unsigned kRtsControlShift = 12;  // two bits
constexpr uint32_t kAbortOnError = 1u << 14;
// The bits a port takes from the caller's template.
constexpr uint32_t kTemplateMask = 0x7FFFu;
}  // namespace dcbflag

constexpr uint8_t NOPARITY = 0;
constexpr uint8_t ODDPARITY = 1;
constexpr uint8_t EVENPARITY = 2;
constexpr uint8_t MARKPARITY = 3;
constexpr uint8_t SPACEPARITY = 4;

constexpr uint8_t ONESTOPBIT = 0;
constexpr uint8_t ONE5STOPBITS = 1;
constexpr uint8_t TWOSTOPBITS = 2;

constexpr uint32_t DTR_CONTROL_DISABLE = 0;
constexpr uint32_t DTR_CONTROL_ENABLE = 1;
constexpr uint32_t DTR_CONTROL_HANDSHAKE = 2;

constexpr uint32_t RTS_CONTROL_DISABLE = 0;
constexpr uint32_t RTS_CONTROL_ENABLE = 1;
constexpr uint32_t RTS_CONTROL_HANDSHAKE = 2;
constexpr uint32_t RTS_CONTROL_TOGGLE = 3;

// Port events (SetCommMask / WaitCommEvent).
constexpr uint32_t EV_RXCHAR = 0x0001;
constexpr uint32_t EV_RXFLAG = 0x0002;
constexpr uint32_t EV_TXEMPTY = 0x0004;
constexpr uint32_t EV_CTS = 0x0008;
constexpr uint32_t EV_DSR = 0x0010;
constexpr uint32_t EV_RLSD = 0x0020;
constexpr uint32_t EV_BREAK = 0x0040;
constexpr uint32_t EV_ERR = 0x0080;
constexpr uint32_t EV_RING = 0x0100;
constexpr uint32_t EV_RX80FULL = 0x0400;

struct DCB {
  uint32_t DCBlength = sizeof(DCB);
  uint32_t BaudRate = 0;
  uint32_t fFlags = 0;  // fBinary .. fAbortOnError, then the device's bits
  uint16_t wReserved = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;
  uint8_t Parity = 0;
  uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  uint16_t wReserved1 = 0;

  bool Flag(uint32_t bit) const { return (fFlags & bit) != 0; }
  void SetFlag(uint32_t bit, bool on) { fFlags = on ? (fFlags | bit) : (fFlags & ~bit); }
  uint32_t DtrControl() const { return (fFlags >> dcbflag::kDtrControlShift) & 3u; }
  void SetDtrControl(uint32_t v) {
    fFlags = (fFlags & ~(3u << dcbflag::kDtrControlShift)) | ((v & 3u) << dcbflag::kDtrControlShift);
  }
  uint32_t RtsControl() const { return (fFlags >> dcbflag::kRtsControlShift) & 3u; }
  void SetRtsControl(uint32_t v) {
    fFlags = (fFlags & ~(3u << dcbflag::kRtsControlShift)) | ((v & 3u) << dcbflag::kRtsControlShift);
  }
  bool operator==(const DCB&) const = default;
};
static_assert(sizeof(DCB) == 28, "the settings record is 28 bytes");

// The members a port takes from the caller's settings; the rest stay as the
// device reported them.
inline DCB MergeLineSettings(DCB device, const DCB& tmpl) {
  device.BaudRate = tmpl.BaudRate;
  device.fFlags = (device.fFlags & ~dcbflag::kTemplateMask) | (tmpl.fFlags & dcbflag::kTemplateMask);
  device.ByteSize = tmpl.ByteSize;
  device.Parity = tmpl.Parity;
  device.StopBits = tmpl.StopBits;
  device.ErrorChar = tmpl.ErrorChar;
  return device;
}

// The engines' line: binary, DTR on, RTS off, 8 data bits, no parity, one
// stop bit, no flow control, error character 'U'.
inline DCB EngineLineSettings(uint32_t baud) {
  DCB dcb;
  dcb.BaudRate = baud;
  dcb.fFlags = dcbflag::kBinary;
  dcb.SetDtrControl(DTR_CONTROL_ENABLE);
  dcb.SetRtsControl(RTS_CONTROL_DISABLE);
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.ErrorChar = 0x55;
  return dcb;
}

// Milliseconds, with the platform's meaning: a read of n bytes ends after
// ReadTotalTimeoutMultiplier * n + ReadTotalTimeoutConstant, or earlier when
// ReadIntervalTimeout passes between two bytes once one has arrived.
struct COMMTIMEOUTS {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
  bool operator==(const COMMTIMEOUTS&) const = default;
};

// The time-outs both ports set at every open.
constexpr COMMTIMEOUTS kPortTimeouts{3, 3, 2, 3, 2};

}  // namespace zel
