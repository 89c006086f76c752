#include "serial/SerialDevice.h"

namespace zel {

CFailureCause DeviceFailureCause(DeviceError error, std::string subject, std::string systemText) {
  CauseKind kind = CauseKind::Other;
  switch (error) {
    case DeviceError::None:
    case DeviceError::Cancelled: return {};
    case DeviceError::NotFound: kind = CauseKind::NotFound; break;
    case DeviceError::PermissionDenied: kind = CauseKind::PermissionDenied; break;
    case DeviceError::Busy: kind = CauseKind::Busy; break;
    case DeviceError::NotSerial: kind = CauseKind::NotSerial; break;
    case DeviceError::Gone: kind = CauseKind::Gone; break;
    case DeviceError::Invalid:
    case DeviceError::Failed: kind = CauseKind::Other; break;
  }
  return {kind, std::move(subject), std::move(systemText)};
}

}  // namespace zel
