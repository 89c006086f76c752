#include "upgrade/ZELUpgradeThread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <new>

#include "link/Termination.h"
#include "upgrade/UpgradeFrame.h"

namespace zel {
namespace {

constexpr auto kPauseBeforeSuccess = std::chrono::milliseconds(1000);
constexpr uint8_t kErasedFlash = 0xFF;

std::string Format(const char* format, const std::string& value) {
  char line[256];
  std::snprintf(line, sizeof line, format, value.c_str());
  return line;
}

// The image file, open for one run's service.
class CImageFile {
 public:
  explicit CImageFile(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st {};
    if (m_fd >= 0 && (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(m_fd);
      m_fd = -1;
    }
    m_size = static_cast<uint64_t>(st.st_size);
  }
  ~CImageFile() {
    if (m_fd >= 0) ::close(m_fd);
  }
  CImageFile(const CImageFile&) = delete;
  CImageFile& operator=(const CImageFile&) = delete;
  bool IsOpen() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }
  uint64_t Size() const { return m_size; }

 private:
  int m_fd;
  uint64_t m_size = 0;
};

// Reads up to count bytes at offset with one positioned read (more only
// when the system hands back less before the end). Returns the bytes read,
// fewer at the end of the file, or -1 on a read error.
ssize_t ReadAt(int fd, uint8_t* buffer, size_t count, uint64_t offset) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd, buffer + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

CZELUpgradeThread::CZELUpgradeThread()
    : m_dcbSettings(EngineLineSettings(57600)), m_diagnostic([](const char* text) {
        std::fputs(text, stdout);
        std::fflush(stdout);
      }) {}

CZELUpgradeThread::~CZELUpgradeThread() { EndThreadBeforeDestruction(); }

int CZELUpgradeThread::SetParameters(std::string port, std::string file) {
  std::lock_guard lock(m_paramMutex);
  m_strPort = std::move(port);
  m_strFile = std::move(file);
  return 0;
}

void CZELUpgradeThread::AcknowledgeEnd() { m_evEndAck.Set(); }

void CZELUpgradeThread::SetDiagnosticOutput(std::function<void(const char*)> output) {
  m_diagnostic = std::move(output);
}

void CZELUpgradeThread::Diagnostic(const char* text) {
  if (m_diagnostic) m_diagnostic(text);
}

int CZELUpgradeThread::Run() {
  std::string port;
  {
    std::lock_guard lock(m_paramMutex);
    port = m_strPort;
  }
  // A fresh stop flag for this run, unless a Stop already came for it
  // (Start clears the stop signal): a Cancel that beats the worker to
  // this line still ends the run as cancelled.
  m_bStop = 0;
  if (IsStopRequested()) m_bStop = 1;
  m_evEndAck.Reset();
  m_dcbSettings.SetDtrControl(DTR_CONTROL_ENABLE);

  if (m_port.IsOpen()) {
    Trace("The Port Is Currently Opened, Close the Port");
    m_port.Close();
  }
  if (!m_port.Open(m_dcbSettings, port)) {
    Trace(Format("Open port (%s) FAILED", port));
    Trace("Please VERIFY the port connection and try it again");
    SendToOwner(WM_DOWNLOAD_END, 0, END_FAILED);
    return 0;
  }
  Trace(Format("Open port (%s) Successfully ", port));
  Trace("Please SWITCH ON your box now");

  if (Handshake() != 0) {
    if (m_bStop) {
      Trace("Download CANCELLED");
      SendToOwner(WM_DOWNLOAD_END, 0, END_CANCELLED);
    } else {
      Trace("Download FAILED");
      SendToOwner(WM_DOWNLOAD_END, 0, END_FAILED);
    }
  } else {
    InterruptibleSleep(kPauseBeforeSuccess);
    SendToOwner(WM_DOWNLOAD_END, 0, END_SUCCEEDED);
    Trace(m_evEndAck.Wait() ? "Download Terminated SUCCESSFULLY" : "PROBLEM To Terminate");
  }
  m_port.Close();
  return 0;
}

int CZELUpgradeThread::Handshake() {
  // Two header bytes: the PID, or a length field that is read and dropped.
  auto readTwo = [this](uint8_t(&bytes)[2]) {
    if (ReadExact(bytes, sizeof bytes, 2) == 2) return true;
    Trace("Data length ERROR");
    return false;
  };
  bool afterAcknowledge = false;
  for (;;) {
    if (!Synchronise()) {
      Trace("Synchronisation FAILED");
      return 1;
    }
    if (!afterAcknowledge) {
      Trace("Synchronization OK");
      Trace("Wait for PID_REBOOT from the box");
    }
    uint8_t pidBytes[2];
    if (!readTwo(pidBytes)) return 1;
    const uint16_t pid = ReadBigEndian16(pidBytes);
    if (pid == PID_ACKNOWLEDGE) {
      Trace("Received PID_ACKNOWLEDGE");
      Trace("Retry to Wait for PID_REBOOT");
      uint8_t length[2];
      if (!readTwo(length)) return 1;
      afterAcknowledge = true;
      continue;
    }
    if (pid != PID_REBOOT) {
      char line[64];
      std::snprintf(line, sizeof line, "Received UNKNOWN Pid = 0x%02X%02X", pidBytes[0], pidBytes[1]);
      Trace(line);
      Trace("Please REBOOT the box and try the download again");
      return 1;
    }
    Trace(afterAcknowledge ? "Received PID_REBOOT from the box" : "Receive PID_REBOOT from the box");
    Trace(afterAcknowledge ? "Download START now..." : "Download START...");
    Trace("Send PID_START_UPGRADE to the box");
    SendCommand(PID_START_UPGRADE);
    uint8_t length[2];
    ReadExact(length, sizeof length, 2);  // the rest of the PID_REBOOT header
    return ServeRequests() != 0 ? 1 : 0;
  }
}

int CZELUpgradeThread::ServeRequests() {
  std::string path;
  {
    std::lock_guard lock(m_paramMutex);
    path = m_strFile;
  }
  CImageFile image(path);
  if (!image.IsOpen()) {
    Trace("FAILED to open the download file");
    return 1;
  }
  bool done = false;
  for (;;) {
    uint16_t length = 0;
    uint32_t offset = 0;
    const int r = ReadFrame(&length, &offset);
    const bool noiseReported = m_nSkipped > 0;
    if (noiseReported) Trace("Received UNKNOWN Command from the STB");
    if (r == kReadDeviceGone) return 1;
    if (r == PID_TERM_UPGRADE) {
      Diagnostic("\n[UART_DL] PID_TERM_UPGRADE successfully!\n");
      done = true;
    } else if (r == PID_DATA_REQUEST) {
      if (!ServeDataRequest(image.Fd(), image.Size(), length, offset)) {
        Trace("FAILED to read the download file");
        return 1;
      }
    } else if (!noiseReported) {
      Trace("Received UNKNOWN Command from the STB");
    }
    if (m_bStop || IsTerminating()) return 1;
    if (done) return 0;
  }
}

bool CZELUpgradeThread::ServeDataRequest(int imageFd, uint64_t imageSize, uint16_t n, uint32_t offset) {
  char line[100];
  std::snprintf(line, sizeof line,
                "<<Received Data Request from STB: Offset = [%lu], RequestDataLen = [0x%1x%1x]",
                static_cast<unsigned long>(offset), static_cast<unsigned>((n >> 4) & 0xFF),
                static_cast<unsigned>(n & 0xF));
  if (offset > imageSize) {
    DebugTrace(line);
    Diagnostic("[UART_DL] ERROR: The file pointer can't be moved successfully.\n");
    SendCommand(PID_TERM_UPGRADE);
    return true;
  }
  try {
    m_reply.resize(size_t{n} + kDataReplyOverhead);
  } catch (const std::bad_alloc&) {
    DebugTrace(line);
    Diagnostic("[UART_DL] ERROR: memory eaten up!!!!\n");
    return true;
  }
  uint8_t* data = m_reply.data() + kReplyDataOffset;
  const ssize_t got = ReadAt(imageFd, data, n, offset);
  if (got < 0) {
    DebugTrace(line);
    return false;
  }
  // Bytes past the end of the image read as erased flash.
  std::fill(data + got, data + n, kErasedFlash);
  // The box waits for the reply, the window does not: the reply goes on
  // the wire first, then the window hears of the request in the usual
  // order (request line, first bytes, progress).
  SendDataReply(n, offset);
  DebugTrace(line);
  DebugTrace(HexDump(data, std::min<size_t>(n, 10)));
  SendToOwner(WM_PROGRESS, offset, n);
  return true;
}

int CZELUpgradeThread::SendCommand(uint16_t pid) {
  if (pid == PID_DATA_REQUEST) return -5;
  const auto frame = CommandFrame(pid);
  uint32_t written = 0;
  if (!m_port.Write(frame.data(), static_cast<uint32_t>(frame.size()), &written)) Trace("Fail to Send Data");
  return 0;
}

int CZELUpgradeThread::SendDataReply(uint16_t n, uint32_t offset) {
  SealDataReply(m_reply.data(), n, offset);
  uint32_t written = 0;
  m_port.Write(m_reply.data(), static_cast<uint32_t>(size_t{n} + kDataReplyOverhead), &written);
  return 0;
}

CZELUpgradeThread::ByteRead CZELUpgradeThread::ReadByte(uint8_t& byte) {
  uint32_t got = 0;
  if (m_port.Read(&byte, 1, &got) && got == 1) return ByteRead::Got;
  return m_port.IsDeviceGone() ? ByteRead::Gone : ByteRead::None;
}

bool CZELUpgradeThread::ShouldLeaveRead() const { return m_bStop != 0 || IsTerminating(); }

int CZELUpgradeThread::ReadFrame(uint16_t* length, uint32_t* offset) {
  if (length == nullptr || offset == nullptr) return kReadMissingOutput;
  m_nSkipped = 0;
  uint8_t frame[kDataRequestSize];
  size_t have = 0;
  size_t needed = kFrameHeaderSize;
  while (have < needed) {
    uint8_t byte;
    const ByteRead result = ReadByte(byte);
    if (result == ByteRead::Gone) return kReadDeviceGone;
    if (result == ByteRead::Got) {
      if (have >= kFrameMarker.size() || byte == kFrameMarker[have]) {
        frame[have++] = byte;
      } else {
        // Not the marker: drop what was taken for one, and start again at
        // this byte if it can begin a marker. No proper prefix of the
        // marker is also a suffix of it, so no start is missed.
        m_nSkipped += have;
        have = 0;
        if (byte == kFrameMarker[0])
          frame[have++] = byte;
        else
          ++m_nSkipped;
      }
      if (have == kFrameHeaderSize) {
        const uint16_t pid = ReadBigEndian16(&frame[8]);
        if (pid != PID_DATA_REQUEST) return pid;
        needed = kDataRequestSize;
      }
    }
    if (have < needed && ShouldLeaveRead()) return kReadStopped;
  }
  *length = ReadBigEndian16(&frame[10]);
  *offset = ReadBigEndian32(&frame[12]);
  return PID_DATA_REQUEST;
}

size_t CZELUpgradeThread::ReadExact(uint8_t* buffer, size_t capacity, size_t count) {
  if (count > capacity || count == 0) return 0;
  size_t have = 0;
  while (have < count) {
    uint8_t byte;
    const ByteRead result = ReadByte(byte);
    if (result == ByteRead::Gone) return 0;
    if (result == ByteRead::Got) buffer[have++] = byte;
    if (IsStopRequested() || IsTerminating()) return 0;
  }
  return count;
}

bool CZELUpgradeThread::Synchronise() {
  uint8_t marker[8];
  for (;;) {
    uint8_t byte;
    const ByteRead result = ReadByte(byte);
    if (result == ByteRead::Gone) return false;
    if (result == ByteRead::Got && byte == kFrameMarker[0]) break;
    if (IsStopRequested() || IsTerminating()) return false;
  }
  marker[0] = kFrameMarker[0];
  if (ReadExact(marker + 1, 7, 7) != 7) return false;
  return MatchMarker(marker);
}

}  // namespace zel
