#include "cli/TransferSession.h"

namespace zel::cli {

const char* const kCableWarningText =
    "Please Remove the Serial Cable Before Closing the Application \n\n And WAIT until the box REBOOT Itself";

CTransferSession::CTransferSession(CUiLoop& loop, CConsole& console, CZELWorkingThread& engine)
    : m_loop(loop), m_console(console), m_driver(loop, engine) {}

int CTransferSession::Run(const std::string& port, const std::string& file, const CSessionOptions& options) {
  m_options = options;
  m_bEnded = false;
  m_bLogFailed = false;
  if (!options.logPath.empty()) {
    m_log = std::fopen(options.logPath.c_str(), "wb");
    if (m_log == nullptr) {
      m_console.ShowMessage("Can not Create The File: " + options.logPath);
      return kExitFailed;
    }
  }
  if (options.progressTotal) m_console.BeginProgress(options.progressTotal);
  int status = kExitFailed;
  if (m_driver.Start(port, file, *this) != 0) {
    m_console.EndProgress(false);
    m_console.ShowMessage("Can not start the transfer");
  } else {
    m_loop.RunUntil([this] { return m_bEnded; });
    status = m_end.outcome == RunOutcome::Succeeded   ? kExitSucceeded
             : m_end.outcome == RunOutcome::Cancelled ? kExitCancelled
                                                      : kExitFailed;
  }
  if (m_log) {
    if (std::fclose(m_log) != 0) m_bLogFailed = true;
    m_log = nullptr;
    if (m_bLogFailed) {
      m_console.ShowMessage("Can not Create The File: " + options.logPath);
      status = kExitFailed;
    }
  }
  return status;
}

void CTransferSession::Log(const std::string& line) {
  m_console.PrintLog(line);
  if (m_log == nullptr) return;
  if (std::fputs(line.c_str(), m_log) < 0 || std::fputs("\r\n", m_log) < 0 || std::fflush(m_log) != 0)
    m_bLogFailed = true;
}

void CTransferSession::OnLine(const std::string& text, LineLevel level) {
  if (level == LineLevel::Debug && !m_options.trace) return;
  Log(text);
}

void CTransferSession::OnProgress(uint32_t, uint32_t length) { m_console.Advance(length); }

void CTransferSession::OnOutcome(RunOutcome outcome) {
  m_console.EndProgress(outcome == RunOutcome::Succeeded);
  if (outcome == RunOutcome::Succeeded && m_options.cableWarning) m_console.PrintLog(kCableWarningText);
}

void CTransferSession::OnEnd(const CRunEnd& end) {
  m_console.EndProgress(end.outcome == RunOutcome::Succeeded);
  if (end.outcome == RunOutcome::Failed && end.cause) Log(DescribeCause(end.cause));
  m_end = end;
  m_bEnded = true;
}

}  // namespace zel::cli
