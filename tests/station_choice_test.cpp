#include <gtest/gtest.h>

#include "station/StationChoice.h"

namespace zel {
namespace {

// The picker's memory: an adapter keeps its name in whatever socket it is
// plugged into; a port chosen last time is chosen again; names the
// operator cleared are forgotten, those of adapters not plugged in now are
// kept.
TEST(StationChoice, RemembersNamesByAdapterAndChoicesByPort) {
  CPortInfo ftdi, onboard;
  ftdi.vidPid = "0403:6001";
  ftdi.serial = "A1";
  onboard.name = "/dev/ttyS0";
  CStationMemory memory;
  memory.aliases["serial:0403:6001:A1"] = "left";
  memory.aliases["serial:0403:6001:GONE"] = "right";
  memory.ports = {"/dev/ttyS0"};
  ftdi.name = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:4:1.0-port0";  // another socket
  auto rows = PortRows({ftdi, onboard}, memory);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].alias, "left");
  EXPECT_FALSE(rows[0].chosen);
  EXPECT_TRUE(rows[1].chosen);
  EXPECT_TRUE(rows[1].alias.empty());

  rows[0].chosen = true;
  rows[1].alias = "bench";
  std::string refusal;
  const auto setup = SetupOf("/img.sdl", "", rows, refusal);
  ASSERT_TRUE(setup) << refusal;
  ASSERT_EQ(setup->ports.size(), 2u);
  EXPECT_EQ(setup->ports[0].label, "left");
  EXPECT_EQ(setup->ports[0].path, ftdi.name);
  EXPECT_EQ(setup->ports[1].label, "bench");

  rows[0].alias.clear();
  const CStationMemory after = Remember(memory, "/img.sdl", "/r.jsonl", rows);
  EXPECT_EQ(after.ports, (std::vector<std::string>{ftdi.name, "/dev/ttyS0"}));
  EXPECT_EQ(after.aliases.count("serial:0403:6001:A1"), 0u) << "cleared";
  EXPECT_EQ(after.aliases.at("serial:0403:6001:GONE"), "right") << "kept while unplugged";
  EXPECT_EQ(after.aliases.at("/dev/ttyS0"), "bench");
  EXPECT_EQ(after.resultsPath, "/r.jsonl");
  EXPECT_EQ(Remember(memory, "/img.sdl", "odbc:DSN=line;Uid=station;Pwd=secret", rows).resultsPath,
            "odbc:DSN=line;Uid=station")
      << "no password kept on the disk";
}

TEST(StationChoice, RefusesAStationOfNothingOrOfTwoSameNames) {
  std::vector<CPortRow> rows(2);
  rows[0].port.name = "/dev/ttyUSB0";
  rows[1].port.name = "/dev/ttyUSB1";
  std::string refusal;
  EXPECT_FALSE(SetupOf("/img.sdl", "", rows, refusal));
  EXPECT_EQ(refusal, "Choose at least one port.");
  rows[0].chosen = rows[1].chosen = true;
  EXPECT_FALSE(SetupOf("", "", rows, refusal));
  EXPECT_EQ(refusal, "Choose the image first.");
  rows[0].alias = rows[1].alias = "box";
  refusal.clear();
  EXPECT_FALSE(SetupOf("/img.sdl", "", rows, refusal));
  EXPECT_FALSE(refusal.empty());
}

}  // namespace
}  // namespace zel
