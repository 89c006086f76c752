// The station's tiles, totals, results file and close, without a window:
// real engines on pseudo-terminals against simulated boxes, a view that
// records what it is told.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "run/UiDispatcher.h"
#include "station/StationBoard.h"
#include "station/StationChoice.h"
#include "tests/BoxOnThread.h"
#include "tests/QuickUpgrade.h"
#include "tests/TempFile.h"

namespace zel {
namespace {

struct CRecordingView final : IStationView {
  std::vector<CTile> tiles;
  std::vector<std::vector<std::string>> logs;
  std::string totals;
  bool anyRunning = false;
  bool answer = true;  // to the question on closing
  int asked = 0;
  std::optional<int> closedWith;

  void ShowTile(size_t index, const CTile& tile) override {
    if (tiles.size() <= index) tiles.resize(index + 1);
    tiles[index] = tile;
  }
  void OnLogLine(size_t index, const std::string& line) override {
    if (logs.size() <= index) logs.resize(index + 1);
    logs[index].push_back(line);
  }
  void ShowTotals(const std::string& text, bool running) override {
    totals = text;
    anyRunning = running;
  }
  bool AskStopAndClose() override {
    ++asked;
    return answer;
  }
  void CloseStation(int exitCode) override { closedWith = exitCode; }
  void ShowImage(const std::string& sha256, bool fileChanged) override {
    imageSha256 = sha256;
    imageChanged = fileChanged;
  }
  std::string imageSha256;
  bool imageChanged = false;
};

sim::CBoxPlan Plan() {
  sim::CBoxPlan plan;
  plan.chunk = 1000;
  return plan;
}

std::vector<nlohmann::json> Records(const std::string& path) {
  std::vector<nlohmann::json> records;
  std::istringstream lines(test::ReadFile(path));
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) records.push_back(nlohmann::json::parse(line));
  return records;
}

class StationBoard : public ::testing::Test {
 protected:
  // Boxes with these plans, one per port; the first is named "left" by
  // the operator, the others by their paths' tails.
  void Open(std::vector<sim::CBoxPlan> plans, bool exitWhenDone = false) {
    for (const auto& plan : plans) boxes.push_back(std::make_unique<test::CBoxOnThread>(image, plan));
    CStationSetup setup;
    setup.image = file.Path();
    setup.resultsPath = resultsPath;
    setup.exitWhenDone = exitWhenDone;
    for (size_t i = 0; i < boxes.size(); ++i) {
      setup.ports.push_back({boxes[i]->box.Port(), i == 0 ? "left" : "box" + std::to_string(i)});
      setup.named.push_back(i == 0);
    }
    board = std::make_unique<CStationBoard>(loop, view, setup, test::QuickUpgradeKind());
  }
  void RunUntil(const std::function<bool()>& done) { loop.RunUntil(done); }
  bool Ended(size_t index) const { return index < view.tiles.size() && !view.tiles[index].Running(); }

  const std::vector<uint8_t> image = test::SampleImage(5000);
  test::CTempFile file{image};
  test::CTempFile results{std::vector<uint8_t>{}};
  std::string resultsPath = results.Path();
  CUiLoop loop;
  CRecordingView view;
  std::vector<std::unique_ptr<test::CBoxOnThread>> boxes;
  std::unique_ptr<CStationBoard> board;  // last: it goes before the boxes it talks to
};

// One box loads, one hangs up, one stays off: each tile says so in words,
// and closing asks, stops the last and ends with the code for a failure.
TEST_F(StationBoard, EachTileFollowsItsOwnBoxAndClosingStopsTheRest) {
  sim::CBoxPlan hangsUp = Plan(), silent;
  hangsUp.hangUpAfter = 12 + 2 * (1000 + 20);
  silent.silent = true;
  Open({Plan(), hangsUp, silent});
  board->StartAll();
  EXPECT_EQ(view.tiles.at(2).state, TileState::Waiting);
  EXPECT_TRUE(view.anyRunning);
  RunUntil([&] { return Ended(0) && Ended(1); });

  const CTile& loaded = view.tiles[0];
  EXPECT_EQ(loaded.state, TileState::Loaded);
  EXPECT_STREQ(TileStateWords(loaded.state), "loaded");
  EXPECT_EQ(loaded.percent, 100);
  EXPECT_EQ(loaded.figures.substr(0, 5), "100 %");
  EXPECT_EQ(loaded.loaded, 1);
  EXPECT_EQ(loaded.failed, 0);
  EXPECT_TRUE(loaded.cause.empty());

  const CTile& gone = view.tiles[1];
  EXPECT_EQ(gone.state, TileState::Failed);
  EXPECT_EQ(gone.failed, 1);
  EXPECT_NE(gone.cause.find(boxes[1]->box.Port()), std::string::npos) << gone.cause;
  EXPECT_EQ(gone.cause.find('\n'), std::string::npos) << "one line";
  EXPECT_LT(gone.percent, 100);
  EXPECT_EQ(view.totals, "1 waiting for the box, 1 loaded, 1 failed");
  EXPECT_FALSE(view.logs.at(0).empty()) << "each port keeps its own log";

  EXPECT_FALSE(board->RequestClose()) << "a box is still awaited";
  EXPECT_EQ(view.asked, 1);
  RunUntil([&] { return view.closedWith.has_value(); });
  EXPECT_EQ(view.tiles[2].state, TileState::Cancelled);
  EXPECT_EQ(*view.closedWith, CStationBoard::kAnyFailed);

  const auto records = Records(resultsPath);
  ASSERT_EQ(records.size(), 3u);
  std::map<std::string, nlohmann::json> byPort;
  for (const auto& record : records) byPort[record["port"]] = record;
  EXPECT_EQ(byPort[boxes[0]->box.Port()]["outcome"], "succeeded");
  EXPECT_EQ(byPort[boxes[0]->box.Port()]["alias"], "left");
  EXPECT_EQ(byPort[boxes[0]->box.Port()]["bytesServed"], 5000);
  EXPECT_EQ(byPort[boxes[0]->box.Port()]["imageSha256"], test::Sha256Sum(file.Path()));
  EXPECT_EQ(byPort[boxes[1]->box.Port()]["outcome"], "failed");
  EXPECT_EQ(byPort[boxes[1]->box.Port()]["cause"], gone.cause);
  EXPECT_TRUE(byPort[boxes[1]->box.Port()]["alias"].is_null()) << "named by its path only";
  EXPECT_EQ(byPort[boxes[2]->box.Port()]["outcome"], "cancelled");
}

// Every box of the station gets the image as it was read at the first
// Start, whatever is copied over the file meanwhile; the window says that
// the file changed, and takes the new one when asked.
TEST_F(StationBoard, ServesTheImageItReadAndTakesANewOneWhenAsked) {
  const std::string before = test::Sha256Sum(file.Path());
  sim::CBoxPlan overwrites = Plan();
  overwrites.beforeRequest = [&](size_t n) {
    if (n == 1) std::ofstream(file.Path(), std::ios::binary) << std::string(7000, 'B');
  };
  Open({overwrites, Plan()});
  board->Start(0);
  EXPECT_EQ(view.imageSha256, before) << "a small image's digest is shown at once";
  RunUntil([&] { return Ended(0); });
  board->CheckImage();
  EXPECT_TRUE(view.imageChanged);
  board->Start(1);
  RunUntil([&] { return Ended(1); });
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(view.tiles[i].state, TileState::Loaded);
    boxes[i]->Finish();
    EXPECT_TRUE(boxes[i]->report.imageIntact) << "box " << i << " got the image as it was read";
  }
  for (const auto& record : Records(resultsPath)) {
    EXPECT_EQ(record["imageSha256"], before);
    EXPECT_EQ(record["imageSize"], 5000);
    EXPECT_EQ(record["coverage"], 1.0);
  }
  std::string refusal;
  ASSERT_TRUE(board->TakeNewImage(refusal)) << refusal;
  EXPECT_EQ(view.imageSha256, test::Sha256Sum(file.Path()));
  EXPECT_FALSE(view.imageChanged);
  EXPECT_EQ(board->Image()->Size(), 7000u);
}

// The operator who says no keeps every box loading; with nothing loading
// the window closes without a question.
TEST_F(StationBoard, ClosingAsksOnlyWhileBoxesLoadAndNoKeepsThemGoing) {
  sim::CBoxPlan silent;
  silent.silent = true;
  Open({silent});
  EXPECT_TRUE(board->RequestClose()) << "nothing started";
  EXPECT_EQ(view.asked, 0);
  board->Start(0);
  view.answer = false;
  EXPECT_FALSE(board->RequestClose());
  EXPECT_EQ(view.asked, 1);
  EXPECT_TRUE(view.tiles[0].Running());
  board->Stop(0);
  RunUntil([&] { return Ended(0); });
  EXPECT_EQ(view.tiles[0].state, TileState::Cancelled);
  EXPECT_FALSE(view.closedWith) << "a stop of one port closes nothing";
  EXPECT_TRUE(board->RequestClose());
}

// --exit-when-done: the window closes by itself once every port has
// ended, with the code of the command line; a lost record is a failure.
struct CExitCase {
  const char* name;
  bool resultsWritable;
  int code;
};

void PrintTo(const CExitCase& c, std::ostream* out) { *out << c.name; }

class StationExit : public StationBoard, public ::testing::WithParamInterface<CExitCase> {};

TEST_P(StationExit, WhenEveryPortHasEnded) {
  if (!GetParam().resultsWritable) resultsPath = "/proc/version/results.jsonl";
  Open({Plan(), Plan()}, true);
  board->StartAll();
  RunUntil([&] { return view.closedWith.has_value(); });
  EXPECT_EQ(*view.closedWith, GetParam().code);
  EXPECT_EQ(view.asked, 0);
  for (const CTile& tile : view.tiles) {
    EXPECT_EQ(tile.state, TileState::Loaded);
    if (!GetParam().resultsWritable) {
      EXPECT_NE(tile.cause.find("Can not Create The File"), std::string::npos);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Results, StationExit,
                         ::testing::Values(CExitCase{"Written", true, CStationBoard::kAllLoaded},
                                           CExitCase{"Lost", false, CStationBoard::kAnyFailed}),
                         [](const auto& info) { return std::string(info.param.name); });

// Names that are not UTF-8 keep their bytes in the record, escaped; UTF-8
// names (Cyrillic, a Windows path's backslashes) stay as they are.
TEST(ResultsRecord, KeepsTheBytesOfNamesThatAreNotUtf8) {
  const struct {
    std::string image, kept;
  } cases[] = {{"/img/\xFF\xFEx.sdl", "/img/\\xFF\\xFEx.sdl"},
               {"C:\\box\\\xE9.sdl", "C:\\\\box\\\\\\xE9.sdl"},
               {"/img/образ.sdl", "/img/образ.sdl"},
               {"C:\\box\\new.sdl", "C:\\box\\new.sdl"}};
  for (const auto& c : cases) {
    CBoxRecord record;
    record.imagePath = c.image;
    EXPECT_EQ(nlohmann::json::parse(RecordLine(record))["image"], c.kept);
  }
}

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
  EXPECT_EQ(setup->named, (std::vector<bool>{true, true}));

  rows[0].alias.clear();
  const CStationMemory after = Remember(memory, "/img.sdl", "/r.jsonl", rows);
  EXPECT_EQ(after.ports, (std::vector<std::string>{ftdi.name, "/dev/ttyS0"}));
  EXPECT_EQ(after.aliases.count("serial:0403:6001:A1"), 0u) << "cleared";
  EXPECT_EQ(after.aliases.at("serial:0403:6001:GONE"), "right") << "kept while unplugged";
  EXPECT_EQ(after.aliases.at("/dev/ttyS0"), "bench");
  EXPECT_EQ(after.resultsPath, "/r.jsonl");
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
