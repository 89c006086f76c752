// A simulated box playing its side on a thread for as long as the object
// lives (a test, one run of a benchmark): an upgrade of image, or the boot
// exchange expecting section 2.
#pragma once

#include <thread>
#include <vector>

#include "sim/BoxSimulator.h"

namespace zel::sim {

class CBoxOnThread {
 public:
  CBoxOnThread(std::vector<uint8_t> image, CBoxPlan plan)
      : m_thread([this, image = std::move(image), plan] { report = box.Run(image, plan); }) {}
  // Boxes one after another on the same port, as a line swaps them: each
  // plan's box is switched on once the one before has ended; the reports,
  // in order, are final after Finish or Join.
  CBoxOnThread(std::vector<uint8_t> image, std::vector<CBoxPlan> plans)
      : m_thread([this, image = std::move(image), plans = std::move(plans)] {
          for (const CBoxPlan& plan : plans) {
            reports.push_back(report = box.Run(image, plan));
            if (report.problem == "stopped") return;
          }
        }) {}
  CBoxOnThread(std::vector<uint8_t> section, CBootPlan plan)
      : m_thread([this, section = std::move(section), plan] { boot = box.RunBoot(section, plan); }) {}
  ~CBoxOnThread() { Finish(); }
  CBoxOnThread(const CBoxOnThread&) = delete;
  CBoxOnThread& operator=(const CBoxOnThread&) = delete;

  // Stops the box if it still plays, and waits for it: its report is then final.
  void Finish() {
    if (!m_thread.joinable()) return;
    box.Stop();
    m_thread.join();
  }

  // Waits until the box has played its part to the end: the tool has
  // closed the line.
  void Join() {
    if (m_thread.joinable()) m_thread.join();
  }

  CBoxSimulator box;
  CBoxReport report;
  std::vector<CBoxReport> reports;  // of each box, for a line of boxes
  CBootReport boot;

 private:
  std::thread m_thread;  // last: it starts once the box is there
};

}  // namespace zel::sim
