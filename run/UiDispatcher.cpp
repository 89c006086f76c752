#include "run/UiDispatcher.h"

#include <memory>

#include "run/StoppableWait.h"

namespace zel {
namespace {

// One hand-over: shared by the waiting worker and the queued task, so that a
// worker that gives up can leave while the task is still queued or running.
struct CHandOver {
  std::mutex mutex;
  std::condition_variable_any cv;
  bool abandoned = false;
  bool started = false;
  bool done = false;
};

}  // namespace

bool CallOnUiThread(IUiDispatcher& dispatcher, std::function<void()> task, const std::stop_token& abandon) {
  if (abandon.stop_requested()) return false;
  if (dispatcher.IsUiThread()) {
    task();
    return true;
  }
  auto handOver = std::make_shared<CHandOver>();
  dispatcher.Post([handOver, task = std::move(task)] {
    {
      std::lock_guard lock(handOver->mutex);
      if (handOver->abandoned) return;
      handOver->started = true;
    }
    task();
    {
      std::lock_guard lock(handOver->mutex);
      handOver->done = true;
    }
    handOver->cv.notify_all();
  });
  std::unique_lock lock(handOver->mutex);
  if (StoppableWait(
          lock, handOver->cv, [&] { return handOver->done; }, abandon))
    return true;
  handOver->abandoned = true;
  return false;
}

intptr_t CUiThreadWindow::SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  // The result lives in the hand-over, not on this stack: a terminated
  // sender may leave while its handler is still running.
  auto result = std::make_shared<intptr_t>(0);
  CallOnUiThread(
      m_dispatcher,
      [this, result, message, wParam, lParam] { *result = HandleMessage(message, wParam, lParam); },
      SenderTerminate());
  return *result;
}

CUiLoop::CUiLoop() : m_uiThread(std::this_thread::get_id()) {}

void CUiLoop::Post(std::function<void()> task) {
  {
    std::lock_guard lock(m_mutex);
    m_tasks.push_back(std::move(task));
  }
  m_cv.notify_all();
}

bool CUiLoop::IsUiThread() const { return std::this_thread::get_id() == m_uiThread; }

void CUiLoop::RunUntil(const std::function<bool()>& done) {
  while (!done()) {
    std::function<void()> task;
    {
      std::unique_lock lock(m_mutex);
      m_cv.wait(lock, [this] { return !m_tasks.empty(); });
      task = std::move(m_tasks.front());
      m_tasks.pop_front();
    }
    task();
  }
}

void CUiLoop::Drain() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(m_mutex);
      if (m_tasks.empty()) return;
      task = std::move(m_tasks.front());
      m_tasks.pop_front();
    }
    task();
  }
}

}  // namespace zel
