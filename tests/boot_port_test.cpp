#include <gtest/gtest.h>
#include <termios.h>

#include "ports/ZELBootPort.h"
#include "tests/PtyPair.h"
#include "tests/RecordingReporter.h"

namespace zel {
namespace {

using Texts = std::vector<std::string>;

DCB BootSettings(uint32_t baud) { return EngineLineSettings(baud); }

class BootPort : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetReporter(&reports);
    ASSERT_EQ(port.Open(BootSettings(38400), pty.SlavePath(), true), 1);
  }
  test::CRecordingReporter reports;
  test::CPtyPair pty;
  CZELBootPort port;
};

TEST_F(BootPort, OpenOnAnOpenPortKeepsTheOldSettings) {
  EXPECT_EQ(port.Open(BootSettings(115200), pty.SlavePath(), true), 1);
  termios tio{};
  ::tcgetattr(pty.Slave(), &tio);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B38400));
}

TEST_F(BootPort, ArgumentChecksFailQuietly) {
  uint8_t byte = 1;
  EXPECT_FALSE(port.Read(&byte, 1, nullptr, nullptr));
  uint32_t written = 7;
  EXPECT_FALSE(port.Write(&byte, 0, &written, nullptr));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(reports.Texts(), Texts{});
}

TEST_F(BootPort, ABlockingOneByteReadOfNothingSucceedsEmpty) {
  uint8_t byte;
  uint32_t read = 9;
  EXPECT_TRUE(port.Read(&byte, 1, &read, nullptr));
  EXPECT_EQ(read, 0u);
}

TEST_F(BootPort, AnOverlappedReadThatGoesPendingSucceedsWithNoCountYet) {
  uint8_t buffer[4];
  uint32_t read = 9;
  COverlapped ov;
  EXPECT_TRUE(port.Read(buffer, 4, &read, &ov));
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(ov.pending);
  port.GetHandle().CancelIo(ov);
}

TEST_F(BootPort, CloseTwiceAndTheTextsOfAFailedOpen) {
  EXPECT_EQ(port.Close(), 1);
  EXPECT_EQ(port.Close(), 1);
  CZELBootPort other;
  other.SetReporter(&reports);
  EXPECT_EQ(other.Open(BootSettings(38400), "/dev/does-not-exist", true), 0);
  EXPECT_EQ(other.Open(BootSettings(38400), "/dev/null", false), 0);
  EXPECT_EQ(reports.Texts(), (Texts{"Can not Open the Port", "Can not get the Port Configuration"}));
}

}  // namespace
}  // namespace zel
