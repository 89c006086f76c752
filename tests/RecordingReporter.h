// Records the operator's messages and the diagnostics instead of showing
// them.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "run/OperatorReport.h"

namespace zel::test {

class CRecordingReporter : public IOperatorReporter {
 public:
  void ShowMessage(const std::string& text) override {
    {
      std::lock_guard lock(m_mutex);
      m_texts.push_back(text);
    }
    m_cv.notify_all();
  }
  void WriteDiagnostic(const std::string& text) override {
    std::lock_guard lock(m_mutex);
    m_diagnostics.push_back(text);
  }
  std::vector<std::string> Texts() {
    std::lock_guard lock(m_mutex);
    return m_texts;
  }
  std::vector<std::string> Diagnostics() {
    std::lock_guard lock(m_mutex);
    return m_diagnostics;
  }
  void Clear() {
    std::lock_guard lock(m_mutex);
    m_texts.clear();
    m_diagnostics.clear();
  }
  // Blocks until text has been shown; false if it was not within limit.
  bool WaitFor(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(30)) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, limit,
                         [&] { return std::find(m_texts.begin(), m_texts.end(), text) != m_texts.end(); });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::vector<std::string> m_texts;
  std::vector<std::string> m_diagnostics;
};

}  // namespace zel::test
