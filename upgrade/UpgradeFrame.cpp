#include "upgrade/UpgradeFrame.h"

#include <algorithm>
#include <cstdio>

namespace zel {
namespace {

constexpr std::array<uint8_t, 256> MakeCrcTable() {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint8_t crc = static_cast<uint8_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>((crc & 1) ? (crc >> 1) ^ 0x8C : crc >> 1);
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint8_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x5E && kCrcTable[15] == 0x41, "CRC-8/MAXIM-DOW table");

}  // namespace

uint8_t FrameChecksum(uint8_t initial, const uint8_t* bytes, size_t count) {
  uint8_t crc = initial;
  for (size_t i = 0; i < count; ++i) crc = kCrcTable[crc ^ bytes[i]];
  return crc;
}

bool MatchMarker(const uint8_t* bytes) { return std::equal(kFrameMarker.begin(), kFrameMarker.end(), bytes); }

std::string HexDump(const uint8_t* bytes, size_t count) {
  std::string text;
  text.reserve(count * 3);
  char cell[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(cell, sizeof cell, "%02X ", bytes[i]);
    text += cell;
  }
  return text;
}

std::array<uint8_t, kFrameHeaderSize> FrameHeader(uint16_t pid, uint16_t length) {
  std::array<uint8_t, kFrameHeaderSize> frame{};
  std::copy(kFrameMarker.begin(), kFrameMarker.end(), frame.begin());
  WriteBigEndian16(&frame[8], pid);
  WriteBigEndian16(&frame[10], length);
  return frame;
}

std::array<uint8_t, kDataRequestSize> DataRequestFrame(uint16_t n, uint32_t offset) {
  std::array<uint8_t, kDataRequestSize> frame{};
  const auto header = FrameHeader(PID_DATA_REQUEST, n);
  std::copy(header.begin(), header.end(), frame.begin());
  WriteBigEndian32(&frame[12], offset);
  return frame;
}

void SealDataReply(uint8_t* frame, uint16_t n, uint32_t offset) {
  const auto header = FrameHeader(PID_DATA_REPLY, static_cast<uint16_t>(n + 8));
  std::copy(header.begin(), header.end(), frame);
  WriteBigEndian32(frame + 12, offset);
  uint8_t* tail = frame + kReplyDataOffset + n;
  tail[0] = tail[1] = tail[2] = 0;
  tail[3] = FrameChecksum(kReplyChecksumSeed, frame + 12, size_t{n} + 4);
}

}  // namespace zel
