#include "cli/BootSession.h"

#include <cstdio>

#include "cli/UpgradeSession.h"

namespace zel::cli {

CBootSession::CBootSession(CUiLoop& loop, CConsole& console)
    : CUiThreadWindow(loop), m_loop(loop), m_console(console) {}

CBootSession::~CBootSession() {
  if (m_engine.IsThreadActive()) m_engine.Terminate(0);
}

int CBootSession::Run(const std::string& commandFile, const std::string& port) {
  if (std::FILE* file = std::fopen(commandFile.c_str(), "rb")) {
    std::fclose(file);
  } else {
    m_console.ShowMessage("Can not Open the Command File: " + commandFile);
    return kExitFailed;
  }
  m_bCancelled = false;
  m_lastLine.clear();
  m_engine.SetParameters(port, commandFile);
  m_engine.SetOwner(this);
  m_engine.SetTraceBuffer(m_szTraceBuffer, sizeof m_szTraceBuffer);
  if (m_engine.Start() != 0) {
    m_console.ShowMessage("Can not start the transfer");
    return kExitFailed;
  }
  // Every run ends with one of these lines.
  m_loop.RunUntil([this] {
    return m_lastLine == "Flash Boot OK" || m_lastLine == "Download Failed" ||
           m_lastLine == "Please Verify the Port Connection and try it again";
  });
  m_engine.Join();
  if (m_lastLine == "Flash Boot OK") return kExitSucceeded;
  return m_bCancelled ? kExitCancelled : kExitFailed;
}

void CBootSession::Cancel() {
  if (!m_engine.IsRunning()) return;
  m_bCancelled = true;
  m_engine.Stop();
}

intptr_t CBootSession::HandleMessage(uint32_t message, uintptr_t, intptr_t) {
  if (message == WM_TRACE_LINE) {
    m_lastLine = m_szTraceBuffer;
    m_console.PrintLog(m_lastLine);
  }
  return 0;
}

}  // namespace zel::cli
