// The serial device over the Win32 comm API, in either of two modes.
// Overlapped: every transfer is overlapped underneath, and a stop ends any
// wait within a few milliseconds; the blocking forms wait for their own
// overlapped operation. Blocking: the handle is synchronous and each
// transfer one call, the cheapest a turnaround can be (an overlapped read
// costs its completion's round trips besides). A stop cancels the calling
// thread's transfer where the system can (CancelSynchronousIo); a wait
// that has no end of its own runs in slices of kBlockingSliceMs, so that
// the stop is seen between them where it cannot.
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
    case ERROR_NOT_READY:      // Wine's word for EIO
    case ERROR_NOT_SUPPORTED:  // Wine's, when a line that hung up refuses a comm call
    case ERROR_OPERATION_ABORTED: return DeviceError::Gone;
    default: return ErrorFromWin32(error);
  }
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

// resetEvent: false where the call that starts the operation resets the
// event itself (ReadFile and WriteFile do), which saves a call.
CWinOverlapped& SystemRecord(COverlapped& ov, bool resetEvent = true) {
  if (!ov.platform) ov.platform = std::make_shared<CWinOverlapped>();
  auto& record = *static_cast<CWinOverlapped*>(ov.platform.get());
  if (resetEvent) ::ResetEvent(record.ov.hEvent);
  return record;
}

CWinOverlapped* ExistingRecord(COverlapped& ov) { return static_cast<CWinOverlapped*>(ov.platform.get()); }

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
    m_systemTimeouts = SystemTimeouts::Unknown;
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
  bool SetTimeouts(const CLineTimeouts& timeouts) override {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    m_timeouts = timeouts;
    m_systemTimeouts = SystemTimeouts::Unknown;
    return UseTimeouts(SystemTimeouts::Callers);
  }
  bool SetMask(uint32_t mask) override {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    if (!::SetCommMask(m_handle, mask)) return FailLast();
    m_mask = mask;
    return true;
  }

  bool Read(void* buffer, uint32_t count, uint32_t& read) override {
    read = 0;
    if (!m_bBlocking || m_aheadAt < m_ahead.size()) {
      if (!ReadOverlapped(buffer, count, m_blockingOp) && m_lastError != DeviceError::IoPending) return false;
      return Finish(m_blockingOp, read);
    }
    if (!UseTimeouts(SystemTimeouts::Callers)) return false;
    // A read without an end of its own goes on slice by slice: until it
    // has all it asked, or, with a gap time-out, anything.
    auto* bytes = static_cast<uint8_t*>(buffer);
    do {
      if (StopToken().stop_requested()) return Fail(DeviceError::Cancelled);
      uint32_t more = 0;
      const bool ok = ReadFromLine(bytes + read, count - read, more);
      read += more;
      if (!ok) return false;
    } while (ReadHasNoEnd() && read < count && (read == 0 || m_timeouts.readGapMs == 0));
    return true;
  }
  // A read that ends with the line's first byte and keeps what it took.
  bool WaitReadable() override {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    if (m_aheadAt < m_ahead.size()) return true;
    if (!UseTimeouts(SystemTimeouts::FirstByte)) return false;
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
  bool Write(const void* buffer, uint32_t count, uint32_t& written) override {
    written = 0;
    if (!WriteOverlapped(buffer, count, m_blockingOp) && m_lastError != DeviceError::IoPending) return false;
    if (!Finish(m_blockingOp, written)) return false;
    if (!m_bBlocking || !WriteHasNoEnd()) return true;
    // A write without an end of its own goes on slice by slice.
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    while (written < count) {
      if (StopToken().stop_requested()) return Fail(DeviceError::Cancelled);
      uint32_t more = 0;
      const bool ok =
          WriteOverlapped(bytes + written, count - written, m_blockingOp) && Finish(m_blockingOp, more);
      written += more;
      if (!ok) return false;
    }
    return true;
  }

  bool ReadOverlapped(void* buffer, uint32_t count, COverlapped& ov) override {
    // What the wait took comes first, and at once.
    if (m_aheadAt < m_ahead.size() && IsOpen()) {
      const size_t n = std::min<size_t>(count, m_ahead.size() - m_aheadAt);
      std::memcpy(buffer, m_ahead.data() + m_aheadAt, n);
      m_aheadAt += n;
      ov.op = COverlapped::Op::Read;
      ov.count = count;
      ov.result = DeviceError::None;
      return Completed(ov, static_cast<DWORD>(n));
    }
    if (!UseTimeouts(SystemTimeouts::Callers)) return false;
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
    const CancelOnStop cancel(this);
    if (::WaitCommEvent(m_handle, &m_eventWord, m_bBlocking ? nullptr : &record.ov)) {
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
  // Which time-outs the system has: the caller's, or those of the wait
  // for input (until the first byte, without limit, then whatever the
  // driver holds). Each change costs a call, so it is made only when the
  // kind of read changes.
  enum class SystemTimeouts { Unknown, Callers, FirstByte };
  static constexpr uint32_t kReadAhead = 4096;
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

  bool ReadHasNoEnd() const {
    return m_timeouts.readGapMs != MAXDWORD && m_timeouts.readPerByteMs == 0 &&
           m_timeouts.readConstantMs == 0;
  }
  bool WriteHasNoEnd() const { return m_timeouts.writePerByteMs == 0 && m_timeouts.writeConstantMs == 0; }

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
    got = 0;
    const bool done = Begin(
        m_blockingOp, COverlapped::Op::Read, count,
        [&](OVERLAPPED* record, DWORD* moved) { return ::ReadFile(m_handle, buffer, count, moved, record); });
    if (!(done || m_lastError == DeviceError::IoPending) || !Finish(m_blockingOp, got)) {
      got = m_blockingOp.done;
      return false;
    }
    return got > 0 || !m_bBlocking || LineStillThere();
  }
  bool LineStillThere() {
    DWORD errors = 0;
    COMSTAT status{};
    return ::ClearCommError(m_handle, &errors, &status) ? true : FailTransfer();
  }

  bool UseTimeouts(SystemTimeouts wanted) {
    if (wanted == m_systemTimeouts) return true;
    ::COMMTIMEOUTS system{m_timeouts.readGapMs, m_timeouts.readPerByteMs, m_timeouts.readConstantMs,
                          m_timeouts.writePerByteMs, m_timeouts.writeConstantMs};
    if (m_bBlocking && ReadHasNoEnd()) system.ReadTotalTimeoutConstant = kBlockingSliceMs;
    if (m_bBlocking && WriteHasNoEnd()) system.WriteTotalTimeoutConstant = kBlockingSliceMs;
    if (wanted == SystemTimeouts::FirstByte) {
      system.ReadIntervalTimeout = MAXDWORD;
      system.ReadTotalTimeoutMultiplier = MAXDWORD;
      system.ReadTotalTimeoutConstant = m_bBlocking ? kBlockingSliceMs : kFirstByteSliceMs;
    }
    if (!::SetCommTimeouts(m_handle, &system)) {
      m_systemTimeouts = SystemTimeouts::Unknown;
      return FailTransfer();
    }
    m_systemTimeouts = wanted;
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

  // Starts a transfer in ov's system record; true when it completed at once.
  template <typename Transfer>
  bool Begin(COverlapped& ov, COverlapped::Op op, uint32_t count, Transfer transfer) {
    if (!IsOpen()) return Fail(DeviceError::Invalid);
    ov.op = op;
    ov.count = count;
    ov.done = 0;
    ov.result = DeviceError::None;
    CWinOverlapped& record = SystemRecord(ov, false);
    DWORD done = 0;
    const CancelOnStop cancel(this);
    if (transfer(m_bBlocking ? nullptr : &record.ov, &done)) return Completed(ov, done);
    ov.done = done;  // what a blocking transfer moved before it failed
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
    if (code == ERROR_OPERATION_ABORTED && StopToken().stop_requested()) {
      ov.result = DeviceError::Cancelled;
      return Fail(ov.result);
    }
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
  bool m_bBlocking = false;     // opened for blocking transfers
  HANDLE m_ioThread = nullptr;  // the thread of the last blocking call, to cancel it
  DWORD m_ioThreadId = 0;
  COverlapped m_blockingOp;      // the blocking forms' operation, its event made once
  std::vector<uint8_t> m_ahead;  // what the wait for input took, from m_aheadAt on
  size_t m_aheadAt = 0;
  CLineTimeouts m_timeouts;
  SystemTimeouts m_systemTimeouts = SystemTimeouts::Unknown;
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
