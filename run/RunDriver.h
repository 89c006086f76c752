// Runs either engine for a front end: lends it a trace slot, takes its
// notifications on the user-interface thread and turns them into typed
// events for an observer given per run. The window, the command line and
// the tests all run engines through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "run/RunOutcome.h"
#include "run/UiDispatcher.h"
#include "run/ZELWorkingThread.h"

namespace zel {

enum class LineLevel { Normal, Debug };

// Called on the user-interface thread.
class IRunObserver {
 public:
  virtual ~IRunObserver() = default;
  virtual void OnLine(const std::string& text, LineLevel level) = 0;
  // A data request was served: offset and length.
  virtual void OnProgress(uint32_t /*offset*/, uint32_t /*length*/) {}
  // The upgrade's end notification, before its last line. After a success
  // the engine waits until this returns (the window's cable warning).
  virtual void OnOutcome(RunOutcome /*outcome*/) {}
  // The run is over: its worker has ended.
  virtual void OnEnd(const CRunEnd& end) = 0;
  // A failure the operator must take note of, shown as a modal message
  // while the worker waits; by default on standard error.
  virtual void OnOperatorMessage(const std::string& text);
  // An engine's diagnostic line, line ends included; by default on
  // standard output.
  virtual void OnDiagnostic(const std::string& text);
};

class CRunDriver final : private IOperatorReporter {
 public:
  // The trace slot holds a line of this many characters besides the port
  // name, which some lines carry whole.
  static constexpr size_t kTraceSlotSize = 100;

  CRunDriver(IUiDispatcher& dispatcher, CZELWorkingThread& engine);
  // Terminates a run still going; its observer hears nothing more.
  ~CRunDriver() override;
  CRunDriver(const CRunDriver&) = delete;
  CRunDriver& operator=(const CRunDriver&) = delete;

  // Starts a run of the engine with port and file; 0 started, 1 not (no
  // OnEnd follows then). The observer must outlive the run.
  int Start(const std::string& port, const std::string& file, IRunObserver& observer);
  // Asks the run to stop; it ends as cancelled at its next stop test.
  void Stop();
  // Ends the run at once; its observer hears nothing more.
  void Terminate();
  // From Start until OnEnd (or Terminate).
  bool IsRunning() const { return m_bRunning; }
  CZELWorkingThread& Engine() { return m_engine; }

 private:
  // The engine's owner window: its notifications are handled on the
  // user-interface thread while the worker waits.
  class COwnerWindow final : public CUiThreadWindow {
   public:
    COwnerWindow(IUiDispatcher& dispatcher, CRunDriver& driver)
        : CUiThreadWindow(dispatcher), m_driver(driver) {}

   protected:
    intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
      return m_driver.HandleMessage(message, wParam, lParam);
    }
    std::stop_token SenderTerminate() const override { return m_driver.m_engine.TerminateToken(); }

   private:
    CRunDriver& m_driver;
  };

  intptr_t HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // The engine's reports, handed to the observer on the user-interface
  // thread while the worker waits.
  void ShowMessage(const std::string& text) override;
  void WriteDiagnostic(const std::string& text) override;
  // Hands text to the observer's report on the user-interface thread and
  // waits for it, unless the worker is terminated first.
  void ToObserver(void (IRunObserver::*report)(const std::string&), const std::string& text);
  void FinishRun(uint64_t run);

  IUiDispatcher& m_dispatcher;
  CZELWorkingThread& m_engine;
  COwnerWindow m_owner{m_dispatcher, *this};
  IRunObserver* m_observer = nullptr;
  std::vector<char> m_slot;
  bool m_bRunning = false;
  uint64_t m_nRun = 0;
  // Posted end tasks find it expired once the driver is gone.
  std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};

}  // namespace zel
