// The command line's output: log lines on standard output, operator
// messages and a live progress bar on standard error. On a terminal the
// bar redraws in place; otherwise progress is written as plain lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "link/OperatorReport.h"

namespace zel::cli {

class CConsole : public IOperatorReporter {
 public:
  CConsole(std::FILE* out = stdout, std::FILE* err = stderr);

  void PrintLog(const std::string& line);
  // Text for standard output as it is, line ends included.
  void PrintRaw(const char* text);
  void ShowMessage(const std::string& text) override;

  // The progress of one transfer: total bytes, then each block served.
  void BeginProgress(uint64_t total);
  void Advance(uint64_t length);
  // Ends the bar: full after a success, where the transfer stopped otherwise.
  void EndProgress(bool complete);

 private:
  void ClearBar();
  void DrawBar(bool force);

  std::mutex m_mutex;
  std::FILE* m_out;
  std::FILE* m_err;
  const bool m_bTerminal;
  bool m_bActive = false;  // between BeginProgress and EndProgress
  bool m_bBarShown = false;
  uint64_t m_total = 0;
  uint64_t m_served = 0;
  int m_percent = 0;
  int m_lastPlainDecile = -1;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_lastAdvance;
  std::chrono::steady_clock::time_point m_lastDraw;
};

// part * 100 / total, truncated, without overflow for 32-bit sizes; 100
// for an empty image.
int PercentOf(uint64_t part, uint64_t total);

}  // namespace zel::cli
