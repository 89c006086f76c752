#include "app/win32/MainWindowWin32.h"

#include <vector>

#include "app/StringTable.h"
#include "app/win32/DialogsWin32.h"
#include "app/win32/StationPickerWin32.h"
#include "app/win32/resource.h"
#include "engines/EngineKinds.h"

// The resource script spells the control ids out; they are the dialog's.
static_assert(CTL_IMAGE_PATH == zel::ControlId::IDC_IMAGE_PATH && CTL_BROWSE == zel::ControlId::IDC_BROWSE &&
              CTL_PORT == zel::ControlId::IDC_PORT && CTL_START == zel::ControlId::IDC_START &&
              CTL_LOG == zel::ControlId::IDC_LOG && CTL_PROGRESS == zel::ControlId::IDC_PROGRESS &&
              CTL_CLEAR == zel::ControlId::IDC_CLEAR && CTL_TRACE == zel::ControlId::IDC_TRACE &&
              CTL_SAVE == zel::ControlId::IDC_SAVE &&
              CTL_DOWNLOAD_BOOT == zel::ControlId::IDC_DOWNLOAD_BOOT &&
              CTL_HELP_BUTTON == zel::ControlId::IDC_HELP_BUTTON &&
              CTL_PERCENT == zel::ControlId::IDC_PERCENT);

namespace zel {
namespace {

// The window's dots per inch: its monitor's where the system says
// (Windows 10 on), else the screen's.
UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow)
    if (const UINT dpi = getDpiForWindow(window)) return dpi;
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// Leaves the rescaling on a move to another monitor to the window alone,
// so that the system's own dialog scaling (Windows 10 on) does not scale
// it a second time.
void KeepDialogScalingOurOwn(HWND window) {
  using SetBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
  constexpr int kDisableAll = 0x0001;  // DDC_DISABLE_ALL
  static const auto setBehavior = reinterpret_cast<SetBehaviorFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetDialogDpiChangeBehavior")));
  if (setBehavior) setBehavior(window, kDisableAll, kDisableAll);
}

}  // namespace

std::string CWin32MainWindow::ApplicationTitle() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name = path;
  name = name.substr(name.find_last_of("\\/") + 1);
  return name.substr(0, name.find_last_of('.'));
}

CWin32MainWindow::CWin32MainWindow(CProbeSources portSources) {
  for (int id : kIconButtonIds) m_buttons.try_emplace(id);
  m_dialog = std::make_unique<CMainDialog>(m_dispatcher, *this, ApplicationTitle(), std::move(portSources));
}

CWin32MainWindow::~CWin32MainWindow() {
  m_dialog.reset();  // stops the engines while the controls still exist
  if (m_hWnd) DestroyWindow(m_hWnd);
  if (m_hAppIcon) DestroyIcon(m_hAppIcon);
  if (m_hAppIconSmall) DestroyIcon(m_hAppIconSmall);
  if (m_hScaledFont) DeleteObject(m_hScaledFont);
}

HWND CWin32MainWindow::Create() {
  if (m_hWnd) return m_hWnd;
  CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                     &CWin32MainWindow::DialogProc, reinterpret_cast<LPARAM>(this));
  if (m_hWnd) ShowWindow(m_hWnd, SW_SHOW);
  return m_hWnd;
}

bool CWin32MainWindow::PumpMessage() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  // The station windows' keys move through their own controls.
  for (CWin32StationWindow* station : Stations())
    if (IsDialogMessageW(station->Handle(), &message)) return true;
  // The help key reaches the dialog as WM_HELP, from whichever control has
  // the focus: the system makes it from the key.
  if (!m_hWnd || !IsDialogMessageA(m_hWnd, &message)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return true;
}

int CWin32MainWindow::RunModal() {
  if (!Create()) return -1;
  while (!m_ended) {
    if (!PumpMessage()) WaitMessage();
  }
  return m_result;
}

CWin32IconButton* CWin32MainWindow::Button(int id) {
  const auto found = m_buttons.find(id);
  return found == m_buttons.end() ? nullptr : &found->second;
}

INT_PTR CALLBACK CWin32MainWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    auto* self = reinterpret_cast<CWin32MainWindow*>(lParam);
    self->m_hWnd = window;
    self->OnInitDialog();
    return TRUE;  // the system places the initial focus
  }
  auto* self = reinterpret_cast<CWin32MainWindow*>(GetWindowLongPtrA(window, DWLP_USER));
  if (!self) return FALSE;
  if (message == WM_NCDESTROY) {
    self->m_hWnd = nullptr;
    return FALSE;
  }
  return self->HandleMessage(message, wParam, lParam);
}

void CWin32MainWindow::OnInitDialog() {
  for (auto& [id, button] : m_buttons) button.Attach(Item(id));
  HINSTANCE module = GetModuleHandleA(nullptr);
  m_hAppIcon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(IDI_APPLICATION_ICON), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  m_hAppIconSmall =
      static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(IDI_APPLICATION_ICON), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hAppIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hAppIconSmall));
  // The log grows without limit: lift the edit's 32 KB default.
  SendMessageA(Item(IDC_LOG), EM_SETLIMITTEXT, 0, 0);
  NoteStartingLayout();
  m_dialog->OnInitDialog();
}

void CWin32MainWindow::NoteStartingLayout() {
  KeepDialogScalingOurOwn(m_hWnd);
  m_startDpi = m_dpi = WindowDpi(m_hWnd);
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0)), sizeof m_startFont,
             &m_startFont);
  for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT place{};
    GetWindowRect(child, &place);
    MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
    m_startPlaces.emplace_back(child, place);
  }
  for (auto& [id, button] : m_buttons) button.SetDpi(m_dpi);
}

void CWin32MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  if (dpi == 0 || dpi == m_dpi) return;
  m_dpi = dpi;
  auto scale = [&](LONG value) { return MulDiv(value, static_cast<int>(dpi), static_cast<int>(m_startDpi)); };
  SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  LOGFONTA font = m_startFont;
  font.lfHeight = scale(m_startFont.lfHeight);
  font.lfWidth = scale(m_startFont.lfWidth);
  HFONT scaled = CreateFontIndirectA(&font);
  HDWP moves = BeginDeferWindowPos(static_cast<int>(m_startPlaces.size()));
  for (const auto& [control, place] : m_startPlaces) {
    if (scaled) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(scaled), FALSE);
    const int left = scale(place.left), top = scale(place.top);
    moves = DeferWindowPos(moves, control, nullptr, left, top, scale(place.right) - left,
                           scale(place.bottom) - top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  EndDeferWindowPos(moves);
  if (scaled) {
    if (m_hScaledFont) DeleteObject(m_hScaledFont);
    m_hScaledFont = scaled;
    // The port list draws its own entries: their height follows the font.
    HDC dc = GetDC(m_hWnd);
    HGDIOBJ old = SelectObject(dc, scaled);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(m_hWnd, dc);
    SendMessageA(Item(IDC_PORT), CB_SETITEMHEIGHT, 0, metrics.tmHeight + 2);
    SendMessageA(Item(IDC_PORT), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), metrics.tmHeight + 2);
  }
  for (auto& [id, button] : m_buttons) button.SetDpi(dpi);
  RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

INT_PTR CWin32MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)); return TRUE;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlType == ODT_COMBOBOX) {
        DrawListEntry(*item);
        return TRUE;
      }
      if (CWin32IconButton* button = Button(static_cast<int>(item->CtlID))) {
        button->DrawItem(*item);
        return TRUE;
      }
      return FALSE;
    }
    case WM_CTLCOLORBTN:
      if (Button(GetDlgCtrlID(reinterpret_cast<HWND>(lParam))))
        return reinterpret_cast<INT_PTR>(CWin32IconButton::CtlColor());
      return FALSE;
    case WM_SYSCOMMAND:
      if (m_dialog->OnSysCommand(static_cast<unsigned>(wParam))) {
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    case WM_HELP: m_dialog->OnHelp(); return TRUE;
    case WM_ACTIVATE:
      for (auto& [id, button] : m_buttons) button.OnParentActivate(LOWORD(wParam) != WA_INACTIVE);
      return FALSE;
    case WM_SYSCOLORCHANGE:
      for (auto& [id, button] : m_buttons)
        if (button.Window()) SendMessageA(button.Window(), WM_SYSCOLORCHANGE, wParam, lParam);
      return FALSE;
    case WM_TIMER:
      if (wParam != kLogFlushTimer) return FALSE;
      FlushLog();
      return TRUE;
    case WM_DPICHANGED: OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return TRUE;
    case WM_PAINT: return PaintMinimised();
    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(m_hAppIcon);
    default: return FALSE;
  }
}

void CWin32MainWindow::OnCommand(int id, int code, HWND control) {
  if (code != BN_CLICKED) return;
  // The button's own reaction to its click comes first.
  if (CWin32IconButton* button = Button(id); button && control) button->OnClicked();
  switch (id) {
    case IDC_BROWSE: m_dialog->OnBrowse(); break;
    case IDC_START: m_dialog->OnStartOrCancel(); break;
    case IDC_TRACE: m_dialog->OnTraceEnable(); break;
    case IDC_SAVE: m_dialog->OnSave(); break;
    case IDC_CLEAR: m_dialog->OnClear(); break;
    case IDC_HELP_BUTTON: m_dialog->OnHelp(); break;
    case IDC_DOWNLOAD_BOOT: m_dialog->OnDownloadBoot(); break;
    case IDCANCEL:  // the Close button, Escape, the title bar
      // A station still loading boxes asks first; the dialog stays while it is open.
      for (CWin32StationWindow* station : Stations()) {
        SendMessageW(station->Handle(), WM_CLOSE, 0, 0);
        if (station->Handle()) return;
      }
      m_dialog->OnClose();
      break;
    case IDOK: m_dialog->OnOk(); break;  // Enter with no button to take it
    default: break;
  }
}

bool CWin32MainWindow::PaintMinimised() {
  if (!IsIconic(m_hWnd)) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  GetClientRect(m_hWnd, &client);
  const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
  DrawIcon(dc, (client.right - cx + 1) / 2, (client.bottom - cy + 1) / 2, m_hAppIcon);
  EndPaint(m_hWnd, &paint);
  return true;
}

void CWin32MainWindow::SetText(int id, const std::string& text) {
  HWND control = Item(id);
  if (!control) return;
  if (id == IDC_LOG) {
    m_pendingLog.Drop();
    SetWindowTextA(control, text.c_str());
    SendMessageA(control, EM_SETMODIFY, FALSE, 0);
    return;
  }
  // Setting what a control already shows changes nothing and repaints
  // nothing: the dialog refreshes every control for each log line.
  if (WindowText(control) != text) SetWindowTextA(control, text.c_str());
}

std::string CWin32MainWindow::GetText(int id) const {
  if (id == IDC_LOG) FlushLog();
  return WindowText(Item(id));
}

void CWin32MainWindow::AppendText(int id, const std::string& text) {
  if (id != IDC_LOG) return;
  if (m_pendingLog.Add(text)) SetTimer(m_hWnd, kLogFlushTimer, CPendingLog::kFlushIntervalMs, nullptr);
}

void CWin32MainWindow::FlushLog() const {
  KillTimer(m_hWnd, kLogFlushTimer);
  if (m_pendingLog.IsEmpty()) return;
  HWND edit = Item(IDC_LOG);
  const std::string text = m_pendingLog.Take();
  const bool typedInto = SendMessageA(edit, EM_GETMODIFY, 0, 0) != 0;
  const LRESULT end = GetWindowTextLengthA(edit);
  SendMessageA(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
  SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageA(edit, EM_SETMODIFY, typedInto, 0);  // only typing marks it
  SendMessageA(edit, EM_SCROLLCARET, 0, 0);
}

bool CWin32MainWindow::IsTextModified(int id) const {
  return SendMessageA(Item(id), EM_GETMODIFY, 0, 0) != 0;
}

void CWin32MainWindow::ScrollLines(int id, int lines) {
  if (!m_pendingLog.IsEmpty()) return;
  SendMessageA(Item(id), EM_LINESCROLL, 0, lines);
}

void CWin32MainWindow::Enable(int id, bool enable) {
  if (HWND control = Item(id)) EnableWindow(control, enable);
}

bool CWin32MainWindow::IsEnabled(int id) const {
  HWND control = Item(id);
  return control && IsWindowEnabled(control);
}

void CWin32MainWindow::SetCheck(int id, bool checked) {
  if (HWND control = Item(id); control && GetCheck(id) != checked)
    SendMessageA(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CWin32MainWindow::GetCheck(int id) const {
  return SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CWin32MainWindow::AddListEntry(int id, const std::string& text, const std::string& note) {
  HWND combo = Item(id);
  SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));  // the list sorts
  m_listNotes[text] = note;
  // The open list is as wide as its widest entry with its note.
  HDC dc = GetDC(combo);
  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(combo, WM_GETFONT, 0, 0)));
  const int wanted = ListEntryWidth(dc, text, note) + GetSystemMetrics(SM_CXVSCROLL);
  SelectObject(dc, oldFont);
  ReleaseDC(combo, dc);
  if (wanted > SendMessageA(combo, CB_GETDROPPEDWIDTH, 0, 0))
    SendMessageA(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(wanted), 0);
}

int CWin32MainWindow::TextWidth(HDC dc, const std::string& text) {
  SIZE size{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

int CWin32MainWindow::ListEntryWidth(HDC dc, const std::string& text, const std::string& note) {
  int width = kListEntryMargin * 2 + TextWidth(dc, text);
  if (!note.empty()) width += TextWidth(dc, kListNoteGap) + TextWidth(dc, note);
  return width;
}

void CWin32MainWindow::DrawListEntry(const DRAWITEMSTRUCT& item) const {
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID == static_cast<UINT>(-1)) return;
  const std::string text = ListEntry(static_cast<int>(item.CtlID), static_cast<int>(item.itemID));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT place = item.rcItem;
  place.left += kListEntryMargin;
  constexpr UINT kLine = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
  DrawTextA(item.hDC, text.c_str(), -1, &place, kLine);
  const auto note = m_listNotes.find(text);
  if (note != m_listNotes.end() && !note->second.empty() && !(item.itemState & ODS_COMBOBOXEDIT)) {
    // Set apart by space, and dimmed where that still reads.
    place.left += TextWidth(item.hDC, text) + TextWidth(item.hDC, kListNoteGap);
    if (!selected) SetTextColor(item.hDC, GetSysColor(COLOR_GRAYTEXT));
    DrawTextA(item.hDC, note->second.c_str(), -1, &place, kLine);
  }
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

int CWin32MainWindow::ListCount(int id) const {
  const LRESULT count = SendMessageA(Item(id), CB_GETCOUNT, 0, 0);
  return count < 0 ? 0 : static_cast<int>(count);
}

std::string CWin32MainWindow::ListEntry(int id, int index) const {
  HWND combo = Item(id);
  const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

void CWin32MainWindow::SelectListEntry(int id, int index) {
  HWND combo = Item(id);
  if (SendMessageA(combo, CB_GETCURSEL, 0, 0) != index)
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  const std::string entry = ListEntry(id, index);
  if (WindowText(combo) != entry) SetWindowTextA(combo, entry.c_str());
}

void CWin32MainWindow::ShowProgress(int id, const CProgressModel& progress) {
  HWND bar = Item(id);
  SendMessageA(bar, PBM_SETRANGE32, 0, progress.ShownMaximum());
  SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(progress.ShownValue()), 0);
}

void CWin32MainWindow::SetButtonIcons(int id, int hotIconId, int restIconId) {
  if (CWin32IconButton* button = Button(id)) button->SetIcons(hotIconId, restIconId);
}

void CWin32MainWindow::OffsetButtonColor(int id, int colorIndex, int offset) {
  if (CWin32IconButton* button = Button(id)) button->OffsetColor(colorIndex, offset, true);
}

void CWin32MainWindow::SetButtonFlat(int id, bool flat) {
  if (CWin32IconButton* button = Button(id)) button->SetFlat(flat, true);
}

void CWin32MainWindow::SetButtonTooltip(int id, int stringId) {
  if (CWin32IconButton* button = Button(id)) button->SetTooltipText(LoadAppString(stringId), true);
}

bool CWin32MainWindow::AskYesNo(const std::string& text, const std::string& caption) {
  return MessageBoxA(m_hWnd, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) ==
         IDYES;
}

void CWin32MainWindow::MessageBox(const std::string& text, const std::string& caption, bool ownedByDialog) {
  MessageBoxA(ownedByDialog ? m_hWnd : nullptr, text.c_str(), caption.c_str(), MB_OK);
}

std::optional<std::string> CWin32MainWindow::AskFile(const CFileDialogSpec& spec, bool save) {
  // "Description|pattern|...||" with each bar a NUL, as the system wants.
  std::string filter = spec.filter;
  for (char& c : filter)
    if (c == '|') c = '\0';
  filter += '\0';
  std::vector<char> path(32768, '\0');
  spec.initialName.copy(path.data(), path.size() - 1);
  OPENFILENAMEA request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = m_hWnd;
  request.lpstrFilter = filter.c_str();
  request.lpstrFile = path.data();
  request.nMaxFile = static_cast<DWORD>(path.size());
  request.lpstrDefExt = spec.defaultExtension.c_str();
  request.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
  if (spec.mustExist) request.Flags |= OFN_FILEMUSTEXIST;
  const BOOL chosen = save ? GetSaveFileNameA(&request) : GetOpenFileNameA(&request);
  if (!chosen) return std::nullopt;
  return std::string(path.data());
}

std::optional<std::string> CWin32MainWindow::AskOpenFile(const CFileDialogSpec& spec) {
  return AskFile(spec, false);
}

std::optional<std::string> CWin32MainWindow::AskSaveFile(const CFileDialogSpec& spec) {
  return AskFile(spec, true);
}

void CWin32MainWindow::RunCableWarning() { RunCableWarningBox(m_hWnd); }

void CWin32MainWindow::RunAbout() { RunAboutBox(m_hWnd); }

void CWin32MainWindow::AppendSystemMenuEntry(int commandId, const std::string& text) {
  HMENU menu = GetSystemMenu(m_hWnd, FALSE);
  if (!menu) return;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(commandId), text.c_str());
}

void CWin32MainWindow::EndDialog(int result) {
  // The window stays until its object goes, hidden: a handler still on the
  // stack may touch its controls.
  m_result = result;
  m_ended = true;
  if (m_hWnd) ShowWindow(m_hWnd, SW_HIDE);
}

std::vector<CWin32StationWindow*> CWin32MainWindow::Stations() {
  std::erase_if(m_stations, [](const auto& station) { return station->Handle() == nullptr; });
  std::vector<CWin32StationWindow*> open;
  for (const auto& station : m_stations) open.push_back(station.get());
  return open;
}

void CWin32MainWindow::OpenStation(const std::string& image) {
  CWin32StationPicker picker(m_hWnd, image, ListSerialPorts(), LoadStationMemory());
  const std::optional<CStationSetup> setup = picker.Run();
  if (!setup) return;
  SaveStationMemory(picker.Memory());
  m_stations.push_back(std::make_unique<CWin32StationWindow>(*setup, UpgradeKind()));
  ShowWindow(m_stations.back()->Handle(), SW_SHOW);
}

}  // namespace zel
