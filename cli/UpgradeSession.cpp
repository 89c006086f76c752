#include "cli/UpgradeSession.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace zel::cli {

const char* const kCableWarningText =
    "Please Remove the Serial Cable Before Closing the Application \n\n And WAIT until the box REBOOT Itself";

CUpgradeSession::CUpgradeSession(CUiLoop& loop, CConsole& console)
    : CUiThreadWindow(loop), m_loop(loop), m_console(console) {
  m_engine.SetDiagnosticOutput([this](const char* text) { m_console.PrintRaw(text); });
}

CUpgradeSession::~CUpgradeSession() {
  if (m_engine.IsThreadActive()) m_engine.Terminate(0);
}

int CUpgradeSession::Run(const CUpgradeRequest& request) {
  // The image must open before any port is touched; its length sets the
  // progress range.
  const int fd = ::open(request.image.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    m_console.ShowMessage("Can not Open the File: " + request.image);
    return kExitFailed;
  }
  ::close(fd);
  std::FILE* log = nullptr;
  if (!request.logPath.empty()) {
    log = std::fopen(request.logPath.c_str(), "wb");
    if (log == nullptr) {
      m_console.ShowMessage("Can not Create The File: " + request.logPath);
      return kExitFailed;
    }
  }

  m_bTrace = request.trace;
  m_strLog.clear();
  m_bEnded = false;
  m_nLinesAfterEnd = 0;
  m_console.BeginProgress(static_cast<uint64_t>(st.st_size));
  m_engine.SetParameters(request.port, request.image);
  m_engine.SetOwner(this);
  m_engine.SetTraceBuffer(m_szTraceBuffer, sizeof m_szTraceBuffer);
  if (m_engine.Start() != 0) {
    m_console.ShowMessage("Can not start the transfer");
    if (log) std::fclose(log);
    return kExitFailed;
  }
  // A successful run logs its last line after the acknowledgement; the
  // others end with the end notification.
  m_loop.RunUntil([this] { return m_bEnded && (m_outcome != END_SUCCEEDED || m_nLinesAfterEnd > 0); });
  m_engine.Join();

  int status = m_outcome == END_SUCCEEDED   ? kExitSucceeded
               : m_outcome == END_CANCELLED ? kExitCancelled
                                            : kExitFailed;
  if (log) {
    const bool written = std::fwrite(m_strLog.data(), 1, m_strLog.size(), log) == m_strLog.size();
    if (std::fclose(log) != 0 || !written) {
      m_console.ShowMessage("Can not Create The File: " + request.logPath);
      status = kExitFailed;
    }
  }
  return status;
}

void CUpgradeSession::Cancel() { m_engine.Stop(); }

intptr_t CUpgradeSession::HandleMessage(uint32_t message, uintptr_t /*wParam*/, intptr_t lParam) {
  switch (message) {
    case WM_TRACE_LINE:
      if (lParam != 0 && !m_bTrace) break;
      m_strLog += m_szTraceBuffer;
      m_strLog += "\r\n";
      m_console.PrintLog(m_szTraceBuffer);
      if (m_bEnded) ++m_nLinesAfterEnd;
      break;
    case WM_PROGRESS: m_console.Advance(static_cast<uint64_t>(lParam)); break;
    case WM_DOWNLOAD_END:
      m_console.EndProgress();
      if (lParam == END_SUCCEEDED) {
        m_console.PrintLog(kCableWarningText);
        m_engine.AcknowledgeEnd();
      }
      m_outcome = lParam;
      m_bEnded = true;
      break;
    default: break;
  }
  return 0;
}

}  // namespace zel::cli
