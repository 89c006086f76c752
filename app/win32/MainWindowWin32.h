// The main dialog's window on Windows: the resource template's controls,
// each reached by its id through IDialogControls, each event routed to the
// dialog's handler, and seven of its buttons taken over as icon buttons.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/DialogControls.h"
#include "app/MainDialog.h"
#include "app/PendingLog.h"
#include "app/win32/StationWindowWin32.h"
#include "app/win32/UiDispatcherWin32.h"
#include "run/OperatorReport.h"
#include "widgets/IconButtonWin32.h"

namespace zel {

class CWin32MainWindow : public IDialogControls {
 public:
  explicit CWin32MainWindow(CProbeSources portSources = {});
  // Stops the engines while the controls still exist, then the window goes.
  ~CWin32MainWindow() override;
  CWin32MainWindow(const CWin32MainWindow&) = delete;
  CWin32MainWindow& operator=(const CWin32MainWindow&) = delete;

  // Makes the window from its template and shows it; its messages come
  // through the caller's message loop (see IsDialogMessage).
  HWND Create();
  // Create, then a message loop until the dialog ends; its result.
  int RunModal();
  // Runs one message from the thread's queue through the dialog's
  // keyboard handling; false when the queue had none.
  bool PumpMessage();

  HWND Window() const { return m_hWnd; }
  bool IsEnded() const { return m_ended; }
  CMainDialog& Dialog() { return *m_dialog; }
  IUiDispatcher& Dispatcher() { return m_dispatcher; }
  CWin32IconButton* Button(int id);
  // The application's title, which captions its message boxes: the
  // program's file name without its extension.
  static std::string ApplicationTitle();

  // IDialogControls
  void SetText(int id, const std::string& text) override;
  std::string GetText(int id) const override;
  void AppendText(int id, const std::string& text) override;
  bool IsTextModified(int id) const override;
  void ScrollLines(int id, int lines) override;
  void Enable(int id, bool enable) override;
  bool IsEnabled(int id) const override;
  void SetCheck(int id, bool checked) override;
  bool GetCheck(int id) const override;
  void AddListEntry(int id, const std::string& text, const std::string& note) override;
  int ListCount(int id) const override;
  std::string ListEntry(int id, int index) const override;
  void SelectListEntry(int id, int index) override;
  void ShowProgress(int id, const CProgressModel& progress) override;
  void SetButtonIcons(int id, int hotIconId, int restIconId) override;
  void OffsetButtonColor(int id, int colorIndex, int offset) override;
  void SetButtonFlat(int id, bool flat) override;
  void SetButtonTooltip(int id, int stringId) override;
  void MessageBox(const std::string& text, const std::string& caption, bool ownedByDialog) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  std::optional<std::string> AskOpenFile(const CFileDialogSpec& spec) override;
  std::optional<std::string> AskSaveFile(const CFileDialogSpec& spec) override;
  void RunCableWarning() override;
  void RunAbout() override;
  void AppendSystemMenuEntry(int commandId, const std::string& text) override;
  void EndDialog(int result) override;
  bool HasStation() const override { return true; }
  void OpenStation(const std::string& image) override;
  // The station windows opened from here, while they are open.
  std::vector<CWin32StationWindow*> Stations();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnCommand(int id, int code, HWND control);
  bool PaintMinimised();
  HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
  std::optional<std::string> AskFile(const CFileDialogSpec& spec, bool save);
  void FlushLog() const;
  // Screens of other dots per inch: the layout, font and icons scaled from
  // those the window had at its start.
  void NoteStartingLayout();
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  // The port list draws its entries itself, each with its note after it.
  void DrawListEntry(const DRAWITEMSTRUCT& item) const;
  static int TextWidth(HDC dc, const std::string& text);
  static int ListEntryWidth(HDC dc, const std::string& text, const std::string& note);
  static constexpr int kListEntryMargin = 2;
  static constexpr const char* kListNoteGap = "    ";
  static constexpr UINT_PTR kLogFlushTimer = 1;

  CWin32UiDispatcher m_dispatcher;
  HWND m_hWnd = nullptr;
  HICON m_hAppIcon = nullptr;       // large
  HICON m_hAppIconSmall = nullptr;  // small
  std::map<int, CWin32IconButton> m_buttons;
  mutable CPendingLog m_pendingLog;
  std::map<std::string, std::string> m_listNotes;  // list entry -> its note
  UINT m_startDpi = 96, m_dpi = 96;
  LOGFONTA m_startFont{};
  std::vector<std::pair<HWND, RECT>> m_startPlaces;  // each control's place in the client area
  HFONT m_hScaledFont = nullptr;                     // ours, where the dialog's own no longer fits
  bool m_ended = false;
  int m_result = 0;
  std::vector<std::unique_ptr<CWin32StationWindow>> m_stations;
  std::unique_ptr<CMainDialog> m_dialog;  // last: it goes first
};

}  // namespace zel
