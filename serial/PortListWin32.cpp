// The Windows headers first: setupapi.h builds on them.
// clang-format off
#include "run/SystemHeadersWin32.h"
#include <setupapi.h>
#include <devguid.h>
// clang-format on

#include <algorithm>
#include <map>

#include "serial/PortList.h"

namespace zel {
namespace {

// What SetupAPI knows of a COM port's device.
struct CDeviceFacts {
  std::string friendlyName;
  int latencyTimerMs = -1;  // an FTDI driver's, from the device's own key
};

// COM name -> what SetupAPI knows of its device.
std::map<std::string, CDeviceFacts> DeviceFacts() {
  std::map<std::string, CDeviceFacts> names;
  HDEVINFO devices = ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &info); ++i) {
    HKEY key = ::SetupDiOpenDevRegKey(devices, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    char port[64] = {};
    DWORD size = sizeof port - 1;
    const bool named = ::RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(port),
                                          &size) == ERROR_SUCCESS;
    DWORD latency = 0, latencySize = sizeof latency, latencyType = 0;
    const bool hasLatency =
        ::RegQueryValueExA(key, "LatencyTimer", nullptr, &latencyType, reinterpret_cast<BYTE*>(&latency),
                           &latencySize) == ERROR_SUCCESS &&
        latencyType == REG_DWORD;
    ::RegCloseKey(key);
    if (!named) continue;
    CDeviceFacts& facts = names[port];
    if (hasLatency) facts.latencyTimerMs = static_cast<int>(latency);
    char friendly[256] = {};
    if (::SetupDiGetDeviceRegistryPropertyA(devices, &info, SPDRP_FRIENDLYNAME, nullptr,
                                            reinterpret_cast<BYTE*>(friendly), sizeof friendly - 1, nullptr))
      facts.friendlyName = friendly;
  }
  ::SetupDiDestroyDeviceInfoList(devices);
  return names;
}

}  // namespace

std::vector<CPortInfo> ListSerialPorts(const CPortListSources&) {
  std::vector<CPortInfo> ports;
  HKEY key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return ports;
  const auto facts = DeviceFacts();
  for (DWORD i = 0;; ++i) {
    char valueName[256];
    DWORD valueSize = sizeof valueName;
    char data[64] = {};
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    if (::RegEnumValueA(key, i, valueName, &valueSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                        &dataSize) != ERROR_SUCCESS)
      break;
    if (type != REG_SZ) continue;
    CPortInfo port;
    port.name = data;
    port.device = valueName;  // the driver's device, e.g. \Device\Serial0
    if (const auto it = facts.find(port.name); it != facts.end()) {
      port.product = it->second.friendlyName;
      port.latencyTimerMs = it->second.latencyTimerMs;
    }
    ports.push_back(port);
  }
  ::RegCloseKey(key);
  // COM2 before COM10.
  std::sort(ports.begin(), ports.end(), [](const CPortInfo& a, const CPortInfo& b) {
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
  });
  return ports;
}

std::string FindPortHolder(const std::string&, const std::string&) { return {}; }

std::string DeviceGroup(const std::string&) { return {}; }

std::string FindLockHolder(const std::string&, const std::string&, const std::string&) { return {}; }

bool IsProgramRunning(const std::string&, const std::string&) { return false; }

bool MayOpenToProbe(const std::string&, const CPortListSources&) { return true; }

bool LowersLatencyItself() { return false; }

}  // namespace zel
