// What the upgrade and boot ports share: the open flag, the device, the
// line settings and their merge with the caller's template, the fixed
// time-outs, Close, and the reporting of failures.
#pragma once

#include <memory>
#include <string>

#include "ports/CommHandle.h"
#include "ports/CommRecords.h"
#include "run/FailureCause.h"
#include "run/OperatorReport.h"
#include "serial/SerialDevice.h"

namespace zel {

class CZELPortBase {
 public:
  CZELPortBase();
  virtual ~CZELPortBase();
  CZELPortBase(const CZELPortBase&) = delete;
  CZELPortBase& operator=(const CZELPortBase&) = delete;

  // 1 closed or nothing to close; 0 the device refused to close.
  int Close();
  int IsOpen() const { return m_bOpen; }
  // Blocks until the device has a byte to read, is gone, or the run is
  // stopped; the read that follows tells which. A worker waiting for a box
  // sleeps here rather than polling through the short read time-outs.
  void WaitForInput() {
    if (m_bOpen && !IsDeviceLost()) m_pDevice->WaitReadable();
  }
  // The device the port opens from now on, in place of the platform's (a
  // device made of memory, one that fails): only while the port is closed.
  void UseDevice(std::unique_ptr<CSerialDevice> device);
  // True once the device has been seen gone (unplugged) since it opened,
  // or a transfer on it has failed: either way the port is lost to the run.
  bool IsDeviceLost() const { return m_bLost || m_pDevice->IsGone(); }
  // Why the last open, read or write failed; None after a success.
  const CFailureCause& LastFailure() const { return m_lastFailure; }
  // Where the port shows its failures (null: standard error), and what
  // ends its transfers early: both the engine's, set before each run.
  void SetReporter(IOperatorReporter* reporter) { m_reporter = reporter; }
  void SetStop(std::stop_token stop) { m_pDevice->SetStop(std::move(stop)); }

 protected:
  // Opens name, reads its settings, merges the template in and writes them
  // back, then sets the time-outs. Each failure is reported with its text
  // and closes the device again, so that a later open can succeed.
  int OpenAndConfigure(const DCB& settings, const std::string& name, CSerialDevice::IoMode mode,
                       const char* openFailText, const char* getStateFailText);
  // Shows text for a failed transfer, unless the caller is leaving
  // (stopped or terminated) or a failure was reported already: the port
  // is lost from then on.
  void ReportTransferFailure(const char* text);
  // Shows text for a write that the time-out cut short: the line took
  // written of count bytes.
  void ReportShortWrite(const char* text, uint32_t written, uint32_t count);

  int m_bOpen = 0;
  std::unique_ptr<CSerialDevice> m_pDevice;  // the device: the platform's handle is inside it
  CCommHandle m_comm{*m_pDevice};            // the comm API over it
  DCB m_dcb;

 private:
  void NoteFailure();
  void Show(const std::string& text) { ShowToOperator(m_reporter, text); }

  std::string m_strName;
  CFailureCause m_lastFailure;
  bool m_bLost = false;  // a transfer failed: the port is of no further use
  IOperatorReporter* m_reporter = nullptr;
};

}  // namespace zel
