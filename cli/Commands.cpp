#include "cli/Commands.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "cli/InputChecks.h"
#include "cli/StationTable.h"
#include "serial/SerialDevice.h"
#include "station/ResultsFile.h"
#include "station/ResultsSink.h"
#include "station/StationPorts.h"
#include "upgrade/ZELUpgradeThread.h"

namespace zel::cli {
namespace {

constexpr uint32_t kUpgradeBaud = CZELUpgradeThread::kLineBaud;

// Runs the loop until every port of the station has ended; Ctrl-C stops
// them meanwhile. 0 when every box was loaded, 1 when any failed (a log
// that could not be written included), else 2 when any was cancelled.
int RunToTheEnd(CUiLoop& loop, CStation& station,
                const std::vector<std::unique_ptr<CTransferSession>>& sessions, CActiveStations& active) {
  active.push_back(&station);
  loop.RunUntil([&] { return station.AllEnded(); });
  active.clear();
  bool anyFailed = false, anyCancelled = false;
  for (const auto& session : sessions) {
    anyFailed |= session->ExitStatus() == kExitFailed;
    anyCancelled |= session->ExitStatus() == kExitCancelled;
  }
  return anyFailed ? kExitFailed : anyCancelled ? kExitCancelled : kExitSucceeded;
}

// Serves box after box on every port until Ctrl-C (or until each port's
// loop has ended on a port that failed), then prints each port's counts.
// 1 when any box failed or a log or record was lost, 2 when a box was
// cancelled while it loaded or none ended, else 0.
int RunContinuously(CUiLoop& loop, CConsole& console, CJsonEvents* json, CStation& station,
                    const std::vector<std::unique_ptr<CTransferSession>>& sessions,
                    const std::function<void(size_t, bool)>& begin, CActiveStations& active) {
  std::vector<CPortCounts> counts(sessions.size());
  std::vector<bool> heard(sessions.size(), false);  // the port's last end is counted
  bool lost = false, cancelledABox = false;
  active.push_back(&station);
  const auto unheard = [&] {
    for (size_t i = 0; i < sessions.size(); ++i)
      if (sessions[i]->IsEnded() && !heard[i]) return true;
    return false;
  };
  while (!station.AllEnded() || unheard()) {
    loop.RunUntil([&] { return unheard() || station.AllEnded(); });
    for (size_t i = 0; i < sessions.size(); ++i) {
      if (!sessions[i]->IsEnded() || heard[i]) continue;
      heard[i] = true;
      const CTransferSession& session = *sessions[i];
      const CRunEnd& end = session.End();
      lost |= session.LostWrites();
      counts[i].label = station.Boxes()[i].label;
      if (end.outcome == RunOutcome::Succeeded) ++counts[i].loaded;
      if (end.outcome == RunOutcome::Failed && !IsStationFault(end.cause.kind)) ++counts[i].failed;
      if (end.outcome == RunOutcome::Failed) counts[i].lastCause = CauseWords(end.cause, false);
      if (end.outcome == RunOutcome::Succeeded) counts[i].lastCause.clear();
      cancelledABox |= end.outcome == RunOutcome::Cancelled && session.HadABox();
      if (end.outcome == RunOutcome::Cancelled || station.StoppedAll() || session.LostWrites() ||
          EndsAPortsLoop(end.cause.kind))
        continue;
      heard[i] = false;
      begin(i, true);
    }
  }
  active.clear();
  if (json)
    json->Station(station.Boxes());
  else
    for (const std::string& line : CountsTable(counts)) console.PrintSummary(line);
  int loaded = 0, failed = 0;
  for (const CPortCounts& port : counts) loaded += port.loaded, failed += port.failed;
  if (failed > 0 || lost) return kExitFailed;
  return cancelledABox || loaded == 0 ? kExitCancelled : kExitSucceeded;
}

int Refuse(CConsole& console, CJsonEvents* json, const std::string& what, const std::string& refusal) {
  console.ShowMessage(what);
  console.ShowMessage("Cause: " + refusal);
  if (json) json->Error(what, refusal);  // the refusal is an outcome too
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

// Whether two paths name one file, whether or not it exists yet: the
// same file through any link, hard links included, or the same name.
bool SamePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec) && !ec) return true;
  const auto first = std::filesystem::weakly_canonical(a, ec);
  if (ec) return a == b;
  const auto second = std::filesystem::weakly_canonical(b, ec);
  return ec ? a == b : first == second;
}

}  // namespace

int RunUpgrade(CUiLoop& loop, CConsole& console, CJsonEvents* json, const CUpgradeCommand& command,
               CActiveStations& active) {
  // The image is read before any port is touched, and every box gets
  // that copy; its length sets the progress range.
  std::string refusal;
  const std::shared_ptr<CRunInput> image = TakeInput(UpgradeKind(), command.image, refusal);
  if (!image) return Refuse(console, json, "Can not Open the File: " + command.image, refusal);
  const uint64_t size = image->Size();
  const std::vector<CStationPort> ports = NameStationPorts(command.ports, refusal);
  if (ports.empty()) {
    console.ShowMessage("boxfeed: " + refusal);
    if (json) json->Error("Can not use the ports", refusal);
    return kExitUsage;
  }
  const bool several = ports.size() > 1;
  std::vector<std::string> logs;
  if (!command.logPath.empty())
    for (const CStationPort& port : ports)
      logs.push_back(several ? LogPathForPort(command.logPath, port.label) : command.logPath);
  if (refusal = CheckLogPaths(logs, command.image); !refusal.empty())
    return Refuse(console, json, "Can not Create The File: " + command.logPath, refusal);
  // The records' file or database, refused or said before any port opens.
  // It outlives the runs, which write to it.
  std::unique_ptr<CResultsSink> results;
  if (!command.resultsPath.empty()) {
    // A file is shared with other runs, so no log of this one; made now if
    // missing, so that a file that cannot take records is refused before
    // any port.
    const bool file = !IsStoreAddress(command.resultsPath);
    if (file && !CheckLogIsNoInput(command.resultsPath, command.image).empty())
      refusal = command.resultsPath + ": this is the file the run reads; records would go into it";
    else if (file && (refusal = CheckLogPath(command.resultsPath)).empty())
      for (const std::string& log : logs)
        if (SamePath(log, command.resultsPath)) refusal = log + ": the log and the results file are one file";
    if (!refusal.empty())
      return Refuse(console, json, "Can not Create The File: " + command.resultsPath, refusal);
    results = std::make_unique<CResultsSink>(command.resultsPath);
    std::string unreachable;
    if (!results->Open(refusal, unreachable))
      return Refuse(console, json,
                    results->IsStore() ? "The records' database cannot be used"
                                       : "Can not Create The File: " + command.resultsPath,
                    refusal);
    if (!unreachable.empty()) {
      if (command.requireStore)
        return Refuse(console, json, "The records' database cannot be used", unreachable);
      console.ShowMessage("boxfeed: " + results->Shown() + ": " + unreachable);
      console.ShowMessage("boxfeed: records wait in " + results->SpoolPath() +
                          " and go to the database once it can be reached");
    }
  }
  // The adapters the records name, found before the runs.
  std::vector<CPortInfo> present;
  if (!command.resultsPath.empty()) present = ListSerialPorts();

  // The observers first: they outlive the station, whose runs they hear.
  std::vector<std::unique_ptr<CTransferSession>> sessions;
  CStation station(loop, [&command, &image] {
    auto engine = UpgradeKind().make();
    engine->SetPauseBeforeSuccess(std::chrono::milliseconds(command.endPauseMs));
    engine->SetInput(image);
    engine->SetRequireWholeInput(command.requireWholeImage);
    return engine;
  });
  for (const CStationPort& port : ports) {
    sessions.push_back(std::make_unique<CTransferSession>(console));
    station.Add(port, *sessions.back());
  }
  // Every log opens before any port does.
  for (size_t i = 0; i < logs.size(); ++i)
    if (!sessions[i]->OpenLog(logs[i], several ? ports[i].label : std::string())) return kExitFailed;

  const CRecordOrigin origin = RecordOrigin(command.stationName);
  // A port's run: its box, or in continuous mode each next one.
  const auto begin = [&](size_t i, bool next) {
    CSessionOptions options;
    options.label = several ? ports[i].label : std::string();
    options.trace = command.trace;
    options.progressTotal = size;
    options.cableWarning = true;
    options.summary = true;
    options.lineBaud = kUpgradeBaud;
    options.json = json;
    options.continuous = command.continuous;
    options.next = next;
    if (results) {
      options.results = results.get();
      // A small image's digest is known now; a large one's is still being
      // taken and comes with the run's end. The label is the alias
      // wherever the operator sees it: named, or in front of each line
      // when several boxes load.
      options.record = RecordAtStart(origin, command.image, size, image->Sha256(), ports[i],
                                     several || command.ports[i].find('=') != std::string::npos, present);
    }
    sessions[i]->Begin(ports[i].path, options);
    station.Engine(i).SetDebugLinesWanted(command.trace);
    if (!station.Start(i, command.image)) sessions[i]->StartFailed();
  };
  for (size_t i = 0; i < sessions.size(); ++i) begin(i, false);
  int status = 0;
  if (command.continuous) {
    status = RunContinuously(loop, console, json, station, sessions, begin, active);
  } else {
    status = RunToTheEnd(loop, station, sessions, active);
    if (several) {
      if (json)
        json->Station(station.Boxes());
      else
        for (const std::string& line : StationTable(station.Boxes())) console.PrintSummary(line);
    }
  }
  if (results && results->IsStore()) {
    // The records sent before the end, where the database takes them.
    const std::string state = results->Drain(std::chrono::seconds(10));
    console.PrintSummary("Records: " + state);
    if (state != "stored")
      console.PrintSummary("They wait in " + results->SpoolPath() +
                           " and go to the database when BoxFeeder next runs with it");
  }
  return status;
}

int RunOne(CUiLoop& loop, CConsole& console, CActiveStations& active, CStation::EngineFactory makeEngine,
           const std::string& port, const std::string& file, const CSessionOptions& options,
           const std::string& logPath) {
  std::vector<std::unique_ptr<CTransferSession>> sessions;
  sessions.push_back(std::make_unique<CTransferSession>(console));
  CStation station(loop, std::move(makeEngine));
  station.Add({port, {}}, *sessions[0]);
  if (!logPath.empty() && !sessions[0]->OpenLog(logPath)) return kExitFailed;
  sessions[0]->Begin(port, options);
  station.Engine(0).SetDebugLinesWanted(options.trace);
  if (!station.Start(0, file)) sessions[0]->StartFailed();
  return RunToTheEnd(loop, station, sessions, active);
}

int RunBoot(CUiLoop& loop, CConsole& console, CJsonEvents* json, const CBootCommand& command,
            CActiveStations& active) {
  // The command file must be usable as the engine will use it before the
  // operator is asked to switch the box on.
  std::string refusal;
  if (!TakeInput(BootKind(), command.commandFile, refusal))
    return Refuse(console, json, "Can not Open the Command File: " + command.commandFile, refusal);
  const std::vector<std::string> logs =
      command.logPath.empty() ? std::vector<std::string>{} : std::vector<std::string>{command.logPath};
  if (refusal = CheckLogPaths(logs, command.commandFile); !refusal.empty())
    return Refuse(console, json, "Can not Create The File: " + command.logPath, refusal);
  CSessionOptions options;
  options.json = json;
  options.summary = true;
  options.lineBaud = 0;  // two speeds: no one line to compare with
  return RunOne(loop, console, active, BootKind().make, command.port, command.commandFile, options,
                command.logPath);
}

int ListPorts(CJsonEvents* json, const CPortListSources& sources) {
  const auto ports = ListSerialPorts(sources);
  if (ports.empty() && !json) {
    std::printf("No serial port found.\n");
    return kExitSucceeded;
  }
  bool anyDenied = false, slowLatency = false;
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
    const std::string maker = DescribeAdapter(port);
    if (!maker.empty()) details += "  " + maker;
    if (!port.serial.empty()) details += "  serial " + port.serial;
    if (port.latencyTimerMs >= 0) details += "  latency " + std::to_string(port.latencyTimerMs) + " ms";
    if (port.busy) details += "  busy: " + port.heldBy;
    if (port.permissionDenied) details += "  no permission";
    if (!port.byPath.empty() && port.byPath != port.name) details += "\n    " + port.byPath;
    anyDenied |= port.permissionDenied;
    slowLatency |= port.latencyTimerMs > 2 && !LowersLatencyItself();
    std::printf("%s\n", details.c_str());
  }
  if (slowLatency)
    std::printf(
        "A latency timer over 2 ms slows a box that asks for little at a time: set it to 1 ms in the\n"
        "Device Manager (the port's Properties, Port Settings, Advanced, Latency Timer).\n");
  if (anyDenied)
    std::printf(
        "To open the ports marked \"no permission\", add your user to the dialout group\n"
        "(sudo usermod -aG dialout $USER), then log in again.\n");
  return kExitSucceeded;
}

}  // namespace zel::cli
