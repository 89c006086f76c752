#include "ports/ZELUpgradePort.h"

namespace zel {

int CZELUpgradePort::Open(DCB settings, std::string name) {
  // One transfer at a time, in the engine's thread: the engine needs no
  // more, and each costs the fewest system calls so.
  return OpenAndConfigure(settings, name, CSerialDevice::IoMode::Blocking, "Can not Create the File",
                          "Can not get the Current Port Configuration");
}

int CZELUpgradePort::Read(uint8_t* buffer, uint32_t count, uint32_t* read) {
  if (buffer == nullptr || read == nullptr) return 0;
  *read = 0;
  if (!m_bOpen) return 0;
  if (!m_comm.Read(buffer, count, *read)) {
    ReportTransferFailure("Fail to Read the Port");
    *read = 0;
    return 0;
  }
  return *read > 0 ? 1 : 0;
}

int CZELUpgradePort::Write(const uint8_t* buffer, uint32_t count, uint32_t* written) {
  if (buffer == nullptr || written == nullptr || !m_bOpen || count == 0) return 0;
  if (!m_comm.Write(buffer, count, *written)) {
    ReportTransferFailure("Fail to Write the Port");
    return 0;
  }
  // The time-out let only part of it through: what the other end got is
  // no whole frame, so the write failed.
  if (*written < count) {
    ReportShortWrite("Fail to Write the Port", *written, count);
    return 0;
  }
  return 1;
}

}  // namespace zel
