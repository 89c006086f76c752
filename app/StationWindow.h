// The station window (Qt): one tile per port in a grid that fits 1 to 32,
// Start all and Stop all, the results file, the close that asks while
// boxes load. What it shows and does is CStationBoard's; this draws it.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/QtUiDispatcher.h"
#include "station/StationBoard.h"

namespace zel {

// One port's tile: full, or compact (name, state, bar and cause; Start,
// Stop and Log on its context menu) where the screen is small.
class CQtStationTile : public QFrame {
 public:
  explicit CQtStationTile(QWidget* parent);
  void Show(const CTile& tile);
  void SetCompact(bool compact);
  bool IsCompact() const { return m_bCompact; }

  QPushButton* start;
  QPushButton* stop;
  QPushButton* log;

 private:
  QLabel* m_name;
  QLabel* m_state;
  QProgressBar* m_bar;
  QLabel* m_figures;
  QLabel* m_cause;
  QLabel* m_nextStep;
  QLabel* m_counts;
  QFrame* m_strip;  // the state's colour, beside the words that say it
  bool m_bCompact = false;
};

// The tiles in as many columns as fit the space best: full size while
// they fit, else compact; never a scroll bar. Rearranged as the window is
// resized.
class CQtTileGrid : public QWidget {
 public:
  explicit CQtTileGrid(QWidget* parent) : QWidget(parent) {}
  void Add(CQtStationTile* tile) { m_tiles.push_back(tile); }
  void Arrange();
  int Columns() const { return m_columns; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::vector<CQtStationTile*> m_tiles;
  int m_columns = 1;
};

class CQtStationWindow : public QWidget, private IStationView {
 public:
  CQtStationWindow(CStationSetup setup, const CEngineKind& kind);
  ~CQtStationWindow() override;

  CStationBoard& Board() { return *m_board; }
  CQtStationTile& TileWidget(size_t index) { return *m_tiles.at(index); }
  QPushButton& StartAllButton() { return *m_startAll; }
  QPushButton& StopAllButton() { return *m_stopAll; }
  QLineEdit& ResultsField() { return *m_results; }
  QLabel& Totals() { return *m_totals; }
  QLineEdit& ImageDigest() { return *m_digest; }
  QLabel& ImageNote() { return *m_imageNote; }
  QLabel& Records() { return *m_records; }
  QPushButton& TakeNewImageButton() { return *m_takeNew; }
  QCheckBox& WholeImageBox() { return *m_wholeImage; }
  QCheckBox& ContinuousBox() { return *m_continuous; }
  QPushButton& ResetCountsButton() { return *m_resetCounts; }
  CQtTileGrid& Grid() { return *m_grid; }
  // The open log of a port, or null.
  QPlainTextEdit* OpenLog(size_t index) const;
  // How the window asks before it stops boxes that load (a message box;
  // the tests answer it themselves).
  std::function<bool()> askStopAndClose;
  // Set once the window closed because every port had ended or the
  // operator said so: the process's exit code.
  std::optional<int> exitCode;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // IStationView
  void ShowTile(size_t index, const CTile& tile) override;
  void OnLogLine(size_t index, const std::string& line) override;
  void ShowTotals(const std::string& text, bool anyRunning) override;
  bool AskStopAndClose() override;
  void CloseStation(int code) override;
  void ShowImage(const std::string& sha256, bool fileChanged) override;
  void ShowRecords(const std::string& state) override;

  void ShowLog(size_t index);

  CQtUiDispatcher m_dispatcher;
  std::vector<CQtStationTile*> m_tiles;
  CQtTileGrid* m_grid;
  std::vector<QPlainTextEdit*> m_logs;  // opened on demand; owned by the window
  QPushButton* m_startAll;
  QPushButton* m_stopAll;
  QLineEdit* m_results;
  QLabel* m_totals;
  QLineEdit* m_digest;  // the whole digest, its start in view: copied whole
  QLabel* m_imageNote;
  QLabel* m_records;
  QPushButton* m_takeNew;
  QCheckBox* m_wholeImage;
  QCheckBox* m_continuous;
  QPushButton* m_resetCounts;
  bool m_bClosingNow = false;
  std::unique_ptr<CStationBoard> m_board;  // last: it goes first, with its runs
};

}  // namespace zel
