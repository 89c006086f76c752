#include "app/win32/StationWindowWin32.h"

#include <commctrl.h>

#include <algorithm>

#include "app/win32/Utf16.h"

namespace zel {
namespace {

constexpr wchar_t kWindowClass[] = L"BoxFeederStation";
constexpr wchar_t kLogClass[] = L"BoxFeederStationLog";
// The layout at 96 dots per inch: a tile's least size in full and compact
// (name, state, bar, cause), the gap between tiles, the head above them.
constexpr int kTileWidth = 250, kTileHeight = 158, kCompactWidth = 112, kCompactHeight = 56, kGap = 8,
              kTop = 118, kRecordsHeight = 20;
constexpr COLORREF kFailedFace = RGB(0xf8, 0xc4, 0xc4);
constexpr UINT_PTR kImageTimer = 1;

COLORREF ColorOf(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW window{};
  window.cbSize = sizeof window;
  window.hInstance = GetModuleHandleW(nullptr);
  window.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window.lpszClassName = kWindowClass;
  window.hIcon = LoadIconW(window.hInstance, MAKEINTRESOURCEW(128));
  window.lpfnWndProc = DefWindowProcW;  // each window takes its own procedure once made
  window.cbWndExtra = sizeof(void*);
  RegisterClassExW(&window);
  window.lpszClassName = kLogClass;
  RegisterClassExW(&window);
}

}  // namespace

CWin32StationWindow::CWin32StationWindow(CStationSetup setup, const CEngineKind& kind) {
  RegisterClasses();
  HDC screen = GetDC(nullptr);
  m_startDpi = m_dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  MakeFonts();
  m_failedFace = CreateSolidBrush(kFailedFace);
  for (int state = 0; state < 6; ++state)
    m_stateBrushes[state] = CreateSolidBrush(ColorOf(TileStateColor(static_cast<TileState>(state))));

  const int columns = StationColumns(setup.ports.size());
  const int rows = (static_cast<int>(setup.ports.size()) + columns - 1) / columns;
  RECT frame{0, 0, Scaled(std::max(columns * (kTileWidth + kGap) + kGap, 640)),
             Scaled(kTop + rows * (kTileHeight + kGap) + kGap)};
  AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_CONTROLPARENT);
  // No larger than the screen's work area: the tiles reflow into it.
  RECT work{0, 0, 1366, 728};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  m_window = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, L"BoxFeeder station", WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, CW_USEDEFAULT,
                             std::min<LONG>(frame.right - frame.left, work.right - work.left),
                             std::min<LONG>(frame.bottom - frame.top, work.bottom - work.top), nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(m_window, 0, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWin32StationWindow::WindowProc));
  MakeControls(setup);
  m_logs.resize(setup.ports.size(), nullptr);
  m_shownStates.resize(setup.ports.size(), TileState::Ready);
  m_shownFailed.resize(setup.ports.size(), false);
  Arrange();
  m_board = std::make_unique<CStationBoard>(m_dispatcher, static_cast<IStationView&>(*this), std::move(setup),
                                            kind);
  for (size_t i = 0; i < m_board->Size(); ++i) ShowTile(i, m_board->Tile(i));
  ShowTotals(StationCountsText({}, std::to_string(m_board->Size()) + " ready"), false);
  ShowImage({}, false);
  if (m_board->Setup().requireWholeImage) CheckDlgButton(m_window, kWholeImageId, BST_CHECKED);
  if (m_board->Setup().continuous) CheckDlgButton(m_window, kContinuousId, BST_CHECKED);
  // The digest of a large image comes once it is read; a file copied over
  // the image shows within a second.
  SetTimer(m_window, kImageTimer, 1000, nullptr);
}

CWin32StationWindow::~CWin32StationWindow() {
  m_board.reset();  // stops the runs while the controls still exist
  for (HWND log : m_logs)
    if (log) DestroyWindow(log);
  if (m_window) DestroyWindow(m_window);
  DeleteObject(m_font);
  DeleteObject(m_bold);
  DeleteObject(m_large);
  DeleteObject(m_failedFace);
  for (HBRUSH brush : m_stateBrushes) DeleteObject(brush);
}

void CWin32StationWindow::MakeFonts() {
  // The system's message font is given at the screen's dots per inch when
  // the window opened.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  LOGFONTW font = metrics.lfMessageFont;
  font.lfHeight = MulDiv(font.lfHeight, m_dpi, m_startDpi);
  m_font = CreateFontIndirectW(&font);
  font.lfWeight = FW_BOLD;
  m_bold = CreateFontIndirectW(&font);
  font.lfHeight = font.lfHeight * 7 / 5;
  m_large = CreateFontIndirectW(&font);
}

void CWin32StationWindow::OnDpiChanged(int dpi, const RECT& suggested) {
  const HFONT old[] = {m_font, m_bold, m_large};
  const int was = m_dpi;
  m_dpi = dpi;
  MakeFonts();
  const HFONT now[] = {m_font, m_bold, m_large};
  // The head's controls grow with the fonts; Arrange places the tiles.
  for (HWND child = GetWindow(m_window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const auto font = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
    for (size_t i = 0; i < 3; ++i)
      if (font == old[i]) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(now[i]), FALSE);
    RECT place{};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&place), 2);
    const auto scale = [&](LONG length) { return MulDiv(length, dpi, was); };
    MoveWindow(child, scale(place.left), scale(place.top), scale(place.right) - scale(place.left),
               scale(place.bottom) - scale(place.top), FALSE);
  }
  for (HFONT font : old) DeleteObject(font);
  // Sized as the system suggests; its WM_SIZE places the tiles anew.
  SetWindowPos(m_window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  Arrange();
}

HWND CWin32StationWindow::Add(const wchar_t* type, const std::string& text, DWORD style, int id, int x, int y,
                              int w, int h) {
  HWND control = CreateWindowExW(
      0, type, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, Scaled(x), Scaled(y), Scaled(w), Scaled(h),
      m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
  return control;
}

void CWin32StationWindow::MakeControls(const CStationSetup& setup) {
  Add(L"STATIC", "Image: " + setup.image, SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 100, kGap, 10, 330, 20);
  Add(L"STATIC", "&Results file:", SS_RIGHT, 101, 340, 10, 90, 20);
  Add(L"EDIT", setup.resultsPath, WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, kResultsId, 436, 7, 190, 22);
  Add(L"BUTTON", "&Start all", WS_TABSTOP | BS_PUSHBUTTON, kStartAllId, kGap, 34, 90, 26);
  Add(L"BUTTON", "S&top all", WS_TABSTOP | BS_PUSHBUTTON, kStopAllId, kGap + 96, 34, 90, 26);
  Add(L"BUTTON", "&Continuous", WS_TABSTOP | BS_AUTOCHECKBOX, kContinuousId, kGap + 196, 36, 96, 22);
  Add(L"BUTTON", "&Whole image required", WS_TABSTOP | BS_AUTOCHECKBOX, kWholeImageId, kGap + 296, 36, 156,
      22);
  Add(L"BUTTON", "R&eset counts", WS_TABSTOP | BS_PUSHBUTTON, kResetCountsId, kGap + 516, 34, 100, 26);
  HWND totals = Add(L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kTotalsId, kGap, 90, 616, 24);
  SendMessageW(totals, WM_SETFONT, reinterpret_cast<WPARAM>(m_large), TRUE);
  // Read-only: the whole digest can be selected and copied.
  Add(L"EDIT", "", ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, kDigestId, kGap, 66, 250, 20);
  Add(L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kImageNoteId, kGap + 256, 66, 240, 20);
  // Where the records of a database stand, on a line of its own above the
  // tiles; hidden for a results file.
  ShowWindow(Add(L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kRecordsId, kGap, kTop, 616, 20),
             SW_HIDE);
  HWND takeNew =
      Add(L"BUTTON", "Take &new image", WS_TABSTOP | BS_PUSHBUTTON, kTakeNewId, kGap + 500, 62, 110, 26);
  ShowWindow(takeNew, SW_HIDE);
  // Made in place by Arrange, as the window's size allows.
  for (size_t i = 0; i < setup.ports.size(); ++i) {
    m_frames.push_back(Add(L"BUTTON", "", BS_GROUPBOX, 0xFFFF, 0, 0, 0, 0));
    Add(L"STATIC", "", SS_NOTIFY, TileControlId(i, kStrip), 0, 0, 0, 0);
    HWND name = Add(L"STATIC", setup.ports[i].label, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                    TileControlId(i, kName), 0, 0, 0, 0);
    SendMessageW(name, WM_SETFONT, reinterpret_cast<WPARAM>(m_bold), TRUE);
    Add(L"STATIC", "", SS_RIGHT | SS_NOPREFIX | SS_ENDELLIPSIS, TileControlId(i, kState), 0, 0, 0, 0);
    Add(PROGRESS_CLASSW, "", 0, TileControlId(i, kBar), 0, 0, 0, 0);
    Add(L"STATIC", "", SS_LEFT | SS_NOPREFIX, TileControlId(i, kFigures), 0, 0, 0, 0);
    HWND cause =
        Add(L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, TileControlId(i, kCause), 0, 0, 0, 0);
    SendMessageW(cause, WM_SETFONT, reinterpret_cast<WPARAM>(m_bold), TRUE);
    Add(L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, TileControlId(i, kNextStep), 0, 0, 0, 0);
    Add(L"STATIC", "", SS_LEFT | SS_NOPREFIX, TileControlId(i, kCounts), 0, 0, 0, 0);
    Add(L"BUTTON", "Start", WS_TABSTOP | BS_PUSHBUTTON, TileControlId(i, kStart), 0, 0, 0, 0);
    Add(L"BUTTON", "Stop", WS_TABSTOP | BS_PUSHBUTTON, TileControlId(i, kStop), 0, 0, 0, 0);
    Add(L"BUTTON", "Log", WS_TABSTOP | BS_PUSHBUTTON, TileControlId(i, kLog), 0, 0, 0, 0);
  }
  m_tileRects.resize(setup.ports.size());
}

void CWin32StationWindow::Arrange() {
  RECT client{};
  GetClientRect(m_window, &client);
  // In the layout's units (96 per inch).
  const int width = MulDiv(client.right, 96, m_dpi) - 2 * kGap;
  const bool records = (GetWindowLongW(GetDlgItem(m_window, kRecordsId), GWL_STYLE) & WS_VISIBLE) != 0;
  const int top = kTop + (records ? kRecordsHeight : 0);
  MoveWindow(GetDlgItem(m_window, kRecordsId), Scaled(kGap), Scaled(kTop - 4), Scaled(width), Scaled(20),
             FALSE);
  const int height = MulDiv(client.bottom, 96, m_dpi) - top - kGap;
  const CTileGrid grid = ArrangeTiles(m_frames.size(), width, height, kGap, kTileWidth, kTileHeight,
                                      kCompactWidth, kCompactHeight);
  const auto place = [&](size_t i, TilePart part, int x, int y, int w, int h, bool shown = true) {
    HWND control = GetDlgItem(m_window, TileControlId(i, part));
    MoveWindow(control, Scaled(x), Scaled(y), Scaled(w), Scaled(h), FALSE);
    ShowWindow(control, shown ? SW_SHOWNA : SW_HIDE);
  };
  const int w = grid.width, h = grid.height, inner = w - 20, full = !grid.compact;
  for (size_t i = 0; i < m_frames.size(); ++i) {
    const int x = kGap + static_cast<int>(i % static_cast<size_t>(grid.columns)) * (w + kGap);
    const int y = top + static_cast<int>(i / static_cast<size_t>(grid.columns)) * (h + kGap);
    MoveWindow(m_frames[i], Scaled(x), Scaled(y), Scaled(w), Scaled(h), FALSE);
    m_tileRects[i] = {Scaled(x + 8), Scaled(y + 8), Scaled(x + w - 2), Scaled(y + h - 2)};
    place(i, kStrip, x + 2, y + 10, 5, h - 14);
    if (full) {
      const int nameWidth = inner * 3 / 5;
      place(i, kName, x + 12, y + 12, nameWidth, 18);
      place(i, kState, x + 12 + nameWidth, y + 12, inner - nameWidth, 18);
      place(i, kBar, x + 12, y + 34, inner, 10);
    } else {  // the name whole on a line of its own; the state's word beside the bar
      const int stateWidth = 44;
      place(i, kName, x + 12, y + 9, inner, 15);
      place(i, kState, x + 12, y + 24, stateWidth, 15);
      place(i, kBar, x + 16 + stateWidth, y + 28, inner - stateWidth - 4, 8);
    }
    place(i, kFigures, x + 12, y + 48, inner, 18, full);
    place(i, kCause, x + 12, full ? y + 66 : y + 39, inner, full ? 18 : 15);
    place(i, kNextStep, x + 12, y + 84, inner, 18, full);
    place(i, kCounts, x + 12, y + 102, inner, 18, full);
    const int buttonWidth = (inner - 12) / 3;
    for (const TilePart button : {kStart, kStop, kLog})
      place(i, button, x + 12 + (button - kStart) * (buttonWidth + 6), y + 124, buttonWidth, 26, full);
  }
  InvalidateRect(m_window, nullptr, TRUE);
}

std::string CWin32StationWindow::ControlText(int id) const {
  return WindowTextUtf8(GetDlgItem(m_window, id));
}

bool CWin32StationWindow::PumpMessages() {
  MSG message;
  while (m_window && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    // Tab and the mnemonics move through the controls; Enter presses the
    // focused button and closes nothing.
    if (!IsDialogMessageW(m_window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return m_window != nullptr;
}

int CWin32StationWindow::Run() {
  ShowWindow(m_window, SW_SHOW);
  while (PumpMessages()) WaitMessage();
  return exitCode.value_or(0);
}

LRESULT CALLBACK CWin32StationWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CWin32StationWindow*>(GetWindowLongPtrW(window, 0));
  if (self && self->m_window == window) return self->Handle(message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CWin32StationWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
      return 0;
    case WM_SIZE:
      if (!m_frames.empty()) Arrange();
      return 0;
    case WM_DPICHANGED: OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_TIMER:
      if (wParam == kImageTimer) {
        m_board->CheckImage();
        m_board->CheckRecords();
      }
      return 0;
    case WM_ERASEBKGND: {
      // The face of a tile whose last box failed, behind its controls.
      const LRESULT erased = DefWindowProcW(m_window, message, wParam, lParam);
      for (size_t i = 0; i < m_shownFailed.size(); ++i) {
        if (!m_shownFailed[i]) continue;
        const RECT tile = m_tileRects[i];
        FillRect(reinterpret_cast<HDC>(wParam), &tile, m_failedFace);
      }
      return erased;
    }
    case WM_CTLCOLORSTATIC: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (id == kImageNoteId || (id == kRecordsId && m_bRecordsWaiting)) {
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0xb4, 0x53, 0x09));
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      const size_t index = static_cast<size_t>(id - 1000) / kParts;
      if (id >= 1000 && index < m_shownStates.size()) {
        if ((id - 1000) % kParts == kStrip)
          return reinterpret_cast<LRESULT>(m_stateBrushes[static_cast<int>(m_shownStates.at(index))]);
        if (m_shownFailed.at(index)) {  // the failure is seen from across the line
          SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
          SetBkColor(reinterpret_cast<HDC>(wParam), kFailedFace);
          return reinterpret_cast<LRESULT>(m_failedFace);
        }
      }
      break;
    }
    // A log-off or shut-down while boxes load: every box stops and its
    // record is written before the session may end.
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION:
      if (wParam) {
        m_board->StopAllAndClose();
        while (m_board->AnyRunning() && PumpMessages()) WaitMessage();
      }
      return 0;
    case WM_CLOSE:
      if (m_bClosingNow || m_board->RequestClose()) {
        if (!exitCode) exitCode = m_board->ExitCode();
        DestroyWindow(m_window);
      }
      return 0;  // else asked: the ports stop, and their ends close the window
    case WM_DESTROY:
      KillTimer(m_window, kImageTimer);
      m_window = nullptr;
      return 0;
  }
  return DefWindowProcW(m_window, message, wParam, lParam);
}

void CWin32StationWindow::TakeResultsPath() { m_board->SetResultsPath(ControlText(kResultsId)); }

void CWin32StationWindow::OnCommand(int id) {
  if (id == kStartAllId) {
    TakeResultsPath();
    m_board->StartAll();
    return;
  }
  if (id == kStopAllId) {
    m_board->StopAll();
    return;
  }
  if (id == kContinuousId) {
    m_board->SetContinuous(IsDlgButtonChecked(m_window, kContinuousId) == BST_CHECKED);
    return;
  }
  if (id == kResetCountsId) {
    m_board->ResetCounts();
    return;
  }
  if (id == kWholeImageId) {
    m_board->SetRequireWholeImage(IsDlgButtonChecked(m_window, kWholeImageId) == BST_CHECKED);
    return;
  }
  if (id == kTakeNewId) {
    std::string refusal;
    if (!m_board->TakeNewImage(refusal))
      MessageBoxW(m_window, Wide("The image could not be read: " + refusal).c_str(), L"BoxFeeder station",
                  MB_OK | MB_ICONWARNING);
    return;
  }
  if (id < 1000) return;
  const size_t index = static_cast<size_t>(id - 1000) / kParts;
  if (index >= m_board->Size()) return;
  switch ((id - 1000) % kParts) {
    case kStart:
      TakeResultsPath();
      m_board->Start(index);
      break;
    case kStop: m_board->Stop(index); break;
    case kLog: ShowLog(index); break;
  }
}

void CWin32StationWindow::ShowTile(size_t index, const CTile& tile) {
  auto set = [&](TilePart part, const std::string& text) {
    SetWindowTextW(GetDlgItem(m_window, TileControlId(index, part)), Wide(text).c_str());
  };
  set(kName, tile.title);
  set(kState, TileStateWords(tile.state));
  set(kFigures, tile.figures);
  set(kCause, tile.cause);
  set(kNextStep, tile.nextStep);
  set(kCounts, std::to_string(tile.loaded) + " loaded, " + std::to_string(tile.failed) + " failed");
  SendMessageW(GetDlgItem(m_window, TileControlId(index, kBar)), PBM_SETPOS,
               static_cast<WPARAM>(tile.percent), 0);
  EnableWindow(GetDlgItem(m_window, TileControlId(index, kStart)), !tile.Running() && !tile.looping);
  EnableWindow(GetDlgItem(m_window, TileControlId(index, kStop)), tile.Running() || tile.looping);
  if (m_shownFailed.at(index) != !tile.cause.empty()) {
    m_shownFailed[index] = !tile.cause.empty();
    const RECT face = m_tileRects.at(index);
    RedrawWindow(m_window, &face, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
  }
  if (m_shownStates.at(index) != tile.state) {
    m_shownStates[index] = tile.state;
    InvalidateRect(GetDlgItem(m_window, TileControlId(index, kStrip)), nullptr, TRUE);
  }
}

void CWin32StationWindow::OnLogLine(size_t index, const std::string& line) {
  HWND log = m_logs.at(index);
  if (!log) return;
  HWND edit = GetWindow(log, GW_CHILD);
  const int end = GetWindowTextLengthW(edit);
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(line + "\r\n").c_str()));
}

void CWin32StationWindow::ShowTotals(const std::string& text, bool anyRunning) {
  SetWindowTextW(GetDlgItem(m_window, kTotalsId), Wide(text).c_str());
  EnableWindow(GetDlgItem(m_window, kStopAllId), anyRunning);
  EnableWindow(GetDlgItem(m_window, kResultsId), !anyRunning);  // each box's record goes to one file
}

bool CWin32StationWindow::AskStopAndClose() {
  if (askStopAndClose) return askStopAndClose();
  return MessageBoxW(m_window, L"Boxes are still loading. Stop them all and close?", L"BoxFeeder station",
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void CWin32StationWindow::CloseStation(int code) {
  exitCode = code;
  m_bClosingNow = true;
  PostMessageW(m_window, WM_CLOSE, 0, 0);  // this runs inside a run's end
}

void CWin32StationWindow::ShowRecords(const std::string& state) {
  m_bRecordsWaiting = !state.empty() && state.find(": stored") == std::string::npos;
  HWND records = GetDlgItem(m_window, kRecordsId);
  SetWindowTextW(records, Wide(state).c_str());
  if (((GetWindowLongW(records, GWL_STYLE) & WS_VISIBLE) != 0) == !state.empty()) return;
  ShowWindow(records, state.empty() ? SW_HIDE : SW_SHOWNA);
  Arrange();
}

void CWin32StationWindow::ShowImage(const std::string& sha256, bool fileChanged) {
  SetWindowTextW(GetDlgItem(m_window, kDigestId),
                 Wide(sha256.empty() ? std::string("SHA-256: not read yet") : "SHA-256: " + sha256).c_str());
  SetWindowTextW(GetDlgItem(m_window, kImageNoteId),
                 fileChanged ? L"The file has changed on disk; boxes get the image as it was read." : L"");
  ShowWindow(GetDlgItem(m_window, kTakeNewId), fileChanged ? SW_SHOW : SW_HIDE);
}

LRESULT CALLBACK CWin32StationWindow::LogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      MoveWindow(GetWindow(window, GW_CHILD), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_CLOSE: ShowWindow(window, SW_HIDE); return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void CWin32StationWindow::ShowLog(size_t index) {
  HWND& log = m_logs.at(index);
  if (!log) {
    const std::wstring title = Wide(m_board->Tile(index).title + " - log");
    log = CreateWindowExW(0, kLogClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                          400, m_window, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(log, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWin32StationWindow::LogProc));
    RECT client{};
    GetClientRect(log, &client);
    HWND edit = CreateWindowExW(
        0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0,
        0, client.right, client.bottom, log, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), TRUE);
    std::string text;
    for (const std::string& line : m_board->Log(index)) text += line + "\r\n";
    SetWindowTextW(edit, Wide(text).c_str());
  }
  ShowWindow(log, SW_SHOW);
  SetForegroundWindow(log);
}

}  // namespace zel
