// Runs an engine through the run driver, with a user-interface loop on the
// test's thread, and keeps every event the observer hears.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "run/RunDriver.h"
#include "tests/RecordingReporter.h"

namespace zel::test {

class CRunHarness : public IRunObserver {
  CUiLoop m_loop;  // first: it outlives the driver, whose worker may post to it

 public:
  explicit CRunHarness(CZELWorkingThread& engine) : driver(m_loop, engine) {}

  // Starts a run and handles its events until it has ended; false when it
  // did not start.
  bool Run(const std::string& port, const std::string& file) {
    if (!Start(port, file)) return false;
    WaitForEnd();
    return true;
  }
  bool Start(const std::string& port, const std::string& file) {
    lines.clear();
    progress.clear();
    outcomes.clear();
    linesAfterOutcome = 0;
    ended = false;
    return driver.Start(port, file, *this) == 0;
  }
  void WaitForEnd() {
    m_loop.RunUntil([this] { return ended; });
  }

  std::vector<std::string> Lines(LineLevel level = LineLevel::Normal) const {
    std::vector<std::string> out;
    for (const auto& [text, lineLevel] : lines)
      if (lineLevel == level) out.push_back(text);
    return out;
  }
  std::vector<std::string> Tail(size_t n) const {
    const auto all = Lines();
    return {all.end() - static_cast<std::ptrdiff_t>(std::min(n, all.size())), all.end()};
  }

  void OnLine(const std::string& text, LineLevel level) override {
    lines.emplace_back(text, level);
    if (!outcomes.empty()) ++linesAfterOutcome;
    if (onLine) onLine(text);
  }
  void OnProgress(uint32_t offset, uint32_t length) override {
    progress.emplace_back(offset, length);
    if (onProgress) onProgress();
  }
  void OnOutcome(RunOutcome outcome) override { outcomes.push_back(outcome); }
  void OnEnd(const CRunEnd& runEnd) override {
    end = runEnd;
    ended = true;
  }
  void OnOperatorMessage(const std::string& text) override { reports.ShowMessage(text); }
  void OnDiagnostic(const std::string& text) override { reports.WriteDiagnostic(text); }

  CRunDriver driver;
  std::vector<std::pair<std::string, LineLevel>> lines;
  std::vector<std::pair<uint32_t, uint32_t>> progress;
  std::vector<RunOutcome> outcomes;  // the upgrade's end notifications
  int linesAfterOutcome = 0;
  bool ended = false;
  CRunEnd end;
  std::function<void(const std::string&)> onLine;
  std::function<void()> onProgress;
  CRecordingReporter reports;  // the operator's messages and the diagnostics
};

}  // namespace zel::test
