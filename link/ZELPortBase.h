// What the upgrade and boot ports share: the open flag, the device, the
// line settings and their merge with the caller's template, the fixed
// time-outs, and Close.
#pragma once

#include <string>

#include "link/SerialDevice.h"
#include "link/WinTypes.h"

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
  // True once the device has been seen gone (unplugged) since it opened.
  bool IsDeviceGone() const { return m_hPort.IsGone(); }

 protected:
  // Opens name, reads its settings, merges the template in and writes them
  // back, then sets the time-outs. Each failure is reported with its text
  // and closes the device again, so that a later open can succeed.
  int OpenAndConfigure(const DCB& settings, const std::string& name, const char* openFailText,
                       const char* getStateFailText);

  int m_bOpen = 0;
  CSerialDevice m_hPort;
  DCB m_dcb;
};

}  // namespace zel
