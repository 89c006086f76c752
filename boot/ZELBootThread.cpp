#include "boot/ZELBootThread.h"

#include <chrono>
#include <cstdio>

#include "boot/CommandFile.h"
#include "boot/CommandFileInput.h"
#include "run/OperatorReport.h"
#include "run/StoppableWait.h"

namespace zel {
namespace {

constexpr uint32_t kEventMask = 0x5FF;

}  // namespace

CZELBootThread::CZELBootThread() : m_dcbSettings(EngineLineSettings(kBootBaud)) {}

CZELBootThread::~CZELBootThread() { EndThreadBeforeDestruction(); }

int CZELBootThread::SetParameters(std::string port, std::string file) {
  if (port.empty() || file.empty()) return 1;
  std::lock_guard lock(m_paramMutex);
  m_strPort = std::move(port);
  m_strFile = std::move(file);
  return 0;
}

bool CZELBootThread::Interrupted() {
  if (ShouldStop()) return true;
  if (!m_port.IsDeviceLost()) return false;
  if (!m_failure) m_failure = m_port.LastFailure();
  if (!m_failure) m_failure = DeviceFailureCause(DeviceError::Gone, {}, {});
  return true;
}

int CZELBootThread::Run() {
  std::string port, file;
  {
    std::lock_guard lock(m_paramMutex);
    port = m_strPort;
    file = m_strFile;
  }
  m_runPort = port;
  if (m_port.IsOpen()) {
    Trace("The Port Is Currently Opened, Close the Port");
    m_port.Close();
  }
  // Every run starts at the boot speed; the switch to the fast speed is
  // made on the open port only.
  DCB settings = m_dcbSettings;
  settings.BaudRate = kBootBaud;
  m_failure = {};
  m_figures = {};
  // The command file is read and checked before the port opens: a file
  // that would send other bytes than it says is refused before the box is
  // asked for.
  CCommandFile commands = OpenCheckedCommandFile(file, m_failure);
  if (!commands) {
    Trace("Can not Open the Command File");
    Trace("Download Failed");
    RecordRunEnd(RunOutcome::Failed, m_failure);
    return 0;
  }
  m_port.SetReporter(Reporter());
  m_port.SetStop(StopToken());
  if (!m_port.Open(settings, port, true)) {
    Trace("Open Com Port failed (" + port + " m_strPort)");
    Trace("Please Verify the Port Connection and try it again");
    RecordRunEnd(RunOutcome::Failed, m_port.LastFailure());
    return 0;
  }
  Trace("Open Port (" + port + ") Successfully ");
  Trace("Please Switch On your Box now");
  m_boxCameUp.reset();
  const int result = DownloadBoot(commands.get(), file);
  // The clock runs from the box's first byte to the run's end, whatever
  // ended it: it describes the same exchange as the bytes.
  if (m_boxCameUp)
    m_figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - *m_boxCameUp).count();
  if (result == 0) {
    Trace("Flash Boot OK");
    RecordRunEnd(RunOutcome::Succeeded, {}, m_figures);
  } else {
    Trace("Download Failed");
    if (ShouldStop())
      RecordRunEnd(RunOutcome::Cancelled, {}, m_figures);
    else
      RecordRunEnd(RunOutcome::Failed, m_failure, m_figures);
  }
  return 0;
}

int CZELBootThread::DownloadBoot(std::FILE* file, const std::string& commandFile) {
  m_port.SetMask(kEventMask);
  uint8_t section[kSectionRoom];
  uint8_t received[kSectionRoom];
  const size_t firstSection = ReadNextSection(file, section, sizeof section);
  if (firstSection == 0) {
    Trace("Failed to get the next section");
    m_failure = {CauseKind::Unreadable, commandFile, "no first section"};
    return 1;
  }
  // A wait for a line event before the box's first byte; it completes at
  // once here, and nothing is left pending when the run's records go.
  uint32_t events = 0;
  COverlapped eventWait;
  m_port.GetHandle().WaitCommEvent(events, &eventWait);
  m_port.GetHandle().CancelIo(eventWait);

  // Wait for the box: its first byte, of any value. A vanished port ends
  // the run at once; a stop after the length check.
  const size_t got = ReadBytes(received, firstSection, 1);
  if (m_port.IsDeviceLost()) return Failed();
  if (got != 1) Trace("Received Wrong data Len");
  // From here on every step ends the run on a stop or a vanished port.
  if (Interrupted()) return 1;
  // The exchange is timed from the box's first byte.
  m_boxCameUp = std::chrono::steady_clock::now();
  const auto counted = [&](uint64_t dataBytes, uint64_t wireBytes) {
    m_figures.bytes += dataBytes;
    m_figures.wireBytes += wireBytes;
  };
  counted(0, got);

  const size_t secondSection = ReadNextSection(file, section, sizeof section);
  if (secondSection == 0) {
    Trace("Failed to Read the Next Section");
    m_failure = {CauseKind::Unreadable, commandFile, "no second section"};
    return 1;
  }
  uint32_t written = 0;
  const auto sectionWritten = std::chrono::steady_clock::now();
  if (!SendBytes(section, static_cast<uint32_t>(secondSection), &written) || written != secondSection)
    return Failed("Failed to Send Data");
  counted(secondSection, secondSection);
  // A USB adapter whose chip does not report its transmitter empty (CH340,
  // PL2303) still holds the section's tail when the driver says it has
  // gone: the speed changes only once the section's wire time, and two
  // characters more, have passed since it was written.
  const auto wireTime = std::chrono::microseconds((secondSection + 2) * 10 * 1'000'000 / kBootBaud);
  InterruptibleSleep(std::chrono::ceil<std::chrono::milliseconds>(sectionWritten + wireTime -
                                                                  std::chrono::steady_clock::now()),
                     StopToken());
  if (Interrupted()) return 1;
  if (!SwitchSpeed()) {
    // A port that went away is said as such, not blamed on the settings.
    CCommHandle& device = m_port.GetHandle();
    if (ShouldStop()) return 1;
    if (device.IsGone() || device.LastError() == DeviceError::Gone) {
      m_failure = DeviceFailureCause(DeviceError::Gone, m_runPort, device.LastErrorText());
      return 1;
    }
    ShowToOperator(Reporter(), "Can not Set the Port Configuration to 115200");
    m_failure = {CauseKind::Other, m_runPort, "the port did not take 115200 baud"};
    return 1;
  }
  for (int i = 0; i < kBBytes; ++i) {
    section[0] = 'B';
    if (Interrupted()) return 1;
    if (!SendBytes(section, 1, &written) || written != 1) return Failed("Failed to Send Data");
    counted(0, 1);
  }
  uint32_t answered = 0;
  if (Interrupted()) return 1;
  if (!ReadWithTimeout(received, kAnswerBytes, &answered)) return Failed("Failed to Read Data on Port");
  counted(0, answered);
  return Interrupted() ? 1 : 0;
}

int CZELBootThread::Failed(const char* line) {
  if (line) Trace(line);
  Interrupted();  // notes a vanished port as the cause
  return 1;
}

bool CZELBootThread::SwitchSpeed() {
  m_dcbSettings.BaudRate = kFastBaud;
  CCommHandle& device = m_port.GetHandle();
  CLineSettings line;
  if (!device.GetLine(line)) return false;
  line.baud = kFastBaud;
  return device.SetLine(line);
}

size_t CZELBootThread::ReadBytes(uint8_t* buffer, size_t room, size_t count) {
  if (count > room || count == 0) return 0;
  size_t have = 0;
  while (have < count) {
    uint32_t read = 0;
    m_port.WaitForInput();
    if (m_port.Read(buffer + have, 1, &read, nullptr)) have += read;
    // A vanished device is reported once by the port, not at every poll.
    if (m_port.IsDeviceLost() || ShouldStop()) return 0;
  }
  return count;
}

bool CZELBootThread::SendBytes(const uint8_t* buffer, uint32_t count, uint32_t* written) {
  COverlapped write;
  if (!m_port.Write(buffer, count, written, &write)) return false;
  CCommHandle& device = m_port.GetHandle();
  // Only the transmitter's end is waited for: a byte the box says
  // meanwhile (boxes say more than one at power-on) is read later. Setting
  // the mask also clears what the driver noted before it.
  device.SetMask(EV_TXEMPTY);
  uint32_t events = 0;
  COverlapped wait;
  bool sent = device.WaitCommEvent(events, &wait);
  // The bytes may still be leaving: give them the write time-out to go.
  const COMMTIMEOUTS timeouts = PortTimeouts();
  const auto allowance = std::chrono::milliseconds(timeouts.WriteTotalTimeoutMultiplier * count +
                                                   timeouts.WriteTotalTimeoutConstant);
  if (!sent && wait.pending)
    sent = device.WaitForCompletion(wait, allowance) && wait.result == DeviceError::None;
  // Once they have left, a write the system still held as pending is over:
  // its count is final.
  if (sent && write.pending && device.WaitForCompletion(write, allowance) &&
      write.result == DeviceError::None)
    *written = write.done;
  // Nothing of this call stays pending once its records are gone.
  device.CancelIo(wait);
  device.CancelIo(write);
  device.SetMask(kEventMask);
  return sent && (events & EV_TXEMPTY) != 0;
}

bool CZELBootThread::ReadWithTimeout(uint8_t* buffer, uint32_t count, uint32_t* read) {
  COverlapped ov;
  if (!m_port.Read(buffer, count, read, &ov)) return false;
  CCommHandle& device = m_port.GetHandle();
  if (!device.WaitForCompletion(ov, std::chrono::milliseconds(kAnswerWaitMs))) {
    device.CancelIo(ov);
    return false;
  }
  return device.GetOverlappedResult(ov, *read, true);
}

}  // namespace zel
