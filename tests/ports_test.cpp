// The engines' two serial ports on pseudo-terminals: what each says when
// its open fails, what an open, a close and a transfer leave behind, and a
// line that went away.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "ports/ZELBootPort.h"
#include "ports/ZELUpgradePort.h"
#include "sim/PtyLine.h"
#include "tests/RecordingReporter.h"

namespace zel {
namespace {

using Texts = std::vector<std::string>;

speed_t LineSpeed(const sim::CPtyLine& pty) {
  termios tio{};
  ::tcgetattr(pty.Slave(), &tio);
  return ::cfgetospeed(&tio);
}

// One of the ports, reached the same way: open, a one-byte read and write.
struct CPortKind {
  const char* name;
  std::function<std::unique_ptr<CZELPortBase>()> make;
  std::function<int(CZELPortBase&, uint32_t baud, const std::string&)> open;
  std::function<bool(CZELPortBase&, uint8_t*, uint32_t*)> read;  // true when a byte came
  std::function<bool(CZELPortBase&, const uint8_t*, uint32_t, uint32_t*)> write;
  Texts openFailures;  // missing, held, no serial line
};

void PrintTo(const CPortKind& kind, std::ostream* out) { *out << kind.name; }

const CPortKind kKinds[] = {
    {"Upgrade",
     [] { return std::make_unique<CZELUpgradePort>(); },
     [](CZELPortBase& p, uint32_t baud, const std::string& name) {
       return static_cast<CZELUpgradePort&>(p).Open(EngineLineSettings(baud), name);
     },
     [](CZELPortBase& p, uint8_t* byte, uint32_t* read) {
       return static_cast<CZELUpgradePort&>(p).Read(byte, 1, read) == 1;
     },
     [](CZELPortBase& p, const uint8_t* bytes, uint32_t count, uint32_t* written) {
       return static_cast<CZELUpgradePort&>(p).Write(bytes, count, written) == 1;
     },
     {"Can not Create the File", "Can not Create the File", "Can not get the Current Port Configuration"}},
    {"Boot",
     [] { return std::make_unique<CZELBootPort>(); },
     [](CZELPortBase& p, uint32_t baud, const std::string& name) {
       return static_cast<CZELBootPort&>(p).Open(EngineLineSettings(baud), name, true);
     },
     [](CZELPortBase& p, uint8_t* byte, uint32_t* read) {
       return static_cast<CZELBootPort&>(p).Read(byte, 1, read, nullptr) && read && *read == 1;
     },
     [](CZELPortBase& p, const uint8_t* bytes, uint32_t count, uint32_t* written) {
       return static_cast<CZELBootPort&>(p).Write(bytes, count, written, nullptr);
     },
     {"Can not Open the Port", "Can not Open the Port", "Can not get the Port Configuration"}},
};

class Ports : public ::testing::TestWithParam<CPortKind> {
 protected:
  std::unique_ptr<CZELPortBase> Make() {
    auto port = GetParam().make();
    port->SetReporter(&reports);
    return port;
  }
  int Open(CZELPortBase& port, const std::string& name, uint32_t baud = 57600) {
    return GetParam().open(port, baud, name);
  }
  test::CRecordingReporter reports;
  sim::CPtyLine pty;
};

TEST_P(Ports, OpenFailuresAreSaidWithTheirTextsAndLeaveThePortFree) {
  const auto holder = Make();
  ASSERT_EQ(Open(*holder, pty.Port()), 1);
  EXPECT_EQ(Open(*holder, "/dev/does-not-exist", 9600), 1) << "an open port stays as it is";
  EXPECT_EQ(LineSpeed(pty), static_cast<speed_t>(B57600));
  const auto port = Make();
  EXPECT_EQ(Open(*port, "/dev/does-not-exist"), 0);
  EXPECT_EQ(port->LastFailure().kind, CauseKind::NotFound);
  EXPECT_EQ(Open(*port, pty.Port()), 0) << "held by the other port";
  EXPECT_EQ(port->LastFailure().kind, CauseKind::Busy);
  EXPECT_EQ(port->LastFailure().subject, pty.Port());
  char notATty[] = "/tmp/boxfeeder-notatty-XXXXXX";
  ::close(::mkstemp(notATty));
  EXPECT_EQ(Open(*port, notATty), 0);
  EXPECT_EQ(port->LastFailure().kind, CauseKind::NotSerial);
  std::remove(notATty);
  EXPECT_EQ(reports.Texts(), GetParam().openFailures);

  // Closed (twice, quietly) or destroyed, the device is free again; a speed
  // the line refuses leaves it free as well.
  EXPECT_EQ(holder->Close(), 1);
  EXPECT_EQ(holder->Close(), 1);
  reports.Clear();
  EXPECT_EQ(Open(*port, pty.Port(), 12345), 0);
  EXPECT_EQ(reports.Texts(), Texts{"Can not Set the Port Configuration"});
  { EXPECT_EQ(Open(*Make(), pty.Port()), 1); }
  EXPECT_EQ(Open(*port, pty.Port()), 1);
}

TEST_P(Ports, TransfersOfNothingAreQuietAndALostLineIsSaidOnce) {
  const auto port = Make();
  uint8_t byte = 7;
  uint32_t count = 9;
  EXPECT_FALSE(GetParam().read(*port, &byte, &count)) << "closed";
  ASSERT_EQ(Open(*port, pty.Port()), 1);
  EXPECT_FALSE(GetParam().read(*port, &byte, &count)) << "nothing came within the time-outs";
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(GetParam().read(*port, &byte, nullptr));
  EXPECT_FALSE(GetParam().write(*port, &byte, 0, &count));
  EXPECT_EQ(pty.DrainMaster(), std::vector<uint8_t>{});
  EXPECT_EQ(reports.Texts(), Texts{});

  pty.CloseMaster();
  EXPECT_FALSE(GetParam().read(*port, &byte, &count));
  EXPECT_TRUE(port->IsDeviceLost());
  EXPECT_FALSE(GetParam().write(*port, &byte, 1, &count));
  EXPECT_FALSE(GetParam().read(*port, &byte, &count));
  EXPECT_EQ(reports.Texts(), Texts{"Fail to Read the Port"});
  EXPECT_EQ(port->LastFailure().kind, CauseKind::Gone);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Ports, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BootPort, AnOverlappedReadThatGoesPendingSucceedsWithNoCountYet) {
  sim::CPtyLine pty;
  CZELBootPort port;
  ASSERT_EQ(port.Open(EngineLineSettings(38400), pty.Port(), true), 1);
  uint8_t buffer[4];
  uint32_t read = 9;
  COverlapped ov;
  EXPECT_TRUE(port.Read(buffer, 4, &read, &ov));
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(ov.pending);
  port.GetHandle().CancelIo(ov);
}

}  // namespace
}  // namespace zel
