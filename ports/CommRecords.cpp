#include "ports/CommRecords.h"

#include "serial/DcbTranslation.h"

namespace zel {

CLineSettings LineSettingsOf(const DCB& dcb) { return LineSettingsOfRecord(dcb); }

DCB DcbOf(const CLineSettings& line) {
  DCB dcb = EmptyDcb();
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  OverlayLineSettings(dcb, line);
  return dcb;
}

CLineTimeouts LineTimeoutsOf(const COMMTIMEOUTS& timeouts) {
  CLineTimeouts t;
  t.readGapMs = timeouts.ReadIntervalTimeout;
  t.readPerByteMs = timeouts.ReadTotalTimeoutMultiplier;
  t.readConstantMs = timeouts.ReadTotalTimeoutConstant;
  t.writePerByteMs = timeouts.WriteTotalTimeoutMultiplier;
  t.writeConstantMs = timeouts.WriteTotalTimeoutConstant;
  return t;
}

}  // namespace zel
