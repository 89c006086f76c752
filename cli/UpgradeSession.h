// One upgrade driven from the command line, exactly as the window drives
// it: the same engine calls in the same order, the same log, and the
// notifications handled on this (the main) thread while the worker waits.
#pragma once

#include <cstdint>
#include <string>

#include "cli/Console.h"
#include "link/UiDispatcher.h"
#include "upgrade/ZELUpgradeThread.h"

namespace zel::cli {

enum ExitStatus : int { kExitSucceeded = 0, kExitFailed = 1, kExitCancelled = 2, kExitUsage = 64 };

struct CUpgradeRequest {
  std::string image;
  std::string port;
  bool trace = false;   // show debug lines, as Trace Enable does
  std::string logPath;  // save the log here at the end, CR LF line ends
};

extern const char* const kCableWarningText;

class CUpgradeSession : public CUiThreadWindow {
 public:
  CUpgradeSession(CUiLoop& loop, CConsole& console);
  ~CUpgradeSession() override;

  // Runs one upgrade to its end; returns the exit status.
  int Run(const CUpgradeRequest& request);
  // What the Cancel button does: ask the running transfer to stop.
  void Cancel();
  // The log as the window's field holds it.
  const std::string& Log() const { return m_strLog; }

 protected:
  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

 private:
  CUiLoop& m_loop;
  CConsole& m_console;
  bool m_bTrace = false;
  std::string m_strLog;
  char m_szTraceBuffer[100] = {};
  bool m_bEnded = false;
  intptr_t m_outcome = END_FAILED;
  int m_nLinesAfterEnd = 0;
  CZELUpgradeThread m_engine;
};

}  // namespace zel::cli
