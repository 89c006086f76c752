// Base of the transfer engines: one worker thread at a time, a cooperative
// stop request, and a synchronous trace channel to the owner window.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "run/OperatorReport.h"
#include "run/OwnerWindow.h"
#include "run/RunInput.h"
#include "run/RunOutcome.h"

namespace zel {

#ifndef CREATE_SUSPENDED  // the platform's own where it has one
constexpr uint32_t CREATE_SUSPENDED = 0x00000004;
#endif

class CZELWorkingThread {
 public:
  CZELWorkingThread();
  virtual ~CZELWorkingThread();
  CZELWorkingThread(const CZELWorkingThread&) = delete;
  CZELWorkingThread& operator=(const CZELWorkingThread&) = delete;

  // 0 when the thread was created, 1 when not.
  virtual int Start();
  // 1 created; 0 when a thread is already held or creation failed.
  virtual int Create(uint32_t creationFlags = 0);
  // Previous suspend count; 0 without a thread. Suspension is cooperative:
  // the worker pauses at its next suspension point (thread start, and each
  // notification it is about to send).
  virtual uint32_t Suspend();
  virtual uint32_t Resume();
  // Ends the worker: after it returns the worker sends nothing more, never
  // touches the owner's buffer again, and its thread has been joined.
  virtual int Terminate(uint32_t exitCode);
  // The input a station took once for all its ports (the image), and
  // whether a box that takes only part of it fails; an engine that serves
  // no shared input ignores both. Set them between runs.
  virtual void SetInput(std::shared_ptr<CRunInput> /*input*/) {}
  virtual void SetRequireWholeInput(bool /*require*/) {}
  // The pause between a successful run's last exchange and its end, where
  // the engine has one.
  virtual void SetPauseBeforeSuccess(std::chrono::milliseconds /*pause*/) {}

  // Waits until the worker has returned from its run. For a front end
  // that must not leave while a worker runs; never call it from a message
  // handler, since a worker may be waiting for that handler.
  void Join();

  // Requests the run's stop: every wait of the worker ends and its run
  // ends at its next stop test.
  int Stop();
  bool IsStopRequested() const;
  bool IsRunning() const;
  bool IsThreadActive() const;

  int SetOwner(IOwnerWindow* owner);
  IOwnerWindow* GetOwner() const;
  int SetTraceBuffer(char* buffer, int size);

  // 0 delivered, 1 dropped (no owner, too long, or terminated; debug
  // lines also while the owner wants none).
  int Trace(std::string text);
  int DebugTrace(std::string text);
  // Whether the owner shows debug lines (the window's Trace Enable): while
  // it does not, the worker hands none over. Callable at any time.
  void SetDebugLinesWanted(bool wanted) { m_bDebugWanted = wanted; }
  bool DebugLinesWanted() const { return m_bDebugWanted; }

  // What both engines take before a run: the port and the file.
  virtual int SetParameters(std::string port, std::string file);
  // Releases an engine that waits for its owner after a success.
  virtual void AcknowledgeEnd();

  // Where this engine's worker reports to the operator; null: standard
  // error and output. Set it while no worker runs.
  void SetOperatorReporter(IOperatorReporter* reporter) { m_reporter = reporter; }
  // What ends every wait of the current worker at once, hand-overs to the
  // owner included: its Terminate.
  std::stop_token TerminateToken() const;

  // Called on the worker once its run has returned, unless it was
  // terminated; the last thing the worker does besides ending.
  void SetRunEndHandler(std::function<void()> handler);
  // How the last run ended. Read it once the worker has ended.
  const CRunEnd& LastRunEnd() const { return m_lastRunEnd; }

 protected:
  virtual int Run();
  virtual int OnThreadStart();
  virtual void OnTerminate();

  // Sends a notification to the owner and waits until it is handled;
  // returns 0 without sending when there is no owner or after Terminate.
  intptr_t SendToOwner(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // True on the worker once Terminate has begun; its loops end at once.
  bool IsTerminating() const { return m_workerTerminate.stop_requested(); }
  // The one stop test of every wait and loop of the engines: a Stop since
  // the last Start, or Terminate.
  bool ShouldStop() const { return m_workerStop.stop_requested(); }
  // The run's stop, for whatever the worker waits on (its port, its
  // sleeps): Stop and Terminate both request it.
  const std::stop_token& StopToken() const { return m_workerStop; }
  IOperatorReporter* Reporter() const { return m_reporter; }
  // The engines record how each run ends, with what the run measured.
  void RecordRunEnd(RunOutcome outcome, CFailureCause cause = {}, CRunFigures figures = {},
                    std::string imageSha256 = {});
  // Engines call this first in their destructors: a thread still running
  // is terminated and joined before the engine's own members go.
  void EndThreadBeforeDestruction();

 private:
  static void ThreadProcedure(CZELWorkingThread* self);
  int Deliver(const std::string& text, intptr_t level);
  void WaitWhileSuspended();
  void JoinFinishedThread();

  int32_t m_nTraceSize = 0;
  char* m_pTraceBuffer = nullptr;
  uint32_t m_nThreadId = 0;
  uintptr_t m_hThread = 0;
  mutable std::mutex m_mutex;  // guards the thread id, handle and object
  std::atomic<IOwnerWindow*> m_pOwner{nullptr};
  std::atomic<bool> m_bDebugWanted{true};

  std::thread m_thread;
  // One stop per run, made anew by Start; Terminate requests it too.
  std::stop_source m_stop;
  std::stop_source m_terminate;
  // The worker's own copies, set before it starts and read by it alone.
  std::stop_token m_workerStop;
  std::stop_token m_workerTerminate;
  std::function<void()> m_runEndHandler;
  IOperatorReporter* m_reporter = nullptr;
  CRunEnd m_lastRunEnd;
  std::mutex m_suspendMutex;
  std::condition_variable_any m_suspendCv;
  uint32_t m_nSuspendCount = 0;
};

}  // namespace zel
