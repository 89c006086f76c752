#include "cli/Commands.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "boot/ZELBootThread.h"
#include "cli/InputChecks.h"
#include "link/SerialDevice.h"
#include "upgrade/ZELUpgradeThread.h"

namespace zel::cli {
namespace {

constexpr uint32_t kUpgradeBaud = 57600;

// Runs the sessions' loop until every one has ended.
void RunUntilAllEnded(CUiLoop& loop, const std::vector<std::unique_ptr<CTransferSession>>& sessions) {
  loop.RunUntil([&] {
    for (const auto& session : sessions)
      if (!session->IsEnded()) return false;
    return true;
  });
}

}  // namespace

std::string PortLabel(const std::string& port) { return port.rfind("/dev/", 0) == 0 ? port.substr(5) : port; }

std::string LogPathForPort(const std::string& logPath, const std::string& port) {
  std::string name = std::filesystem::path(port).filename().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
  const std::filesystem::path path(logPath);
  return (path.parent_path() / (path.stem().string() + "-" + name + path.extension().string())).string();
}

int RunUpgrade(CUiLoop& loop, CConsole& console, CJsonEvents* json, const CUpgradeCommand& command,
               CActiveSessions& active) {
  // The image must open before any port is touched; its length sets the
  // progress range.
  uint64_t size = 0;
  if (const std::string refusal = CheckImage(command.image, size); !refusal.empty()) {
    console.ShowMessage("Can not Open the File: " + command.image);
    console.ShowMessage("Cause: " + refusal);
    return kExitFailed;
  }
  const bool several = command.ports.size() > 1;
  std::vector<std::string> logs;
  for (const std::string& port : command.ports) {
    logs.push_back(command.logPath.empty() ? std::string()
                   : several               ? LogPathForPort(command.logPath, port)
                                           : command.logPath);
    if (const std::string refusal = CheckLogPath(logs.back()); !logs.back().empty() && !refusal.empty()) {
      console.ShowMessage("Can not Create The File: " + logs.back());
      console.ShowMessage("Cause: " + refusal);
      return kExitFailed;
    }
  }

  std::vector<std::unique_ptr<CZELUpgradeThread>> engines;
  std::vector<std::unique_ptr<CTransferSession>> sessions;
  for (size_t i = 0; i < command.ports.size(); ++i) {
    auto engine = std::make_unique<CZELUpgradeThread>();
    engine->SetPauseBeforeSuccess(std::chrono::milliseconds(command.endPauseMs));
    const std::string label = several ? PortLabel(command.ports[i]) : std::string();
    engine->SetDiagnosticOutput([&console, json, label](const char* text) {
      if (json) return;  // standard output holds the events alone
      console.PrintRaw(label.empty() ? text : ("[" + label + "] " + text).c_str());
    });
    sessions.push_back(std::make_unique<CTransferSession>(loop, console, *engine));
    engines.push_back(std::move(engine));
  }
  for (size_t i = 0; i < sessions.size(); ++i) {
    CSessionOptions options;
    options.label = several ? PortLabel(command.ports[i]) : std::string();
    options.trace = command.trace;
    options.logPath = logs[i];
    options.progressTotal = size;
    options.cableWarning = true;
    options.summary = true;
    options.lineBaud = kUpgradeBaud;
    options.json = json;
    if (sessions[i]->Start(command.ports[i], command.image, options)) active.push_back(sessions[i].get());
  }
  RunUntilAllEnded(loop, sessions);
  active.clear();
  bool anyFailed = false, anyCancelled = false;
  for (const auto& session : sessions) {
    anyFailed |= session->ExitStatus() == kExitFailed;
    anyCancelled |= session->ExitStatus() == kExitCancelled;
  }
  sessions.clear();  // before their engines
  return anyFailed ? kExitFailed : anyCancelled ? kExitCancelled : kExitSucceeded;
}

int RunBoot(CUiLoop& loop, CConsole& console, CJsonEvents* json, const std::string& commandFile,
            const std::string& port, CActiveSessions& active) {
  // The command file must be usable as the engine will use it before the
  // operator is asked to switch the box on.
  if (const std::string refusal = CheckCommandFile(commandFile); !refusal.empty()) {
    console.ShowMessage("Can not Open the Command File: " + commandFile);
    console.ShowMessage("Cause: " + refusal);
    return kExitFailed;
  }
  CZELBootThread engine;
  CTransferSession session(loop, console, engine);
  CSessionOptions options;
  options.json = json;
  active.push_back(&session);
  const int status = session.Run(port, commandFile, options);
  active.clear();
  return status;
}

int ListPorts(const CPortListSources& sources) {
  const auto ports = ListSerialPorts(sources);
  if (ports.empty()) {
    std::printf("No serial port found.\n");
    return kExitSucceeded;
  }
  bool anyDenied = false;
  for (const CPortInfo& port : ports) {
    std::printf("%s\n", port.name.c_str());
    std::string details = "    " + port.device;
    for (int com = 1; com <= 8; ++com)
      if (CSerialDevice::ResolveName("COM" + std::to_string(com)) == port.device)
        details += " (COM" + std::to_string(com) + ")";
    if (!port.vidPid.empty()) details += "  " + port.vidPid;
    std::string maker = port.manufacturer;
    if (!port.product.empty()) maker += (maker.empty() ? "" : " ") + port.product;
    if (!maker.empty()) details += "  " + maker;
    if (!port.serial.empty()) details += "  serial " + port.serial;
    if (port.busy) details += "  busy: " + port.heldBy;
    if (port.permissionDenied) details += "  no permission";
    anyDenied |= port.permissionDenied;
    std::printf("%s\n", details.c_str());
  }
  if (anyDenied)
    std::printf(
        "To open the ports marked \"no permission\", add your user to the dialout group\n"
        "(sudo usermod -aG dialout $USER), then log in again.\n");
  return kExitSucceeded;
}

}  // namespace zel::cli
