#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "serial/SerialDevice.h"
#include "tests/PtyPair.h"
#include "tests/ThreadProbe.h"

namespace zel {
namespace {

using test::CPtyPair;
using Clock = std::chrono::steady_clock;

TEST(DeviceNames, ComNamesMapToTheFirstEightSerialPorts) {
  EXPECT_EQ(CSerialDevice::ResolveName("COM1"), "/dev/ttyS0");
  EXPECT_EQ(CSerialDevice::ResolveName("COM8"), "/dev/ttyS7");
  EXPECT_EQ(CSerialDevice::ResolveName("COM9"), "COM9");
  EXPECT_EQ(CSerialDevice::ResolveName("COM0"), "COM0");
  EXPECT_EQ(CSerialDevice::ResolveName("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(CSerialDevice::ResolveName("com1"), "/dev/ttyS0");
  EXPECT_EQ(CSerialDevice::ResolveName("Com8"), "/dev/ttyS7");
}

TEST(DeviceOpen, SecondOpenInThisProcessFailsUntilTheFirstCloses) {
  CPtyPair pty;
  const auto first = CSerialDevice::Create(), second = CSerialDevice::Create();
  ASSERT_TRUE(first->Open(pty.SlavePath()));
  EXPECT_FALSE(second->Open(pty.SlavePath()));
  EXPECT_EQ(second->LastError(), DeviceError::Busy);
  ASSERT_TRUE(first->Close());
  EXPECT_TRUE(second->Open(pty.SlavePath()));
}

TEST(DeviceOpen, FailuresSayWhy) {
  CPtyPair pty;
  char notATty[] = "/tmp/boxfeeder-notatty-XXXXXX";
  ::close(::mkstemp(notATty));
  const auto device = CSerialDevice::Create();
  EXPECT_FALSE(device->Open("/dev/does-not-exist"));
  EXPECT_EQ(device->LastError(), DeviceError::NotFound);
  ASSERT_TRUE(device->Open(notATty));
  DCB dcb = EmptyDcb();
  EXPECT_FALSE(device->GetState(dcb));
  EXPECT_EQ(device->LastError(), DeviceError::NotSerial);
  device->Close();
  std::remove(notATty);
  // Permission is not denied to root; a user without it gets PermissionDenied.
  if (::geteuid() != 0) {
    ::chmod(pty.SlavePath().c_str(), 0);
    EXPECT_FALSE(device->Open(pty.SlavePath()));
    EXPECT_EQ(device->LastError(), DeviceError::PermissionDenied);
  }
}

TEST(DeviceOpen, OpenInAnotherProcessFailsWhileHeld) {
  CPtyPair pty;
  const auto device = CSerialDevice::Create();
  ASSERT_TRUE(device->Open(pty.SlavePath()));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const auto other = CSerialDevice::Create();
    ::_exit(other->Open(pty.SlavePath()) ? 1 : (other->LastError() == DeviceError::Busy ? 0 : 2));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the other process opened the held device; 2: wrong error";
}

DCB SampleSettings() {
  DCB dcb = EmptyDcb();
  dcb.BaudRate = 57600;
  dcb.fBinary = dcb.fOutX = dcb.fInX = dcb.fAbortOnError = 1;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.ByteSize = 7;
  dcb.Parity = EVENPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.XonLim = 100;
  dcb.XoffLim = 200;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.ErrorChar = 0x55;
  dcb.EofChar = 0x1A;
  dcb.EvtChar = 0x7E;
  return dcb;
}

TEST(DeviceSettings, WhatIsWrittenReadsBackWhole) {
  CPtyPair pty;
  const auto device = CSerialDevice::Create();
  ASSERT_TRUE(device->Open(pty.SlavePath()));
  for (uint32_t baud : {9600u, 38400u, 57600u, 115200u}) {
    DCB written = SampleSettings();
    written.BaudRate = baud;
    ASSERT_TRUE(device->SetState(written)) << baud;
    DCB read = EmptyDcb();
    ASSERT_TRUE(device->GetState(read));
    EXPECT_TRUE(SameDcb(read, written)) << baud;
  }
}

TEST(DeviceSettings, TakeEffectOnTheLine) {
  CPtyPair pty;
  const auto device = CSerialDevice::Create();
  ASSERT_TRUE(device->Open(pty.SlavePath()));
  DCB dcb = SampleSettings();
  dcb.BaudRate = 115200;
  dcb.fOutxCtsFlow = 1;
  ASSERT_TRUE(device->SetState(dcb));
  // A pseudo-terminal keeps 8 bits without parity; the rest is visible.
  termios tio{};
  ASSERT_EQ(::tcgetattr(pty.Slave(), &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
  EXPECT_TRUE(tio.c_cflag & CSTOPB);
  EXPECT_TRUE(tio.c_cflag & CRTSCTS);
  EXPECT_TRUE(tio.c_iflag & IXON);
  EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO)) << "the line must be raw";
  EXPECT_FALSE(tio.c_oflag & OPOST);
}

TEST(DeviceSettings, UnsupportedValuesAreRefusedAndChangeNothing) {
  CPtyPair pty;
  const auto device = CSerialDevice::Create();
  ASSERT_TRUE(device->Open(pty.SlavePath()));
  ASSERT_TRUE(device->SetState(SampleSettings()));
  for (auto spoil : {+[](DCB& d) { d.BaudRate = 12345; }, +[](DCB& d) { d.ByteSize = 9; },
                     +[](DCB& d) { d.Parity = 5; }, +[](DCB& d) { d.StopBits = 3; }}) {
    DCB bad = SampleSettings();
    spoil(bad);
    EXPECT_FALSE(device->SetState(bad));
    EXPECT_EQ(device->LastError(), DeviceError::Invalid);
    DCB read = EmptyDcb();
    ASSERT_TRUE(device->GetState(read));
    EXPECT_TRUE(SameDcb(read, SampleSettings()));
  }
}

TEST(DeviceSettings, MergeTakesTheTemplateMembersAndKeepsTheDevicesOwn) {
  DCB device = SampleSettings();
  SetDcbFlags(device, DcbFlags(device) | 0xABCD0000u);
  DCB tmpl = EmptyDcb();
  tmpl.BaudRate = 38400;
  SetDcbFlags(tmpl, 0xFFFFFFFFu);
  tmpl.ByteSize = 8;
  tmpl.Parity = ODDPARITY;
  tmpl.StopBits = ONESTOPBIT;
  tmpl.ErrorChar = 0x21;
  tmpl.XonLim = 1;
  tmpl.XonChar = 0x01;
  tmpl.EofChar = 0x02;
  tmpl.EvtChar = 0x03;
  const DCB merged = MergeLineSettings(device, tmpl);
  EXPECT_EQ(merged.BaudRate, 38400u);
  EXPECT_EQ(DcbFlags(merged), 0xABCD7FFFu);
  EXPECT_EQ(merged.fAbortOnError, 1u) << "bit 14 of the flag word";
  EXPECT_EQ(merged.fDummy2, 0xABCD0000u >> 15) << "bits 15 to 31 are the device's";
  EXPECT_EQ(merged.ByteSize, 8);
  EXPECT_EQ(merged.Parity, ODDPARITY);
  EXPECT_EQ(merged.StopBits, ONESTOPBIT);
  EXPECT_EQ(merged.ErrorChar, 0x21);
  EXPECT_EQ(merged.XonLim, device.XonLim);
  EXPECT_EQ(merged.XonChar, device.XonChar);
  EXPECT_EQ(merged.EofChar, device.EofChar);
  EXPECT_EQ(merged.EvtChar, device.EvtChar);
}

class DeviceTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    DCB dcb = EngineLineSettings(57600);
    ASSERT_TRUE(device.SetState(dcb));
    ASSERT_TRUE(device.SetTimeouts(PortTimeouts()));
  }
  CPtyPair pty;
  std::unique_ptr<CSerialDevice> owned = CSerialDevice::Create();
  CSerialDevice& device = *owned;
};

TEST_F(DeviceTransfer, OneByteReadWithNothingArrivingEndsEmptyAfterTheTimeouts) {
  uint8_t byte = 0;
  uint32_t read = 99;
  const auto start = Clock::now();
  EXPECT_TRUE(device.Read(&byte, 1, read));
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(read, 0u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(4)) << "3 ms per byte + 2 ms";
  EXPECT_LT(elapsed, std::chrono::seconds(2));
}

TEST_F(DeviceTransfer, ReadDeliversWhatArrivedWhenTheTimeoutsEndIt) {
  pty.WriteMaster({0x10, 0x20, 0x30});
  uint8_t buf[10] = {};
  uint32_t read = 0;
  EXPECT_TRUE(device.Read(buf, sizeof buf, read));
  ASSERT_EQ(read, 3u);
  EXPECT_EQ(buf[0], 0x10);
  EXPECT_EQ(buf[2], 0x30);
}

TEST_F(DeviceTransfer, WriteReachesTheFarEndWithItsCount) {
  const std::vector<uint8_t> data{'Q', 'u', 'I', 0x00, 0xFF, '\r', '\n'};
  uint32_t written = 0;
  ASSERT_TRUE(device.Write(data.data(), static_cast<uint32_t>(data.size()), written));
  EXPECT_EQ(written, data.size());
  EXPECT_EQ(pty.ReadMaster(data.size()), data) << "bytes must pass unchanged";
}

TEST_F(DeviceTransfer, AHungUpLineReadsAsGoneNotAsNoByteYet) {
  pty.CloseMaster();
  uint8_t byte;
  uint32_t read = 0;
  EXPECT_FALSE(device.Read(&byte, 1, read));
  EXPECT_EQ(device.LastError(), DeviceError::Gone);
  EXPECT_TRUE(device.IsGone());
  uint32_t written = 0;
  EXPECT_FALSE(device.Write(&byte, 1, written));
}

// A transfer that waits without end (no time-outs, or a far end that
// takes nothing) ends once the run's stop is requested (Stop and
// Terminate both request it).
enum class Blocked { Read, Write, WaitReadable };

class DeviceBlockedTransfer : public DeviceTransfer, public ::testing::WithParamInterface<Blocked> {};

TEST_P(DeviceBlockedTransfer, EndsWhenTheRunIsStopped) {
  const Blocked what = GetParam();
  COMMTIMEOUTS none{};
  ASSERT_TRUE(device.SetTimeouts(none));
  std::stop_source stop;
  device.SetStop(stop.get_token());
  std::atomic<pid_t> tid{0};
  bool ok = true;
  std::thread worker([&] {
    tid = test::CurrentTid();
    std::vector<uint8_t> bytes(1 << 20);  // more than the line's buffers hold
    uint32_t done = 0;
    ok = what == Blocked::Write  ? device.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), done)
         : what == Blocked::Read ? device.Read(bytes.data(), 1, done)
                                 : device.WaitReadable();
  });
  while (tid == 0) std::this_thread::yield();
  test::WaitUntilBlockedInPoll(tid);
  stop.request_stop();
  worker.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(device.LastError(), DeviceError::Cancelled);
}

INSTANTIATE_TEST_SUITE_P(Transfers, DeviceBlockedTransfer,
                         ::testing::Values(Blocked::Read, Blocked::Write, Blocked::WaitReadable),
                         [](const auto& info) {
                           return info.param == Blocked::Read    ? "Read"
                                  : info.param == Blocked::Write ? "Write"
                                                                 : "WaitReadable";
                         });

TEST_F(DeviceTransfer, WaitReadableEndsWithTheFirstByteAndLeavesItToRead) {
  std::atomic<pid_t> tid{0};
  bool readable = false;
  std::thread worker([&] {
    tid = test::CurrentTid();
    readable = device.WaitReadable();
  });
  while (tid == 0) std::this_thread::yield();
  test::WaitUntilBlockedInPoll(tid);  // no time-out: it sleeps until the byte
  const uint8_t bytes[2] = {0x5A, 0xA5};
  ASSERT_EQ(::write(pty.Master(), bytes, 2), 2);
  worker.join();
  EXPECT_TRUE(readable);
  uint8_t got = 0;
  uint32_t read = 0;
  EXPECT_TRUE(device.Read(&got, 1, read));
  EXPECT_EQ(read, 1u);
  EXPECT_EQ(got, bytes[0]);
  EXPECT_TRUE(device.WaitReadable()) << "at once while the second byte waits";
  EXPECT_TRUE(device.Read(&got, 1, read));
  EXPECT_EQ(got, bytes[1]);
}

TEST_F(DeviceTransfer, OverlappedReadGoesPendingThenCompletesWithItsCount) {
  uint8_t buf[4] = {};
  COverlapped ov;
  EXPECT_FALSE(device.ReadOverlapped(buf, 4, ov));
  EXPECT_EQ(device.LastError(), DeviceError::IoPending);
  EXPECT_EQ(ov.done, 0u);
  uint32_t transferred = 7;
  EXPECT_FALSE(device.GetOverlappedResult(ov, transferred, false));
  EXPECT_EQ(device.LastError(), DeviceError::IoIncomplete);
  pty.WriteMaster({1, 2, 3, 4});
  EXPECT_TRUE(device.WaitForCompletion(ov, std::chrono::milliseconds(5000)));
  ASSERT_TRUE(device.GetOverlappedResult(ov, transferred, true));
  EXPECT_EQ(transferred, 4u);
  EXPECT_EQ(buf[3], 4);
}

TEST_F(DeviceTransfer, OverlappedReadOfNothingCompletesEmptyWithinItsTimeouts) {
  uint8_t buf[23];
  COverlapped ov;
  device.ReadOverlapped(buf, sizeof buf, ov);
  EXPECT_TRUE(device.WaitForCompletion(ov, std::chrono::milliseconds(5000)));
  uint32_t transferred = 99;
  EXPECT_TRUE(device.GetOverlappedResult(ov, transferred, true));
  EXPECT_EQ(transferred, 0u);
}

TEST_F(DeviceTransfer, TransmitEmptyIsReportedOnceAWriteHasLeft) {
  ASSERT_TRUE(device.SetMask(0x5FF));
  const uint8_t bytes[3] = {'B', 'B', 'B'};
  COverlapped write;
  ASSERT_TRUE(device.WriteOverlapped(bytes, 3, write));
  EXPECT_EQ(write.done, 3u);
  uint32_t events = 0;
  COverlapped wait;
  ASSERT_TRUE(device.WaitCommEvent(events, &wait));
  EXPECT_TRUE(events & EV_TXEMPTY);
  EXPECT_EQ(pty.ReadMaster(3), std::vector<uint8_t>(3, 'B'));
}

}  // namespace
}  // namespace zel
