// Hands tasks to the Windows user-interface thread as posted messages to a
// message-only window. Modal loops (message boxes, file dialogs) dispatch
// them too, in the order they were posted.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>

#include "run/UiDispatcher.h"
#include "widgets/SystemHeadersWin32.h"

namespace zel {

class CWin32UiDispatcher : public IUiDispatcher {
 public:
  // Tasks run on the thread that creates the dispatcher.
  CWin32UiDispatcher();
  // Tasks still queued are dropped.
  ~CWin32UiDispatcher() override;
  CWin32UiDispatcher(const CWin32UiDispatcher&) = delete;
  CWin32UiDispatcher& operator=(const CWin32UiDispatcher&) = delete;

  void Post(std::function<void()> task) override;
  bool IsUiThread() const override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void RunTasks();
  // Windows paint only when no message waits; while tasks keep coming
  // (many boxes loading at once), they are painted every so often all the
  // same.
  void PaintNowAndThen();

  const DWORD m_threadId;
  HWND m_window = nullptr;
  std::mutex m_mutex;
  std::deque<std::function<void()>> m_tasks;
  bool m_posted = false;  // a wake-up message is on its way
  std::chrono::steady_clock::time_point m_lastPaint{};
};

}  // namespace zel
