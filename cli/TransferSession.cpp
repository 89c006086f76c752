#include "cli/TransferSession.h"

#include "cli/Hints.h"

namespace zel::cli {

const char* const kCableWarningText =
    "Please Remove the Serial Cable Before Closing the Application \n\n And WAIT until the box REBOOT Itself";

CTransferSession::CTransferSession(CUiLoop& loop, CConsole& console, CZELWorkingThread& engine)
    : m_loop(loop), m_console(console), m_driver(loop, engine) {
  engine.SetOperatorReporter(this);
}

CTransferSession::~CTransferSession() {
  m_driver.Terminate();
  m_driver.Engine().SetOperatorReporter(nullptr);
}

std::string CTransferSession::Tagged(const std::string& text) const {
  return m_options.label.empty() ? text : "[" + m_options.label + "] " + text;
}

void CTransferSession::ShowMessage(const std::string& text) { m_console.ShowMessage(Tagged(text)); }

bool CTransferSession::Start(const std::string& port, const std::string& file,
                             const CSessionOptions& options) {
  m_options = options;
  m_port = port;
  m_bEnded = m_bFinished = m_bLogFailed = false;
  m_end = {};
  m_figures = CTransferFigures(options.lineBaud);
  if (!options.logPath.empty()) {
    m_log = std::fopen(options.logPath.c_str(), "wb");
    if (m_log == nullptr) {
      m_console.ShowMessage(Tagged("Can not Create The File: " + options.logPath));
      return false;
    }
  }
  if (options.progressTotal && !options.json) m_bar = m_console.AddBar(options.label, options.progressTotal);
  if (m_driver.Start(port, file, *this) != 0) {
    m_console.ShowMessage(Tagged("Can not start the transfer"));
    m_end = {RunOutcome::Failed, {}};
    m_bEnded = true;
    Finish();
    return false;
  }
  return true;
}

int CTransferSession::Run(const std::string& port, const std::string& file, const CSessionOptions& options) {
  if (Start(port, file, options)) m_loop.RunUntil([this] { return m_bEnded; });
  return ExitStatus();
}

int CTransferSession::ExitStatus() const {
  if (m_bLogFailed) return kExitFailed;
  switch (m_end.outcome) {
    case RunOutcome::Succeeded: return kExitSucceeded;
    case RunOutcome::Cancelled: return kExitCancelled;
    case RunOutcome::Failed: break;
  }
  return kExitFailed;
}

void CTransferSession::Log(const std::string& line, bool evenWhenQuiet) {
  if (evenWhenQuiet)
    m_console.PrintSummary(Tagged(line));
  else
    m_console.PrintLog(Tagged(line));
  if (m_log == nullptr) return;
  if (std::fputs(line.c_str(), m_log) < 0 || std::fputs("\r\n", m_log) < 0 || std::fflush(m_log) != 0)
    m_bLogFailed = true;
}

void CTransferSession::OnLine(const std::string& text, LineLevel level) {
  if (level == LineLevel::Debug && !m_options.trace) return;
  if (m_options.json) {
    m_options.json->Line(m_port, text, level);
    if (m_log && (std::fprintf(m_log, "%s\r\n", text.c_str()) < 0 || std::fflush(m_log) != 0))
      m_bLogFailed = true;
    return;
  }
  Log(text);
}

void CTransferSession::OnProgress(uint32_t offset, uint32_t length) {
  m_figures.Served(length);
  if (m_options.json) {
    m_options.json->Progress(m_port, offset, length, m_figures.Bytes(), m_options.progressTotal);
    return;
  }
  if (m_bar >= 0) m_console.UpdateBar(m_bar, m_figures.Bytes(), m_figures.FirstRequest());
}

void CTransferSession::OnOutcome(RunOutcome outcome) {
  // The transfer is over here: what follows is the box's reboot.
  m_figures.Ended();
  if (m_bar >= 0) m_console.FinishBar(m_bar);
  if (outcome == RunOutcome::Succeeded && m_options.cableWarning && !m_options.json)
    m_console.PrintLog(Tagged(kCableWarningText));
}

void CTransferSession::OnEnd(const CRunEnd& end) {
  m_end = end;
  m_figures.Ended();
  Finish();
  m_bEnded = true;
}

void CTransferSession::Finish() {
  if (m_bFinished) return;
  m_bFinished = true;
  if (m_bar >= 0) m_console.FinishBar(m_bar);
  if (m_options.json) {
    m_options.json->End(m_port, m_end, m_figures.Bytes(), m_figures.Seconds());
  } else {
    if (m_end.outcome == RunOutcome::Failed && m_end.cause) {
      Log(DescribeCause(m_end.cause), true);
      if (const std::string hint = HintFor(m_end.cause); !hint.empty()) m_console.ShowMessage(Tagged(hint));
    }
    if (m_options.summary) m_console.PrintSummary(Tagged(SummaryLine(m_end.outcome, m_figures)));
  }
  if (m_log) {
    if (std::fclose(m_log) != 0) m_bLogFailed = true;
    m_log = nullptr;
    if (m_bLogFailed) m_console.ShowMessage(Tagged("Can not Create The File: " + m_options.logPath));
  }
}

}  // namespace zel::cli
