#include "station/StationBoard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "station/StationPorts.h"
#include "station/TransferFigures.h"

namespace zel {
namespace {

// A tile's figures change at most this often while its box loads: 32
// boxes asking five times a second each would redraw the window 160 times.
constexpr auto kFiguresInterval = std::chrono::milliseconds(250);
// The lines a tile's log keeps: the newest, as a log window would show.
constexpr size_t kLogLines = 5000;

}  // namespace

const char* TileStateWords(TileState state) {
  switch (state) {
    case TileState::Ready: return "ready";
    case TileState::Waiting: return "waiting for the box";
    case TileState::Loading: return "loading";
    case TileState::Loaded: return "loaded";
    case TileState::Failed: return "failed";
    case TileState::Cancelled: return "cancelled";
  }
  return "";
}

uint32_t TileStateColor(TileState state) {
  switch (state) {
    case TileState::Ready: return 0x8a8f98;
    case TileState::Waiting: return 0x3b82f6;
    case TileState::Loading: return 0xf59e0b;
    case TileState::Loaded: return 0x16a34a;
    case TileState::Failed: return 0xdc2626;
    case TileState::Cancelled: return 0x6b7280;
  }
  return 0;
}

std::string TileTitle(const std::string& label, const std::string& device) {
  std::string name = device;
  if (name.starts_with("/dev/")) name = name.substr(5);
  if (name.starts_with("\\\\.\\")) name = name.substr(4);
  if (name.empty() || label.ends_with(name)) return label;
  return label + " \u00b7 " + name;
}

std::string StationCountsText(const CStationCounts& counts, const std::string& activity) {
  std::string text = std::to_string(counts.loaded) + " loaded, " + std::to_string(counts.failed) + " failed";
  char figures[80];
  if (counts.YieldPercent() >= 0) {
    std::snprintf(figures, sizeof figures, ", yield %.1f %%", counts.YieldPercent());
    text += figures;
  }
  if (counts.PerHour() >= 0) {
    std::snprintf(figures, sizeof figures, ", %.0f boxes an hour", counts.PerHour());
    text += figures;
  }
  return activity.empty() ? text : text + " \u2014 " + activity;
}

int StationColumns(size_t count) {
  return std::clamp(static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count)))), 1, 8);
}

CTileGrid ArrangeTiles(size_t count, int areaWidth, int areaHeight, int gap, int fullWidth, int fullHeight,
                       int compactWidth, int compactHeight) {
  CTileGrid grid;
  const int n = std::max(1, static_cast<int>(count));
  const auto cell = [&](int columns, int& width, int& height) {
    const int rows = (n + columns - 1) / columns;
    width = (areaWidth - (columns - 1) * gap) / columns;
    height = (areaHeight - (rows - 1) * gap) / rows;
  };
  for (const bool compact : {false, true}) {
    const double needWidth = compact ? compactWidth : fullWidth,
                 needHeight = compact ? compactHeight : fullHeight;
    double best = 0;
    for (int columns = 1; columns <= n; ++columns) {
      int width = 0, height = 0;
      cell(columns, width, height);
      const double room = std::min(width / needWidth, height / needHeight);
      if (room >= 1 && room > best) {
        best = room;
        grid.columns = columns;
        grid.compact = compact;
      }
    }
    if (best > 0) break;
    // Too small even for the compact form: as many columns as its width allows.
    grid.compact = true;
    grid.columns = std::clamp((areaWidth + gap) / std::max(1, compactWidth + gap), 1, n);
  }
  cell(grid.columns, grid.width, grid.height);
  return grid;
}

CStationBoard::CStationBoard(IUiDispatcher& dispatcher, IStationView& view, CStationSetup setup,
                             const CEngineKind& kind)
    : m_dispatcher(dispatcher),
      m_view(view),
      m_setup(std::move(setup)),
      m_origin(RecordOrigin(m_setup.stationName)),
      m_kind(kind),
      m_station(dispatcher, kind.make) {
  const std::vector<CPortInfo> present = ListSerialPorts();
  for (size_t i = 0; i < m_setup.ports.size(); ++i) {
    m_tiles.push_back(std::make_unique<CTileRun>(*this, i));
    CTile& tile = m_tiles.back()->tile;
    tile.label = m_setup.ports[i].label;
    tile.port = m_setup.ports[i].path;
    const CPortInfo* adapter = FindPort(present, tile.port);
    tile.title = TileTitle(tile.label, adapter ? adapter->device : tile.port);
    m_station.Add(m_setup.ports[i], *m_tiles.back());
  }
}

CStationBoard::~CStationBoard() {
  // The last records a moment to reach the database; what does not stays
  // in the spool for the next start.
  if (m_results) m_results->Drain(std::chrono::seconds(2));
}

bool CStationBoard::OpenResults(std::string& refusal) {
  if (m_setup.resultsPath == m_resultsOpened && m_results) return true;
  auto results = std::make_unique<CResultsSink>(m_setup.resultsPath);
  std::string unreachable;
  if (!results->Open(refusal, unreachable)) return false;
  m_results = std::move(results);
  m_resultsOpened = m_setup.resultsPath;
  CheckRecords();
  return true;
}

void CStationBoard::CheckRecords() {
  const std::string state = m_results ? m_results->StateText() : std::string();
  if (state == m_shownRecords) return;
  m_shownRecords = state;
  m_view.ShowRecords(state.empty() ? state : "Records: " + state);
}

std::shared_ptr<CRunInput> CStationBoard::ImageForStart(CFailureCause& failure) {
  if (!m_image) {
    m_image = m_kind.take(m_setup.image, failure);
    if (m_image) m_imageSize = m_image->Size();
    CheckImage();
  }
  return m_image;
}

void CStationBoard::CheckImage() {
  const std::string sha256 = m_image ? m_image->Sha256() : std::string();
  const bool changed = m_image && m_image->FileChangedSince();
  if (sha256 == m_shownSha256 && changed == m_bShownChanged) return;
  m_shownSha256 = sha256;
  m_bShownChanged = changed;
  m_view.ShowImage(sha256, changed);
}

bool CStationBoard::TakeNewImage(std::string& refusal) {
  std::shared_ptr<CRunInput> old = std::move(m_image);
  CFailureCause failure;
  if (!ImageForStart(failure)) {
    m_image = std::move(old);
    refusal = CauseWords(failure);
    return false;
  }
  return true;
}

void CStationBoard::SetContinuous(bool continuous) {
  m_setup.continuous = continuous;
  if (continuous) return;
  for (auto& run : m_tiles) run->tile.looping = false;
  ShowTotals();
}

CStationCounts CStationBoard::Counts() const {
  CStationCounts counts;
  for (const auto& run : m_tiles) {
    counts.loaded += run->tile.loaded;
    counts.failed += run->tile.failed;
  }
  counts.hours = std::chrono::duration<double, std::ratio<3600>>(Clock::now() - m_countsSince).count();
  return counts;
}

void CStationBoard::ResetCounts() {
  m_countsSince = Clock::now();
  for (auto& run : m_tiles) {
    run->tile.loaded = run->tile.failed = 0;
    Show(*run);
  }
  ShowTotals();
}

void CStationBoard::Start(size_t index) {
  CTileRun& run = *m_tiles.at(index);
  if (run.tile.Running() || m_bClosing) return;
  run.tile.looping = m_setup.continuous;
  run.next = false;
  if (m_setup.resultsPath.empty()) {
    m_results.reset();
    m_resultsOpened.clear();
  } else {
    std::string refusal;
    if (!OpenResults(refusal)) {
      // Refused before the box is served: its record could go nowhere.
      m_results.reset();
      m_resultsOpened.clear();
      m_bResultsLost = true;
      run.started = true;
      run.tile.state = TileState::Failed;
      run.tile.looping = false;
      run.tile.cause = (IsStoreAddress(m_setup.resultsPath) ? "The records' database cannot be used: "
                                                            : "Can not Create The File: ") +
                       refusal;
      run.tile.nextStep = "check the results field, then start the port again";
      AddLog(run, run.tile.cause);
      Show(run);
      ShowTotals();
      CloseIfDone();
      return;
    }
    // The adapters the records name, found once.
    if (m_present.empty()) m_present = ListSerialPorts();
  }
  CFailureCause failure;
  const std::shared_ptr<CRunInput> image = ImageForStart(failure);
  m_station.Engine(index).SetInput(image);
  m_station.Engine(index).SetRequireWholeInput(m_setup.requireWholeImage);
  if (m_setup.endPauseMs >= 0)
    m_station.Engine(index).SetPauseBeforeSuccess(std::chrono::milliseconds(m_setup.endPauseMs));
  // A small image's digest is known now; a large one's comes with the
  // run's end.
  // The tile shows the label: it is the box's alias.
  run.record = RecordAtStart(m_origin, m_setup.image, m_imageSize, image ? image->Sha256() : std::string(),
                             m_setup.ports[index], true, m_present);
  if (!image) {
    run.started = true;
    CRunEnd end;
    end.cause = failure;
    Ended(run, end);
    return;
  }
  run.served = 0;
  run.started = true;
  run.tile.state = TileState::Waiting;
  run.tile.percent = 0;
  run.tile.figures.clear();
  AddLog(run, "Waiting for the box on " + run.tile.port);
  if (!m_station.Start(index, m_setup.image)) {
    CRunEnd end;
    end.cause = {CauseKind::Other, run.tile.port, "the transfer could not start"};
    Ended(run, end);
    return;
  }
  Show(run);
  ShowTotals();
}

void CStationBoard::Stop(size_t index) {
  m_tiles.at(index)->tile.looping = false;
  m_station.Stop(index);
  ShowTotals();
}

void CStationBoard::StartAll() {
  for (size_t i = 0; i < m_tiles.size(); ++i) Start(i);
}

void CStationBoard::StopAll() {
  for (auto& run : m_tiles) run->tile.looping = false;
  m_station.StopAll();
  ShowTotals();
}

bool CStationBoard::AnyRunning() const {
  for (const auto& run : m_tiles)
    if (Busy(*run)) return true;
  return false;
}

bool CStationBoard::RequestClose() {
  if (!AnyRunning()) return true;
  if (m_bClosing || !m_view.AskStopAndClose()) return false;
  m_bClosing = true;
  StopAll();
  // A port between two boxes has no run whose end would close the window.
  return !AnyRunning();
}

void CStationBoard::StopAllAndClose() {
  m_bClosing = true;
  StopAll();
  // Now, where no port had a run whose end would close it (one between two
  // boxes in continuous mode has none).
  CloseIfDone();
}

int CStationBoard::ExitCode() const {
  bool anyFailed = m_bResultsLost, anyCancelled = false, anyStarted = false;
  for (const auto& run : m_tiles) {
    if (!run->started) continue;
    anyStarted = true;
    anyFailed |= run->tile.state == TileState::Failed;
    anyCancelled |= run->tile.state == TileState::Cancelled || Busy(*run);
  }
  if (anyFailed) return kAnyFailed;
  return anyCancelled || !anyStarted ? kCancelled : kAllLoaded;
}

void CStationBoard::AddLog(CTileRun& run, const std::string& line) {
  if (run.log.size() == kLogLines) run.log.erase(run.log.begin(), run.log.begin() + kLogLines / 10);
  run.log.push_back(line);
  m_view.OnLogLine(run.index, line);
}

void CStationBoard::Show(CTileRun& run) {
  run.lastShown = Clock::now();
  m_view.ShowTile(run.index, run.tile);
}

void CStationBoard::ShowTotals() {
  int states[6] = {};
  for (const auto& run : m_tiles) ++states[static_cast<int>(run->tile.state)];
  std::string activity;
  for (TileState state : {TileState::Loading, TileState::Waiting}) {
    const int n = states[static_cast<int>(state)];
    if (n == 0) continue;
    if (!activity.empty()) activity += ", ";
    activity += std::to_string(n) + " " + TileStateWords(state);
  }
  m_view.ShowTotals(StationCountsText(Counts(), activity), AnyRunning());
}

void CStationBoard::Ended(CTileRun& run, const CRunEnd& end) {
  switch (end.outcome) {
    case RunOutcome::Succeeded:
      run.tile.state = TileState::Loaded;
      ++run.tile.loaded;
      run.tile.percent = 100;
      run.tile.cause.clear();
      run.tile.nextStep.clear();
      break;
    case RunOutcome::Cancelled:
      run.tile.state = TileState::Cancelled;
      run.tile.looping = false;
      break;
    case RunOutcome::Failed:
      run.tile.state = TileState::Failed;
      // A port that does not open, or an image that cannot be read, is the
      // station's fault: no box failed.
      run.tile.failed += !IsStationFault(end.cause.kind);
      // The tile is the port's: its path is not said again.
      run.tile.cause = CauseWords(end.cause, end.cause.subject != run.tile.port);
      run.tile.nextStep = NextStep(end.cause.kind);
      if (run.tile.cause.empty()) {
        run.tile.cause = "the box did not finish its upgrade";
        run.tile.nextStep = NextStep(CauseKind::BoxProtocol);
      }
      AddLog(run, DescribeCause(end.cause));
      // A port that does not open or went away waits for the operator.
      run.tile.looping &= !EndsAPortsLoop(end.cause.kind);
      break;
  }
  if (run.served > 0) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - run.firstServed).count();
    run.tile.figures = TransferFigures(run.served, m_imageSize, elapsed, true);
  }
  const CRunFigures& figures = end.figures;
  if (end.outcome == RunOutcome::Succeeded && figures.coveredBytes < figures.imageBytes)
    run.tile.figures +=
        " (" + CoverageText(figures.coveredBytes, figures.imageBytes) + " of the image asked for)";
  const bool noBox = run.next && WaitHadNoBox(end, run.served);
  if (m_results && !noBox) {
    std::string error;
    if (!m_results->Write(RecordAtEnd(run.record, end), error)) {
      // A box whose record is missing is no box to count as done.
      m_bResultsLost = true;
      run.tile.looping = false;
      run.tile.nextStep = "check the results file, then start the port again";
      run.tile.cause = m_results->IsStore() ? "Can not Create The File: " + error
                                            : "Can not Create The File: " + m_results->Shown() + ": " + error;
      AddLog(run, run.tile.cause);
    }
  }
  run.tile.looping &= !m_bClosing;
  if (run.tile.looping)  // started from the event loop: this runs inside the run's end
    m_dispatcher.Post([this, alive = std::weak_ptr<int>(m_alive), index = run.index] {
      if (alive.lock()) Again(index);
    });
  Show(run);
  ShowTotals();
  CloseIfDone();
}

void CStationBoard::CloseIfDone() {
  if (AnyRunning()) return;
  bool allStarted = true;
  for (const auto& tile : m_tiles) allStarted &= tile->started;
  if (m_bClosing || (m_setup.exitWhenDone && allStarted)) m_view.CloseStation(ExitCode());
}

void CStationBoard::Again(size_t index) {
  CTileRun& run = *m_tiles.at(index);
  if (!run.tile.looping || run.tile.Running() || m_bClosing) return;
  Start(index);
  run.next = true;
}

void CStationBoard::CTileRun::OnLine(const std::string& text, LineLevel /*level*/) {
  board.AddLog(*this, text);
}

void CStationBoard::CTileRun::OnProgress(uint32_t /*offset*/, uint32_t length) {
  const auto now = Clock::now();
  if (served == 0) {
    firstServed = now;
    tile.state = TileState::Loading;
  }
  served += length;
  const double elapsed = std::chrono::duration<double>(now - firstServed).count();
  tile.percent = PercentOf(served, board.m_imageSize);
  tile.figures = TransferFigures(served, board.m_imageSize, elapsed, false);
  const bool first = served == length;
  if (first) board.ShowTotals();
  if (first || now - lastShown >= kFiguresInterval) board.Show(*this);
}

void CStationBoard::CTileRun::OnEnd(const CRunEnd& end) { board.Ended(*this, end); }

// The station shows no modal box per port: the message joins the port's
// log and stands as its cause, and the run goes on at once.
void CStationBoard::CTileRun::OnOperatorMessage(const std::string& text) {
  board.AddLog(*this, text);
  tile.cause = text;
  board.Show(*this);
}

void CStationBoard::CTileRun::OnDiagnostic(const std::string& text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  while (!line.empty() && (line.front() == '\n' || line.front() == '\r')) line.erase(line.begin());
  if (!line.empty()) board.AddLog(*this, line);
}

}  // namespace zel
