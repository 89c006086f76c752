// The frames spoken with the box's boot loader during an upgrade. Every
// frame opens with the 8-byte marker; integers are big-endian.
//
//   header       marker(8) PID(2) length(2)
//   command      header with length 0                          (12 bytes)
//   data request header(length n) offset(4)                    (16 bytes)
//   data reply   header(length n + 8) offset(4) data(n) 00 00 00 crc
//                                                             (n + 20 bytes)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {

constexpr std::array<uint8_t, 8> kFrameMarker = {'Q', 'u', 'I', 'e', 't', 'F', 'o', 'X'};

constexpr uint16_t PID_ACKNOWLEDGE = 0x0000;
constexpr uint16_t PID_REBOOT = 0x0004;
constexpr uint16_t PID_START_UPGRADE = 0x0012;
constexpr uint16_t PID_TERM_UPGRADE = 0x0013;
constexpr uint16_t PID_DATA_REQUEST = 0x0030;
constexpr uint16_t PID_DATA_REPLY = 0x0031;

constexpr size_t kFrameHeaderSize = 12;
constexpr size_t kDataRequestSize = 16;
constexpr size_t kDataReplyOverhead = 20;
constexpr size_t kReplyDataOffset = 16;
constexpr uint8_t kReplyChecksumSeed = 0xFF;

// CRC-8 with the reflected polynomial 0x31 (table of CRC-8/MAXIM-DOW),
// seeded with initial; no final XOR.
uint8_t FrameChecksum(uint8_t initial, const uint8_t* bytes, size_t count);

// True when the 8 bytes equal the marker.
bool MatchMarker(const uint8_t* bytes);

// Each byte as "%02X " in order; empty for count 0.
std::string HexDump(const uint8_t* bytes, size_t count);

inline uint16_t ReadBigEndian16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint32_t ReadBigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
inline void WriteBigEndian16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void WriteBigEndian32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// Finds the marker in a stream of bytes, one byte at a time. A byte that
// breaks a partial match drops what was taken for the marker and may begin
// a new one; no proper prefix of the marker is also a suffix of it, so no
// start is missed.
class CMarkerScanner {
 public:
  // Takes one byte; true when it completes the marker (the scanner then
  // starts afresh).
  bool Feed(uint8_t byte) {
    if (byte == kFrameMarker[m_matched]) {
      if (++m_matched < kFrameMarker.size()) return false;
      m_matched = 0;
      return true;
    }
    m_skipped += m_matched;
    m_matched = byte == kFrameMarker[0] ? 1 : 0;
    if (m_matched == 0) ++m_skipped;
    return false;
  }
  // Bytes dropped as not belonging to a marker since the last Reset.
  size_t Skipped() const { return m_skipped; }
  void Reset() { m_matched = m_skipped = 0; }

 private:
  size_t m_matched = 0;
  size_t m_skipped = 0;
};

// A header with the given PID and length field.
std::array<uint8_t, kFrameHeaderSize> FrameHeader(uint16_t pid, uint16_t length);
// A command frame: the header with length 0.
inline std::array<uint8_t, kFrameHeaderSize> CommandFrame(uint16_t pid) { return FrameHeader(pid, 0); }
// A data request for n bytes at offset.
std::array<uint8_t, kDataRequestSize> DataRequestFrame(uint16_t n, uint32_t offset);

// Completes a data reply in frame (n + 20 bytes) whose n data bytes are
// already in place at kReplyDataOffset: header, offset, zeros, checksum.
void SealDataReply(uint8_t* frame, uint16_t n, uint32_t offset);

}  // namespace zel
