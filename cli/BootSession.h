// One boot download driven from the command line, as the window's hidden
// boot button drives it.
#pragma once

#include <string>

#include "boot/ZELBootThread.h"
#include "cli/Console.h"
#include "link/UiDispatcher.h"

namespace zel::cli {

class CBootSession : public CUiThreadWindow {
 public:
  CBootSession(CUiLoop& loop, CConsole& console);
  ~CBootSession() override;

  // Runs one boot download to its end; returns the exit status.
  int Run(const std::string& commandFile, const std::string& port);
  // Ctrl-C: the run stops and ends as cancelled.
  void Cancel();

 protected:
  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

 private:
  CUiLoop& m_loop;
  CConsole& m_console;
  char m_szTraceBuffer[100] = {};
  std::string m_lastLine;
  bool m_bCancelled = false;
  CZELBootThread m_engine;
};

}  // namespace zel::cli
