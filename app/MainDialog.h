// The tool's working window, as logic: its fields, the handlers of its
// events and the engines' notifications, and its three states (no image,
// idle, busy). It reaches its controls only through IDialogControls.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "app/DialogControls.h"
#include "boot/ZELBootThread.h"
#include "run/RunDriver.h"
#include "serial/PortProbe.h"
#include "upgrade/ZELUpgradeThread.h"

namespace zel {

constexpr unsigned kAboutCommandId = 0x10;
constexpr unsigned kStationCommandId = 0x20;
constexpr int kStartIdleIcon = 133;
constexpr int kStartBusyIcon = 138;
extern const char* const kHelpText;

class CMainDialog : public IRunObserver {
 public:
  CMainDialog(IUiDispatcher& dispatcher, IDialogControls& controls, std::string appTitle,
              CProbeSources portSources = {});
  // Stops every running engine before the engines and the dialog go.
  ~CMainDialog() override;

  void OnInitDialog();
  void OnBrowse();
  // An image chosen outside the dialog (the program opened with a file):
  // taken as Browse takes one.
  void TakeImage(const std::string& path);
  void OnStartOrCancel();
  void OnTraceEnable();
  void OnSave();
  void OnClear();
  void OnHelp();
  // The cancel command: button 2, Escape, closing from the title bar. While
  // a box loads it asks first, and No keeps the box loading.
  void OnClose();
  // Enter with no button focused: does nothing, so that a stray Enter
  // neither closes the window nor cancels a load.
  void OnOk();
  // True when the command was the dialog's own (the About entry).
  bool OnSysCommand(unsigned commandId);
  // The hidden "Download Boot" button.
  void OnDownloadBoot();

  // The upgrade's events, on the user-interface thread.
  void OnLine(const std::string& text, LineLevel level) override;
  void OnProgress(uint32_t offset, uint32_t length) override;
  void OnOutcome(RunOutcome outcome) override;
  void OnEnd(const CRunEnd& end) override;
  // A port's or an engine's failure: a modal box, as the engine waits.
  void OnOperatorMessage(const std::string& text) override;

  // The upgrade's pause before its success notification (tests shorten it).
  void SetPauseBeforeSuccess(std::chrono::milliseconds pause) { m_upgrade.SetPauseBeforeSuccess(pause); }

  bool IsBusy() const { return m_bBusy != 0; }
  const std::string& Log() const { return m_strLog; }
  const std::string& ImagePath() const { return m_strImagePath; }
  const std::string& Port() const { return m_strPort; }
  int LogLines() const { return m_nLogLines; }
  uint32_t ImageLength() const { return m_nImageLength; }

 private:
  void TakeIn();
  void Refresh();
  void RefreshLog();
  void FillPortList();
  void AppendLine(const std::string& text);
  // The run's account at the end of the log: its summary line, the image's
  // SHA-256 and the time.
  void AppendAccount(const CRunEnd& end, uint32_t lineBaud);
  void StopEngines();
  void DressButtons();
  // The Start button's icon: 138 while busy, 133 while idle.
  void ShowStartIcon(bool busy);

 protected:
  IDialogControls& m_controls;
  const std::string m_appTitle;
  const CProbeSources m_portSources;

  std::string m_strImagePath;
  std::string m_strLog;
  std::string m_strPort;
  int32_t m_bTrace = 0;
  int32_t m_bBusy = 0;
  uint32_t m_nImageLength = 0;
  int32_t m_nLogLines = 0;
  CProgressModel m_progress;  // what the progress bar shows
  // How much of m_strLog the log control holds, while it holds exactly
  // that and nothing typed: lines are then appended, not rewritten.
  size_t m_nLogShown = 0;
  bool m_bLogShownValid = false;

  CZELUpgradeThread m_upgrade;
  CZELBootThread m_boot;

  // The boot download's lines reach the same log; it has no progress.
  class CBootObserver : public IRunObserver {
   public:
    explicit CBootObserver(CMainDialog& dialog) : m_dialog(dialog) {}
    void OnLine(const std::string& text, LineLevel level) override;
    void OnEnd(const CRunEnd& end) override;
    void OnOperatorMessage(const std::string& text) override { m_dialog.OnOperatorMessage(text); }

   private:
    CMainDialog& m_dialog;
  };
  CBootObserver m_bootObserver{*this};
  // Each run has its own trace slot: a boot download beside an upgrade
  // garbles neither's lines. Declared after the engines, so that they go
  // first and end any run still going.
  CRunDriver m_upgradeRun;
  CRunDriver m_bootRun;
};

}  // namespace zel
