// boxfeed on a pseudo-terminal that behaves as a UART (the preloaded
// model in tests/uart): a transmitter that takes the line's time, an
// adapter FIFO that hides the last bytes from the driver, modem lines that
// are kept, and errors where hardware gives them. The model logs what it
// was asked; the tests read that log.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "sim/BoxSimulator.h"
#include "sim/SampleImage.h"
#include "tests/ChildProcess.h"
#include "tests/TempFile.h"
#include "tests/Text.h"

namespace zel {
namespace {

using sim::SampleImage;
using test::CChildProcess;
using test::Count;
using test::CTempFile;
using test::Has;
using test::ReadFile;

// boxfeed with the model on the box's port.
struct CModelledRun {
  explicit CModelledRun(std::vector<std::string> env = {}) : m_env(std::move(env)) {}
  std::unique_ptr<CChildProcess> Start(std::vector<std::string> args) {
    std::vector<std::string> env{"LD_PRELOAD=" UART_MODEL_PATH, "BOXFEEDER_UART_DEVICE=" + box.Port(),
                                 "BOXFEEDER_UART_LOG=" + log.Path(),
                                 // The model comes after the sanitizers' runtimes; that is fine.
                                 "ASAN_OPTIONS=verify_asan_link_order=0"};
    env.insert(env.end(), m_env.begin(), m_env.end());
    args.insert(args.begin(), BOXFEED_PATH);
    return std::make_unique<CChildProcess>(args, -1, env);
  }
  std::string Log() const { return ReadFile(log.Path()); }

  sim::CBoxSimulator box;
  CTempFile log{{}, ".log"};

 private:
  std::vector<std::string> m_env;
};

// A command file whose second section has n bytes.
std::string CommandFile(size_t n) {
  std::string hex;
  for (size_t i = 0; i < n; ++i) hex += "A5";
  return "t\r\nh\r\n00\r\n\r\nt2\r\nh2\r\n" + hex + "\r\n\r\n";
}

struct CBootCase {
  const char* name;
  uint32_t powerOnBytes;  // what the box says when it comes up
  const char* fifo;       // bytes the adapter holds that its driver cannot see
};

void PrintTo(const CBootCase& c, std::ostream* out) { *out << c.name; }

class UartBoot : public ::testing::TestWithParam<CBootCase> {};

// The boot download sends section 2 at 38400, waits until it has left,
// then switches to 115200: the box's power-on chatter does not end the
// wait early, and the tail still in the adapter is not sent at the new
// speed. DTR stays on and RTS off from the settings to the close.
TEST_P(UartBoot, SectionLeavesWholeBeforeTheSpeedChanges) {
  const CBootCase c = GetParam();
  CModelledRun run({std::string("BOXFEEDER_UART_FIFO=") + c.fifo});
  const size_t n = 100;  // 26 ms at 38400
  const std::string text = CommandFile(n);
  CTempFile commands(std::vector<uint8_t>(text.begin(), text.end()), ".txt");
  sim::CBootPlan plan;
  plan.powerOnBytes = c.powerOnBytes;
  sim::CBootReport report;
  std::thread boxThread([&] { report = run.box.RunBoot(std::vector<uint8_t>(n, 0xA5), plan); });
  auto child = run.Start({"boot", commands.Path(), "--port", run.box.Port()});
  EXPECT_EQ(child->Wait(), 0) << child->Stdout() << child->Stderr();
  run.box.Stop();
  boxThread.join();
  EXPECT_TRUE(report.sectionMatches);
  EXPECT_TRUE(report.switchedBeforeB);
  const std::string log = run.Log();
  EXPECT_TRUE(Has(log, "speed 38400 -> 115200, 0 bytes on the wire"));
  // The modem lines: DTR on and RTS off once set, until the close.
  const auto set = log.find("lines DTR=1 RTS=0");
  ASSERT_NE(set, std::string::npos) << log;
  EXPECT_EQ(log.find("RTS=1", set), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Adapters, UartBoot,
                         ::testing::Values(CBootCase{"OneBytePowerOn", 1, "0"},
                                           CBootCase{"TwoBytePowerOn", 2, "0"},
                                           CBootCase{"AdapterFifoOf32", 1, "32"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Hardware errors in the middle of an upgrade: said once, the run fails
// with its cause, nothing spins.
struct CErrorCase {
  const char* name;
  const char* fail;
};

void PrintTo(const CErrorCase& c, std::ostream* out) { *out << c.name; }

class UartErrors : public ::testing::TestWithParam<CErrorCase> {};

TEST_P(UartErrors, EndTheUpgradeOnceWithItsCause) {
  CModelledRun run({std::string("BOXFEEDER_UART_FAIL=") + GetParam().fail});
  const auto image = SampleImage(8192);
  CTempFile file(image, ".sdl");
  sim::CBoxPlan plan;
  plan.chunk = 512;
  plan.replyTimeoutMs = 3000;
  sim::CBoxReport report;
  std::thread boxThread([&] { report = run.box.Run(image, plan); });
  auto child = run.Start({"upgrade", file.Path(), "--port", run.box.Port(), "--end-pause-ms", "0"});
  EXPECT_EQ(child->Wait(), 1) << child->Stdout() << child->Stderr();
  run.box.Stop();
  boxThread.join();
  EXPECT_FALSE(report.imageIntact);
  EXPECT_EQ(Count(child->Stdout(), "\nCause: "), 1u) << child->Stdout();
  EXPECT_LE(Count(child->Stderr(), "Fail to "), 1u) << child->Stderr();
}

INSTANTIATE_TEST_SUITE_P(Faults, UartErrors,
                         ::testing::Values(CErrorCase{"ModemLinesEio", "ioctl:EIO:0"},
                                           CErrorCase{"ReadEio", "read:EIO:6"},
                                           CErrorCase{"WriteEio", "write:EIO:3"},
                                           CErrorCase{"ReadEbusy", "read:EBUSY:6"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel
