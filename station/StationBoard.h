// What the station window shows and does, without a window system: one
// tile per port (its name, its state in words, its figures, the cause of
// its last failure and what to do, the boxes it loaded and failed), Start
// and Stop per tile and for all, boxes after boxes on each port without a
// click (continuous), the station's counts, each port's log kept for when
// the operator opens it, a record per box in the results file, and the
// close that asks first while boxes load. The Qt and the Win32 windows draw it (IStationView)
// and hand it the operator's actions.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engines/EngineKinds.h"
#include "station/ResultsFile.h"
#include "station/ResultsSink.h"
#include "station/Station.h"

namespace zel {

enum class TileState { Ready, Waiting, Loading, Loaded, Failed, Cancelled };

// The state as the tile says it, readable without its colour.
const char* TileStateWords(TileState state);

// The state's colour: mid tones, which read on a light and a dark palette
// alike, as 0xRRGGBB.
uint32_t TileStateColor(TileState state);

// The grid's columns for count tiles: a square grid, or one row short of
// it (32 tiles: 6 columns), at most 8.
int StationColumns(size_t count);

// Where count tiles go in an area: the columns that leave each tile the
// most room for what its form needs, the full form while it fits, else the
// compact one (name, state, bar, cause); never more than the area, so no
// scroll bar. Sizes in any one unit.
struct CTileGrid {
  int columns = 1;
  bool compact = false;
  int width = 0, height = 0;  // of each tile
};
CTileGrid ArrangeTiles(size_t count, int areaWidth, int areaHeight, int gap, int fullWidth, int fullHeight,
                       int compactWidth, int compactHeight);

// A tile's title: the label, and the port's device where the label does
// not say it already ("Box06 · COM8", "left · ttyUSB3", "ttyUSB3").
std::string TileTitle(const std::string& label, const std::string& device);

struct CTile {
  std::string label;  // the port's short name
  std::string port;   // its path
  std::string title;  // TileTitle of the label and the port's device
  TileState state = TileState::Ready;
  int percent = 0;
  std::string figures;   // percent, KB/s and time left, once the box asks
  std::string cause;     // why the last box failed, in one line, until a box passes; empty for none
  std::string nextStep;  // what the operator does about it
  int loaded = 0;        // boxes since the window opened or the counts were reset
  int failed = 0;
  bool looping = false;  // continuous: the next box is waited for when this one ends
  bool Running() const { return state == TileState::Waiting || state == TileState::Loading; }
};

// The boxes the station has seen since the window opened or Reset: what a
// supervisor reads from across the line.
struct CStationCounts {
  int loaded = 0;
  int failed = 0;
  double hours = 0;  // since the counts began
  // Loaded of all that ended, as a percentage; -1 before any ended.
  double YieldPercent() const { return loaded + failed ? 100.0 * loaded / (loaded + failed) : -1; }
  // Boxes ended per hour; -1 before the first minute.
  double PerHour() const { return hours >= 1.0 / 60 ? (loaded + failed) / hours : -1; }
};

// "11 loaded, 1 failed, yield 91.7 %, 36 boxes an hour", then what the
// ports do now: "3 loading, 5 waiting for the box".
std::string StationCountsText(const CStationCounts& counts, const std::string& activity);

class IStationView {
 public:
  virtual ~IStationView() = default;
  virtual void ShowTile(size_t index, const CTile& tile) = 0;
  // A line has joined the port's log (CStationBoard::Log).
  virtual void OnLogLine(size_t index, const std::string& line) = 0;
  // "2 loading, 1 loaded, 1 failed": the station at a glance; anyRunning
  // tells Stop all from Start all.
  virtual void ShowTotals(const std::string& text, bool anyRunning) = 0;
  // The operator closes while boxes load: true to stop them all and close.
  virtual bool AskStopAndClose() = 0;
  // The window may close now, the process ending with exitCode.
  virtual void CloseStation(int exitCode) = 0;
  // The image the boxes get: its SHA-256 (empty while it is being read),
  // and whether the file on disk no longer matches it.
  virtual void ShowImage(const std::string& sha256, bool fileChanged) = 0;
  // Where the records of a database stand: "stored", "12 records waiting:
  // the database cannot be reached: ..."; empty for a results file.
  virtual void ShowRecords(const std::string& state) = 0;
};

struct CStationSetup {
  std::string image;
  std::vector<CStationPort> ports;
  std::string resultsPath;  // a file, or odbc:CONNECTION for the line's database; empty: none
  std::string stationName;  // the records' station; empty for this computer's name
  bool exitWhenDone = false;
  bool continuous = true;          // each port waits for its next box when one ends
  bool requireWholeImage = false;  // a box that asks for only part of the image fails
  int endPauseMs = -1;             // the pause after each success; -1 for the engine's own
};

class CStationBoard {
 public:
  // The command line's exit codes, which a scripted station keeps.
  static constexpr int kAllLoaded = 0, kAnyFailed = 1, kCancelled = 2;

  CStationBoard(IUiDispatcher& dispatcher, IStationView& view, CStationSetup setup, const CEngineKind& kind);
  ~CStationBoard();
  CStationBoard(const CStationBoard&) = delete;
  CStationBoard& operator=(const CStationBoard&) = delete;

  size_t Size() const { return m_tiles.size(); }
  const CTile& Tile(size_t index) const { return m_tiles.at(index)->tile; }
  const std::vector<std::string>& Log(size_t index) const { return m_tiles.at(index)->log; }
  const CStationSetup& Setup() const { return m_setup; }
  void SetResultsPath(std::string path) { m_setup.resultsPath = std::move(path); }
  // For the boxes started from now on.
  void SetRequireWholeImage(bool require) { m_setup.requireWholeImage = require; }
  // For the ports started from now on; off, a port's loop ends with its
  // box.
  void SetContinuous(bool continuous);
  CStationCounts Counts() const;
  // The counts begin again, now.
  void ResetCounts();

  // A port's Start: its box, and in continuous mode each next one.
  void Start(size_t index);
  // Stops the port's box and its loop.
  void Stop(size_t index);
  void StartAll();
  void StopAll();
  bool AnyRunning() const;
  // The image every box gets: read once, at the first Start, and shared
  // by every port. Null before.
  const CRunInput* Image() const { return m_image.get(); }
  // Tells the view of the image's digest once it is known, and whether the
  // file on disk has changed since it was read. The windows call it on a
  // timer: it costs one look at the file's size and time.
  void CheckImage();
  // Tells the view where the records of a database stand; on the same
  // timer.
  void CheckRecords();
  // Reads the file again for the boxes started from now on (those loading
  // keep the copy they started with); false, with why in refusal, when it
  // cannot be read.
  bool TakeNewImage(std::string& refusal);
  // The window's close: true when it may close at once. Else the operator
  // was asked; on yes every port stops and CloseStation follows their ends.
  bool RequestClose();
  // A close that asks nobody (a termination signal, the session's end):
  // every port stops, each box's record is written as it ends, and
  // CloseStation follows once all have ended.
  void StopAllAndClose();
  // 0 every box of the last round loaded, 1 any failed (or its record was
  // lost), 2 cancelled.
  int ExitCode() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct CTileRun final : IRunObserver {
    CTileRun(CStationBoard& owner, size_t at) : board(owner), index(at) {}
    void OnLine(const std::string& text, LineLevel level) override;
    void OnProgress(uint32_t offset, uint32_t length) override;
    void OnEnd(const CRunEnd& end) override;
    void OnOperatorMessage(const std::string& text) override;
    void OnDiagnostic(const std::string& text) override;

    CStationBoard& board;
    size_t index;
    CTile tile;
    std::vector<std::string> log;
    CBoxRecord record;
    uint64_t served = 0;
    Clock::time_point firstServed{}, lastShown{};
    bool started = false;  // at least once since the window opened
    bool next = false;     // this run waits for a loop's next box
  };

  void AddLog(CTileRun& run, const std::string& line);
  void Show(CTileRun& run);
  void ShowTotals();
  // The records' file or database for the results path as it is now;
  // false with why in refusal when records could go nowhere.
  bool OpenResults(std::string& refusal);
  // Closes the window once no port runs, where it closes then.
  void CloseIfDone();
  void Ended(CTileRun& run, const CRunEnd& end);
  // The next box of a port in continuous mode, from the event loop.
  void Again(size_t index);
  bool Busy(const CTileRun& run) const { return run.tile.Running() || run.tile.looping; }
  // The copy for a box about to start; null with why in failure.
  std::shared_ptr<CRunInput> ImageForStart(CFailureCause& failure);

  IUiDispatcher& m_dispatcher;
  IStationView& m_view;
  CStationSetup m_setup;
  CRecordOrigin m_origin;
  Clock::time_point m_countsSince = Clock::now();
  std::shared_ptr<int> m_alive = std::make_shared<int>();  // what posted tasks check
  uint64_t m_imageSize = 0;
  const CEngineKind& m_kind;
  std::shared_ptr<CRunInput> m_image;
  std::string m_shownSha256;  // what the view was last told
  bool m_bShownChanged = false;
  std::vector<CPortInfo> m_present;
  bool m_bResultsLost = false;
  std::unique_ptr<CResultsSink> m_results;  // for m_resultsOpened
  std::string m_resultsOpened, m_shownRecords;
  bool m_bClosing = false;
  // The tiles hear the station's runs: they are made first and go last.
  std::vector<std::unique_ptr<CTileRun>> m_tiles;
  CStation m_station;
};

}  // namespace zel
