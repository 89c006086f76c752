#include "run/RunDriver.h"

namespace zel {

void IRunObserver::OnOperatorMessage(const std::string& text) { ShowToOperator(nullptr, text); }

void IRunObserver::OnDiagnostic(const std::string& text) { WriteDiagnostic(nullptr, text); }

CRunDriver::CRunDriver(IUiDispatcher& dispatcher, CZELWorkingThread& engine)
    : m_dispatcher(dispatcher), m_engine(engine) {
  m_engine.SetOperatorReporter(this);
  // The worker's last act: hand the end to the user-interface thread
  // without waiting for it, so that the worker ends at once.
  m_engine.SetRunEndHandler([this, alive = std::weak_ptr<int>(m_alive)] {
    const uint64_t run = m_nRun;
    m_dispatcher.Post([this, alive, run] {
      if (!alive.expired()) FinishRun(run);
    });
  });
}

CRunDriver::~CRunDriver() {
  Terminate();
  m_engine.SetRunEndHandler(nullptr);
  m_engine.SetOperatorReporter(nullptr);
}

void CRunDriver::ToObserver(void (IRunObserver::*report)(const std::string&), const std::string& text) {
  CallOnUiThread(
      m_dispatcher,
      [this, report, text] {
        if (m_bRunning) (m_observer->*report)(text);
      },
      m_engine.TerminateToken());
}

void CRunDriver::ShowMessage(const std::string& text) { ToObserver(&IRunObserver::OnOperatorMessage, text); }

void CRunDriver::WriteDiagnostic(const std::string& text) { ToObserver(&IRunObserver::OnDiagnostic, text); }

int CRunDriver::Start(const std::string& port, const std::string& file, IRunObserver& observer) {
  if (m_bRunning) return 1;
  m_engine.Join();  // the worker of an ended run has ended, or ends now
  m_engine.SetParameters(port, file);
  m_slot.assign(kTraceSlotSize + port.size(), 0);
  m_engine.SetOwner(&m_owner);
  m_engine.SetTraceBuffer(m_slot.data(), static_cast<int>(m_slot.size()));
  m_observer = &observer;
  ++m_nRun;
  m_bRunning = true;
  if (m_engine.Start() != 0) {
    m_bRunning = false;
    return 1;
  }
  return 0;
}

void CRunDriver::Stop() {
  if (m_bRunning) m_engine.Stop();
}

void CRunDriver::Terminate() {
  if (m_engine.IsRunning()) m_engine.Terminate(0);
  m_engine.Join();
  m_bRunning = false;
}

intptr_t CRunDriver::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!m_bRunning) return 0;
  switch (message) {
    case WM_TRACE_LINE:
      m_observer->OnLine(m_slot.data(), lParam != 0 ? LineLevel::Debug : LineLevel::Normal);
      break;
    case WM_PROGRESS:
      m_observer->OnProgress(static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam));
      break;
    case WM_DOWNLOAD_END: {
      const RunOutcome outcome = lParam == END_SUCCEEDED   ? RunOutcome::Succeeded
                                 : lParam == END_CANCELLED ? RunOutcome::Cancelled
                                                           : RunOutcome::Failed;
      m_observer->OnOutcome(outcome);
      if (outcome == RunOutcome::Succeeded) m_engine.AcknowledgeEnd();
      break;
    }
    default: break;
  }
  return 0;
}

void CRunDriver::FinishRun(uint64_t run) {
  if (!m_bRunning || run != m_nRun) return;  // a terminated run, or an older one
  m_engine.Join();
  m_bRunning = false;
  m_observer->OnEnd(m_engine.LastRunEnd());
}

}  // namespace zel
