// The Win32 serial device on a COM port whose far end is comport_peer, on
// a pseudo-terminal of the machine that runs Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "ports/CommHandle.h"
#include "ports/CommRecords.h"
#include "run/SystemHeadersWin32.h"
#include "serial/SerialDevice.h"

namespace zel {
namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kPort = "COM5";
constexpr CSerialDevice::Timeout kSecond = std::chrono::seconds(1);

// What the peer says the line's speed is.
unsigned PeerBaud(CSerialDevice& device) {
  uint32_t done = 0;
  EXPECT_TRUE(device.Write("b", 1, done, kSecond));
  char reply[9] = {};
  uint32_t got = 0;
  for (int tries = 0; got < 8 && tries < 200; ++tries) {
    uint32_t n = 0;
    device.Read(reply + got, 8 - got, n, std::chrono::milliseconds(10));
    got += n;
  }
  return static_cast<unsigned>(std::stoul(std::string(reply, got).empty() ? "0" : std::string(reply, got)));
}

// Each case runs on a device opened for overlapped transfers and on one
// opened for blocking ones.
class WindowsDevice : public ::testing::TestWithParam<CSerialDevice::IoMode> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device->Open(kPort, GetParam())) << device->LastErrorText();
    ASSERT_TRUE(device->SetLine(LineSettingsOf(EngineLineSettings(57600))));
    comm.SetTimeouts(LineTimeoutsOf(PortTimeouts()));
  }
  std::unique_ptr<CSerialDevice> device = CSerialDevice::Create();
  CCommHandle comm{*device};  // the ports' view, with their time-outs
};

TEST_P(WindowsDevice, SettingsGoToTheLineAndReadBack) {
  for (uint32_t baud : {38400u, 57600u, 115200u}) {
    const CLineSettings written = LineSettingsOf(EngineLineSettings(baud));
    ASSERT_TRUE(device->SetLine(written));
    CLineSettings read;
    ASSERT_TRUE(device->GetLine(read));
    EXPECT_EQ(read.baud, baud);
    EXPECT_EQ(read.dataBits, 8);
    EXPECT_EQ(read.dtr, LineControl::On);
    EXPECT_EQ(PeerBaud(*device), baud) << "the pty has the speed that was set";
  }
}

// A one-byte read with nothing on the line ends empty, within the port's
// time-outs.
void ExpectAReadOfNothingEndsEmpty(CCommHandle& comm) {
  uint8_t byte = 0;
  uint32_t read = 9;
  const auto start = Clock::now();
  EXPECT_TRUE(comm.Read(&byte, 1, read)) << comm.LastErrorText();
  EXPECT_EQ(read, 0u);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST_P(WindowsDevice, AReadOfNothingEndsEmptyWithinItsTimeouts) { ExpectAReadOfNothingEndsEmpty(comm); }

TEST_P(WindowsDevice, BytesGoOutAndComeBackUnchanged) {
  for (uint8_t value : {uint8_t{0x00}, uint8_t{0x51}, uint8_t{0xFF}}) {
    const uint8_t frame[2] = {'e', value};
    uint32_t done = 0;
    ASSERT_TRUE(device->Write(frame, 2, done, kSecond));
    EXPECT_EQ(done, 2u);
    uint8_t back = 0;
    uint32_t read = 0;
    ASSERT_TRUE(device->Read(&back, 1, read, std::chrono::seconds(5)));
    EXPECT_EQ(back, value);
  }
}

TEST_P(WindowsDevice, TheDrainEndsOnceAWriteHasLeft) {
  const uint8_t frame[2] = {'x', 'x'};  // bytes the peer does not answer
  uint32_t done = 0;
  ASSERT_TRUE(device->Write(frame, 2, done, kSecond));
  EXPECT_TRUE(device->Drain(std::chrono::seconds(5))) << device->LastErrorText();
}

// The wait for input takes what the line holds; the reads after it hand
// that out in order, the blocking and the overlapped alike, and a read
// once it is used up has the caller's time-outs again (it ends empty).
TEST_P(WindowsDevice, WhatTheWaitTookIsReadInOrderThenTheTimeoutsAreTheCallers) {
  const uint8_t frames[] = {'e', 1, 'e', 2, 'e', 3, 'e', 4};
  uint32_t done = 0;
  ASSERT_TRUE(device->Write(frames, sizeof frames, done, kSecond));
  std::vector<uint8_t> got;
  for (int tries = 0; got.size() < 4 && tries < 200; ++tries) {
    ASSERT_TRUE(device->WaitReadable()) << device->LastErrorText();
    uint8_t byte = 0;
    uint32_t read = 0;
    if (got.size() == 2) {  // one overlapped read among the blocking ones
      COverlapped ov;
      if (!comm.ReadOverlapped(&byte, 1, ov)) {
        ASSERT_TRUE(comm.WaitForCompletion(ov, std::chrono::seconds(5)));
      }
      ASSERT_TRUE(comm.GetOverlappedResult(ov, read, true));
    } else {
      ASSERT_TRUE(comm.Read(&byte, 1, read));
    }
    if (read == 1) got.push_back(byte);
  }
  EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3, 4}));
  ExpectAReadOfNothingEndsEmpty(comm);
}

// A read, or the wait for input, that waits without end ends at the stop.
void ExpectTheStopEndsIt(CSerialDevice* device, bool waitForInput) {
  std::stop_source stop;
  device->SetStop(stop.get_token());
  std::atomic<bool> reading{false};
  bool ok = true;
  std::chrono::steady_clock::time_point returned;
  std::thread worker([&] {
    uint8_t byte;
    uint32_t read = 0;
    reading = true;
    ok = waitForInput ? device->WaitReadable() : device->Read(&byte, 1, read, CSerialDevice::kNoLimit);
    returned = std::chrono::steady_clock::now();
  });
  while (!reading) std::this_thread::yield();
  const auto stopped = std::chrono::steady_clock::now();
  stop.request_stop();
  worker.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(device->LastError(), DeviceError::Cancelled);
  EXPECT_GE(returned, stopped) << "the read had not ended before the stop";
}

TEST_P(WindowsDevice, AStopEndsAReadThatWaitsWithoutEnd) { ExpectTheStopEndsIt(device.get(), false); }

TEST_P(WindowsDevice, AStopEndsTheWaitForInput) { ExpectTheStopEndsIt(device.get(), true); }

TEST(WindowsDeviceOpen, APortThatIsNotThereIsSaidSo) {
  const auto device = CSerialDevice::Create();
  EXPECT_FALSE(device->Open("COM42"));
  EXPECT_EQ(device->LastError(), DeviceError::NotFound) << device->LastErrorText();
}

// Last: the peer hangs up (and comes back for the next case).
TEST_P(WindowsDevice, ZZ_AVanishedLineIsGone) {
  uint32_t done = 0;
  ASSERT_TRUE(device->Write("h", 1, done, kSecond));
  uint8_t byte;
  uint32_t read = 0;
  bool failed = false;
  for (int tries = 0; tries < 100 && !failed; ++tries)
    failed = !device->Read(&byte, 1, read, std::chrono::milliseconds(50));
  EXPECT_TRUE(failed);
  EXPECT_TRUE(device->IsGone()) << static_cast<int>(device->LastError()) << " " << device->LastErrorText();
}

INSTANTIATE_TEST_SUITE_P(BothModes, WindowsDevice,
                         ::testing::Values(CSerialDevice::IoMode::Overlapped,
                                           CSerialDevice::IoMode::Blocking),
                         [](const auto& mode) {
                           return mode.param == CSerialDevice::IoMode::Blocking ? "Blocking" : "Overlapped";
                         });

}  // namespace
}  // namespace zel
