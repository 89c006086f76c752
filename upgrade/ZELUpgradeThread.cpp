#include "upgrade/ZELUpgradeThread.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "run/StoppableWait.h"
#include "upgrade/UpgradeFrame.h"

namespace zel {
namespace {

constexpr uint8_t kErasedFlash = 0xFF;

}  // namespace

CZELUpgradeThread::CZELUpgradeThread() : m_dcbSettings(EngineLineSettings(kLineBaud)) {}

CZELUpgradeThread::~CZELUpgradeThread() { EndThreadBeforeDestruction(); }

int CZELUpgradeThread::SetParameters(std::string port, std::string file) {
  std::lock_guard lock(m_paramMutex);
  m_strPort = std::move(port);
  m_strFile = std::move(file);
  return 0;
}

void CZELUpgradeThread::SetImage(std::shared_ptr<CImageCopy> image) {
  std::lock_guard lock(m_paramMutex);
  m_givenImage = std::move(image);
}

void CZELUpgradeThread::AcknowledgeEnd() { m_evEndAck.Set(); }

void CZELUpgradeThread::Diagnostic(const char* text) { WriteDiagnostic(Reporter(), text); }

void CZELUpgradeThread::NoteFailure(CFailureCause cause) {
  if (!m_failure) m_failure = std::move(cause);
}

int CZELUpgradeThread::Run() {
  std::string port;
  {
    std::lock_guard lock(m_paramMutex);
    port = m_strPort;
  }
  m_evEndAck.Reset();
  m_failure = {};
  m_imageSha256.clear();
  m_figures = {};
  m_bFirstRequestSeen = false;
  m_cutShort.clear();
  m_served.Clear();
  m_dcbSettings.fDtrControl = DTR_CONTROL_ENABLE;
  m_port.SetReporter(Reporter());
  m_port.SetStop(StopToken());

  if (m_port.IsOpen()) {
    Trace("The Port Is Currently Opened, Close the Port");
    m_port.Close();
  }
  // The image is read before the port opens: what the box will get is
  // fixed now, whatever becomes of the file before it is switched on.
  if (!TakeImage()) {
    Trace("Download FAILED");
    RecordRunEnd(RunOutcome::Failed, m_failure);
    SendToOwner(WM_DOWNLOAD_END, 0, END_FAILED);
    m_image.reset();
    return 0;
  }
  if (!m_port.Open(m_dcbSettings, port)) {
    Trace("Open port (" + port + ") FAILED");
    Trace("Please VERIFY the port connection and try it again");
    RecordRunEnd(RunOutcome::Failed, m_port.LastFailure(), {}, m_image->Sha256());
    SendToOwner(WM_DOWNLOAD_END, 0, END_FAILED);
    m_image.reset();
    return 0;
  }
  Trace("Open port (" + port + ") Successfully ");
  Trace("Please SWITCH ON your box now");

  const int handshake = Handshake();
  if (m_imageSha256.empty()) m_imageSha256 = m_image->Sha256();  // once whole, else none
  if (handshake != 0) {
    if (ShouldStop()) {
      Trace("Download CANCELLED");
      RecordRunEnd(RunOutcome::Cancelled, {}, Figures(), m_imageSha256);
      SendToOwner(WM_DOWNLOAD_END, 0, END_CANCELLED);
    } else {
      Trace("Download FAILED");
      RecordRunEnd(RunOutcome::Failed, m_failure, Figures(), m_imageSha256);
      SendToOwner(WM_DOWNLOAD_END, 0, END_FAILED);
    }
  } else {
    InterruptibleSleep(m_pauseBeforeSuccess, StopToken());
    RecordRunEnd(RunOutcome::Succeeded, {}, Figures(), m_imageSha256);
    SendToOwner(WM_DOWNLOAD_END, 0, END_SUCCEEDED);
    Trace(m_evEndAck.Wait(TerminateToken()) ? "Download Terminated SUCCESSFULLY" : "PROBLEM To Terminate");
  }
  m_port.Close();
  m_image.reset();
  return 0;
}

int CZELUpgradeThread::Handshake() {
  // Two header bytes: the PID, or a length field that is read and dropped.
  // A stop is no fault of the box: the cancel says it, alone.
  auto readTwo = [this](uint8_t(&bytes)[2]) {
    if (ReadExact(bytes, sizeof bytes, 2) == 2) return true;
    if (!ShouldStop()) Trace("Data length ERROR");
    return false;
  };
  bool afterAcknowledge = false;
  for (;;) {
    if (!Synchronise()) {
      if (!ShouldStop()) Trace("Synchronisation FAILED");
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
      NoteFailure({CauseKind::BoxProtocol, {}, "its first frame was PID " + std::string(line + 23)});
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

bool CZELUpgradeThread::TakeImage() {
  std::string path;
  {
    std::lock_guard lock(m_paramMutex);
    path = m_strFile;
    if (m_givenImage && m_givenImage->Path() == path) m_image = m_givenImage;
  }
  CFailureCause failure;
  if (!m_image) m_image = CImageCopy::Take(path, failure);
  if (failure) {
    Trace("FAILED to open the download file");
    NoteFailure(std::move(failure));
    return false;
  }
  // A copy that has already failed (a file changed while it was read).
  if (failure = m_image->Failure(); failure) return ImageFailed(std::move(failure)) == 0;
  m_imageSize = m_image->Size();
  return true;
}

int CZELUpgradeThread::ServeRequests() {
  bool done = false;
  for (;;) {
    uint16_t length = 0;
    uint32_t offset = 0;
    const int r = ReadFrame(&length, &offset);
    // A read that a stop cut short is no command of the box's.
    const bool stopped = r != PID_TERM_UPGRADE && r != PID_DATA_REQUEST && ShouldStop();
    const bool noiseReported = m_nSkipped > 0 && !stopped;
    if (noiseReported) Trace("Received UNKNOWN Command from the STB");
    if (r == kReadDeviceGone || stopped) return 1;
    if (r == PID_TERM_UPGRADE) {
      Diagnostic("\n[UART_DL] PID_TERM_UPGRADE successfully!\n");
      m_lastFrameAt = Clock::now();
      m_figures.wireBytes += kFrameHeaderSize;
      done = true;
    } else if (r == PID_DATA_REQUEST) {
      NoteRequest();
      if (!ServeDataRequest(length, offset)) return 1;
    } else if (!noiseReported) {
      Trace("Received UNKNOWN Command from the STB");
    }
    if (ShouldStop()) return 1;
    if (done) return EndOfUpgrade();
  }
}

int CZELUpgradeThread::EndOfUpgrade() {
  // The box may end before the copy has been read whole: its digest, the
  // one on record, is waited for (a stop ends the wait).
  if (!m_image->WaitWhole(StopToken())) return ShouldStop() ? 1 : ImageFailed(m_image->Failure());
  m_imageSha256 = m_image->Sha256();
  if (!m_cutShort.empty()) {
    Trace("Some data were NOT sent to the box");
    return 1;
  }
  if (m_served.Total() < m_imageSize) {
    char line[100];
    std::snprintf(line, sizeof line, "The box asked for only %s of the image (%llu of %llu bytes)",
                  CoverageText(m_served.Total(), m_imageSize).c_str(),
                  static_cast<unsigned long long>(m_served.Total()),
                  static_cast<unsigned long long>(m_imageSize));
    Trace(line);
    if (m_bRequireWholeImage) {
      NoteFailure({CauseKind::PartialImage, {}, std::string(line + 8)});
      return 1;
    }
  }
  return 0;
}

int CZELUpgradeThread::ImageFailed(CFailureCause cause) {
  Trace(cause.kind == CauseKind::ImageChanged ? "The download file CHANGED during the download"
                                              : "FAILED to read the download file");
  NoteFailure(std::move(cause));
  return 1;
}

void CZELUpgradeThread::NoteRequest() {
  if (!m_bFirstRequestSeen) {
    m_bFirstRequestSeen = true;
    m_firstRequestAt = m_lastFrameAt = Clock::now();
  }
  m_figures.wireBytes += kDataRequestSize;
}

CRunFigures CZELUpgradeThread::Figures() const {
  CRunFigures figures = m_figures;
  if (m_bFirstRequestSeen)
    figures.seconds = std::chrono::duration<double>(m_lastFrameAt - m_firstRequestAt).count();
  figures.imageBytes = m_imageSize;
  figures.coveredBytes = m_served.Total();
  return figures;
}

bool CZELUpgradeThread::ServeDataRequest(uint16_t n, uint32_t offset) {
  char line[100];
  std::snprintf(line, sizeof line,
                "<<Received Data Request from STB: Offset = [%lu], RequestDataLen = [0x%1x%1x]",
                static_cast<unsigned long>(offset), static_cast<unsigned>((n >> 4) & 0xFF),
                static_cast<unsigned>(n & 0xF));
  if (offset > m_imageSize) {
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
  // The bytes of the run's copy, once they are in it and in its digest;
  // past the image's end the reply holds erased flash.
  const size_t inImage = static_cast<size_t>(std::min<uint64_t>(n, m_imageSize - offset));
  CFailureCause failure;
  if (!m_image->WaitCopied(offset + inImage, StopToken())) {
    if (ShouldStop()) return false;
    DebugTrace(line);
    ImageFailed(m_image->Failure());
    return false;
  }
  if (!m_image->ReadAt(data, inImage, offset, failure)) {
    DebugTrace(line);
    ImageFailed(std::move(failure));
    return false;
  }
  std::fill(data + inImage, data + n, kErasedFlash);
  // The box waits for the reply, the window does not: the reply goes on
  // the wire first, then the window hears of the request in the usual
  // order (request line, first bytes, progress).
  const bool whole = SendDataReply(n, offset) == 0;
  if (DebugLinesWanted()) {
    DebugTrace(line);
    DebugTrace(HexDump(data, std::min<size_t>(n, 10)));
  }
  if (!whole) {
    // Not served: the box may ask again; until it has, the run cannot
    // end as a success.
    uint16_t& missing = m_cutShort[offset];
    missing = std::max(missing, n);
    return true;
  }
  if (auto it = m_cutShort.find(offset); it != m_cutShort.end() && it->second <= n) m_cutShort.erase(it);
  m_served.Add(offset, offset + inImage);
  m_figures.bytes += n;
  m_figures.wireBytes += size_t{n} + kDataReplyOverhead;
  m_lastFrameAt = Clock::now();
  // A reply cut short by a stop was not served.
  if (!ShouldStop()) SendToOwner(WM_PROGRESS, offset, n);
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
  if (m_port.Write(m_reply.data(), static_cast<uint32_t>(size_t{n} + kDataReplyOverhead), &written)) return 0;
  Trace("Fail to Send Data");
  NoteFailure(m_port.LastFailure());
  return 1;
}

CZELUpgradeThread::ByteRead CZELUpgradeThread::ReadByte(uint8_t& byte) {
  uint32_t got = 0;
  m_port.WaitForInput();
  if (m_port.Read(&byte, 1, &got) && got == 1) return ByteRead::Got;
  if (!m_port.IsDeviceLost()) return ByteRead::None;
  NoteFailure(m_port.LastFailure());
  return ByteRead::Gone;
}

int CZELUpgradeThread::ReadFrame(uint16_t* length, uint32_t* offset) {
  if (length == nullptr || offset == nullptr) return kReadMissingOutput;
  // The marker, skipping whatever comes before it.
  CMarkerScanner scanner;
  for (bool found = false; !found;) {
    uint8_t byte;
    const ByteRead result = ReadByte(byte);
    if (result == ByteRead::Gone) return kReadDeviceGone;
    found = result == ByteRead::Got && scanner.Feed(byte);
    m_nSkipped = scanner.Skipped();
    if (!found && ShouldStop()) return kReadStopped;
  }
  // PID and length, then the offset of a data request.
  uint8_t rest[kDataRequestSize - kFrameMarker.size()];
  size_t have = 0;
  size_t needed = kFrameHeaderSize - kFrameMarker.size();
  while (have < needed) {
    uint8_t byte;
    const ByteRead result = ReadByte(byte);
    if (result == ByteRead::Gone) return kReadDeviceGone;
    if (result == ByteRead::Got) {
      rest[have++] = byte;
      if (have == kFrameHeaderSize - kFrameMarker.size()) {
        const uint16_t pid = ReadBigEndian16(&rest[0]);
        if (pid != PID_DATA_REQUEST) return pid;
        needed = sizeof rest;
      }
    }
    if (have < needed && ShouldStop()) return kReadStopped;
  }
  *length = ReadBigEndian16(&rest[2]);
  *offset = ReadBigEndian32(&rest[4]);
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
    if (ShouldStop()) return 0;
  }
  return count;
}

bool CZELUpgradeThread::Synchronise() {
  // Boot loaders print banners at power-on: whatever comes before the
  // marker is skipped, a stray first byte of it included.
  CMarkerScanner scanner;
  for (;;) {
    uint8_t byte;
    const ByteRead result = ReadByte(byte);
    if (result == ByteRead::Gone) return false;
    if (result == ByteRead::Got && scanner.Feed(byte)) return true;
    if (ShouldStop()) return false;
  }
}

}  // namespace zel
