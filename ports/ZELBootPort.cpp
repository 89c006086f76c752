#include "ports/ZELBootPort.h"

namespace zel {

int CZELBootPort::Open(DCB settings, std::string name, bool overlapped) {
  return OpenAndConfigure(settings, name,
                          overlapped ? CSerialDevice::IoMode::Overlapped : CSerialDevice::IoMode::Blocking,
                          "Can not Open the Port", "Can not get the Port Configuration");
}

bool CZELBootPort::Read(uint8_t* buffer, uint32_t count, uint32_t* read, COverlapped* ov) {
  if (buffer == nullptr || read == nullptr || !m_bOpen) return false;
  *read = 0;
  if (ov) {
    const bool done = m_comm.ReadOverlapped(buffer, count, *ov);
    if (done) *read = ov->done;
    return done || ov->pending;
  }
  if (!m_comm.Read(buffer, count, *read)) {
    ReportTransferFailure("Fail to Read the Port");
    return false;
  }
  return true;
}

bool CZELBootPort::Write(const uint8_t* buffer, uint32_t count, uint32_t* written, COverlapped* ov) {
  if (buffer == nullptr || written == nullptr) return false;
  *written = 0;
  if (!m_bOpen || count == 0) return false;
  if (ov) {
    const bool done = m_comm.WriteOverlapped(buffer, count, *ov);
    *written = ov->done;
    return done || ov->pending;
  }
  if (!m_comm.Write(buffer, count, *written)) {
    ReportTransferFailure("Fail to Write the Port");
    return false;
  }
  return true;
}

}  // namespace zel
