#include "serial/SerialDevice.h"

#include <atomic>

namespace zel {
namespace {
std::atomic<std::unique_ptr<CSerialDevice> (*)()> g_factory{nullptr};
}  // namespace

std::unique_ptr<CSerialDevice> CSerialDevice::Make() {
  const auto factory = g_factory.load();
  return factory ? factory() : Create();
}

void CSerialDevice::SetFactory(std::unique_ptr<CSerialDevice> (*factory)()) { g_factory = factory; }

CFailureCause DeviceFailureCause(DeviceError error, std::string subject, std::string systemText) {
  CauseKind kind = CauseKind::Other;
  switch (error) {
    case DeviceError::None:
    case DeviceError::IoPending:
    case DeviceError::IoIncomplete:
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
