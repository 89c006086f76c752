#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "serial/PortList.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

std::string ReadFirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// On-board UARTs are registered whether or not the hardware is there; the
// driver says "unknown" (type 0) for a port without one.
bool HasHardware(const fs::path& ttyClassEntry) {
  const fs::path type = ttyClassEntry / "type";
  std::error_code ec;
  if (!fs::exists(type, ec)) return true;
  return ReadFirstLine(type) != "0";
}

// The USB device's identity: walk up from the tty's device to the first
// directory that has a vendor id.
void ReadUsbIdentity(const fs::path& ttyClassEntry, CPortInfo& port) {
  std::error_code ec;
  fs::path dir = fs::canonical(ttyClassEntry / "device", ec);
  for (int up = 0; !ec && up < 6 && !dir.empty() && dir != dir.root_path(); ++up, dir = dir.parent_path()) {
    if (!fs::exists(dir / "idVendor", ec)) continue;
    port.vidPid = ReadFirstLine(dir / "idVendor") + ":" + ReadFirstLine(dir / "idProduct");
    port.manufacturer = ReadFirstLine(dir / "manufacturer");
    port.product = ReadFirstLine(dir / "product");
    port.serial = ReadFirstLine(dir / "serial");
    return;
  }
}

// Stable names: device -> link in /dev/serial/by-id or by-path.
std::map<std::string, std::string> StableLinks(const std::string& directory,
                                               const std::string& devDirectory) {
  std::map<std::string, std::string> links;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(directory, ec)) {
    const fs::path target = fs::read_symlink(entry.path(), ec);
    if (ec) continue;
    links.emplace((fs::path(devDirectory) / target.filename()).string(), entry.path().string());
  }
  return links;
}

// The pseudo-terminal a master descriptor serves, as its fdinfo says
// ("tty-index:\t3" for /dev/pts/3); empty for any other descriptor.
std::string PtyOfMaster(const fs::path& fdinfo) {
  std::ifstream in(fdinfo);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("tty-index:", 0) == 0) {
      const size_t digits = line.find_first_not_of(" \t", 10);
      return digits == std::string::npos ? std::string() : "/dev/pts/" + line.substr(digits);
    }
  return {};
}

// Every device some other process holds open, with the first holder, as
// fuser finds them: through the links in /proc/<pid>/fd. A process that
// holds a pseudo-terminal's master is the other end of that line (socat, a
// virtual machine, a terminal server's client), not a rival reader: its
// hold of the slave it made does not count.
std::map<std::string, std::string> DeviceHolders(const std::string& procDirectory) {
  std::map<std::string, std::string> holders;
  std::error_code ec;
  const std::string self = std::to_string(::getpid());
  for (const auto& process : fs::directory_iterator(procDirectory, ec)) {
    const std::string pid = process.path().filename().string();
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit) || pid == self) continue;
    std::vector<std::string> targets, ownEnds;
    std::error_code fdError;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
      std::error_code linkError;
      const std::string target = fs::read_symlink(fd.path(), linkError).lexically_normal().string();
      if (linkError) continue;
      if (target == "/dev/ptmx" || target == "/dev/pts/ptmx") {
        if (std::string pty = PtyOfMaster(process.path() / "fdinfo" / fd.path().filename()); !pty.empty())
          ownEnds.push_back(std::move(pty));
      } else {
        targets.push_back(target);
      }
    }
    for (const std::string& target : targets)
      if (std::find(ownEnds.begin(), ownEnds.end(), target) == ownEnds.end())
        holders.emplace(target, ReadFirstLine(process.path() / "comm") + " (pid " + pid + ")");
  }
  return holders;
}

}  // namespace

std::string FindPortHolder(const std::string& device, const std::string& procDirectory) {
  const auto holders = DeviceHolders(procDirectory);
  const auto it = holders.find(fs::path(device).lexically_normal().string());
  return it == holders.end() ? std::string() : it->second;
}

std::string DeviceGroup(const std::string& device) {
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return {};
  std::vector<char> buffer(16384);
  group entry{};
  group* found = nullptr;
  if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return {};
  return found->gr_name;
}

std::string FindLockHolder(const std::string& device, const std::string& typedName,
                           const std::string& procDirectory) {
  std::vector<std::string> names{fs::path(device).filename().string()};
  if (!typedName.empty() && fs::path(typedName).filename() != names[0])
    names.push_back(fs::path(typedName).filename().string());
  for (const std::string& name : names)
    for (const char* directory : {"/run/lock", "/var/lock"}) {
      std::ifstream lock(std::string(directory) + "/LCK.." + name, std::ios::binary);
      char text[16] = {};
      if (!lock.read(text, sizeof text - 1) && lock.gcount() == 0) continue;
      // The pid in ASCII (ten characters and a newline) or, from old
      // programs, as a binary int.
      long pid = std::strtol(text, nullptr, 10);
      if (pid <= 0 && lock.gcount() >= static_cast<std::streamsize>(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, text, sizeof binary);
        pid = binary;
      }
      if (pid <= 0 || pid == ::getpid()) continue;
      if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) continue;  // stale
      const std::string program = ReadFirstLine(fs::path(procDirectory) / std::to_string(pid) / "comm");
      return (program.empty() ? "a program" : program) + " (pid " + std::to_string(pid) + ")";
    }
  return {};
}

bool MayOpenToProbe(const std::string& device, const CPortListSources& sources) {
  std::error_code ec;
  return !fs::exists(fs::path(sources.sysClassTty) / fs::path(device).filename(), ec);
}

bool LowersLatencyItself() { return true; }

bool IsProgramRunning(const std::string& name, const std::string& procDirectory) {
  std::error_code ec;
  for (const auto& process : fs::directory_iterator(procDirectory, ec)) {
    const std::string pid = process.path().filename().string();
    if (!pid.empty() && std::all_of(pid.begin(), pid.end(), ::isdigit) &&
        ReadFirstLine(process.path() / "comm") == name)
      return true;
  }
  return false;
}

std::vector<CPortInfo> ListSerialPorts(const CPortListSources& sources) {
  const auto byId = StableLinks(sources.byIdDirectory, sources.devDirectory);
  const auto byPath = StableLinks(sources.byPathDirectory, sources.devDirectory);
  const auto holders = DeviceHolders(sources.procDirectory);
  std::vector<CPortInfo> ports;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(sources.sysClassTty, ec)) {
    std::error_code deviceError;
    if (!fs::exists(entry.path() / "device", deviceError) || !HasHardware(entry.path())) continue;
    CPortInfo port;
    port.device = (fs::path(sources.devDirectory) / entry.path().filename()).string();
    ReadUsbIdentity(entry.path(), port);
    if (const auto path = byPath.find(port.device); path != byPath.end()) port.byPath = path->second;
    const auto link = byId.find(port.device);
    port.name = link != byId.end() && !port.serial.empty() ? link->second
                : !port.byPath.empty()                     ? port.byPath
                : link != byId.end()                       ? link->second
                                                           : port.device;
    if (const auto holder = holders.find(port.device); holder != holders.end())
      port.heldBy = holder->second;
    else if (std::string locker = FindLockHolder(port.device, port.name, sources.procDirectory);
             !locker.empty())
      port.heldBy = locker + ", by its lock file";
    port.busy = !port.heldBy.empty();
    if (const std::string latency = ReadFirstLine(entry.path() / "device/latency_timer"); !latency.empty())
      port.latencyTimerMs = std::atoi(latency.c_str());
    port.permissionDenied = ::access(port.device.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
    ports.push_back(port);
  }
  std::sort(ports.begin(), ports.end(),
            [](const CPortInfo& a, const CPortInfo& b) { return a.device < b.device; });
  return ports;
}

}  // namespace zel
