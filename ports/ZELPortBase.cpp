#include "ports/ZELPortBase.h"

#include "run/OperatorReport.h"

namespace zel {

CZELPortBase::CZELPortBase() : m_pDevice(CSerialDevice::Create()), m_dcb(EmptyDcb()) {
  m_dcb.BaudRate = 9600;
  m_dcb.ByteSize = 8;
  m_dcb.Parity = NOPARITY;
  m_dcb.StopBits = ONESTOPBIT;
}

void CZELPortBase::UseDevice(std::unique_ptr<CSerialDevice> device) {
  if (m_bOpen || !device) return;
  m_pDevice->Close();
  m_pDevice = std::move(device);
  m_comm.UseDevice(*m_pDevice);
}

CZELPortBase::~CZELPortBase() {
  // A device still open is closed with the object, without a message.
  m_bOpen = 0;
  m_pDevice->Close();
}

void CZELPortBase::NoteFailure() {
  m_lastFailure = DeviceFailureCause(m_pDevice->LastError(), m_strName, m_pDevice->LastErrorText());
}

int CZELPortBase::OpenAndConfigure(const DCB& settings, const std::string& name, CSerialDevice::IoMode mode,
                                   const char* openFailText, const char* getStateFailText) {
  if (m_bOpen) return 1;
  m_strName = name;
  m_lastFailure = {};
  m_bLost = false;
  if (!m_pDevice->Open(name, mode)) {
    NoteFailure();
    Show(openFailText);
    return 0;
  }
  CLineSettings line;
  if (!m_pDevice->GetLine(line)) {
    NoteFailure();
    m_pDevice->Close();
    Show(getStateFailText);
    return 0;
  }
  m_dcb = MergeLineSettings(DcbOf(line), settings);
  if (!m_pDevice->SetLine(LineSettingsOf(m_dcb))) {
    NoteFailure();
    m_pDevice->Close();
    Show("Can not Set the Port Configuration");
    return 0;
  }
  m_comm.SetTimeouts(LineTimeoutsOf(PortTimeouts()));
  m_bOpen = 1;
  return 1;
}

void CZELPortBase::ReportTransferFailure(const char* text) {
  const DeviceError error = m_pDevice->LastError();
  if (error == DeviceError::Cancelled) return;
  NoteFailure();
  // A transfer on an open port fails when the port cannot be used any
  // more: the adapter was pulled, or its driver gave up on it. Trying
  // again fails again at once, so it is said once and the port is lost.
  if (m_bLost) return;
  m_bLost = true;
  Show(text);
}

void CZELPortBase::ReportShortWrite(const char* text, uint32_t written, uint32_t count) {
  m_lastFailure = {CauseKind::WriteCutShort, m_strName,
                   "the line took " + std::to_string(written) + " of " + std::to_string(count) +
                       " bytes before its time-out"};
  Show(text);
}

int CZELPortBase::Close() {
  if (m_bOpen != 1 || !m_pDevice->IsOpen()) return 1;
  m_bOpen = 0;
  if (!m_pDevice->Close()) {
    Show("Fail To Close the Port");
    return 0;
  }
  return 1;
}

}  // namespace zel
