// A port that opened and then fails every transfer, for whatever reason
// the system gives: each engine says so once and ends its run, rather than
// trying again for ever. Runs on every platform.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "boot/ZELBootThread.h"
#include "run/Platform.h"
#include "tests/MemoryDevice.h"
#include "tests/RunHarness.h"
#include "upgrade/ZELUpgradeThread.h"

namespace zel {

const char* Name(DeviceError error) {
  static const char* const kNames[] = {
      "None", "Gone", "Cancelled", "Busy", "NotFound", "PermissionDenied", "NotSerial", "Invalid", "Failed"};
  return kNames[static_cast<int>(error)];
}

// The error by its name in test listings.
void PrintTo(DeviceError error, std::ostream* out) { *out << Name(error); }

namespace {

using test::CMemoryDevice;

class LostPort : public ::testing::TestWithParam<DeviceError> {
 protected:
  void SetUp() override { line.failWith = GetParam(); }
  void TearDown() override { std::filesystem::remove(m_commands); }
  // A command file of two sections, for the boot engine.
  std::string CommandFile() {
    std::ofstream(m_commands, std::ios::binary) << "t\r\nh\r\n00\r\n\r\nt2\r\nh2\r\n0102\r\n\r\n";
    return m_commands.string();
  }
  // The run ended as failed, after one message and a few tries at most.
  void ExpectOneMessageAndTheEnd(test::CRunHarness& run, const char* message) {
    EXPECT_EQ(run.end.outcome, RunOutcome::Failed);
    EXPECT_EQ(run.reports.Texts(), std::vector<std::string>{message});
    EXPECT_LE(line.failures, 3);
    EXPECT_NE(run.end.cause.kind, CauseKind::None);
  }

  test::CMemoryLine line;  // no input: every transfer fails

 private:
  // Named for the test and the process: ctest runs the cases side by side.
  std::filesystem::path m_commands =
      std::filesystem::temp_directory_path() /
      ("boxfeeder-lost-port-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
       ".txt");
};

TEST_P(LostPort, EndsTheUpgradeAfterOneMessage) {
  CZELUpgradeThread engine;
  engine.UseDevice(std::make_unique<CMemoryDevice>(line));
  line.onSpinning = [&] { engine.Stop(); };  // fails below, at once, instead of hanging
  test::CRunHarness run(engine);
  const std::string image = WriteTemporaryFile(std::vector<uint8_t>(100, 0x5A), ".sdl");
  ASSERT_FALSE(image.empty());
  ASSERT_TRUE(run.Run("COM5", image));
  std::filesystem::remove(image);
  ExpectOneMessageAndTheEnd(run, "Fail to Read the Port");
}

TEST_P(LostPort, EndsTheBootDownloadAfterOneMessage) {
  CZELBootThread engine;
  engine.UseDevice(std::make_unique<CMemoryDevice>(line));
  line.onSpinning = [&] { engine.Stop(); };
  test::CRunHarness run(engine);
  ASSERT_TRUE(run.Run("COM5", CommandFile()));
  ExpectOneMessageAndTheEnd(run, "Fail to Read the Port");
}

std::string ErrorName(const ::testing::TestParamInfo<DeviceError>& info) { return Name(info.param); }

INSTANTIATE_TEST_SUITE_P(Errors, LostPort,
                         ::testing::Values(DeviceError::Gone, DeviceError::Busy,
                                           DeviceError::PermissionDenied, DeviceError::Failed,
                                           DeviceError::Invalid),
                         ErrorName);

}  // namespace
}  // namespace zel
