#include "app/win32/UiDispatcherWin32.h"

namespace zel {
namespace {

constexpr UINT kRunTasks = WM_APP + 1;
constexpr char kClassName[] = "BoxFeederTasks";

}  // namespace

CWin32UiDispatcher::CWin32UiDispatcher() : m_threadId(GetCurrentThreadId()) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &CWin32UiDispatcher::WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassExA(&windowClass);  // fails harmlessly when already registered
  m_window = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CWin32UiDispatcher::~CWin32UiDispatcher() {
  {
    std::lock_guard lock(m_mutex);
    m_tasks.clear();
  }
  SetWindowLongPtrA(m_window, GWLP_USERDATA, 0);
  DestroyWindow(m_window);
}

void CWin32UiDispatcher::Post(std::function<void()> task) {
  std::lock_guard lock(m_mutex);
  m_tasks.push_back(std::move(task));
  if (!m_posted) m_posted = PostMessageA(m_window, kRunTasks, 0, 0) != 0;
}

bool CWin32UiDispatcher::IsUiThread() const { return GetCurrentThreadId() == m_threadId; }

void CWin32UiDispatcher::RunTasks() {
  // One task at a time from the head of the queue: a task that opens a
  // modal box lets the box's loop run the next ones, still in order.
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(m_mutex);
      if (m_tasks.empty()) {
        m_posted = false;
        return;
      }
      task = std::move(m_tasks.front());
      m_tasks.pop_front();
      // A wake-up stays on its way while tasks remain, for a modal loop
      // inside this task to find.
      m_posted = !m_tasks.empty() && PostMessageA(m_window, kRunTasks, 0, 0) != 0;
    }
    task();
    PaintNowAndThen();
  }
}

void CWin32UiDispatcher::PaintNowAndThen() {
  const auto now = std::chrono::steady_clock::now();
  if (now - m_lastPaint < std::chrono::milliseconds(50)) return;
  m_lastPaint = now;
  EnumThreadWindows(
      m_threadId,
      [](HWND window, LPARAM) -> BOOL {
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        return TRUE;
      },
      0);
}

LRESULT CALLBACK CWin32UiDispatcher::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunTasks) {
    if (auto* self = reinterpret_cast<CWin32UiDispatcher*>(GetWindowLongPtrA(window, GWLP_USERDATA)))
      self->RunTasks();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace zel
