// The main dialog's window: the template's widgets, each reached by its id
// through IDialogControls, and each event routed to the dialog's handler.
#pragma once

#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

#include "app/DialogControls.h"
#include "app/MainDialog.h"
#include "app/PendingLog.h"
#include "app/QtUiDispatcher.h"
#include "app/StationWindow.h"
#include "app/TemplateDialog.h"
#include "run/OperatorReport.h"
#include "widgets/IconButton.h"

namespace zel {

// Room beside a box's title for the title bar's icon and buttons.
inline constexpr int kTitleBarRoom = 160;

class CQtMainWindow : public CTemplateDialog, public IDialogControls {
 public:
  explicit CQtMainWindow(CProbeSources portSources = {});
  ~CQtMainWindow() override;

  CMainDialog& Dialog() { return *m_dialog; }
  IUiDispatcher& Dispatcher() { return m_dispatcher; }
  // The application's title, which captions its message boxes.
  static QString ApplicationTitle();

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
  std::vector<CQtStationWindow*> Stations() const;

 protected:
  void reject() override;  // Escape, the Close button, closing from the title bar
  void accept() override;  // the OK command
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void ConnectHandlers();
  CQtIconButton* IconButton(int id) const;
  std::optional<std::string> AskFile(const CFileDialogSpec& spec, bool save);
  void FlushLog() const;

  CQtUiDispatcher m_dispatcher;
  std::vector<std::pair<int, QString>> m_systemMenu;
  std::vector<QPointer<CQtStationWindow>> m_stations;
  mutable CPendingLog m_pendingLog;
  QTimer m_logFlushTimer;
  std::unique_ptr<CMainDialog> m_dialog;  // last: it goes first
};

// The platform's filter string ("Description|pattern|...||") as Qt name
// filters.
QStringList QtNameFilters(const std::string& filter);

}  // namespace zel
