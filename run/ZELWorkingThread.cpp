#include "run/ZELWorkingThread.h"

#include <cstdio>
#include <cstring>
#include <future>

#include "run/DebugOutput.h"
#include "run/Platform.h"
#include "run/StoppableWait.h"

namespace zel {

CZELWorkingThread::CZELWorkingThread() = default;

CZELWorkingThread::~CZELWorkingThread() { EndThreadBeforeDestruction(); }

void CZELWorkingThread::EndThreadBeforeDestruction() {
  if (IsRunning()) Terminate(0);
  JoinFinishedThread();
}

int CZELWorkingThread::Start() { return Create(0) ? 0 : 1; }

void CZELWorkingThread::JoinFinishedThread() {
  // A worker clears its handle as the very last thing it does, so a thread
  // whose handle is gone has finished its work and joins at once.
  std::thread finished;
  {
    std::lock_guard lock(m_mutex);
    if (m_hThread != 0 || m_thread.get_id() == std::this_thread::get_id()) return;
    finished = std::move(m_thread);
  }
  if (finished.joinable()) finished.join();
}

int CZELWorkingThread::Create(uint32_t creationFlags) {
  if (IsRunning()) return 0;
  JoinFinishedThread();

  std::lock_guard lock(m_mutex);
  {
    std::lock_guard suspendLock(m_suspendMutex);
    m_nSuspendCount = (creationFlags & CREATE_SUSPENDED) ? 1 : 0;
  }
  m_stop = std::stop_source();
  m_terminate = std::stop_source();
  m_workerStop = m_stop.get_token();
  m_workerTerminate = m_terminate.get_token();
  std::promise<uint32_t> started;
  std::future<uint32_t> threadId = started.get_future();
  try {
    m_thread = std::thread(
        [this](std::promise<uint32_t> idPromise) {
          idPromise.set_value(CurrentThreadId());
          ThreadProcedure(this);
        },
        std::move(started));
    m_nThreadId = threadId.get();
    m_hThread = static_cast<uintptr_t>(m_thread.native_handle());
  } catch (const std::system_error&) {
    m_nThreadId = 0;
    m_hThread = 0;
  }
  char line[128];
  std::snprintf(line, sizeof line,
                "CZELWorkingThread::Create() : Thread ID = 0x%08X (%d), Thread handle = 0x%08X\n",
                m_nThreadId, static_cast<int>(m_nThreadId), static_cast<unsigned>(m_hThread));
  OutputDebugLine(line);
  return m_hThread != 0 ? 1 : 0;
}

void CZELWorkingThread::ThreadProcedure(CZELWorkingThread* self) {
  if (self == nullptr) return;  // exit code 1: nothing to run
  self->WaitWhileSuspended();
  if (!self->IsTerminating() && self->OnThreadStart()) self->Run();
  if (!self->IsTerminating() && self->m_runEndHandler) self->m_runEndHandler();
  std::lock_guard lock(self->m_mutex);
  self->m_hThread = 0;
  self->m_nThreadId = 0;
}

uint32_t CZELWorkingThread::Suspend() {
  if (!IsRunning()) return 0;
  std::lock_guard lock(m_suspendMutex);
  return m_nSuspendCount++;
}

uint32_t CZELWorkingThread::Resume() {
  if (!IsRunning()) return 0;
  uint32_t previous;
  {
    std::lock_guard lock(m_suspendMutex);
    previous = m_nSuspendCount;
    if (m_nSuspendCount > 0) --m_nSuspendCount;
  }
  m_suspendCv.notify_all();
  return previous;
}

void CZELWorkingThread::WaitWhileSuspended() {
  std::unique_lock lock(m_suspendMutex);
  StoppableWait(
      lock, m_suspendCv, [this] { return m_nSuspendCount == 0; }, m_workerTerminate);
}

int CZELWorkingThread::Terminate(uint32_t /*exitCode*/) {
  OnTerminate();
  std::thread worker;
  {
    std::lock_guard lock(m_mutex);
    m_terminate.request_stop();
    m_stop.request_stop();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) worker = std::move(m_thread);
  }
  if (worker.joinable()) worker.join();
  std::lock_guard lock(m_mutex);
  m_hThread = 0;
  m_nThreadId = 0;
  return 1;
}

void CZELWorkingThread::Join() {
  std::thread worker;
  {
    std::lock_guard lock(m_mutex);
    if (m_thread.get_id() == std::this_thread::get_id()) return;
    worker = std::move(m_thread);
  }
  if (worker.joinable()) worker.join();
}

int CZELWorkingThread::Stop() {
  std::lock_guard lock(m_mutex);
  m_stop.request_stop();
  return 0;
}

bool CZELWorkingThread::IsStopRequested() const {
  std::lock_guard lock(m_mutex);
  return m_stop.stop_requested();
}

std::stop_token CZELWorkingThread::TerminateToken() const {
  std::lock_guard lock(m_mutex);
  return m_terminate.get_token();
}

bool CZELWorkingThread::IsRunning() const {
  std::lock_guard lock(m_mutex);
  return m_hThread != 0;
}

bool CZELWorkingThread::IsThreadActive() const {
  std::lock_guard lock(m_mutex);
  return m_hThread != 0 && m_nThreadId != 0;
}

void CZELWorkingThread::RecordRunEnd(RunOutcome outcome, CFailureCause cause, CRunFigures figures,
                                     std::string imageSha256) {
  m_lastRunEnd = {outcome, std::move(cause), figures, std::move(imageSha256)};
}

int CZELWorkingThread::SetParameters(std::string, std::string) { return 1; }

void CZELWorkingThread::AcknowledgeEnd() {}

void CZELWorkingThread::SetRunEndHandler(std::function<void()> handler) {
  m_runEndHandler = std::move(handler);
}

int CZELWorkingThread::SetOwner(IOwnerWindow* owner) {
  m_pOwner = owner;
  return 0;
}

IOwnerWindow* CZELWorkingThread::GetOwner() const { return m_pOwner; }

int CZELWorkingThread::SetTraceBuffer(char* buffer, int size) {
  if (buffer == nullptr) return 1;
  m_pTraceBuffer = buffer;
  m_nTraceSize = size;
  return 0;
}

int CZELWorkingThread::Trace(std::string text) { return Deliver(text, 0); }

int CZELWorkingThread::DebugTrace(std::string text) { return m_bDebugWanted ? Deliver(text, 1) : 1; }

int CZELWorkingThread::Deliver(const std::string& text, intptr_t level) {
  if (GetOwner() == nullptr || IsTerminating()) return 1;
  if (m_pTraceBuffer == nullptr || static_cast<int64_t>(text.size()) > int64_t{m_nTraceSize} - 1) return 1;
  std::memset(m_pTraceBuffer, 0, static_cast<size_t>(m_nTraceSize));
  std::memcpy(m_pTraceBuffer, text.data(), text.size());
  SendToOwner(WM_TRACE_LINE, 0, level);
  // A Terminate that came while the line waited for its handler dropped it.
  return IsTerminating() ? 1 : 0;
}

intptr_t CZELWorkingThread::SendToOwner(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  IOwnerWindow* owner = GetOwner();
  if (owner == nullptr || IsTerminating()) return 0;
  WaitWhileSuspended();
  return owner->SendMessage(message, wParam, lParam);
}

int CZELWorkingThread::Run() { return 0; }

int CZELWorkingThread::OnThreadStart() { return 1; }

void CZELWorkingThread::OnTerminate() {}

}  // namespace zel
