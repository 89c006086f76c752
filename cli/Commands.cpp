#include "cli/Commands.h"

#include <cstdio>
#include <memory>

#include "boot/ZELBootThread.h"
#include "cli/InputChecks.h"
#include "cli/StationPorts.h"
#include "cli/StationTable.h"
#include "serial/SerialDevice.h"
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

int Refuse(CConsole& console, const std::string& what, const std::string& refusal) {
  console.ShowMessage(what);
  console.ShowMessage("Cause: " + refusal);
  return kExitFailed;
}

// The log files of a run: refused when one is an input of the run, not a
// regular file, or the same as another.
std::string CheckLogPaths(const std::vector<std::string>& logs, const std::string& input) {
  for (size_t i = 0; i < logs.size(); ++i) {
    if (std::string refusal = CheckLogIsNoInput(logs[i], input); !refusal.empty()) return refusal;
    if (std::string refusal = CheckLogPath(logs[i]); !refusal.empty()) return refusal;
    for (size_t j = 0; j < i; ++j)
      if (logs[j] == logs[i]) return logs[i] + ": two ports would write the same log file";
  }
  return {};
}

}  // namespace

int RunUpgrade(CUiLoop& loop, CConsole& console, CJsonEvents* json, const CUpgradeCommand& command,
               CActiveSessions& active) {
  // The image must open before any port is touched; its length sets the
  // progress range.
  uint64_t size = 0;
  if (const std::string refusal = CheckImage(command.image, size); !refusal.empty())
    return Refuse(console, "Can not Open the File: " + command.image, refusal);
  std::string refusal;
  const std::vector<CStationPort> ports = NameStationPorts(command.ports, refusal);
  if (ports.empty()) {
    console.ShowMessage("boxfeed: " + refusal);
    return kExitUsage;
  }
  const bool several = ports.size() > 1;
  std::vector<std::string> logs;
  if (!command.logPath.empty())
    for (const CStationPort& port : ports)
      logs.push_back(several ? LogPathForPort(command.logPath, port.label) : command.logPath);
  if (refusal = CheckLogPaths(logs, command.image); !refusal.empty())
    return Refuse(console, "Can not Create The File: " + command.logPath, refusal);

  std::vector<std::unique_ptr<CZELUpgradeThread>> engines;
  std::vector<std::unique_ptr<CTransferSession>> sessions;
  for (size_t i = 0; i < ports.size(); ++i) {
    auto engine = std::make_unique<CZELUpgradeThread>();
    engine->SetPauseBeforeSuccess(std::chrono::milliseconds(command.endPauseMs));
    sessions.push_back(std::make_unique<CTransferSession>(loop, console, *engine));
    engines.push_back(std::move(engine));
  }
  // Every log opens before any port does.
  for (size_t i = 0; i < logs.size(); ++i)
    if (!sessions[i]->OpenLog(logs[i], several ? ports[i].label : std::string())) return kExitFailed;

  for (size_t i = 0; i < sessions.size(); ++i) {
    CSessionOptions options;
    options.label = several ? ports[i].label : std::string();
    options.trace = command.trace;
    options.progressTotal = size;
    options.cableWarning = true;
    options.summary = true;
    options.lineBaud = kUpgradeBaud;
    options.json = json;
    if (sessions[i]->Start(ports[i].path, command.image, options)) active.push_back(sessions[i].get());
  }
  RunUntilAllEnded(loop, sessions);
  active.clear();
  bool anyFailed = false, anyCancelled = false;
  for (const auto& session : sessions) {
    anyFailed |= session->ExitStatus() == kExitFailed;
    anyCancelled |= session->ExitStatus() == kExitCancelled;
  }
  if (several) {
    std::vector<CStationBox> boxes;
    for (const auto& session : sessions) boxes.push_back({session->Port(), session->Label(), session->End()});
    if (json)
      json->Station(boxes);
    else
      for (const std::string& line : StationTable(boxes)) console.PrintSummary(line);
  }
  sessions.clear();  // before their engines
  return anyFailed ? kExitFailed : anyCancelled ? kExitCancelled : kExitSucceeded;
}

int RunBoot(CUiLoop& loop, CConsole& console, CJsonEvents* json, const CBootCommand& command,
            CActiveSessions& active) {
  // The command file must be usable as the engine will use it before the
  // operator is asked to switch the box on.
  if (const std::string refusal = CheckCommandFile(command.commandFile); !refusal.empty())
    return Refuse(console, "Can not Open the Command File: " + command.commandFile, refusal);
  const std::vector<std::string> logs =
      command.logPath.empty() ? std::vector<std::string>{} : std::vector<std::string>{command.logPath};
  if (const std::string refusal = CheckLogPaths(logs, command.commandFile); !refusal.empty())
    return Refuse(console, "Can not Create The File: " + command.logPath, refusal);
  CZELBootThread engine;
  CTransferSession session(loop, console, engine);
  if (!logs.empty() && !session.OpenLog(command.logPath)) return kExitFailed;
  CSessionOptions options;
  options.json = json;
  options.summary = true;
  options.lineBaud = 0;  // two speeds: no one line to compare with
  active.push_back(&session);
  const int status = session.Run(command.port, command.commandFile, options);
  active.clear();
  return status;
}

int ListPorts(CJsonEvents* json, const CPortListSources& sources) {
  const auto ports = ListSerialPorts(sources);
  if (ports.empty() && !json) {
    std::printf("No serial port found.\n");
    return kExitSucceeded;
  }
  bool anyDenied = false;
  for (const CPortInfo& port : ports) {
    std::string com;
    for (int number = 1; number <= 8 && com.empty(); ++number)
      if (CSerialDevice::ResolveName("COM" + std::to_string(number)) == port.device)
        com = "COM" + std::to_string(number);
    if (json) {
      json->Port(port, com);
      continue;
    }
    std::printf("%s\n", port.name.c_str());
    std::string details = "    " + port.device;
    if (!com.empty()) details += " (" + com + ")";
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
