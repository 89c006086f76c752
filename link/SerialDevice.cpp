#include "link/SerialDevice.h"

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

}  // namespace zel
