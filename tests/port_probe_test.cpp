#include <gtest/gtest.h>

#include <filesystem>

#include "link/PortProbe.h"
#include "link/SerialDevice.h"
#include "tests/PtyPair.h"

namespace zel {
namespace {

std::vector<std::string> Names(const std::vector<CProbedPort>& ports) {
  std::vector<std::string> names;
  for (const auto& p : ports) names.push_back(p.name);
  return names;
}

TEST(PortProbe, ListsInOrderOnlyThePortsThatOpen) {
  test::CPtyPair first, held, last;
  const auto holder = CSerialDevice::Create();
  ASSERT_TRUE(holder->Open(held.SlavePath()));
  CProbeSources sources;
  sources.comNames = {last.SlavePath(), "/dev/does-not-exist", held.SlavePath(), first.SlavePath(),
                      "/dev/null"};
  sources.adapterPatterns = {};
  EXPECT_EQ(Names(ProbePorts(sources)), (std::vector<std::string>{last.SlavePath(), first.SlavePath()}));
  // The probe closes what it opened.
  EXPECT_TRUE(CSerialDevice::Create()->Open(first.SlavePath()));
}

TEST(PortProbe, NamesAdaptersByTheirStableLinks) {
  test::CPtyPair adapter, other;
  const auto dir = std::filesystem::temp_directory_path() / ("boxfeeder-by-id-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto link = dir / "usb-Vendor_Cable_1234-if00-port0";
  std::filesystem::create_symlink(adapter.SlavePath(), link);
  CProbeSources sources;
  sources.comNames = {};
  sources.adapterPatterns = {adapter.SlavePath(), other.SlavePath()};
  sources.byIdDirectory = dir.string();
  const auto ports = ProbePorts(sources);
  std::filesystem::remove_all(dir);
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].name, link.string());
  EXPECT_EQ(ports[0].device, adapter.SlavePath());
  EXPECT_EQ(ports[1].name, other.SlavePath());
}

}  // namespace
}  // namespace zel
