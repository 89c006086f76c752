// One run of either engine from the command line, driven as the window
// drives it: the log on standard output (and in a log file, line by line),
// progress on standard error, a closing summary, or JSON events instead.
// Several sessions run side by side in one loop, one per port.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/Console.h"
#include "cli/JsonEvents.h"
#include "cli/RunSummary.h"
#include "link/RunDriver.h"

namespace zel::cli {

enum ExitStatus : int { kExitSucceeded = 0, kExitFailed = 1, kExitCancelled = 2, kExitUsage = 64 };

extern const char* const kCableWarningText;

struct CSessionOptions {
  std::string label;            // tags the port's lines when several run; "" alone
  bool trace = false;           // show debug lines, as Trace Enable does
  std::string logPath;          // also write the log here, CR LF line ends
  uint64_t progressTotal = 0;   // bytes of the image; 0 shows no progress
  bool cableWarning = false;    // the upgrade's warning after a success
  bool summary = false;         // close with the transfer's figures
  uint32_t lineBaud = 57600;    // the line's speed, for the share of the line
  CJsonEvents* json = nullptr;  // JSON events in place of the human text
};

class CTransferSession : public IRunObserver, private IOperatorReporter {
 public:
  CTransferSession(CUiLoop& loop, CConsole& console, CZELWorkingThread& engine);
  ~CTransferSession() override;

  // Starts the run; false, after saying why, when it did not start.
  bool Start(const std::string& port, const std::string& file, const CSessionOptions& options);
  bool IsEnded() const { return m_bEnded; }
  // The run's exit status, once it has ended.
  int ExitStatus() const;
  // Ctrl-C: the run stops and ends as cancelled. On the loop's thread.
  void Cancel() { m_driver.Stop(); }

  // Runs one session to its end; returns its exit status.
  int Run(const std::string& port, const std::string& file, const CSessionOptions& options);

  void OnLine(const std::string& text, LineLevel level) override;
  void OnProgress(uint32_t offset, uint32_t length) override;
  void OnOutcome(RunOutcome outcome) override;
  void OnEnd(const CRunEnd& end) override;

 private:
  // The engine's messages for the operator, tagged with the port.
  void ShowMessage(const std::string& text) override;
  void Log(const std::string& line, bool evenWhenQuiet = false);
  std::string Tagged(const std::string& text) const;
  void Finish();

  CUiLoop& m_loop;
  CConsole& m_console;
  CSessionOptions m_options;
  std::string m_port;
  std::FILE* m_log = nullptr;
  bool m_bLogFailed = false;
  bool m_bEnded = false;
  bool m_bFinished = false;
  int m_bar = -1;
  CRunEnd m_end;
  CTransferFigures m_figures{57600};
  CRunDriver m_driver;
};

}  // namespace zel::cli
