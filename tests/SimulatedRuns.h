// The two engines against the simulated box on a pty, each run through
// the run driver.
#pragma once

#include <string>
#include <thread>
#include <vector>

#include "boot/ZELBootThread.h"
#include "sim/BoxSimulator.h"
#include "tests/RunHarness.h"
#include "tests/TempFile.h"
#include "upgrade/ZELUpgradeThread.h"

namespace zel::test {

// The upgrade engine against the simulated box.
struct CUpgradeRun {
  CUpgradeRun() { engine.SetPauseBeforeSuccess(std::chrono::milliseconds(0)); }

  // One upgrade of image with the box following plan, on the box's port
  // unless another is named; returns once the run has ended.
  void Run(const std::vector<uint8_t>& image, const sim::CBoxPlan& plan, const std::string* port = nullptr) {
    CTempFile file(image);
    RunFile(file.Path(), image, plan, port);
  }
  void RunFile(const std::string& path, const std::vector<uint8_t>& image, const sim::CBoxPlan& plan,
               const std::string* port = nullptr) {
    run.reports.Clear();
    simulator.ClearStop();  // the Stop that ended an earlier run
    std::thread boxThread([&] { box = simulator.Run(image, plan); });
    started = run.Run(port ? *port : simulator.Port(), path);
    simulator.Stop();
    boxThread.join();
  }
  RunOutcome Outcome() const { return run.end.outcome; }
  std::vector<std::string> Diagnostics() { return run.reports.Diagnostics(); }

  sim::CBoxSimulator simulator;
  CZELUpgradeThread engine;
  CRunHarness run{engine};
  CRecordingReporter& reports = run.reports;
  sim::CBoxReport box;
  bool started = false;
};

// The boot engine against the simulated box, switched on when the engine
// asks for it.
struct CBootRun {
  CBootRun() {
    run.onLine = [this](const std::string& line) {
      if (line == "Please Switch On your Box now" && !boxThread.joinable())
        boxThread = std::thread([this] { box = simulator.RunBoot(section, plan); });
    };
  }
  ~CBootRun() { StopBox(); }

  void Run(const std::string& commandFile, const std::string* port = nullptr) {
    simulator.ClearStop();
    run.Run(port ? *port : simulator.Port(), commandFile);
    StopBox();
  }
  void StopBox() {
    simulator.Stop();
    if (boxThread.joinable()) boxThread.join();
  }
  RunOutcome Outcome() const { return run.end.outcome; }

  std::vector<uint8_t> section;  // what the box expects as section 2
  sim::CBootPlan plan;
  sim::CBoxSimulator simulator;
  CZELBootThread engine;
  CRunHarness run{engine};
  CRecordingReporter& reports = run.reports;
  sim::CBootReport box;
  std::thread boxThread;
};

}  // namespace zel::test
