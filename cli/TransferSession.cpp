#include "cli/TransferSession.h"

#include <cerrno>
#include <cstring>

#include "cli/Hints.h"
#include "run/RunSummary.h"

namespace zel::cli {

const char* const kCableWarningText =
    "Please Remove the Serial Cable Before Closing the Application \n\n And WAIT until the box REBOOT Itself";

namespace {

// The engines' requests to the operator ("Please SWITCH ON your box now")
// begin alike.
bool AsksTheOperator(const std::string& text) { return text.rfind("Please ", 0) == 0; }

}  // namespace

CTransferSession::~CTransferSession() {
  if (m_log) std::fclose(m_log);
}

std::string CTransferSession::Tagged(const std::string& text) const {
  return m_options.label.empty() ? text : "[" + m_options.label + "] " + text;
}

void CTransferSession::OnOperatorMessage(const std::string& text) { m_console.ShowMessage(Tagged(text)); }

void CTransferSession::OnDiagnostic(const std::string& text) {
  if (m_options.json) return;  // standard output holds the events alone
  m_console.PrintRaw(Tagged(text).c_str());
}

bool CTransferSession::OpenLog(const std::string& path, const std::string& label) {
  m_logPath = path;
  m_options.label = label;
  m_log = std::fopen(path.c_str(), "wb");
  if (m_log != nullptr) return true;
  m_console.ShowMessage(Tagged("Can not Create The File: " + path));
  m_console.ShowMessage(Tagged("Cause: " + path + ": " + std::strerror(errno)));
  return false;
}

void CTransferSession::Begin(const std::string& port, const CSessionOptions& options) {
  m_options = options;
  m_port = port;
  m_bEnded = m_bFinished = m_bLogFailed = m_bResultsFailed = false;
  m_options.record.started = UtcTimestamp();
  m_end = {};
  m_served = 0;
  if (options.progressTotal && !options.json) m_bar = m_console.AddBar(options.label, options.progressTotal);
}

void CTransferSession::StartFailed() {
  m_console.ShowMessage(Tagged("Can not start the transfer"));
  m_end = CRunEnd{};
  m_end.cause.kind = CauseKind::Other;
  m_bEnded = true;
  Finish();
}

int CTransferSession::ExitStatus() const {
  if (m_bLogFailed || m_bResultsFailed) return kExitFailed;
  switch (m_end.outcome) {
    case RunOutcome::Succeeded: return kExitSucceeded;
    case RunOutcome::Cancelled: return kExitCancelled;
    case RunOutcome::Failed: break;
  }
  return kExitFailed;
}

void CTransferSession::WriteLogFile(const std::string& line) {
  if (m_log == nullptr) return;
  if (m_bLogFailed) return;  // said once, at the end, with its first cause
  if (std::fprintf(m_log, "%s %s\r\n", UtcTimestamp().c_str(), line.c_str()) < 0 || std::fflush(m_log) != 0) {
    m_bLogFailed = true;
    m_logError = std::strerror(errno);
  }
}

void CTransferSession::Log(const std::string& line) {
  if (!m_options.json) m_console.PrintLog(Tagged(line));
  WriteLogFile(line);
}

void CTransferSession::LogForOperator(const std::string& line) {
  if (!m_options.json) m_console.PrintForOperator(Tagged(line));
  WriteLogFile(line);
}

void CTransferSession::OnLine(const std::string& text, LineLevel level) {
  if (level == LineLevel::Debug && !m_options.trace) return;
  if (m_options.json) {
    m_options.json->Line(m_port, text, level);
    if (AsksTheOperator(text)) m_console.ShowMessage(Tagged(text));
  }
  if (AsksTheOperator(text))
    LogForOperator(text);
  else
    Log(text);
}

void CTransferSession::OnProgress(uint32_t offset, uint32_t length) {
  if (m_served == 0) m_firstServed = CConsole::Clock::now();
  m_served += length;
  if (m_options.json) {
    m_options.json->Progress(m_port, offset, length, m_served, m_options.progressTotal);
    return;
  }
  if (m_bar >= 0) m_console.UpdateBar(m_bar, m_served, m_firstServed);
}

void CTransferSession::OnOutcome(RunOutcome outcome) {
  // The transfer is over here: what follows is the box's reboot.
  if (m_bar >= 0) m_console.FinishBar(m_bar);
  // The window shows it in a box of its own: it is no line of the log.
  if (outcome == RunOutcome::Succeeded && m_options.cableWarning) {
    if (m_options.json)
      m_console.ShowMessage(Tagged(kCableWarningText));
    else
      m_console.PrintForOperator(Tagged(kCableWarningText));
  }
}

void CTransferSession::OnEnd(const CRunEnd& end) {
  m_end = end;
  Finish();
  m_bEnded = true;
}

void CTransferSession::Finish() {
  if (m_bFinished) return;
  m_bFinished = true;
  if (m_bar >= 0) m_console.FinishBar(m_bar);
  // The record is on the disk before anything says the box is done.
  AppendRecord();
  if (m_end.outcome == RunOutcome::Failed && m_end.cause) {
    const std::string cause = DescribeCause(m_end.cause);
    if (m_options.json) m_console.ShowMessage(Tagged(cause));
    LogForOperator(cause);
    if (const std::string hint = HintFor(m_end.cause); !hint.empty()) m_console.ShowMessage(Tagged(hint));
  }
  if (m_options.summary) {
    const std::string summary = SummaryLine(m_end.outcome, m_end.figures, m_options.lineBaud);
    m_console.PrintSummary(Tagged(summary));
    WriteLogFile(summary);
    if (!m_end.imageSha256.empty()) {
      // With several ports the station's table shows it once.
      const std::string digest = "Image SHA-256: " + m_end.imageSha256;
      if (m_options.label.empty()) m_console.PrintSummary(digest);
      WriteLogFile(digest);
    }
  }
  if (m_options.json) m_options.json->End(m_port, m_end);
  if (m_log && m_options.continuous) {
    if (m_bLogFailed) {
      m_console.ShowMessage(Tagged("Can not Create The File: " + m_logPath));
      m_console.ShowMessage(Tagged("Cause: " + m_logPath + ": " + m_logError));
    }
  } else if (m_log) {
    if (std::fclose(m_log) != 0 && !m_bLogFailed) {
      m_bLogFailed = true;
      m_logError = std::strerror(errno);
    }
    m_log = nullptr;
    if (m_bLogFailed) {
      m_console.ShowMessage(Tagged("Can not Create The File: " + m_logPath));
      m_console.ShowMessage(Tagged("Cause: " + m_logPath + ": " + m_logError));
    }
  }
}

void CTransferSession::AppendRecord() {
  if (!m_options.results || !HadABox()) return;
  std::string error;
  if (m_options.results->Write(RecordAtEnd(m_options.record, m_end), error)) return;
  // A box whose record is missing is no box to count as done.
  m_bResultsFailed = true;
  const std::string where =
      m_options.results->IsStore() ? m_options.results->SpoolPath() : m_options.results->Shown();
  m_console.ShowMessage(Tagged("Can not Create The File: " + where));
  m_console.ShowMessage(Tagged("Cause: " + (m_options.results->IsStore() ? error : where + ": " + error)));
}

}  // namespace zel::cli
