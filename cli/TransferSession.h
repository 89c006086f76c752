// One run of either engine from the command line, driven as the window
// drives it: the log on standard output (and in a log file, line by line),
// progress on standard error, and an exit status from the run's outcome.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/Console.h"
#include "link/RunDriver.h"

namespace zel::cli {

enum ExitStatus : int { kExitSucceeded = 0, kExitFailed = 1, kExitCancelled = 2, kExitUsage = 64 };

extern const char* const kCableWarningText;

struct CSessionOptions {
  bool trace = false;          // show debug lines, as Trace Enable does
  std::string logPath;         // also write the log here, CR LF line ends
  uint64_t progressTotal = 0;  // bytes of the image; 0 shows no progress
  bool cableWarning = false;   // the upgrade's warning after a success
};

class CTransferSession : public IRunObserver {
 public:
  CTransferSession(CUiLoop& loop, CConsole& console, CZELWorkingThread& engine);

  // Runs to the end; returns the exit status.
  int Run(const std::string& port, const std::string& file, const CSessionOptions& options);
  // Ctrl-C: the run stops and ends as cancelled. On the loop's thread.
  void Cancel() { m_driver.Stop(); }

  void OnLine(const std::string& text, LineLevel level) override;
  void OnProgress(uint32_t offset, uint32_t length) override;
  void OnOutcome(RunOutcome outcome) override;
  void OnEnd(const CRunEnd& end) override;

 private:
  void Log(const std::string& line);

  CUiLoop& m_loop;
  CConsole& m_console;
  CSessionOptions m_options;
  std::FILE* m_log = nullptr;
  bool m_bLogFailed = false;
  bool m_bEnded = false;
  CRunEnd m_end;
  CRunDriver m_driver;
};

}  // namespace zel::cli
