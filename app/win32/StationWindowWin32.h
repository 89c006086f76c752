// The station window (Win32): one tile per port in a grid that fits 1 to
// 32, Start all and Stop all, the results file, the close that asks while
// boxes load. What it shows and does is CStationBoard's; this draws it
// with the system's controls.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/UiDispatcherWin32.h"
#include "station/StationBoard.h"

namespace zel {

class CWin32StationWindow final : private IStationView {
 public:
  // The parts of a tile, whose control ids are TileControlId(index, part).
  enum TilePart {
    kStrip,
    kName,
    kState,
    kBar,
    kFigures,
    kCause,
    kNextStep,
    kCounts,
    kStart,
    kStop,
    kLog,
    kParts
  };
  static constexpr int kResultsId = 102, kStartAllId = 103, kStopAllId = 104, kTotalsId = 105,
                       kDigestId = 106, kImageNoteId = 107, kTakeNewId = 108, kWholeImageId = 109,
                       kContinuousId = 110, kResetCountsId = 111, kRecordsId = 112;
  static int TileControlId(size_t index, TilePart part) {
    return 1000 + static_cast<int>(index) * kParts + part;
  }

  CWin32StationWindow(CStationSetup setup, const CEngineKind& kind);
  ~CWin32StationWindow() override;
  CWin32StationWindow(const CWin32StationWindow&) = delete;
  CWin32StationWindow& operator=(const CWin32StationWindow&) = delete;

  HWND Handle() const { return m_window; }
  CStationBoard& Board() { return *m_board; }
  // The text of a control, as UTF-8.
  std::string ControlText(int id) const;
  // The log window of a port, once opened.
  HWND LogWindow(size_t index) const { return m_logs.at(index); }
  // Runs the window's messages until it is gone; the exit code then.
  int Run();
  // Handles the messages waiting, without blocking; false once the window is gone.
  bool PumpMessages();

  // How the window asks before it stops boxes that load (a message box;
  // the tests answer it themselves).
  std::function<bool()> askStopAndClose;
  std::optional<int> exitCode;

 private:
  // IStationView
  void ShowTile(size_t index, const CTile& tile) override;
  void OnLogLine(size_t index, const std::string& line) override;
  void ShowTotals(const std::string& text, bool anyRunning) override;
  bool AskStopAndClose() override;
  void CloseStation(int code) override;
  void ShowImage(const std::string& sha256, bool fileChanged) override;
  void ShowRecords(const std::string& state) override;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK LogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(int id);
  void MakeControls(const CStationSetup& setup);
  HWND Add(const wchar_t* type, const std::string& text, DWORD style, int id, int x, int y, int w, int h);
  void ShowLog(size_t index);
  // Places the tiles as the window's size allows (CTileGrid).
  void Arrange();
  void TakeResultsPath();
  // The fonts at m_dpi; and all made anew when the window moves to a
  // screen of other dots per inch.
  void MakeFonts();
  void OnDpiChanged(int dpi, const RECT& suggested);
  // The layout is set out at 96 dots per inch and scaled to the screen's.
  int Scaled(int length) const { return MulDiv(length, m_dpi, 96); }

  CWin32UiDispatcher m_dispatcher;
  HWND m_window = nullptr;
  int m_startDpi = 96, m_dpi = 96;
  HFONT m_font = nullptr, m_bold = nullptr, m_large = nullptr;
  HBRUSH m_stateBrushes[6] = {};
  HBRUSH m_failedFace = nullptr;  // a tile whose last box failed, until one passes
  std::vector<TileState> m_shownStates;
  std::vector<bool> m_shownFailed;
  std::vector<HWND> m_frames;     // each tile's frame
  std::vector<RECT> m_tileRects;  // each tile's face, inside its frame and beside its strip
  std::vector<HWND> m_logs;
  bool m_bClosingNow = false;
  bool m_bRecordsWaiting = false;          // the records' state in the warning's colour
  std::unique_ptr<CStationBoard> m_board;  // last: it goes first, with its runs
};

}  // namespace zel
