#include "app/win32/StationPickerWin32.h"

#include <commctrl.h>

#include "app/win32/Utf16.h"

namespace zel {
namespace {

constexpr wchar_t kPickerClass[] = L"BoxFeederStationPicker";
constexpr wchar_t kRegistryKey[] = L"Software\\BoxFeeder\\Station";
enum Column { kName, kPort, kAdapter, kVidPid, kSerial, kInUse };

std::string InUse(const CPortInfo& port) {
  if (port.permissionDenied) return "not yours to open";
  if (!port.heldBy.empty()) return port.heldBy;
  return port.busy ? "in use" : "";
}

void SetCell(HWND list, int row, int column, const std::string& text) {
  std::wstring wide = Wide(text);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = wide.data();
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::string Cell(HWND list, int row, int column) {
  wchar_t text[512] = {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = 512;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return Narrow(text);
}

std::wstring RegistryText(HKEY key, const wchar_t* name) {
  DWORD size = 0;
  if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text.data(), &size) != ERROR_SUCCESS)
    return {};
  text.resize(wcslen(text.c_str()));
  return text;
}

}  // namespace

CWin32StationPicker::CWin32StationPicker(HWND owner, const std::string& image,
                                         const std::vector<CPortInfo>& present, const CStationMemory& memory)
    : m_owner(owner), m_rows(PortRows(present, memory)), m_memory(memory) {
  static bool registered = false;
  if (!registered) {
    registered = true;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW window{};
    window.cbSize = sizeof window;
    window.hInstance = GetModuleHandleW(nullptr);
    window.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window.lpfnWndProc = DefWindowProcW;
    window.lpszClassName = kPickerClass;
    RegisterClassExW(&window);
  }
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  m_font = CreateFontIndirectW(&metrics.lfMessageFont);
  m_window = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME, kPickerClass, L"Station",
                             WS_CAPTION | WS_SYSMENU | WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, 820, 420,
                             owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWin32StationPicker::WindowProc));
  auto add = [&](const wchar_t* type, const std::string& text, DWORD style, int id, int x, int y, int w,
                 int h, DWORD extended = 0) {
    HWND control = CreateWindowExW(extended, type, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w,
                                   h, m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
    return control;
  };
  add(L"STATIC", "&Image:", SS_RIGHT, 0xFFFF, 8, 14, 90, 20);
  add(L"EDIT", image.empty() ? memory.image : image, WS_TABSTOP | ES_AUTOHSCROLL, kImageId, 104, 10, 690, 22,
      WS_EX_CLIENTEDGE);
  add(L"STATIC", "&Results file:", SS_RIGHT, 0xFFFF, 8, 42, 90, 20);
  add(L"EDIT", memory.resultsPath, WS_TABSTOP | ES_AUTOHSCROLL, kResultsId, 104, 38, 690, 22,
      WS_EX_CLIENTEDGE);
  HWND list =
      add(WC_LISTVIEWW, "", WS_TABSTOP | LVS_REPORT | LVS_EDITLABELS | LVS_SHOWSELALWAYS | LVS_SINGLESEL,
          kListId, 8, 70, 786, 240, WS_EX_CLIENTEDGE);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  const struct {
    const wchar_t* title;
    int width;
  } columns[] = {{L"Name (F2)", 110}, {L"Port", 250},          {L"Adapter", 160},
                 {L"VID:PID", 80},    {L"Serial number", 100}, {L"In use by", 80}};
  for (int c = 0; c < 6; ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(columns[c].title);
    column.cx = columns[c].width;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
  }
  for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
    const CPortRow& row = m_rows[static_cast<size_t>(r)];
    std::wstring name = Wide(row.alias);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = r;
    item.pszText = name.data();
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SetCell(list, r, kPort, row.port.name);
    SetCell(list, r, kAdapter, row.adapter);
    SetCell(list, r, kVidPid, row.port.vidPid);
    SetCell(list, r, kSerial, row.port.serial);
    SetCell(list, r, kInUse, InUse(row.port));
    LVITEMW check{};
    check.stateMask = LVIS_STATEIMAGEMASK;
    check.state = INDEXTOSTATEIMAGEMASK(row.chosen ? 2 : 1);
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&check));
  }
  add(L"STATIC", "", SS_LEFT | SS_NOPREFIX, kRefusalId, 8, 320, 600, 20);
  add(L"BUTTON", "&Open station", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, 612, 346, 96, 28);
  add(L"BUTTON", "Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, 714, 346, 80, 28);
}

CWin32StationPicker::~CWin32StationPicker() {
  if (m_window) DestroyWindow(m_window);
  DeleteObject(m_font);
}

std::string CWin32StationPicker::Text(int id) const { return WindowTextUtf8(GetDlgItem(m_window, id)); }

std::string CWin32StationPicker::Refusal() const { return Text(kRefusalId); }

std::vector<CPortRow> CWin32StationPicker::Rows() const {
  std::vector<CPortRow> rows = m_rows;
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const auto state = SendMessageW(List(), LVM_GETITEMSTATE, static_cast<WPARAM>(r), LVIS_STATEIMAGEMASK);
    rows[static_cast<size_t>(r)].chosen = ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
    std::string alias = Cell(List(), r, kName);
    while (!alias.empty() && alias.back() == ' ') alias.pop_back();
    while (!alias.empty() && alias.front() == ' ') alias.erase(alias.begin());
    rows[static_cast<size_t>(r)].alias = alias;
  }
  return rows;
}

CStationMemory CWin32StationPicker::Memory() const {
  return Remember(m_memory, Text(kImageId), Text(kResultsId), Rows());
}

bool CWin32StationPicker::Accept() {
  std::string refusal;
  m_setup = SetupOf(Text(kImageId), Text(kResultsId), Rows(), refusal);
  SetWindowTextW(GetDlgItem(m_window, kRefusalId), Wide(refusal).c_str());
  if (m_setup) m_bDone = true;
  return m_setup.has_value();
}

std::optional<CStationSetup> CWin32StationPicker::Run() {
  if (m_owner) EnableWindow(m_owner, FALSE);
  ShowWindow(m_window, SW_SHOW);
  SetFocus(List());
  MSG message;
  while (!m_bDone && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(m_window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (m_owner) {
    EnableWindow(m_owner, TRUE);
    SetForegroundWindow(m_owner);
  }
  ShowWindow(m_window, SW_HIDE);
  return m_setup;
}

LRESULT CALLBACK CWin32StationPicker::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CWin32StationPicker*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) self->Accept();
      if (LOWORD(wParam) == IDCANCEL) {
        self->m_setup.reset();
        self->m_bDone = true;
      }
      return 0;
    case WM_CLOSE:
      self->m_setup.reset();
      self->m_bDone = true;
      return 0;
    case WM_NOTIFY: {
      // A name edited in place stays as typed.
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == kListId && header->code == LVN_ENDLABELEDITW) {
        const auto* edit = reinterpret_cast<const NMLVDISPINFOW*>(lParam);
        return edit->item.pszText != nullptr;
      }
      break;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

CStationMemory LoadStationMemory() {
  CStationMemory memory;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return memory;
  memory.image = Narrow(RegistryText(key, L"Image"));
  memory.resultsPath = Narrow(RegistryText(key, L"Results"));
  DWORD size = 0;
  if (RegGetValueW(key, nullptr, L"Ports", RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    std::wstring ports(size / sizeof(wchar_t) + 1, L'\0');
    if (RegGetValueW(key, nullptr, L"Ports", RRF_RT_REG_MULTI_SZ, nullptr, ports.data(), &size) ==
        ERROR_SUCCESS)
      for (const wchar_t* port = ports.c_str(); *port; port += wcslen(port) + 1)
        memory.ports.push_back(Narrow(port));
  }
  HKEY names = nullptr;
  if (RegOpenKeyExW(key, L"Names", 0, KEY_READ, &names) == ERROR_SUCCESS) {
    for (DWORD i = 0;; ++i) {
      wchar_t name[512];
      DWORD length = 512;
      if (RegEnumValueW(names, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      memory.aliases[Narrow(name)] = Narrow(RegistryText(names, name));
    }
    RegCloseKey(names);
  }
  RegCloseKey(key);
  return memory;
}

void SaveStationMemory(const CStationMemory& memory) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  auto setText = [](HKEY where, const std::wstring& name, const std::string& value) {
    const std::wstring wide = Wide(value);
    RegSetValueExW(where, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  };
  setText(key, L"Image", memory.image);
  setText(key, L"Results", memory.resultsPath);
  std::wstring ports;
  for (const std::string& port : memory.ports) ports += Wide(port) + L'\0';
  ports += L'\0';
  RegSetValueExW(key, L"Ports", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(ports.data()),
                 static_cast<DWORD>(ports.size() * sizeof(wchar_t)));
  RegDeleteTreeW(key, L"Names");  // names cleared since are forgotten
  HKEY names = nullptr;
  if (RegCreateKeyExW(key, L"Names", 0, nullptr, 0, KEY_WRITE, nullptr, &names, nullptr) == ERROR_SUCCESS) {
    for (const auto& [port, alias] : memory.aliases) setText(names, Wide(port), alias);
    RegCloseKey(names);
  }
  RegCloseKey(key);
}

}  // namespace zel
