#include "cli/Console.h"

#include <algorithm>

#include "cli/Terminal.h"
#include "station/TransferFigures.h"

namespace zel::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kDefaultColumns = 80;

}  // namespace

CConsole::CConsole(std::FILE* out, std::FILE* err, bool quiet, bool eventsOnOut)
    : m_out(out),
      m_err(err),
      m_bQuiet(quiet || eventsOnOut),
      m_bEventsOnOut(eventsOnOut),
      m_bTerminal(CanRedraw(err)),
      m_bOutTerminal(IsTerminal(out)),
      m_bErrIsOut(SameDestination(out, err)) {}

void CConsole::ClearBars() {
  if (m_nDrawn == 0) return;
  EraseLines(m_err, m_nDrawn);
  m_nDrawn = 0;
}

void CConsole::PrintLog(const std::string& line) {
  if (m_bQuiet) return;
  std::lock_guard lock(m_mutex);
  ClearBars();
  std::fprintf(m_out, "%s\n", line.c_str());
  std::fflush(m_out);
  DrawBars(true);
}

void CConsole::PrintRaw(const char* text) {
  if (m_bQuiet) return;
  std::lock_guard lock(m_mutex);
  ClearBars();
  std::fputs(text, m_out);
  std::fflush(m_out);
  DrawBars(true);
}

void CConsole::ShowMessage(const std::string& text) {
  std::lock_guard lock(m_mutex);
  ClearBars();
  std::fprintf(m_err, "%s\n", text.c_str());
  std::fflush(m_err);
  DrawBars(true);
}

void CConsole::PrintSeen(const std::string& line, bool onOut) {
  std::lock_guard lock(m_mutex);
  ClearBars();
  if (onOut) {
    // A closed pipe ends nothing: the run goes on, the log file too.
    std::fprintf(m_out, "%s\n", line.c_str());
    std::fflush(m_out);
  }
  // Mirrored where standard output may go unseen (a file, a pipe), unless
  // standard error goes to the same place.
  if (!onOut || (!m_bOutTerminal && !m_bErrIsOut)) {
    std::fprintf(m_err, "%s\n", line.c_str());
    std::fflush(m_err);
  }
  DrawBars(true);
}

void CConsole::PrintForOperator(const std::string& line) { PrintSeen(line, !m_bQuiet); }

void CConsole::PrintSummary(const std::string& line) { PrintSeen(line, !m_bEventsOnOut); }

int CConsole::AddBar(const std::string& label, uint64_t total) {
  std::lock_guard lock(m_mutex);
  CBar bar;
  bar.label = label;
  bar.total = total;
  m_bars.push_back(bar);
  return static_cast<int>(m_bars.size()) - 1;
}

void CConsole::UpdateBar(int index, uint64_t served, Clock::time_point started) {
  std::lock_guard lock(m_mutex);
  CBar& bar = m_bars.at(static_cast<size_t>(index));
  if (bar.finished) return;
  bar.served = std::min(served, bar.total);
  bar.started = started;
  bar.hasStarted = true;
  DrawBars(false);
}

void CConsole::FinishBar(int index) {
  std::lock_guard lock(m_mutex);
  CBar& bar = m_bars.at(static_cast<size_t>(index));
  if (bar.finished) return;
  if (!m_bTerminal || m_bQuiet) {
    DrawBars(true);  // the last plain line, where it stopped
    bar.finished = true;
    return;
  }
  // The finished bar leaves the redrawn block and stays above it.
  ClearBars();
  bar.finished = true;
  if (bar.hasStarted) {
    int columns = TerminalColumns(m_err);
    std::fprintf(m_err, "%s\n", BarLine(bar, columns > 0 ? columns : kDefaultColumns).c_str());
  }
  DrawBars(true);
}

std::string CConsole::BarLine(const CBar& bar, int columns) const {
  const double elapsed =
      bar.hasStarted ? std::chrono::duration<double>(Clock::now() - bar.started).count() : 0.0;
  // Appended, not added to " ": GCC 12 at -O3 warns falsely of the latter.
  std::string figures(1, ' ');
  figures += TransferFigures(bar.served, bar.total, elapsed, true);
  std::string tail(1, ' ');
  tail += TransferFigures(bar.served, bar.total, elapsed, bar.finished);
  std::string head = bar.label.empty() ? std::string() : bar.label + " ";
  // The last column stays free: a terminal wraps a line that fills it.
  const int room = std::max(columns - 1, 20);
  int width = room - static_cast<int>(head.size() + tail.size()) - 2;
  if (width < 10) {  // too narrow for everything: the label goes first, then the figures
    head.clear();
    width = room - static_cast<int>(tail.size()) - 2;
    if (width < 10) {
      tail = figures;
      width = std::max(room - static_cast<int>(tail.size()) - 2, 1);
    }
  }
  const int filled =
      bar.total ? static_cast<int>(std::min(bar.served, bar.total) * width / bar.total) : width;
  std::string line = head + "[" + std::string(static_cast<size_t>(filled), '#') +
                     std::string(static_cast<size_t>(width - filled), '.') + "]" + tail;
  if (static_cast<int>(line.size()) > room) line.resize(static_cast<size_t>(room));
  return line;
}

void CConsole::DrawBars(bool force) {
  if (m_bQuiet || m_bars.empty()) return;
  if (!m_bTerminal) {
    for (CBar& bar : m_bars) {
      if (bar.finished || !bar.hasStarted) continue;
      const int percent = PercentOf(bar.served, bar.total);
      if (percent / 10 == bar.lastPlainDecile) continue;
      bar.lastPlainDecile = percent / 10;
      std::fprintf(m_err, "%sProgress: %d %%\n", bar.label.empty() ? "" : (bar.label + " ").c_str(), percent);
    }
    std::fflush(m_err);
    return;
  }
  const auto now = Clock::now();
  if (!force && now - m_lastDraw < kRedrawInterval) return;
  m_lastDraw = now;
  int columns = TerminalColumns(m_err);
  if (columns <= 0) columns = kDefaultColumns;
  ClearBars();
  std::string block;
  for (const CBar& bar : m_bars) {
    if (bar.finished) continue;
    if (m_nDrawn > 0) block += "\n";
    block += BarLine(bar, columns);
    ++m_nDrawn;
  }
  std::fputs(block.c_str(), m_err);
  std::fflush(m_err);
}

}  // namespace zel::cli
