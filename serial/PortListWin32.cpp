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

// COM name -> the device's friendly name, where SetupAPI has one.
std::map<std::string, std::string> FriendlyNames() {
  std::map<std::string, std::string> names;
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
    ::RegCloseKey(key);
    char friendly[256] = {};
    if (named &&
        ::SetupDiGetDeviceRegistryPropertyA(devices, &info, SPDRP_FRIENDLYNAME, nullptr,
                                            reinterpret_cast<BYTE*>(friendly), sizeof friendly - 1, nullptr))
      names[port] = friendly;
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
  const auto friendly = FriendlyNames();
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
    if (const auto it = friendly.find(port.name); it != friendly.end()) port.product = it->second;
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

bool IsProgramRunning(const std::string&, const std::string&) { return false; }

bool MayOpenToProbe(const std::string&, const CPortListSources&) { return true; }

}  // namespace zel
