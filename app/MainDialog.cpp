#include "app/MainDialog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "app/StringTable.h"
#include "run/RunSummary.h"
#include "upgrade/ImageFile.h"

namespace zel {

const char* const kHelpText =
    "Usage: Only use for QL-MV-T STB\n\n           Please use this tools as follow :\n\t\t\n STEP 1:  Power "
    "off the "
    "STB, Connect the PC to the STB.\n \t\t\n STEP 2:  Select the file(*.sdl) to download.\n \t\t\n STEP 3:  "
    "Select "
    "the serial port that have been connected to the STB.\n \t\t\n STEP 4:  Click on the Start Download "
    "button.\n "
    "\t\t\n STEP 5:  Power up the STB.\n ";

namespace {

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

}  // namespace

CMainDialog::CMainDialog(IUiDispatcher& dispatcher, IDialogControls& controls, std::string appTitle,
                         CProbeSources portSources)
    : m_controls(controls),
      m_appTitle(std::move(appTitle)),
      m_portSources(std::move(portSources)),
      m_upgradeRun(dispatcher, m_upgrade),
      m_bootRun(dispatcher, m_boot) {}

CMainDialog::~CMainDialog() { StopEngines(); }

void CMainDialog::StopEngines() {
  m_upgradeRun.Terminate();
  m_bootRun.Terminate();
}

void CMainDialog::OnInitDialog() {
  Refresh();
  const std::string aboutEntry = LoadAppString(101);
  if (!aboutEntry.empty()) m_controls.AppendSystemMenuEntry(kAboutCommandId, aboutEntry);
  if (m_controls.HasStation()) m_controls.AppendSystemMenuEntry(kStationCommandId, "Station...");
  FillPortList();
  m_nLogLines = 0;
  m_strLog.clear();
  DressButtons();
  m_nImageLength = 0;
  m_bBusy = 0;
  m_controls.Enable(IDC_START, false);
}

void CMainDialog::DressButtons() {
  // Control, hot icon, rest icon, whether SetFlat is called, tool-tip string.
  struct CDressing {
    int id, hotIcon, restIcon;
    bool setFlat;
    int tooltip;
  };
  static constexpr CDressing kDressing[] = {
      {IDC_BROWSE, 132, 0, true, 102},   {IDC_START, kStartIdleIcon, 0, true, 103},
      {IDCANCEL, 131, 0, true, 104},     {IDC_HELP_BUTTON, 134, 0, true, 0},
      {IDC_CLEAR, 143, 0, true, 106},    {IDC_SAVE, 140, 0, true, 105},
      {IDC_TRACE, 142, 141, false, 107},
  };
  for (const CDressing& d : kDressing) {
    m_controls.SetButtonIcons(d.id, d.hotIcon, d.restIcon);
    m_controls.OffsetButtonColor(d.id, kHotBackColor, 30);
    if (d.setFlat) m_controls.SetButtonFlat(d.id, true);
    if (d.tooltip) m_controls.SetButtonTooltip(d.id, d.tooltip);
  }
}

void CMainDialog::ShowStartIcon(bool busy) {
  m_controls.SetButtonIcons(IDC_START, busy ? kStartBusyIcon : kStartIdleIcon, 0);
}

void CMainDialog::FillPortList() {
  for (const CPortChoice& port : ProbePorts(m_portSources))
    m_controls.AddListEntry(IDC_PORT, port.name, port.description);
  if (m_controls.ListCount(IDC_PORT) > 0) m_controls.SelectListEntry(IDC_PORT, 0);
  TakeIn();
}

void CMainDialog::TakeIn() {
  m_strImagePath = m_controls.GetText(IDC_IMAGE_PATH);
  m_strLog = m_controls.GetText(IDC_LOG);
  m_strPort = m_controls.GetText(IDC_PORT);
  m_bTrace = m_controls.GetCheck(IDC_TRACE) ? 1 : 0;
  // A run hands over its debug lines only while they are shown.
  m_upgrade.SetDebugLinesWanted(m_bTrace != 0);
  m_bLogShownValid = false;  // rewrite once, which also forgets any typing
}

void CMainDialog::Refresh() {
  m_controls.SetText(IDC_IMAGE_PATH, m_strImagePath);
  RefreshLog();
  int match = -1;
  for (int i = 0, n = m_controls.ListCount(IDC_PORT); i < n && match < 0; ++i)
    if (StartsWithIgnoringCase(m_controls.ListEntry(IDC_PORT, i), m_strPort)) match = i;
  if (match >= 0)
    m_controls.SelectListEntry(IDC_PORT, match);
  else
    m_controls.SetText(IDC_PORT, m_strPort);
  m_controls.SetCheck(IDC_TRACE, m_bTrace != 0);
}

void CMainDialog::RefreshLog() {
  if (m_bLogShownValid && !m_controls.IsTextModified(IDC_LOG) && m_strLog.size() >= m_nLogShown) {
    if (m_strLog.size() > m_nLogShown) m_controls.AppendText(IDC_LOG, m_strLog.substr(m_nLogShown));
  } else {
    m_controls.SetText(IDC_LOG, m_strLog);
  }
  m_nLogShown = m_strLog.size();
  m_bLogShownValid = true;
}

void CMainDialog::OnBrowse() {
  const auto path = m_controls.AskOpenFile(
      {"sdl", "*.sdl", "SDL Files(*.sdl)|*.sdl|Text Files(*.txt)|*.txt|All Files (*.*)|*.*||", true});
  if (path) TakeImage(*path);
}

void CMainDialog::TakeImage(const std::string& path) {
  m_strImagePath = path;
  Refresh();
  m_controls.Enable(IDC_START, true);
}

void CMainDialog::OnStartOrCancel() {
  if (m_bBusy) {
    m_upgradeRun.Stop();
    m_controls.Enable(IDC_START, false);
    return;
  }
  TakeIn();
  m_strLog.clear();
  m_controls.SetText(IDC_PERCENT, "0 %");
  m_nLogLines = 0;
  m_progress.SetPos(0);
  m_controls.ShowProgress(IDC_PROGRESS, m_progress);
  Refresh();
  ShowStartIcon(true);
  m_bBusy = 1;

  CImageFile image;
  if (!image.Open(m_strImagePath)) {
    m_controls.MessageBox("Can not Open the File", m_appTitle, true);
    m_bBusy = 0;
    ShowStartIcon(false);
    return;
  }
  m_nImageLength = static_cast<uint32_t>(std::min<uint64_t>(image.Size(), UINT32_MAX));
  image.Close();
  m_progress.SetRange(m_nImageLength);
  m_controls.ShowProgress(IDC_PROGRESS, m_progress);
  m_controls.SetText(IDC_PERCENT, "0%");

  if (m_upgradeRun.Start(m_strPort, m_strImagePath, *this) != 0) {
    // No end notification would ever come: back to idle at once.
    m_controls.MessageBox("Can not Start the Download", m_appTitle, true);
    m_bBusy = 0;
    ShowStartIcon(false);
    return;
  }
  m_controls.SetText(IDC_START, "Cancel Download");
}

void CMainDialog::OnDownloadBoot() {
  TakeIn();
  m_bootRun.Start(m_strPort, m_strImagePath, m_bootObserver);
}

void CMainDialog::CBootObserver::OnLine(const std::string& text, LineLevel level) {
  if (level == LineLevel::Normal) m_dialog.AppendLine(text);
}

void CMainDialog::CBootObserver::OnEnd(const CRunEnd& end) {
  if (end.outcome == RunOutcome::Failed && end.cause) m_dialog.AppendLine(DescribeCause(end.cause));
  m_dialog.AppendAccount(end, 0);  // two speeds: no one line to compare with
}

void CMainDialog::OnOperatorMessage(const std::string& text) {
  m_controls.MessageBox(text, m_appTitle, true);
}

void CMainDialog::OnLine(const std::string& text, LineLevel level) {
  if (level == LineLevel::Debug && m_bTrace == 0) return;
  AppendLine(text);
}

void CMainDialog::AppendLine(const std::string& text) {
  m_strLog += text;
  m_strLog += "\r\n";
  ++m_nLogLines;
  Refresh();
  m_controls.ScrollLines(IDC_LOG, m_nLogLines);
}

void CMainDialog::OnProgress(uint32_t offset, uint32_t length) {
  m_progress.Offset(length);  // a step, which stops at the end of the range
  m_controls.ShowProgress(IDC_PROGRESS, m_progress);
  const uint64_t percent = m_nImageLength == 0 ? 100 : uint64_t{offset} * 100 / m_nImageLength;
  char text[16];
  std::snprintf(text, sizeof text, "%d %%", static_cast<int>(percent));
  m_controls.SetText(IDC_PERCENT, text);
  Refresh();
  m_controls.ScrollLines(IDC_LOG, m_nLogLines);
}

void CMainDialog::OnOutcome(RunOutcome outcome) {
  // A run that did not succeed shows where it stopped, as the bar does.
  const uint64_t percent = outcome == RunOutcome::Succeeded || m_progress.Upper() == 0
                               ? 100
                               : uint64_t{m_progress.Pos()} * 100 / m_progress.Upper();
  char text[16];
  std::snprintf(text, sizeof text, "%d %%", static_cast<int>(percent));
  m_controls.SetText(IDC_PERCENT, text);
  // The engine waits until the operator has read the warning.
  if (outcome == RunOutcome::Succeeded) m_controls.RunCableWarning();
}

void CMainDialog::AppendAccount(const CRunEnd& end, uint32_t lineBaud) {
  // The log, and so what Save keeps, ends as boxfeed's does: what the box
  // got, and when.
  AppendLine(SummaryLine(end.outcome, end.figures, lineBaud));
  if (!end.imageSha256.empty()) AppendLine("Image SHA-256: " + end.imageSha256);
  AppendLine("Ended: " + UtcTimestamp());
}

void CMainDialog::OnEnd(const CRunEnd& end) {
  if (end.outcome == RunOutcome::Failed && end.cause) AppendLine(DescribeCause(end.cause));
  AppendAccount(end, CZELUpgradeThread::kLineBaud);
  m_bBusy = 0;
  m_controls.Enable(IDC_START, true);
  m_controls.SetText(IDC_START, "Start Download");
  ShowStartIcon(false);
}

void CMainDialog::OnClear() {
  m_strLog.clear();
  m_nLogLines = 0;
  Refresh();
}

void CMainDialog::OnTraceEnable() { TakeIn(); }

void CMainDialog::OnSave() {
  // A log is saved to a new file as often as to an existing one: the file
  // need not exist yet.
  const auto path = m_controls.AskSaveFile({"txt", "*.txt", "Text Files(*.txt)|*.txt|", false});
  if (!path) return;
  // Never over the image: it would be lost, and a run serving it would
  // serve the log.
  std::error_code sameFileError;
  if (!m_strImagePath.empty() && std::filesystem::equivalent(*path, m_strImagePath, sameFileError)) {
    m_controls.MessageBox("Can not Create The File", m_appTitle, true);
    return;
  }
  std::FILE* file = std::fopen(path->c_str(), "wb");
  if (file == nullptr) {
    m_controls.MessageBox("Can not Create The File", m_appTitle, true);
    return;
  }
  const bool written = std::fwrite(m_strLog.data(), 1, m_strLog.size(), file) == m_strLog.size();
  if (std::fclose(file) != 0 || !written) m_controls.MessageBox("Can not Create The File", m_appTitle, true);
}

void CMainDialog::OnHelp() { m_controls.MessageBox(kHelpText, "Help!", false); }

void CMainDialog::OnClose() {
  // A stray Escape or click must not abandon a box half loaded: while one
  // loads, closing asks first.
  if (IsBusy() && !m_controls.AskYesNo("A box is loading. Stop it and close?", m_appTitle)) return;
  StopEngines();
  m_controls.EndDialog(IDCANCEL);
}

// Enter where no button takes it: nothing. Closing here would end a
// running load (Enter in the port box, or with the focus where the window
// put it); Close and Escape close.
void CMainDialog::OnOk() {}

bool CMainDialog::OnSysCommand(unsigned commandId) {
  if ((commandId & 0xFFF0u) == kAboutCommandId) {
    m_controls.RunAbout();
    return true;
  }
  if ((commandId & 0xFFF0u) == kStationCommandId && m_controls.HasStation()) {
    m_controls.OpenStation(m_strImagePath);
    return true;
  }
  return false;
}

}  // namespace zel
