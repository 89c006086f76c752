#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <tuple>

#include "ports/CommHandle.h"
#include "ports/CommRecords.h"
#include "serial/SerialDevice.h"
#include "sim/PtyLine.h"
#include "tests/ChildProcess.h"
#include "tests/Text.h"
#include "tests/ThreadProbe.h"

namespace zel {
namespace {

using sim::CPtyLine;
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

// What the ports say of a missing port, a held one and a file that is no
// serial line is their suite's; a user without the right is the device's.
TEST(DeviceOpen, APortTheUserMayNotOpenIsSaidSo) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may open any port";
  CPtyLine pty;
  ::chmod(pty.Port().c_str(), 0);
  const auto device = CSerialDevice::Create();
  EXPECT_FALSE(device->Open(pty.Port()));
  EXPECT_EQ(device->LastError(), DeviceError::PermissionDenied);
}

TEST(DeviceOpen, OpenInAnotherProcessFailsWhileHeld) {
  CPtyLine pty;
  const auto device = CSerialDevice::Create();
  ASSERT_TRUE(device->Open(pty.Port()));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const auto other = CSerialDevice::Create();
    ::_exit(other->Open(pty.Port()) ? 1 : (other->LastError() == DeviceError::Busy ? 0 : 2));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the other process opened the held device; 2: wrong error";
}

// A program that opened the port first and holds it without a lock (cat,
// a terminal) has the port refused and is named; the port is free once it
// has gone. On a virtual pair made with socat, as users make one, socat
// holds both ends of each pty it made and is the other end of the line,
// not a rival.
TEST(DeviceOpen, AProgramThatHoldsThePortIsNamedAndSocatIsNoRival) {
  const std::string dir = "/tmp/boxfeeder-socat-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  test::CChildProcess socat(
      {"/bin/sh", "-c",
       "exec socat -d -d pty,raw,echo=0,link=" + dir + "/vA pty,raw,echo=0,link=" + dir + "/vB 2>&1"});
  ASSERT_TRUE(socat.ReadUntil("starting data transfer loop")) << socat.Stdout();
  CPtyLine pty;
  for (const std::string& port : {pty.Port(), dir + "/vA"}) {
    const auto device = CSerialDevice::Create();
    EXPECT_TRUE(device->Open(port)) << device->LastErrorText();
    device->Close();
    {
      test::CChildProcess rival({"/bin/sh", "-c", "exec 3<" + port + " && echo ready && exec sleep 600"});
      ASSERT_TRUE(rival.ReadUntil("ready"));
      EXPECT_FALSE(device->Open(port));
      EXPECT_EQ(device->LastError(), DeviceError::Busy);
      EXPECT_TRUE(
          test::Has(device->LastErrorText(), "(pid " + std::to_string(rival.Pid()) + ") has it open"));
    }
    EXPECT_TRUE(device->Open(port)) << "free once the holder has gone";
  }
  std::filesystem::remove_all(dir);
}

CLineSettings SampleSettings() {
  CLineSettings line;
  line.baud = 57600;
  line.xonXoffOut = line.xonXoffIn = true;
  line.dtr = LineControl::Off;
  line.rts = LineControl::On;
  line.dataBits = 7;
  line.parity = Parity::Even;
  line.stopBits = StopBits::Two;
  line.xonChar = 0x01;
  line.xoffChar = 0x02;
  return line;
}

// A UUCP lock file of a live process (minicom leaves one) refuses the port
// too, whether it is named after the device or after the link the user
// typed, and names the program; a stale one does not.
TEST(DeviceOpen, ALockFileOfALiveProcessRefusesThePort) {
  CPtyLine pty;
  const std::string link = "/tmp/boxlink-" + std::to_string(::getpid());
  std::filesystem::create_symlink(pty.Port(), link);
  const std::string device = std::filesystem::canonical(pty.Port()).filename().string();
  auto sleeper = std::make_unique<test::CChildProcess>(std::vector<std::string>{"/bin/sleep", "600"});
  const std::string pid = std::to_string(sleeper->Pid());
  // Named after the device, then after the link the user typed; last, a
  // stale one, whose process has gone.
  for (const std::string& locked : {device, std::string("boxlink-") + std::to_string(::getpid()), device}) {
    const std::string lock = "/run/lock/LCK.." + locked;
    if (!(std::ofstream(lock) << std::string(10 - pid.size(), ' ') << pid << "\n")) {
      std::filesystem::remove(link);
      GTEST_SKIP() << "no lock directory to write in";
    }
    const bool stale = sleeper == nullptr;
    const auto opener = CSerialDevice::Create();
    EXPECT_EQ(opener->Open(link), stale) << locked;
    EXPECT_EQ(opener->LastErrorText(), stale ? "" : "sleep (pid " + pid + "), by its lock file, has it open");
    std::filesystem::remove(lock);
    if (locked != device) sleeper.reset();
  }
  std::filesystem::remove(link);
}

// Settings read back whole; what a pseudo-terminal keeps of them (8 bits
// without parity) is on the line, raw; values the device cannot take are
// refused and change nothing; the close gives the line back as it was, so
// that a later program does not find it raw at the box's speed.
TEST(DeviceSettings, ReadBackTakeEffectRefuseTheImpossibleAndAreUndoneAtClose) {
  CPtyLine pty;
  termios before{}, tio{};
  ASSERT_EQ(::tcgetattr(pty.Slave(), &before), 0);
  const auto device = CSerialDevice::Create();
  ASSERT_TRUE(device->Open(pty.Port()));
  for (uint32_t baud : {9600u, 38400u, 57600u, 115200u}) {
    CLineSettings written = SampleSettings(), read;
    written.baud = baud;
    ASSERT_TRUE(device->SetLine(written)) << baud;
    ASSERT_TRUE(device->GetLine(read));
    EXPECT_EQ(read, written) << baud;
  }
  CLineSettings flow = SampleSettings(), set, read;
  flow.baud = 115200;
  flow.ctsFlow = true;
  ASSERT_TRUE(device->SetLine(flow) && device->GetLine(set));
  ASSERT_EQ(::tcgetattr(pty.Slave(), &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
  EXPECT_TRUE((tio.c_cflag & CSTOPB) && (tio.c_cflag & CRTSCTS) && (tio.c_iflag & IXON));
  EXPECT_EQ(tio.c_cc[VSTART], 0x01);
  EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO)) << "the line must be raw";
  EXPECT_FALSE(tio.c_oflag & OPOST);
  for (auto spoil :
       {+[](CLineSettings& l) { l.baud = 12345; }, +[](CLineSettings& l) { l.dataBits = 9; },
        +[](CLineSettings& l) { l.parity = Parity{5}; }, +[](CLineSettings& l) { l.stopBits = StopBits{3}; },
        +[](CLineSettings& l) { l.dtr = LineControl::Toggle; }}) {
    CLineSettings bad = flow;
    spoil(bad);
    EXPECT_FALSE(device->SetLine(bad));
    EXPECT_EQ(device->LastError(), DeviceError::Invalid);
    ASSERT_TRUE(device->GetLine(read));
    EXPECT_EQ(read, set);
  }
  device->Close();
  ASSERT_EQ(::tcgetattr(pty.Slave(), &tio), 0);
  EXPECT_EQ(std::tuple(::cfgetospeed(&tio), tio.c_lflag, tio.c_cc[VMIN], tio.c_cflag),
            std::tuple(::cfgetospeed(&before), before.c_lflag, before.c_cc[VMIN], before.c_cflag));
}

// The ports' records: what a port takes from its caller's template, and
// what of it reaches the device.
DCB SampleDcb() {
  DCB dcb = DcbOf(SampleSettings());
  dcb.fAbortOnError = 1;
  dcb.XonLim = 100;
  dcb.XoffLim = 200;
  dcb.EofChar = 0x1A;
  dcb.EvtChar = 0x7E;
  return dcb;
}

TEST(PortSettings, MergeTakesTheTemplateMembersAndKeepsTheDevicesOwn) {
  DCB device = SampleDcb();
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
  EXPECT_EQ(DcbFlags(merged), 0xABCD7FFFu) << "bits 15 to 31 are the device's";
  EXPECT_EQ(merged.fAbortOnError, 1u) << "bit 14 of the flag word";
  EXPECT_EQ(std::tuple(merged.BaudRate, merged.ByteSize, merged.Parity, merged.StopBits, merged.ErrorChar),
            std::tuple(38400u, uint8_t{8}, uint8_t{ODDPARITY}, uint8_t{ONESTOPBIT}, char{0x21}));
  EXPECT_EQ(std::tuple(merged.XonLim, merged.XonChar, merged.EofChar, merged.EvtChar),
            std::tuple(device.XonLim, device.XonChar, device.EofChar, device.EvtChar));
}

TEST(PortSettings, ReachTheDeviceAsTheyWereMeant) {
  // Each DTR and RTS control, each framing and each flow flag survives the
  // way to the device and back.
  const uint32_t dtr[] = {DTR_CONTROL_DISABLE, DTR_CONTROL_ENABLE, DTR_CONTROL_HANDSHAKE};
  const uint32_t rts[] = {RTS_CONTROL_DISABLE, RTS_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE};
  for (int i = 0; i < 4; ++i) {
    DCB dcb = EngineLineSettings(57600 * (i + 1));
    dcb.fDtrControl = dtr[i % 3];
    dcb.fRtsControl = rts[i];
    dcb.Parity = static_cast<uint8_t>(ODDPARITY + i);
    dcb.StopBits = static_cast<uint8_t>(i % 3);
    dcb.ByteSize = static_cast<uint8_t>(5 + i);
    dcb.fOutxCtsFlow = i & 1;
    dcb.fOutxDsrFlow = (i >> 1) & 1;
    dcb.fOutX = i == 2;
    dcb.fInX = i == 3;
    dcb.fParity = i == 0;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    DCB back = DcbOf(LineSettingsOf(dcb));
    back.ErrorChar = dcb.ErrorChar;
    EXPECT_EQ(DcbFlags(back), DcbFlags(dcb)) << i;
    EXPECT_EQ(std::tuple(back.BaudRate, back.ByteSize, back.Parity, back.StopBits),
              std::tuple(dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits));
  }
  const CLineSettings engine = LineSettingsOf(EngineLineSettings(115200));
  EXPECT_EQ(engine.dtr, LineControl::On);
  EXPECT_EQ(engine.rts, LineControl::Off);
  const CLineTimeouts t = LineTimeoutsOf(PortTimeouts());
  EXPECT_EQ(t, (CLineTimeouts{3, 3, 2, 3, 2}));
}

class DeviceTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device.Open(pty.Port()));
    ASSERT_TRUE(device.SetLine(LineSettingsOf(EngineLineSettings(57600))));
    comm.SetTimeouts(LineTimeoutsOf(PortTimeouts()));
  }
  CPtyLine pty;
  std::unique_ptr<CSerialDevice> owned = CSerialDevice::Create();
  CSerialDevice& device = *owned;
  CCommHandle comm{device};  // the ports' view, with their time-outs
};

// A read ends empty once its time-outs pass with nothing arriving, and
// with what arrived when they end it.
TEST_F(DeviceTransfer, AReadEndsWithWhatArrivedWhenItsTimeoutsPass) {
  uint8_t buf[10] = {};
  uint32_t read = 99;
  const auto start = Clock::now();
  EXPECT_TRUE(comm.Read(buf, 1, read));
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(read, 0u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(4)) << "3 ms per byte + 2 ms";
  EXPECT_LT(elapsed, std::chrono::seconds(2));
  pty.WriteMaster({0x10, 0x20, 0x30});
  EXPECT_TRUE(comm.Read(buf, sizeof buf, read));
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + read), (std::vector<uint8_t>{0x10, 0x20, 0x30}));
}

TEST_F(DeviceTransfer, WriteReachesTheFarEndWithItsCount) {
  const std::vector<uint8_t> data{'Q', 'u', 'I', 0x00, 0xFF, '\r', '\n'};
  uint32_t written = 0;
  ASSERT_TRUE(
      device.Write(data.data(), static_cast<uint32_t>(data.size()), written, std::chrono::seconds(1)));
  EXPECT_EQ(written, data.size());
  EXPECT_EQ(pty.ReadMaster(data.size()), data) << "bytes must pass unchanged";
}

TEST_F(DeviceTransfer, AHungUpLineReadsAsGoneNotAsNoByteYet) {
  pty.CloseMaster();
  uint8_t byte;
  uint32_t read = 0;
  EXPECT_FALSE(device.Read(&byte, 1, read, std::chrono::seconds(1)));
  EXPECT_EQ(device.LastError(), DeviceError::Gone);
  EXPECT_TRUE(device.IsGone());
  uint32_t written = 0;
  EXPECT_FALSE(device.Write(&byte, 1, written, std::chrono::seconds(1)));
}

// A transfer that waits without end (no time-out, or a far end that
// takes nothing) ends once the run's stop is requested (Stop and
// Terminate both request it).
enum class Blocked { Read, Write, WaitReadable };

const char* Name(Blocked what) {
  const char* const kNames[] = {"Read", "Write", "WaitReadable"};
  return kNames[static_cast<int>(what)];
}
void PrintTo(Blocked what, std::ostream* out) { *out << Name(what); }

class DeviceBlockedTransfer : public DeviceTransfer, public ::testing::WithParamInterface<Blocked> {};

TEST_P(DeviceBlockedTransfer, EndsWhenTheRunIsStopped) {
  const Blocked what = GetParam();
  std::stop_source stop;
  device.SetStop(stop.get_token());
  std::vector<uint8_t> bytes(1 << 20);  // more than the line's buffers hold
  uint32_t done = 0;
  std::atomic<pid_t> tid{0};
  bool ok = true;
  std::thread worker([&] {
    tid = test::CurrentTid();
    switch (what) {
      case Blocked::Write:
        ok = device.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), done, CSerialDevice::kNoLimit);
        break;
      case Blocked::Read: ok = device.Read(bytes.data(), 1, done, CSerialDevice::kNoLimit); break;
      case Blocked::WaitReadable: ok = device.WaitReadable(); break;
    }
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
                         [](const auto& info) { return std::string(Name(info.param)); });

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
  EXPECT_TRUE(device.Read(&got, 1, read, CSerialDevice::Timeout(0)));
  EXPECT_EQ(read, 1u);
  EXPECT_EQ(got, bytes[0]);
  EXPECT_TRUE(device.WaitReadable()) << "at once while the second byte waits";
  EXPECT_TRUE(device.Read(&got, 1, read, CSerialDevice::Timeout(0)));
  EXPECT_EQ(got, bytes[1]);
}

// The comm API over the device: an overlapped read goes pending, then
// completes with its count, or empty once its time-outs end it; a write
// that has left is reported by the transmit-empty event.
TEST_F(DeviceTransfer, OverlappedReadsAndTheTransmitEmptyEvent) {
  uint8_t buf[23] = {};
  COverlapped ov;
  EXPECT_FALSE(comm.ReadOverlapped(buf, 4, ov));
  EXPECT_TRUE(ov.pending);
  uint32_t transferred = 7;
  EXPECT_FALSE(comm.GetOverlappedResult(ov, transferred, false)) << "not yet";
  pty.WriteMaster({1, 2, 3, 4});
  EXPECT_TRUE(comm.WaitForCompletion(ov, std::chrono::milliseconds(5000)));
  ASSERT_TRUE(comm.GetOverlappedResult(ov, transferred, true));
  EXPECT_EQ(transferred, 4u);
  EXPECT_EQ(buf[3], 4);

  COverlapped empty;
  comm.ReadOverlapped(buf, sizeof buf, empty);
  EXPECT_TRUE(comm.WaitForCompletion(empty, std::chrono::milliseconds(5000)));
  EXPECT_TRUE(comm.GetOverlappedResult(empty, transferred, true));
  EXPECT_EQ(transferred, 0u);

  ASSERT_TRUE(comm.SetMask(0x5FF));
  const uint8_t bytes[3] = {'B', 'B', 'B'};
  COverlapped write;
  ASSERT_TRUE(comm.WriteOverlapped(bytes, 3, write));
  EXPECT_EQ(write.done, 3u);
  uint32_t events = 0;
  COverlapped wait;
  ASSERT_TRUE(comm.WaitCommEvent(events, &wait));
  EXPECT_TRUE(events & EV_TXEMPTY);
  EXPECT_EQ(pty.ReadMaster(3), std::vector<uint8_t>(3, 'B'));
}

}  // namespace
}  // namespace zel
