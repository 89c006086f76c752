// The command line's output: log lines on standard output, operator
// messages and progress on standard error. On a terminal each transfer has
// a progress line, redrawn in place below the log and as wide as the
// terminal; otherwise progress is written as plain "Progress:" lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace zel::cli {

class CConsole {
 public:
  using Clock = std::chrono::steady_clock;

  // quiet: no log lines and no progress, only summaries and errors.
  // eventsOnOut: standard output holds JSON events alone, so summaries and
  // the operator's lines go to standard error only.
  CConsole(std::FILE* out = stdout, std::FILE* err = stderr, bool quiet = false, bool eventsOnOut = false);

  void PrintLog(const std::string& line);
  // A log line the operator must act on: on standard error as well when
  // standard output is no terminal (a file, a pipe) or quiet.
  void PrintForOperator(const std::string& line);
  // Text for standard output as it is, line ends included.
  void PrintRaw(const char* text);
  // An error or a message for the operator, on standard error.
  void ShowMessage(const std::string& text);
  // A run's closing line, shown even when quiet; on standard error as well
  // when standard output is no terminal.
  void PrintSummary(const std::string& line);

  // A transfer's progress: its label ("" when it is the only one) and the
  // bytes of the image. Returns the bar's number.
  int AddBar(const std::string& label, uint64_t total);
  // served bytes so far; started: when the box asked for its first data.
  void UpdateBar(int bar, uint64_t served, Clock::time_point started);
  // The transfer is over: the bar shows where it stopped and stays.
  void FinishBar(int bar);

 private:
  struct CBar {
    std::string label;
    uint64_t total = 0;
    uint64_t served = 0;
    Clock::time_point started{};
    bool hasStarted = false;
    bool finished = false;
    int lastPlainDecile = -1;
  };
  void ClearBars();
  // Writes a line to out and, where the operator would not see it there,
  // to standard error too.
  void PrintSeen(const std::string& line, bool onOut);
  void DrawBars(bool force);
  std::string BarLine(const CBar& bar, int columns) const;

  std::mutex m_mutex;
  std::FILE* m_out;
  std::FILE* m_err;
  const bool m_bQuiet;
  const bool m_bEventsOnOut;
  const bool m_bTerminal;     // standard error is a terminal where the bars can redraw
  const bool m_bOutTerminal;  // standard output is a terminal
  const bool m_bErrIsOut;     // standard error goes where standard output goes
  std::vector<CBar> m_bars;
  int m_nDrawn = 0;  // bar lines on the screen below the log
  Clock::time_point m_lastDraw{};
};

}  // namespace zel::cli
