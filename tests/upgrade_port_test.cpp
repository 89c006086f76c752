#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "ports/ZELUpgradePort.h"
#include "tests/PtyPair.h"
#include "tests/RecordingReporter.h"

namespace zel {
namespace {

using test::CPtyPair;
using test::CRecordingReporter;
using Texts = std::vector<std::string>;

DCB UpgradeSettings(uint32_t baud = 57600) { return EngineLineSettings(baud); }

speed_t LineSpeed(const CPtyPair& pty) {
  termios tio{};
  ::tcgetattr(pty.Slave(), &tio);
  return ::cfgetospeed(&tio);
}

TEST(UpgradePortOpen, OpenOnAnOpenPortChangesNothing) {
  CRecordingReporter reports;
  CPtyPair pty;
  CZELUpgradePort port;
  port.SetReporter(&reports);
  ASSERT_EQ(port.Open(UpgradeSettings(57600), pty.SlavePath()), 1);
  EXPECT_EQ(port.Open(UpgradeSettings(9600), "/dev/does-not-exist"), 1);
  EXPECT_EQ(LineSpeed(pty), static_cast<speed_t>(B57600));
  EXPECT_EQ(reports.Texts(), Texts{});
}

TEST(UpgradePortOpen, EachFailureIsReportedWithItsOwnText) {
  CRecordingReporter reports;
  CPtyPair pty;
  CZELUpgradePort holder;
  holder.SetReporter(&reports);
  ASSERT_EQ(holder.Open(UpgradeSettings(), pty.SlavePath()), 1);

  CZELUpgradePort port;
  port.SetReporter(&reports);
  EXPECT_EQ(port.Open(UpgradeSettings(), "/dev/does-not-exist"), 0);
  EXPECT_EQ(port.LastFailure().kind, CauseKind::NotFound);
  EXPECT_EQ(port.Open(UpgradeSettings(), pty.SlavePath()), 0) << "held by another port";
  EXPECT_EQ(port.LastFailure().kind, CauseKind::Busy);
  EXPECT_EQ(port.LastFailure().subject, pty.SlavePath());

  char path[] = "/tmp/boxfeeder-notatty-XXXXXX";
  const int fd = ::mkstemp(path);
  ::close(fd);
  EXPECT_EQ(port.Open(UpgradeSettings(), path), 0);
  EXPECT_EQ(port.LastFailure().kind, CauseKind::NotSerial);
  std::remove(path);

  EXPECT_EQ(port.IsOpen(), 0);
  EXPECT_EQ(reports.Texts(), (Texts{"Can not Create the File", "Can not Create the File",
                                    "Can not get the Current Port Configuration"}));
}

TEST(UpgradePortOpen, RefusedSettingsLeaveTheDeviceFreeForTheNextOpen) {
  CRecordingReporter reports;
  CPtyPair pty;
  CZELUpgradePort port;
  port.SetReporter(&reports);
  EXPECT_EQ(port.Open(UpgradeSettings(12345), pty.SlavePath()), 0);
  EXPECT_EQ(reports.Texts(), Texts{"Can not Set the Port Configuration"});
  EXPECT_EQ(port.Open(UpgradeSettings(), pty.SlavePath()), 1);
}

TEST(UpgradePortClose, ClosingFreesTheDeviceAndRepeatsQuietly) {
  CRecordingReporter reports;
  CPtyPair pty;
  CZELUpgradePort never;
  never.SetReporter(&reports);
  EXPECT_EQ(never.Close(), 1);
  CZELUpgradePort port;
  port.SetReporter(&reports);
  ASSERT_EQ(port.Open(UpgradeSettings(), pty.SlavePath()), 1);
  EXPECT_EQ(port.Close(), 1);
  EXPECT_EQ(port.IsOpen(), 0);
  EXPECT_EQ(port.Close(), 1);
  CZELUpgradePort next;
  next.SetReporter(&reports);
  EXPECT_EQ(next.Open(UpgradeSettings(), pty.SlavePath()), 1);
  EXPECT_EQ(reports.Texts(), Texts{});
}

TEST(UpgradePortClose, DestroyingAnOpenPortFreesTheDevice) {
  CPtyPair pty;
  {
    CZELUpgradePort port;
    ASSERT_EQ(port.Open(UpgradeSettings(), pty.SlavePath()), 1);
  }
  CZELUpgradePort next;
  EXPECT_EQ(next.Open(UpgradeSettings(), pty.SlavePath()), 1);
}

class UpgradePortIo : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetReporter(&reports);
    ASSERT_EQ(port.Open(UpgradeSettings(), pty.SlavePath()), 1);
  }
  CRecordingReporter reports;
  CPtyPair pty;
  CZELUpgradePort port;
};

TEST_F(UpgradePortIo, ReadThatTimesOutReturnsZeroQuietly) {
  uint8_t byte;
  uint32_t read = 5;
  EXPECT_EQ(port.Read(&byte, 1, &read), 0);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(port.Read(&byte, 1, nullptr), 0);
  EXPECT_EQ(reports.Texts(), Texts{});
}

TEST_F(UpgradePortIo, ReadOnAClosedPortReturnsZeroQuietly) {
  port.Close();
  uint8_t byte;
  uint32_t read = 5;
  EXPECT_EQ(port.Read(&byte, 1, &read), 0);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(reports.Texts(), Texts{});
}

TEST_F(UpgradePortIo, ZeroByteWriteWritesNothing) {
  const uint8_t byte = 7;
  uint32_t written = 9;
  EXPECT_EQ(port.Write(&byte, 0, &written), 0);
  EXPECT_EQ(pty.DrainMaster(), std::vector<uint8_t>{});
  EXPECT_EQ(reports.Texts(), Texts{});
}

TEST_F(UpgradePortIo, AnUnpluggedDeviceIsReportedOnceAndKnownGone) {
  pty.CloseMaster();
  uint8_t byte;
  uint32_t read = 0;
  EXPECT_EQ(port.Read(&byte, 1, &read), 0);
  EXPECT_TRUE(port.IsDeviceLost());
  uint32_t written = 0;
  EXPECT_EQ(port.Write(&byte, 1, &written), 0);
  EXPECT_EQ(port.Read(&byte, 1, &read), 0);
  EXPECT_EQ(reports.Texts(), Texts{"Fail to Read the Port"});
  EXPECT_EQ(port.LastFailure().kind, CauseKind::Gone);
}

}  // namespace
}  // namespace zel
