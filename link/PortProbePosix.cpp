#include <glob.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "link/PortProbe.h"
#include "link/SerialDevice.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

bool Opens(const std::string& name) {
  const auto device = CSerialDevice::Create();
  if (!device->Open(name)) return false;
  DCB dcb = EmptyDcb();
  const bool isSerial = device->GetState(dcb);
  device->Close();
  return isSerial;
}

std::vector<std::string> Glob(const std::string& pattern) {
  std::vector<std::string> paths;
  glob_t found{};
  if (::glob(pattern.c_str(), 0, nullptr, &found) == 0)
    for (size_t i = 0; i < found.gl_pathc; ++i) paths.emplace_back(found.gl_pathv[i]);
  ::globfree(&found);
  return paths;
}

std::string ReadFirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// The USB device's strings: walk up from the tty's device to the first
// directory that has a product file.
void ReadUsbStrings(const CProbeSources& sources, CProbedPort& port) {
  std::error_code ec;
  fs::path dir =
      fs::canonical(fs::path(sources.sysClassTty) / fs::path(port.device).filename() / "device", ec);
  for (int up = 0; !ec && up < 5 && !dir.empty(); ++up, dir = dir.parent_path()) {
    if (fs::exists(dir / "product", ec)) {
      port.product = ReadFirstLine(dir / "product");
      port.serial = ReadFirstLine(dir / "serial");
      return;
    }
  }
}

}  // namespace

std::vector<CProbedPort> ProbePorts(const CProbeSources& sources) {
  std::vector<CProbedPort> ports;
  for (const std::string& name : sources.comNames)
    if (Opens(name)) ports.push_back({name, CSerialDevice::ResolveName(name), {}, {}});

  std::map<std::string, std::string> byId;  // device -> stable link
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(sources.byIdDirectory, ec)) {
    const fs::path target = fs::canonical(entry.path(), ec);
    if (!ec) byId.emplace(target.string(), entry.path().string());
  }
  for (const std::string& pattern : sources.adapterPatterns) {
    for (const std::string& device : Glob(pattern)) {
      const auto link = byId.find(device);
      CProbedPort port{link != byId.end() ? link->second : device, device, {}, {}};
      if (!Opens(port.name)) continue;
      ReadUsbStrings(sources, port);
      ports.push_back(port);
    }
  }
  return ports;
}

}  // namespace zel
