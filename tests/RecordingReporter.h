// Records the operator reports instead of showing them.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "link/OperatorReport.h"

namespace zel::test {

class CRecordingReporter : public IOperatorReporter {
 public:
  CRecordingReporter() { SetOperatorReporter(this); }
  ~CRecordingReporter() override { SetOperatorReporter(nullptr); }
  void ShowMessage(const std::string& text) override {
    std::lock_guard lock(m_mutex);
    m_texts.push_back(text);
  }
  std::vector<std::string> Texts() {
    std::lock_guard lock(m_mutex);
    return m_texts;
  }

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_texts;
};

}  // namespace zel::test
