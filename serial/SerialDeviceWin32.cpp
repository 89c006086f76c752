// The serial device over the Win32 comm API. Every transfer is overlapped
// underneath, so that a stop or a terminate ends any wait within a few
// milliseconds; the blocking forms wait for their own overlapped operation.
#include <algorithm>
#include <cstring>
#include <stop_token>
#include <vector>

#include "run/SystemHeadersWin32.h"
#include "serial/DcbTranslation.h"
#include "serial/SerialDevice.h"

namespace zel {
namespace {

static_assert(line_event::kReceived == EV_RXCHAR && line_event::kTransmitEmpty == EV_TXEMPTY &&
                  line_event::kInputAlmostFull == EV_RX80FULL,
              "the event bits are the system's own");

DeviceError ErrorFromWin32(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return DeviceError::None;
    case ERROR_IO_PENDING: return DeviceError::IoPending;
    case ERROR_IO_INCOMPLETE: return DeviceError::IoIncomplete;
    case ERROR_OPERATION_ABORTED: return DeviceError::Cancelled;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return DeviceError::NotFound;
    case ERROR_ACCESS_DENIED:  // a COM port held by another program
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return DeviceError::Busy;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED: return DeviceError::NotSerial;
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BROKEN_PIPE: return DeviceError::Gone;
    case ERROR_INVALID_PARAMETER: return DeviceError::Invalid;
    default: return DeviceError::Failed;
  }
}

// A transfer on a port that opened fails with these when the port has
// gone: an unplugged USB adapter answers ERROR_ACCESS_DENIED, and aborts
// what it had (our own cancels are told apart before this is asked).
DeviceError TransferErrorFromWin32(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:  // Wine's word for EIO
    case ERROR_OPERATION_ABORTED: return DeviceError::Gone;
    default: return ErrorFromWin32(error);
  }
}

std::string SystemText(DWORD error) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result(text ? text : "", length);
  if (text) ::LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.'))
    result.pop_back();
  return result;
}

// The system's record of one overlapped operation, with its own event.
struct CWinOverlapped {
  OVERLAPPED ov{};
  CWinOverlapped() { ov.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~CWinOverlapped() {
    if (ov.hEvent) ::CloseHandle(ov.hEvent);
  }
  CWinOverlapped(const CWinOverlapped&) = delete;
  CWinOverlapped& operator=(const CWinOverlapped&) = delete;
};

CWinOverlapped& SystemRecord(COverlapped& ov) {
  if (!ov.platform) ov.platform = std::make_shared<CWinOverlapped>();
  auto& record = *static_cast<CWinOverlapped*>(ov.platform.get());
  ::ResetEvent(record.ov.hEvent);
  return record;
}

CWinOverlapped* ExistingRecord(COverlapped& ov) { return static_cast<CWinOverlapped*>(ov.platform.get()); }

}  // namespace

class CWin32SerialDevice final : public CSerialDevice {
 public:
  CWin32SerialDevice() = default;
  ~CWin32SerialDevice() override { Close(); }
  CWin32SerialDevice(const CWin32SerialDevice&) = delete;
  CWin32SerialDevice& operator=(const CWin32SerialDevice&) = delete;

  bool Open(const std::string& name) override {
    if (IsOpen()) return Fail(DeviceError::Busy);
    const std::string path = ResolveName(name);
    if (path.empty()) return Fail(DeviceError::NotFound);
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return FailLast();
    m_handle = handle;
    m_bGone = false;
    m_mask = 0;
    m_lastError = DeviceError::None;
    m_lastErrorText.clear();
    return true;
  }

  bool Close() override {
    if (!IsOpen()) return true;
    const BOOL closed = ::CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    return closed ? true : FailLast();
  }

  bool IsOpen() const override { return m_handle != INVALID_HANDLE_VALUE; }
  DeviceError LastError() const override { return m_lastError; }
  std::string LastErrorText() const override { return m_lastErrorText; }
  bool IsGone() const override { return m_bGone; }

  bool GetLine(CLineSettings& line) override {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    ::DCB system{};
    system.DCBlength = sizeof system;
    if (!::GetCommState(m_handle, &system)) return FailLast();
    line = LineSettingsOfRecord(system);
    return true;
  }
  bool SetLine(const CLineSettings& line) override {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    if (!IsValidLine(line)) return Fail(DeviceError::Invalid);
    ::DCB system{};
    system.DCBlength = sizeof system;
    if (!::GetCommState(m_handle, &system)) return FailLast();
    OverlayLineSettings(system, line);
    return ::SetCommState(m_handle, &system) ? true : FailLast();
  }
  bool SetTimeouts(const CLineTimeouts& timeouts) override {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    ::COMMTIMEOUTS system{timeouts.readGapMs, timeouts.readPerByteMs, timeouts.readConstantMs,
                          timeouts.writePerByteMs, timeouts.writeConstantMs};
    return ::SetCommTimeouts(m_handle, &system) ? true : FailLast();
  }
  bool SetMask(uint32_t mask) override {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    if (!::SetCommMask(m_handle, mask)) return FailLast();
    m_mask = mask;
    return true;
  }

  bool Read(void* buffer, uint32_t count, uint32_t& read) override {
    read = 0;
    COverlapped ov;
    if (!ReadOverlapped(buffer, count, ov) && m_lastError != DeviceError::IoPending) return false;
    return Finish(ov, read);
  }
  // Looks at the input queue in the same short slices as the other waits.
  bool WaitReadable() override {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    for (;;) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!::ClearCommError(m_handle, &errors, &status)) return FailTransfer();
      if (status.cbInQue > 0) return true;
      if (StopToken().stop_requested()) return Fail(DeviceError::Cancelled);
      ::Sleep(10);
    }
  }
  bool Write(const void* buffer, uint32_t count, uint32_t& written) override {
    written = 0;
    COverlapped ov;
    if (!WriteOverlapped(buffer, count, ov) && m_lastError != DeviceError::IoPending) return false;
    return Finish(ov, written);
  }

  bool ReadOverlapped(void* buffer, uint32_t count, COverlapped& ov) override {
    return Begin(ov, COverlapped::Op::Read, count, [&](OVERLAPPED* record, DWORD* done) {
      return ::ReadFile(m_handle, buffer, count, done, record);
    });
  }
  bool WriteOverlapped(const void* buffer, uint32_t count, COverlapped& ov) override {
    return Begin(ov, COverlapped::Op::Write, count, [&](OVERLAPPED* record, DWORD* done) {
      return ::WriteFile(m_handle, buffer, count, done, record);
    });
  }

  bool WaitCommEvent(uint32_t& events, COverlapped* ov) override {
    events = 0;
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    COverlapped local;
    COverlapped& op = ov ? *ov : local;
    op.op = COverlapped::Op::WaitEvent;
    op.events = &events;
    op.done = 0;
    op.result = DeviceError::None;
    CWinOverlapped& record = SystemRecord(op);
    m_eventWord = 0;
    if (::WaitCommEvent(m_handle, &m_eventWord, &record.ov)) {
      events = m_eventWord;
      return Completed(op, 0);
    }
    if (!Started(op)) return false;
    if (ov) return false;  // pending, as asked
    uint32_t ignored = 0;
    return Finish(op, ignored);
  }

  bool WaitForCompletion(COverlapped& ov, std::chrono::milliseconds timeout) override {
    if (!ov.pending) return true;
    switch (WaitFor(ov, static_cast<DWORD>(std::min<int64_t>(timeout.count(), INFINITE - 1)))) {
      case Wait::Done: Collect(ov); return true;
      case Wait::TimedOut: return false;
      case Wait::Woken: CancelIo(ov); return true;
    }
    return true;
  }

  bool GetOverlappedResult(COverlapped& ov, uint32_t& transferred, bool wait) override {
    if (ov.pending) {
      if (!wait) {
        transferred = ov.done;
        return Fail(DeviceError::IoIncomplete);
      }
      return Finish(ov, transferred);
    }
    transferred = ov.done;
    return ov.result == DeviceError::None ? true : Fail(ov.result);
  }

  void CancelIo(COverlapped& ov) override {
    CWinOverlapped* record = ExistingRecord(ov);
    if (!ov.pending || record == nullptr) return;
    // A pending event wait ends when the mask is set again (the one way
    // that works everywhere); transfers are cancelled.
    if (ov.op == COverlapped::Op::WaitEvent)
      ::SetCommMask(m_handle, m_mask);
    else
      ::CancelIoEx(m_handle, &record->ov);
    DWORD done = 0;
    ::GetOverlappedResult(m_handle, &record->ov, &done, TRUE);
    ov.done = done;
    ov.pending = false;
    ov.result = DeviceError::Cancelled;
  }

 private:
  enum class Wait { Done, TimedOut, Woken };

  bool Fail(DeviceError error, DWORD code = 0) {
    m_lastError = error;
    m_lastErrorText = code ? SystemText(code) : std::string();
    if (error == DeviceError::Gone) m_bGone = true;
    return false;
  }
  bool FailLast() {
    const DWORD code = ::GetLastError();
    return Fail(ErrorFromWin32(code), code);
  }
  bool FailTransfer() {
    const DWORD code = ::GetLastError();
    return Fail(TransferErrorFromWin32(code), code);
  }

  // Starts a transfer in ov's system record; true when it completed at once.
  template <typename Transfer>
  bool Begin(COverlapped& ov, COverlapped::Op op, uint32_t count, Transfer transfer) {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    ov.op = op;
    ov.count = count;
    ov.done = 0;
    ov.result = DeviceError::None;
    CWinOverlapped& record = SystemRecord(ov);
    DWORD done = 0;
    if (transfer(&record.ov, &done)) return Completed(ov, done);
    return Started(ov);
  }
  bool Completed(COverlapped& ov, DWORD done) {
    ov.pending = false;
    ov.done = done;
    if (ov.op == COverlapped::Op::WaitEvent && ov.events) *ov.events = m_eventWord;
    return true;
  }
  bool Started(COverlapped& ov) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_IO_PENDING) {
      ov.result = TransferErrorFromWin32(code);
      return Fail(ov.result, code);
    }
    ov.pending = true;
    return Fail(DeviceError::IoPending);
  }
  // Takes the result of an operation whose event is signalled.
  void Collect(COverlapped& ov) {
    CWinOverlapped* record = ExistingRecord(ov);
    DWORD done = 0;
    ov.pending = false;
    if (!::GetOverlappedResult(m_handle, &record->ov, &done, TRUE)) {
      const DWORD code = ::GetLastError();
      // A transfer that its time-outs ended is complete with what it
      // moved; Wine says so with a time-out status.
      if (code != WAIT_TIMEOUT && code != ERROR_TIMEOUT) {
        ov.result = TransferErrorFromWin32(code);
        Fail(ov.result, code);
      }
    }
    ov.done = done;
    if (ov.op == COverlapped::Op::WaitEvent && ov.events) *ov.events = m_eventWord;
  }
  // Waits for a pending operation without limit; a stop or a terminate of
  // the calling worker cancels it.
  bool Finish(COverlapped& ov, uint32_t& transferred) {
    if (ov.pending && WaitFor(ov, INFINITE) == Wait::Woken)
      CancelIo(ov);
    else if (ov.pending)
      Collect(ov);
    transferred = ov.done;
    if (ov.result == DeviceError::None) return true;
    if (m_lastError != ov.result) Fail(ov.result);  // keeps the system's words where Collect had them
    return false;
  }
  // Waits in short slices, looking at the run's stop between them: a stop
  // ends the wait within one slice.
  Wait WaitFor(COverlapped& ov, DWORD milliseconds) {
    const std::stop_token& stop = StopToken();
    constexpr DWORD kSlice = 10;
    const ULONGLONG deadline = milliseconds == INFINITE ? 0 : ::GetTickCount64() + milliseconds;
    for (;;) {
      if (stop.stop_requested()) return Wait::Woken;
      DWORD slice = kSlice;
      if (milliseconds != INFINITE) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return Wait::TimedOut;
        slice = static_cast<DWORD>(std::min<ULONGLONG>(kSlice, deadline - now));
      }
      if (::WaitForSingleObject(ExistingRecord(ov)->ov.hEvent, slice) == WAIT_OBJECT_0) return Wait::Done;
    }
  }

  HANDLE m_handle = INVALID_HANDLE_VALUE;
  DWORD m_eventWord = 0;
  uint32_t m_mask = 0;
  DeviceError m_lastError = DeviceError::None;
  std::string m_lastErrorText;
  bool m_bGone = false;
};

std::unique_ptr<CSerialDevice> CSerialDevice::Create() { return std::make_unique<CWin32SerialDevice>(); }

std::string CSerialDevice::ResolveName(const std::string& name) {
  // \\.\COMn reaches every COM port, COM10 and above included.
  const bool com = name.size() >= 4 && (name[0] == 'C' || name[0] == 'c') &&
                   (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm') &&
                   std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
  return com ? "\\\\.\\" + name : name;
}

}  // namespace zel
