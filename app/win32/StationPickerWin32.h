// The station's ports, picked from the listing before the station window
// opens (the dialog's "Station..."): a list with a box to choose each port,
// its name (edited in place), the port, its adapter, VID:PID, serial number
// and whether another program holds it. What was chosen and named is
// remembered in the registry (HKEY_CURRENT_USER\Software\BoxFeeder\Station).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "station/StationChoice.h"
#include "widgets/SystemHeadersWin32.h"

namespace zel {

class CWin32StationPicker {
 public:
  static constexpr int kImageId = 201, kResultsId = 202, kListId = 203, kRefusalId = 204;

  CWin32StationPicker(HWND owner, const std::string& image, const std::vector<CPortInfo>& present,
                      const CStationMemory& memory);
  ~CWin32StationPicker();
  CWin32StationPicker(const CWin32StationPicker&) = delete;
  CWin32StationPicker& operator=(const CWin32StationPicker&) = delete;

  HWND Handle() const { return m_window; }
  HWND List() const { return GetDlgItem(m_window, kListId); }
  // Runs the picker with its owner disabled until it is closed; the
  // station chosen, or none when cancelled.
  std::optional<CStationSetup> Run();
  // What the OK button does: the station, or the reason in the window.
  bool Accept();
  const std::optional<CStationSetup>& Setup() const { return m_setup; }
  CStationMemory Memory() const;
  std::string Refusal() const;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  std::vector<CPortRow> Rows() const;
  std::string Text(int id) const;

  HWND m_owner;
  HWND m_window = nullptr;
  HFONT m_font = nullptr;
  std::vector<CPortRow> m_rows;
  CStationMemory m_memory;
  std::optional<CStationSetup> m_setup;
  bool m_bDone = false;
};

// The last station, as the registry keeps it.
CStationMemory LoadStationMemory();
void SaveStationMemory(const CStationMemory& memory);

}  // namespace zel
