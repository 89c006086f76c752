#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "upgrade/UpgradeFrame.h"

namespace zel {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

std::vector<uint8_t> WithMarker(const std::vector<uint8_t>& rest) {
  std::vector<uint8_t> out(kFrameMarker.size() + rest.size());
  std::copy(kFrameMarker.begin(), kFrameMarker.end(), out.begin());
  std::copy(rest.begin(), rest.end(), out.begin() + static_cast<std::ptrdiff_t>(kFrameMarker.size()));
  return out;
}

std::vector<uint8_t> Reply(const std::vector<uint8_t>& data, uint32_t offset) {
  std::vector<uint8_t> frame(data.size() + kDataReplyOverhead, 0xEE);
  std::copy(data.begin(), data.end(), frame.begin() + kReplyDataOffset);
  SealDataReply(frame.data(), static_cast<uint16_t>(data.size()), offset);
  return frame;
}

TEST(FrameChecksum, MatchesTheWorkedValues) {
  const char* digits = "123456789";
  const auto* bytes = reinterpret_cast<const uint8_t*>(digits);
  EXPECT_EQ(FrameChecksum(0xFF, bytes, 9), 0x0B);
  EXPECT_EQ(FrameChecksum(0x00, bytes, 9), 0xA1);
  EXPECT_EQ(FrameChecksum(0x5A, bytes, 0), 0x5A) << "no bytes: the initial value";
}

TEST(FrameChecksum, TableStartsAsCrc8MaximDow) {
  const auto expected =
      Bytes({0x00, 0x5E, 0xBC, 0xE2, 0x61, 0x3F, 0xDD, 0x83, 0xC2, 0x9C, 0x7E, 0x20, 0xA3, 0xFD, 0x1F, 0x41});
  for (int i = 0; i < 16; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i);
    EXPECT_EQ(FrameChecksum(0, &byte, 1), expected[static_cast<size_t>(i)]) << i;
  }
}

TEST(DataReply, MatchesTheWorkedExampleByteForByte) {
  EXPECT_EQ(Reply(Bytes({1, 2, 3, 4}), 0x1000),
            WithMarker(Bytes({0x00, 0x31, 0x00, 0x0C, 0x00, 0x00, 0x10, 0x00, 1, 2, 3, 4, 0, 0, 0, 0x72})));
}

TEST(DataReply, ZeroLengthReplyChecksumsTheOffsetOnly) {
  const auto frame = Reply({}, 0x01020304);
  ASSERT_EQ(frame.size(), 20u);
  EXPECT_EQ(frame[10], 0x00);
  EXPECT_EQ(frame[11], 0x08);
  const uint8_t offset[4] = {1, 2, 3, 4};
  EXPECT_EQ(frame[19], FrameChecksum(0xFF, offset, 4));
}

TEST(DataReply, LengthFieldKeepsTheLow16BitsOfNPlus8) {
  std::vector<uint8_t> data(65528, 0xAB);
  auto frame = Reply(data, 0);
  EXPECT_EQ(frame[10], 0x00);
  EXPECT_EQ(frame[11], 0x00);
  data.resize(65535);
  frame = Reply(data, 0);
  EXPECT_EQ(frame[10], 0x00);
  EXPECT_EQ(frame[11], 0x07);
  EXPECT_EQ(frame.size(), 65555u);
}

TEST(CommandFrames, AreTheHeaderWithLengthZero) {
  const auto start = CommandFrame(PID_START_UPGRADE);
  EXPECT_EQ(std::vector<uint8_t>(start.begin(), start.end()), WithMarker(Bytes({0x00, 0x12, 0x00, 0x00})));
  const auto request = DataRequestFrame(0x400, 0x1000);
  EXPECT_EQ(std::vector<uint8_t>(request.begin(), request.end()),
            WithMarker(Bytes({0x00, 0x30, 0x04, 0x00, 0x00, 0x00, 0x10, 0x00})));
}

TEST(MatchMarker, ComparesAllEightBytesCaseSensitively) {
  EXPECT_TRUE(MatchMarker(reinterpret_cast<const uint8_t*>("QuIetFoX")));
  EXPECT_FALSE(MatchMarker(reinterpret_cast<const uint8_t*>("QuIetFox")));
  EXPECT_FALSE(MatchMarker(reinterpret_cast<const uint8_t*>("quIetFoX")));
}

TEST(HexDump, FollowsEveryByteWithOneBlank) {
  const auto bytes = Bytes({0x0A, 0xFF, 0x00});
  EXPECT_EQ(HexDump(bytes.data(), 3), "0A FF 00 ");
  EXPECT_EQ(HexDump(bytes.data(), 0), "");
}

}  // namespace
}  // namespace zel
