// The serial device over the Win32 comm API, in either of two modes.
// Overlapped: every transfer is overlapped underneath, and a stop ends any
// wait within a few milliseconds. Blocking: the handle is synchronous and
// each transfer one call, the cheapest a turnaround can be (an overlapped
// read costs its completion's round trips besides). A stop cancels the
// calling thread's transfer where the system can (CancelSynchronousIo); a
// wait that has no end of its own runs in slices of kBlockingSliceMs, so
// that the stop is seen between them where it cannot. A transfer's time-out
// is the system's own (COMMTIMEOUTS), set only when it changes; the drain
// waits for the transmit-empty event (WaitCommEvent).
//
// Waiting until the line has input is itself a read: one that ends with
// the first byte, taking whatever else the driver holds then, kept here
// and handed out by the reads that follow. Every system call on a port
// costs a round trip through the driver (under Wine, through its server),
// so a frame read a byte at a time costs one call, not several a byte.
#include <algorithm>
#include <cstring>
#include <stop_token>
#include <vector>

#include "run/Platform.h"
#include "run/SystemHeadersWin32.h"
#include "serial/DcbTranslation.h"
#include "serial/SerialDevice.h"

namespace zel {
namespace {

bool operator==(const ::COMMTIMEOUTS& a, const ::COMMTIMEOUTS& b) {
  return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
         a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
         a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
         a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
         a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

// A time-out as the system takes it: 1 ms up to just short of INFINITE.
DWORD SystemMs(CSerialDevice::Timeout timeout) {
  return static_cast<DWORD>(std::clamp<int64_t>(timeout.count(), 1, INFINITE - 1));
}

DeviceError ErrorFromWin32(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return DeviceError::None;
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
    case ERROR_NOT_READY:      // Wine's word for EIO
    case ERROR_NOT_SUPPORTED:  // Wine's, when a line that hung up refuses a comm call
    case ERROR_OPERATION_ABORTED: return DeviceError::Gone;
    default: return ErrorFromWin32(error);
  }
}

// One transfer or event wait of the system's, with its own event.
struct CSystemOp {
  OVERLAPPED ov{};
  bool pending = false;
  DeviceError result = DeviceError::None;
  DWORD done = 0;
  CSystemOp() { ov.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~CSystemOp() {
    if (ov.hEvent) ::CloseHandle(ov.hEvent);
  }
  CSystemOp(const CSystemOp&) = delete;
  CSystemOp& operator=(const CSystemOp&) = delete;
};

}  // namespace

class CWin32SerialDevice final : public CSerialDevice {
 public:
  CWin32SerialDevice() = default;

  ~CWin32SerialDevice() override {
    Close();
    if (m_ioThread) ::CloseHandle(m_ioThread);
  }
  CWin32SerialDevice(const CWin32SerialDevice&) = delete;
  CWin32SerialDevice& operator=(const CWin32SerialDevice&) = delete;

  bool OpenDevice(const std::string& name, IoMode mode) override {
    if (IsOpen()) return Fail(DeviceError::Busy);
    const std::string path = ResolveName(name);
    if (path.empty()) return Fail(DeviceError::NotFound);
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  mode == IoMode::Overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return FailLast();
    m_handle = handle;
    m_bBlocking = mode == IoMode::Blocking;
    m_ahead.clear();
    m_aheadAt = 0;
    m_bSystemTimeoutsKnown = false;
    m_bGone = false;
    m_lastError = DeviceError::None;
    m_lastErrorText.clear();
    return true;
  }

  bool Close() override {
    if (!IsOpen()) return true;
    const BOOL closed = ::CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_ahead.clear();  // what the line said is gone with the port, as the driver's queue is
    m_aheadAt = 0;
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

  bool Read(void* buffer, uint32_t count, uint32_t& read, Timeout timeout) override {
    read = 0;
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    if (TakeAhead(buffer, count, read) || count == 0) return true;
    if (timeout == kNoLimit) return WaitReadable() && TakeAhead(buffer, count, read);
    // Up to the time-out for the first byte, then what follows it without
    // a pause; with no time-out, what the driver holds. (Wine waits without
    // end for the first byte where the multiplier is MAXDWORD, so the
    // pause ends the read instead.)
    ::COMMTIMEOUTS wanted = m_systemTimeouts;
    wanted.ReadIntervalTimeout = timeout.count() > 0 ? kPauseMs : MAXDWORD;
    wanted.ReadTotalTimeoutMultiplier = 0;
    wanted.ReadTotalTimeoutConstant = timeout.count() > 0 ? SystemMs(timeout) : 0;
    return UseTimeouts(wanted) && ReadFromLine(buffer, count, read);
  }

  // A read that ends with the line's first byte and keeps what it took.
  bool WaitReadable() override {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    if (m_aheadAt < m_ahead.size()) return true;
    ::COMMTIMEOUTS wanted = m_systemTimeouts;
    wanted.ReadIntervalTimeout = MAXDWORD;
    wanted.ReadTotalTimeoutMultiplier = MAXDWORD;
    wanted.ReadTotalTimeoutConstant = m_bBlocking ? kBlockingSliceMs : kFirstByteSliceMs;
    if (!UseTimeouts(wanted)) return false;
    m_ahead.clear();
    m_aheadAt = 0;
    // The first byte, however long it takes (in spans, so that a stop is
    // seen between them as well as within), then what came with it.
    while (m_ahead.empty()) {
      if (StopToken().stop_requested()) return Fail(DeviceError::Cancelled);
      if (!ReadAhead(1)) return false;
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(m_handle, &errors, &status)) return FailTransfer();
    if (status.cbInQue > 0) return ReadAhead(std::min<DWORD>(status.cbInQue, kReadAhead - 1));
    return true;
  }

  bool Write(const void* buffer, uint32_t count, uint32_t& written, Timeout timeout) override {
    written = 0;
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    const bool noLimit = timeout == kNoLimit;
    ::COMMTIMEOUTS wanted = m_systemTimeouts;
    wanted.WriteTotalTimeoutMultiplier = 0;
    // Without a limit, a blocking write goes on slice by slice; an
    // overlapped one waits for its stop.
    wanted.WriteTotalTimeoutConstant = !noLimit ? SystemMs(timeout) : m_bBlocking ? kBlockingSliceMs : 0;
    if (!UseTimeouts(wanted)) return false;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    do {
      if (StopToken().stop_requested()) return Fail(DeviceError::Cancelled);
      const bool ok = Transfer([&](OVERLAPPED* record, DWORD* done) {
        return ::WriteFile(m_handle, bytes + written, count - written, done, record);
      });
      written += m_op.done;
      if (!ok) return false;
    } while (noLimit && written < count);
    return true;
  }

  // The transmit-empty event, once the output queue is not empty already.
  bool Drain(Timeout timeout) override {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    m_lastError = DeviceError::None;
    m_lastErrorText.clear();
    const ULONGLONG deadline = timeout == kNoLimit ? 0 : ::GetTickCount64() + SystemMs(timeout);
    DWORD queued = 0;
    if (!OutputQueued(queued)) return false;
    if (queued == 0) return true;
    if (m_bBlocking) {
      // No event wait with a time-out on a synchronous handle: the queue
      // is looked at every millisecond instead.
      for (;;) {
        if (StopToken().stop_requested()) return Fail(DeviceError::Cancelled);
        if (deadline != 0 && ::GetTickCount64() >= deadline) return false;
        ::Sleep(1);
        if (!OutputQueued(queued)) return false;
        if (queued == 0) return true;
      }
    }
    // Setting the mask clears what the driver noted before it; the queue
    // is looked at again in case it emptied meanwhile.
    if (!::SetCommMask(m_handle, EV_TXEMPTY)) return FailTransfer();
    if (!OutputQueued(queued)) return false;
    if (queued == 0) return true;
    ::ResetEvent(m_eventOp.ov.hEvent);
    m_eventWord = 0;
    if (!::WaitCommEvent(m_handle, &m_eventWord, &m_eventOp.ov)) {
      if (::GetLastError() != ERROR_IO_PENDING) return FailTransfer();
      const DWORD left = deadline == 0 ? INFINITE
                                       : static_cast<DWORD>(std::max<LONGLONG>(
                                             static_cast<LONGLONG>(deadline - ::GetTickCount64()), 0));
      const Wait wait = WaitFor(m_eventOp, left);
      if (wait != Wait::Done) {
        ::SetCommMask(m_handle, EV_TXEMPTY);  // ends the pending wait: the one way that works everywhere
        DWORD ignored = 0;
        ::GetOverlappedResult(m_handle, &m_eventOp.ov, &ignored, TRUE);
        return wait == Wait::Woken ? Fail(DeviceError::Cancelled) : false;
      }
      DWORD ignored = 0;
      if (!::GetOverlappedResult(m_handle, &m_eventOp.ov, &ignored, TRUE)) return FailTransfer();
    }
    return (m_eventWord & EV_TXEMPTY) != 0 || (OutputQueued(queued) && queued == 0);
  }

 private:
  enum class Wait { Done, TimedOut, Woken };
  static constexpr uint32_t kReadAhead = 4096;
  // A pause in what the line brings that ends a read once it has a byte.
  static constexpr DWORD kPauseMs = 1;
  // The wait for input reads in spans of this length until a byte comes;
  // an overlapped one looks at the stop within each span as well.
  static constexpr DWORD kFirstByteSliceMs = 1000;
  // The longest one blocking call waits where the caller set no end.
  static constexpr DWORD kBlockingSliceMs = 50;

  // For the span of one blocking call: a stop cancels it.
  class CancelOnStop {
   public:
    explicit CancelOnStop(CWin32SerialDevice* device)
        : m_callback(device->StopToken(), Cancel{device->m_bBlocking ? device->CallingThread() : nullptr}) {}

   private:
    struct Cancel {
      HANDLE thread;
      void operator()() const {
        if (thread) ::CancelSynchronousIo(thread);
      }
    };
    std::stop_callback<Cancel> m_callback;
  };

  // The calling thread, as a handle that may cancel its transfers; kept
  // for the next call from the same thread.
  HANDLE CallingThread() {
    const DWORD id = ::GetCurrentThreadId();
    if (id != m_ioThreadId || !m_ioThread) {
      if (m_ioThread) ::CloseHandle(m_ioThread);
      m_ioThread = ::OpenThread(THREAD_TERMINATE, FALSE, id);
      m_ioThreadId = id;
    }
    return m_ioThread;
  }

  // Hands out what the wait for input took; false when it holds nothing.
  bool TakeAhead(void* buffer, uint32_t count, uint32_t& read) {
    if (m_aheadAt >= m_ahead.size()) return false;
    const size_t n = std::min<size_t>(count, m_ahead.size() - m_aheadAt);
    std::memcpy(buffer, m_ahead.data() + m_aheadAt, n);
    m_aheadAt += n;
    read = static_cast<uint32_t>(n);
    return true;
  }

  // Reads up to count bytes onto the end of what the wait took, with the
  // wait's time-outs: at once when the driver holds them.
  bool ReadAhead(uint32_t count) {
    const size_t had = m_ahead.size();
    m_ahead.resize(had + count);
    uint32_t got = 0;
    const bool ok = ReadFromLine(m_ahead.data() + had, count, got);
    m_ahead.resize(had + got);  // a stop cancels the read, keeping what came before it
    return ok;
  }

  // One read with the time-outs the system has. A blocking read that
  // brings nothing asks after the line as well: Wine ends a blocking read
  // of a line that has hung up empty, as if its time-outs had ended it,
  // where its overlapped reads, and Windows's own, fail.
  bool ReadFromLine(void* buffer, uint32_t count, uint32_t& got) {
    const bool ok = Transfer(
        [&](OVERLAPPED* record, DWORD* moved) { return ::ReadFile(m_handle, buffer, count, moved, record); });
    got = m_op.done;
    return ok && (got > 0 || !m_bBlocking || LineStillThere());
  }
  bool LineStillThere() {
    DWORD errors = 0;
    COMSTAT status{};
    return ::ClearCommError(m_handle, &errors, &status) ? true : FailTransfer();
  }
  bool OutputQueued(DWORD& queued) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(m_handle, &errors, &status)) return FailTransfer();
    queued = status.cbOutQue;
    return true;
  }

  bool UseTimeouts(::COMMTIMEOUTS wanted) {
    if (m_bSystemTimeoutsKnown && wanted == m_systemTimeouts) return true;
    if (!::SetCommTimeouts(m_handle, &wanted)) {
      m_bSystemTimeoutsKnown = false;
      return FailTransfer();
    }
    m_systemTimeouts = wanted;
    m_bSystemTimeoutsKnown = true;
    return true;
  }

  bool Fail(DeviceError error, DWORD code = 0) {
    m_lastError = error;
    m_lastErrorText = code ? SystemErrorText(code) : std::string();
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

  // One read or write, to its end: its time-outs end it, a stop or a
  // terminate of the calling worker cancels it. m_op.done says what it
  // moved, also when it failed.
  template <typename Call>
  bool Transfer(Call call) {
    m_op.done = 0;
    m_op.result = DeviceError::None;
    m_op.pending = false;
    if (!m_bBlocking) ::ResetEvent(m_op.ov.hEvent);
    DWORD done = 0;
    {
      const CancelOnStop cancel(this);
      if (call(m_bBlocking ? nullptr : &m_op.ov, &done)) {
        m_op.done = done;
        return true;
      }
    }
    m_op.done = done;  // what a blocking transfer moved before it failed
    const DWORD code = ::GetLastError();
    if (code == ERROR_OPERATION_ABORTED && StopToken().stop_requested()) return Fail(DeviceError::Cancelled);
    if (code != ERROR_IO_PENDING) return Fail(TransferErrorFromWin32(code), code);
    if (WaitFor(m_op, INFINITE) == Wait::Woken) {
      ::CancelIoEx(m_handle, &m_op.ov);
      ::GetOverlappedResult(m_handle, &m_op.ov, &done, TRUE);
      m_op.done = done;
      return Fail(DeviceError::Cancelled);
    }
    if (!::GetOverlappedResult(m_handle, &m_op.ov, &done, TRUE)) {
      const DWORD failure = ::GetLastError();
      // A transfer that its time-outs ended is complete with what it
      // moved; Wine says so with a time-out status.
      if (failure != WAIT_TIMEOUT && failure != ERROR_TIMEOUT) {
        m_op.done = done;
        return Fail(TransferErrorFromWin32(failure), failure);
      }
    }
    m_op.done = done;
    return true;
  }

  // Waits in short slices, looking at the run's stop between them: a stop
  // ends the wait within one slice.
  Wait WaitFor(CSystemOp& op, DWORD milliseconds) {
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
      if (::WaitForSingleObject(op.ov.hEvent, slice) == WAIT_OBJECT_0) return Wait::Done;
    }
  }

  HANDLE m_handle = INVALID_HANDLE_VALUE;
  bool m_bBlocking = false;     // opened for blocking transfers
  HANDLE m_ioThread = nullptr;  // the thread of the last blocking call, to cancel it
  DWORD m_ioThreadId = 0;
  CSystemOp m_op;                // the transfers' record, its event made once
  CSystemOp m_eventOp;           // the drain's event wait
  std::vector<uint8_t> m_ahead;  // what the wait for input took, from m_aheadAt on
  size_t m_aheadAt = 0;
  ::COMMTIMEOUTS m_systemTimeouts{};  // what the system has, when known
  bool m_bSystemTimeoutsKnown = false;
  DWORD m_eventWord = 0;
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
