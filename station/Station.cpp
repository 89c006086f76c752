#include "station/Station.h"

namespace zel {

CStation::CPortRun::CPortRun(IUiDispatcher& dispatcher, std::unique_ptr<CZELWorkingThread> newEngine,
                             CStationPort newPort, IRunObserver& outer)
    : engine(std::move(newEngine)), driver(dispatcher, *engine), port(std::move(newPort)), observer(outer) {}

void CStation::CPortRun::OnEnd(const CRunEnd& runEnd) {
  end = runEnd;
  ended = true;
  observer.OnEnd(runEnd);
}

CStation::CStation(IUiDispatcher& dispatcher, EngineFactory makeEngine)
    : m_dispatcher(dispatcher), m_makeEngine(std::move(makeEngine)) {}

CStation::~CStation() {
  for (auto& run : m_ports) run->driver.Terminate();
}

size_t CStation::Add(const CStationPort& port, IRunObserver& observer) {
  m_ports.push_back(std::make_unique<CPortRun>(m_dispatcher, m_makeEngine(), port, observer));
  return m_ports.size() - 1;
}

CZELWorkingThread& CStation::Engine(size_t index) { return *m_ports.at(index)->engine; }

bool CStation::Start(size_t index, const std::string& file) {
  CPortRun& run = *m_ports.at(index);
  run.end = CRunEnd{};
  run.ended = false;
  if (run.driver.Start(run.port.path, file, run) == 0) return true;
  run.ended = true;  // failed, as a run that never began
  return false;
}

void CStation::Stop(size_t index) { m_ports.at(index)->driver.Stop(); }

void CStation::StopAll() {
  m_bStoppedAll = true;
  for (auto& run : m_ports) run->driver.Stop();
}

bool CStation::AllEnded() const {
  for (const auto& run : m_ports)
    if (!run->ended) return false;
  return true;
}

std::vector<CStationBox> CStation::Boxes() const {
  std::vector<CStationBox> boxes;
  for (const auto& run : m_ports) boxes.push_back({run->port.path, run->port.label, run->end});
  return boxes;
}

RunOutcome CStation::Outcome() const {
  bool anyFailed = false, anyCancelled = false;
  for (const auto& run : m_ports) {
    anyFailed |= run->end.outcome == RunOutcome::Failed;
    anyCancelled |= run->end.outcome == RunOutcome::Cancelled;
  }
  return anyFailed ? RunOutcome::Failed : anyCancelled ? RunOutcome::Cancelled : RunOutcome::Succeeded;
}

}  // namespace zel
