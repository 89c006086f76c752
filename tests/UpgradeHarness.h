// Runs the upgrade engine against the simulated box over a pty, with a
// user-interface loop on the test's thread handling the notifications as
// the window does.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/UiDispatcher.h"
#include "sim/BoxSimulator.h"
#include "tests/RecordingReporter.h"
#include "tests/TempFile.h"
#include "upgrade/ZELUpgradeThread.h"

namespace zel::test {

struct CTraceLine {
  std::string text;
  intptr_t level;
};

class CUpgradeHarness : public CUiThreadWindow {
  // First, so that it outlives the engine whose worker may still post to it.
  CUiLoop m_loop;
  char m_slot[100] = {};

 public:
  CUpgradeHarness() : CUiThreadWindow(m_loop) {}

  // Runs one upgrade of image with the box following plan; returns once the
  // engine's thread has ended.
  void Run(const std::vector<uint8_t>& image, const sim::CBoxPlan& plan, const std::string* port = nullptr) {
    CTempFile file(image);
    RunFile(file.Path(), image, plan, port);
  }

  void RunFile(const std::string& path, const std::vector<uint8_t>& image, const sim::CBoxPlan& plan,
               const std::string* port = nullptr) {
    engine.SetDiagnosticOutput([this](const char* text) { diagnostics.emplace_back(text); });
    simulator.ClearStop();  // the Stop that ended an earlier run
    std::thread boxThread([&] { box = simulator.Run(image, plan); });
    engine.SetParameters(port ? *port : simulator.Port(), path);
    engine.SetOwner(this);
    engine.SetTraceBuffer(m_slot, sizeof m_slot);
    startResult = engine.Start();
    if (startResult == 0)
      m_loop.RunUntil([this] { return ended && (outcome != END_SUCCEEDED || linesAfterEnd > 0); });
    engine.Join();
    simulator.Stop();
    boxThread.join();
  }

  // Forgets what the last run reported, for another run.
  void Reset() {
    lines.clear();
    progress.clear();
    diagnostics.clear();
    ended = false;
    outcome = -1;
    endCount = 0;
    linesAfterEnd = 0;
  }

  std::vector<std::string> PlainLines() const {
    std::vector<std::string> out;
    for (const auto& line : lines)
      if (line.level == 0) out.push_back(line.text);
    return out;
  }
  std::vector<std::string> DebugLines() const {
    std::vector<std::string> out;
    for (const auto& line : lines)
      if (line.level != 0) out.push_back(line.text);
    return out;
  }

  CRecordingReporter reports;
  sim::CBoxSimulator simulator;
  CZELUpgradeThread engine;
  sim::CBoxReport box;
  int startResult = -1;
  std::vector<CTraceLine> lines;
  std::vector<std::pair<uintptr_t, intptr_t>> progress;
  std::vector<std::string> diagnostics;
  bool ended = false;
  intptr_t outcome = -1;
  int endCount = 0;
  int linesAfterEnd = 0;
  // Called on the user-interface thread for each plain or debug line.
  std::function<void(const std::string&)> onLine;
  std::function<void()> onProgress;

 protected:
  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    switch (message) {
      case WM_TRACE_LINE:
        lines.push_back({m_slot, lParam});
        if (ended) ++linesAfterEnd;
        if (onLine) onLine(m_slot);
        break;
      case WM_PROGRESS:
        progress.emplace_back(wParam, lParam);
        if (onProgress) onProgress();
        break;
      case WM_DOWNLOAD_END:
        ended = true;
        ++endCount;
        outcome = lParam;
        if (lParam == END_SUCCEEDED) engine.AcknowledgeEnd();
        break;
      default: break;
    }
    return 0;
  }
};

}  // namespace zel::test
