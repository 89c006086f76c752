// Hand-over of work to the user-interface thread. Windows and the command
// line each provide a dispatcher; workers use CallOnUiThread to run a
// handler there and wait for it, in a wait that Terminate releases.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

#include "run/OwnerWindow.h"

namespace zel {

class IUiDispatcher {
 public:
  virtual ~IUiDispatcher() = default;
  // Queues a task for the user-interface thread; callable from any thread.
  virtual void Post(std::function<void()> task) = 0;
  virtual bool IsUiThread() const = 0;
};

// Runs task on the user-interface thread and waits until it has returned.
// On that thread itself the task runs at once. Returns false when abandon
// was stopped first (the calling worker was terminated): the task then
// never starts, or the worker stops waiting for it and never touches its
// results.
bool CallOnUiThread(IUiDispatcher& dispatcher, std::function<void()> task, const std::stop_token& abandon);

// A window whose messages are handled on the dispatcher's thread.
class CUiThreadWindow : public IOwnerWindow {
 public:
  explicit CUiThreadWindow(IUiDispatcher& dispatcher) : m_dispatcher(dispatcher) {}
  intptr_t SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) final;

 protected:
  virtual intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
  // What ends a sender's wait for its handler: its worker's terminate.
  virtual std::stop_token SenderTerminate() const = 0;
  IUiDispatcher& Dispatcher() const { return m_dispatcher; }

 private:
  IUiDispatcher& m_dispatcher;
};

// A plain task queue run by whichever thread created it: the command line's
// main loop and the tests' user-interface thread.
class CUiLoop : public IUiDispatcher {
 public:
  CUiLoop();
  void Post(std::function<void()> task) override;
  bool IsUiThread() const override;
  // Runs queued tasks until done() holds; done is checked before each wait.
  void RunUntil(const std::function<bool()>& done);
  // Runs the tasks queued now, without waiting for more.
  void Drain();

 private:
  const std::thread::id m_uiThread;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::function<void()>> m_tasks;
};

}  // namespace zel
