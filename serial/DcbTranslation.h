// Between a record with the Win32 comm API's settings layout (the system's
// own DCB, or the ports' copy of it) and the line settings a device takes.
// Templates, so that the Win32 device and the ports use one translation
// without either knowing the other's record.
#pragma once

#include "serial/LineSettings.h"

namespace zel {

// DTR and RTS control values of the record: 0 disable, 1 enable,
// 2 handshake, 3 toggle (RTS only).
inline LineControl LineControlOf(unsigned control, bool toggles) {
  switch (control) {
    case 0: return LineControl::Off;
    case 2: return LineControl::Handshake;
    case 3: return toggles ? LineControl::Toggle : LineControl::On;
    default: return LineControl::On;
  }
}

template <class Dcb>
CLineSettings LineSettingsOfRecord(const Dcb& dcb) {
  CLineSettings line;
  line.baud = dcb.BaudRate;
  line.dataBits = dcb.ByteSize;
  // Values past the last known stay out of range, so that a device refuses them.
  line.parity = static_cast<Parity>(dcb.Parity);
  line.stopBits = static_cast<StopBits>(dcb.StopBits);
  line.checkParity = dcb.fParity != 0;
  line.ctsFlow = dcb.fOutxCtsFlow != 0;
  line.dsrFlow = dcb.fOutxDsrFlow != 0;
  line.xonXoffOut = dcb.fOutX != 0;
  line.xonXoffIn = dcb.fInX != 0;
  if (dcb.XonChar != 0) line.xonChar = dcb.XonChar;
  if (dcb.XoffChar != 0) line.xoffChar = dcb.XoffChar;
  line.dtr = LineControlOf(dcb.fDtrControl, false);
  line.rts = LineControlOf(dcb.fRtsControl, true);
  return line;
}

// Writes line over a record; the rest of it stays, except what a raw
// binary line needs: no character dropped, replaced or ending a transfer.
template <class Dcb>
void OverlayLineSettings(Dcb& dcb, const CLineSettings& line) {
  static constexpr unsigned kDtr[] = {0, 1, 2, 1};
  static constexpr unsigned kRts[] = {0, 1, 2, 3};
  dcb.BaudRate = line.baud;
  dcb.ByteSize = line.dataBits;
  dcb.Parity = static_cast<uint8_t>(line.parity);
  dcb.StopBits = static_cast<uint8_t>(line.stopBits);
  dcb.fParity = line.checkParity ? 1 : 0;
  dcb.fOutxCtsFlow = line.ctsFlow ? 1 : 0;
  dcb.fOutxDsrFlow = line.dsrFlow ? 1 : 0;
  dcb.fOutX = line.xonXoffOut ? 1 : 0;
  dcb.fInX = line.xonXoffIn ? 1 : 0;
  if (line.xonChar != 0) dcb.XonChar = line.xonChar;
  if (line.xoffChar != 0) dcb.XoffChar = line.xoffChar;
  dcb.fDtrControl = kDtr[static_cast<unsigned>(line.dtr) & 3];
  dcb.fRtsControl = kRts[static_cast<unsigned>(line.rts) & 3];
  dcb.fBinary = 1;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fAbortOnError = 0;
}

}  // namespace zel
