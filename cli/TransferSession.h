// What the command line makes of one port's run, heard as the window hears
// it: the log on standard output (and in a log file, line by line, with
// time stamps), progress on standard error, a closing summary, or JSON
// events instead. The run itself is a station's (run/Station.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/Console.h"
#include "cli/JsonEvents.h"
#include "run/RunDriver.h"
#include "station/ResultsFile.h"
#include "station/ResultsSink.h"

namespace zel::cli {

enum ExitStatus : int { kExitSucceeded = 0, kExitFailed = 1, kExitCancelled = 2, kExitUsage = 64 };

extern const char* const kCableWarningText;

struct CSessionOptions {
  std::string label;                // tags the port's lines when several run; "" alone
  bool trace = false;               // show debug lines, as Trace Enable does
  uint64_t progressTotal = 0;       // bytes of the image; 0 shows no progress
  bool cableWarning = false;        // the upgrade's warning after a success
  bool summary = false;             // close with the transfer's figures
  uint32_t lineBaud = 57600;        // the line's speed, for the share of the line; 0 none
  CJsonEvents* json = nullptr;      // JSON events in place of the human text
  CResultsSink* results = nullptr;  // where the box's record goes as the run ends; null for none
  CBoxRecord record;                // the record's fields known before the run
  // Box after box on the port: the log file stays open, and a wait for
  // the next box stopped before any box asked for the image leaves no
  // record (it had no box).
  bool continuous = false;
  bool next = false;  // this run waits for the next box
};

class CTransferSession : public IRunObserver {
 public:
  explicit CTransferSession(CConsole& console) : m_console(console) {}
  ~CTransferSession() override;

  // Opens the log file before the run starts, so that a log that cannot
  // be written is refused before any port opens; false after saying why.
  bool OpenLog(const std::string& path, const std::string& label = {});
  // Ready for the run on port, before it starts.
  void Begin(const std::string& port, const CSessionOptions& options);
  // The run could not start: it has ended, as failed, after saying so.
  void StartFailed();
  bool IsEnded() const { return m_bEnded; }
  // The run's exit status, once it has ended.
  int ExitStatus() const;
  const CRunEnd& End() const { return m_end; }
  // The run had a box: it was not a wait for a next box that had none.
  bool HadABox() const { return !m_options.next || !WaitHadNoBox(m_end, m_served); }
  // The log or the record could not be written.
  bool LostWrites() const { return m_bLogFailed || m_bResultsFailed; }

  void OnLine(const std::string& text, LineLevel level) override;
  void OnProgress(uint32_t offset, uint32_t length) override;
  void OnOutcome(RunOutcome outcome) override;
  void OnEnd(const CRunEnd& end) override;
  // The engine's messages for the operator and its diagnostics, tagged
  // with the port.
  void OnOperatorMessage(const std::string& text) override;
  void OnDiagnostic(const std::string& text) override;

 private:
  // A line of the log: standard output and the log file.
  void Log(const std::string& line);
  // A line the operator must see even with standard output elsewhere.
  void LogForOperator(const std::string& line);
  void WriteLogFile(const std::string& line);
  std::string Tagged(const std::string& text) const;
  void Finish();
  // The box's record onto the results file, where there is one.
  void AppendRecord();

  CConsole& m_console;
  CSessionOptions m_options;
  std::string m_port;
  std::string m_logPath;
  std::FILE* m_log = nullptr;
  bool m_bLogFailed = false;
  std::string m_logError;  // the system's words for the log's first failed write
  bool m_bResultsFailed = false;
  bool m_bEnded = false;
  bool m_bFinished = false;
  int m_bar = -1;
  uint64_t m_served = 0;  // for the live bar; the summary has the engine's figures
  CConsole::Clock::time_point m_firstServed{};
  CRunEnd m_end;
};

}  // namespace zel::cli
