// What a serial device is told about its line, in no platform's terms:
// speed and framing, flow control, the modem lines it drives, and the
// time-outs of its reads and writes. Every device runs a raw binary line:
// no character is translated, dropped or replaced on the way.
#pragma once

#include <cstdint>

namespace zel {

enum class Parity : uint8_t { None, Odd, Even, Mark, Space };
enum class StopBits : uint8_t { One, OneAndHalf, Two };
// How the device drives DTR or RTS: held off or on, raised while it can
// take input (handshake), or (RTS only) raised while it transmits.
enum class LineControl : uint8_t { Off, On, Handshake, Toggle };

struct CLineSettings {
  uint32_t baud = 9600;
  uint8_t dataBits = 8;  // 5 to 8
  Parity parity = Parity::None;
  StopBits stopBits = StopBits::One;
  bool checkParity = false;  // received bytes with a parity error are flagged
  bool ctsFlow = false;      // output waits while CTS is off
  bool dsrFlow = false;      // output waits while DSR is off
  bool xonXoffOut = false;   // output stops at XOFF and goes on at XON
  bool xonXoffIn = false;    // the device sends XOFF and XON for its input
  char xonChar = 0x11;
  char xoffChar = 0x13;
  LineControl dtr = LineControl::On;
  LineControl rts = LineControl::On;

  bool operator==(const CLineSettings&) const = default;
};

// True when every member but the speed names something a line can have.
inline bool IsValidLine(const CLineSettings& line) {
  return line.dataBits >= 5 && line.dataBits <= 8 && line.parity <= Parity::Space &&
         line.stopBits <= StopBits::Two && line.dtr != LineControl::Toggle && line.rts <= LineControl::Toggle;
}

}  // namespace zel
